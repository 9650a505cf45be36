// The user's trash as freedesktop.org describes it, worked on the bytes of a path: a name
// that is not UTF-8 goes to the trash and comes back under the same bytes.
#pragma once

#include <QByteArray>

#include "engine/placement.h"

namespace varnelt {

// Moves the file at path (absolute) into the trash of its own file system: the home trash
// ($XDG_DATA_HOME/Trash) when the file lives on the home trash's file system, else the trash
// at the top of the file's file system ($topdir/.Trash/$uid or $topdir/.Trash-$uid). Its
// .trashinfo file is created first, exclusively, under a numbered name when the plain one is
// taken; the file is then renamed into files/ under the same name. A file is never copied
// across file systems. Answers the file's path in files/; on any failure the file stays where
// it is and the error is returned.
Placement MoveToTrash(const QByteArray& path);

}  // namespace varnelt

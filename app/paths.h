// Path and name helpers. Folders are carried with a trailing "/", so a folder and a file name
// are joined by plain concatenation.
#pragma once

#include <QString>
#include <QStringList>

namespace varnelt {

// The full path under which a name is found, or an empty text. A name that holds a "/" is
// found when that file or folder exists. A bare name (a library file) is searched in the
// library folders, never in the current folder.
QString LocateOnPath(const QString& name);

// Length of LocateOnPath's answer: 0 when nothing is found.
int FindOnPath(const QString& name);

// Text before the last "." of the whole text (a dot in a folder name counts too).
QString StripExtension(const QString& text);

// Text after the last "." of the last path component, without the dot.
QString GetExtension(const QString& text);

// The last path component, optionally without its extension; empty when the path holds no "/".
QString GetFileName(const QString& path, bool withoutExtension);

// Every component but the last, each followed by "/".
QString GetParentFolder(const QString& path);

// The folders searched for a bare name, in order.
QStringList LibrarySearchFolders();

}  // namespace varnelt

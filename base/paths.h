// Path and name helpers. Folders are carried with a trailing "/", so a folder and a file name
// are joined by plain concatenation. The name helpers work alike on text (what is shown) and
// on the bytes the system gave (what is opened, moved and deleted).
#pragma once

#include <QByteArray>
#include <QByteArrayList>
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
template <typename Text>
Text StripExtension(const Text& text);

// Text after the last "." of the last path component, without the dot.
template <typename Text>
Text GetExtension(const Text& text);

// The last path component, optionally without its extension; empty when the path holds no "/".
template <typename Text>
Text GetFileName(const Text& path, bool withoutExtension);

// Every component but the last, each followed by "/".
template <typename Text>
Text GetParentFolder(const Text& path);

// A path given on a command line made absolute against the current folder's bytes, with "."
// and ".." resolved by their names (no link is followed). A trailing "/" stays: it marks a
// folder. An empty path stays empty.
QByteArray AbsoluteNativePath(const QByteArray& path);

// The command line's arguments after the program's name, as the bytes the system gave: Qt's
// own list cannot carry a name that is not UTF-8.
QByteArrayList ArgumentBytes(int argc, const char* const* argv);

// The folders searched for a bare name, in order.
QStringList LibrarySearchFolders();

}  // namespace varnelt

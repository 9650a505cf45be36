// Names on Linux are bytes. What the list, the log and the messages show is text, decoded
// one path component at a time so that one odd folder name does not garble the others.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace varnelt {

// One name as text: valid UTF-8 as it is, else CP932 (names unpacked from old Japanese
// archives), else UTF-8 with U+FFFD for every sequence that fits neither.
QString DecodeName(QByteArrayView name);

// A whole path, decoded component by component; the "/" between them stay.
QString DecodePath(QByteArrayView path);

}  // namespace varnelt

// Local files as addresses (file:// URLs), the way the desktop exchanges them: the path's
// bytes percent-encoded, so that a name that is not UTF-8 travels whole.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QUrl>

namespace varnelt {

// The address of an absolute path given as the system's bytes.
QUrl FileUrl(QByteArrayView nativePath);

// The system's bytes of a local file's address.
QByteArray NativePathOf(const QUrl& fileUrl);

}  // namespace varnelt

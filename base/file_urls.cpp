#include "base/file_urls.h"

namespace varnelt {

QUrl FileUrl(QByteArrayView nativePath) {
    QUrl url;
    url.setScheme(QStringLiteral("file"));
    // Tolerant mode keeps the percent-encoded bytes as they are.
    url.setPath(QString::fromLatin1(nativePath.toByteArray().toPercentEncoding("/")),
                QUrl::TolerantMode);
    return url;
}

QByteArray NativePathOf(const QUrl& fileUrl) {
    return QByteArray::fromPercentEncoding(fileUrl.path(QUrl::FullyEncoded).toLatin1());
}

}  // namespace varnelt

#include "base/name_decoding.h"

#include <iconv.h>

#include <memory>
#include <optional>
#include <type_traits>

namespace varnelt {

namespace {

struct IconvCloser {
    void operator()(iconv_t converter) const { iconv_close(converter); }
};
using Converter = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

// The name read as CP932, or nothing when a byte sequence is not CP932.
std::optional<QString> fromCp932(QByteArrayView name) {
    iconv_t opened = iconv_open("UTF-8", "CP932");
    if (opened == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    const Converter converter(opened);
    // A CP932 character of one or two bytes is at most three bytes of UTF-8.
    QByteArray utf8(name.size() * 3, Qt::Uninitialized);
    char* in = const_cast<char*>(name.data());
    size_t inLeft = static_cast<size_t>(name.size());
    char* out = utf8.data();
    size_t outLeft = static_cast<size_t>(utf8.size());
    if (iconv(converter.get(), &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) ||
        inLeft != 0) {
        return std::nullopt;
    }
    utf8.truncate(utf8.size() - static_cast<qsizetype>(outLeft));
    return QString::fromUtf8(utf8);
}

}  // namespace

QString DecodeName(QByteArrayView name) {
    if (name.isValidUtf8()) {
        return QString::fromUtf8(name);
    }
    if (std::optional<QString> cp932 = fromCp932(name)) {
        return *cp932;
    }
    return QString::fromUtf8(name);  // every invalid sequence becomes U+FFFD
}

QString DecodePath(QByteArrayView path) {
    if (path.isValidUtf8()) {
        return QString::fromUtf8(path);
    }
    QString text;
    qsizetype start = 0;
    for (qsizetype slash = path.indexOf('/'); slash >= 0; slash = path.indexOf('/', start)) {
        text += DecodeName(path.sliced(start, slash - start)) + u'/';
        start = slash + 1;
    }
    return text + DecodeName(path.sliced(start));
}

}  // namespace varnelt

#include "cli/json_object.h"

namespace varnelt {

namespace {

QByteArray quoted(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

}  // namespace

JsonObject& JsonObject::member(const char* key, const QByteArray& value) {
    if (body_.size() > 1) {
        body_ += ',';
    }
    body_ += quoted(QLatin1String(key)) + ':' + value;
    return *this;
}

JsonObject& JsonObject::text(const char* key, const QString& value) {
    return member(key, quoted(value));
}

JsonObject& JsonObject::textOrNull(const char* key, const QString& value) {
    return value.isEmpty() ? null(key) : text(key, value);
}

JsonObject& JsonObject::number(const char* key, qint64 value) {
    return member(key, QByteArray::number(value));
}

JsonObject& JsonObject::boolean(const char* key, bool value) {
    return member(key, value ? "true" : "false");
}

JsonObject& JsonObject::null(const char* key) {
    return member(key, "null");
}

JsonObject& JsonObject::object(const char* key, const JsonObject& value) {
    return member(key, value.json());
}

}  // namespace varnelt

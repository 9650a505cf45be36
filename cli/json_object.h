// One JSON object on one line, its members in the order they are added.
#pragma once

#include <QByteArray>
#include <QString>

namespace varnelt {

class JsonObject {
public:
    JsonObject& text(const char* key, const QString& value);
    // A text member, or null when the value is empty.
    JsonObject& textOrNull(const char* key, const QString& value);
    JsonObject& number(const char* key, qint64 value);
    JsonObject& boolean(const char* key, bool value);
    JsonObject& null(const char* key);
    JsonObject& object(const char* key, const JsonObject& value);

    // The object's JSON text, without a line end.
    QByteArray json() const { return body_ + '}'; }

private:
    JsonObject& member(const char* key, const QByteArray& value);
    QByteArray body_ = "{";
};

}  // namespace varnelt

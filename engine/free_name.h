// The name a moved file takes where its own is taken, built on the bytes of the name: "." and
// "/" are never part of a CP932 double-byte character, so the extension is found the same.
#pragma once

#include <QByteArray>

#include <functional>

#include "base/runtime_error.h"

namespace varnelt {

// "base (number).ext", where ext is the last extension only.
QByteArray NumberedName(const QByteArray& fileName, int number);

// The highest number a numbered name takes.
inline constexpr int kLastNameNumber = 32767;

// The name a file takes in the destination folder: its own when free, else NumberedName with
// the first free number. Error kErrorNoFreeName when the number would pass kLastNameNumber.
// `pump` runs before every numbered try.
struct FreeName {
    QByteArray name;
    MaybeError error;
};
FreeName FindFreeName(const QByteArray& folder, const QByteArray& fileName,
                      const std::function<void()>& pump);

}  // namespace varnelt

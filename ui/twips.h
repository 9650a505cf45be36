// The window is laid out in twips, 15 to a pixel at 96 dots per inch; Qt's own scaling takes
// care of larger screens.
#pragma once

#include <QRect>
#include <QSize>

namespace varnelt {

inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kMinimumClientWidth = 10695;
// The settings area's top, its height and the run controls below it.
inline constexpr int kMinimumClientHeight = 120 + 5535 + 675;

inline int FromTwips(int twips) {
    return twips / kTwipsPerPixel;
}
inline QRect FromTwips(const QRect& r) {
    return {r.left() / kTwipsPerPixel, r.top() / kTwipsPerPixel, r.width() / kTwipsPerPixel,
            r.height() / kTwipsPerPixel};
}
inline QSize FromTwips(const QSize& s) {
    return {s.width() / kTwipsPerPixel, s.height() / kTwipsPerPixel};
}
inline QRect ToTwips(const QRect& r) {
    return {r.left() * kTwipsPerPixel, r.top() * kTwipsPerPixel, r.width() * kTwipsPerPixel,
            r.height() * kTwipsPerPixel};
}

}  // namespace varnelt

// The two 11 x 11 images the Option items show in place of a plain tick: an empty box, and a
// box with a tick. An item's checked state stays the only store of its option.
#pragma once

#include <QImage>

class QAction;

namespace varnelt {

QImage CheckMarkImage(bool checked);

// Shows the image that matches the item's checked state, now and after every toggle.
void SetMenuCheckBitmaps(QAction* item);

}  // namespace varnelt

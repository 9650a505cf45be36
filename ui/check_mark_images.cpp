#include "ui/check_mark_images.h"

#include <QAction>
#include <QIcon>
#include <QPixmap>

namespace varnelt {

namespace {

// X black, . white, top row first.
constexpr const char* kChecked[11] = {
    "XXXXXXXXXXX", "X.........X", "X.......X.X", "X......XX.X", "X.X...XXX.X", "X.XX.XXX..X",
    "X.XXXXX...X", "X..XXX....X", "X...X.....X", "X.........X", "XXXXXXXXXXX",
};
constexpr const char* kUnchecked[11] = {
    "XXXXXXXXXXX", "X.........X", "X.........X", "X.........X", "X.........X", "X.........X",
    "X.........X", "X.........X", "X.........X", "X.........X", "XXXXXXXXXXX",
};

QIcon iconFor(bool checked) {
    static const QIcon kIcons[2] = {QIcon(QPixmap::fromImage(CheckMarkImage(false))),
                                    QIcon(QPixmap::fromImage(CheckMarkImage(true)))};
    return kIcons[checked ? 1 : 0];
}

}  // namespace

QImage CheckMarkImage(bool checked) {
    QImage image(11, 11, QImage::Format_Mono);
    image.setColor(0, qRgb(255, 255, 255));
    image.setColor(1, qRgb(0, 0, 0));
    const char* const* rows = checked ? kChecked : kUnchecked;
    for (int y = 0; y < 11; ++y) {
        for (int x = 0; x < 11; ++x) {
            image.setPixel(x, y, rows[y][x] == 'X' ? 1 : 0);
        }
    }
    return image;
}

void SetMenuCheckBitmaps(QAction* item) {
    item->setIcon(iconFor(item->isChecked()));
    item->setIconVisibleInMenu(true);
    if (!item->property("checkMarkImages").toBool()) {
        item->setProperty("checkMarkImages", true);
        QObject::connect(item, &QAction::toggled, item,
                         [item](bool on) { item->setIcon(iconFor(on)); });
    }
}

}  // namespace varnelt

// The user's data folder, where the home trash lives, moved for the life of the object.
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace varnelt::test {

class DataHome {
public:
    explicit DataHome(const QByteArray& folder) : previous_(qgetenv("XDG_DATA_HOME")) {
        qputenv("XDG_DATA_HOME", folder);
    }
    ~DataHome() { qputenv("XDG_DATA_HOME", previous_); }
    DataHome(const DataHome&) = delete;
    DataHome& operator=(const DataHome&) = delete;

private:
    QByteArray previous_;
};

}  // namespace varnelt::test

#include <QDir>
#include <QFileInfo>

#include "tests/support/archive_makers.h"
#include "tests/support/scratch.h"

namespace varnelt::test {

QString stageEntries(const QString& stagingFolder, const EntryList& entries) {
    QDir().mkpath(stagingFolder);
    for (const Entry& entry : entries) {
        const QString target = stagingFolder + u'/' + entry.name;
        if (entry.name.endsWith(u'/')) {
            QDir().mkpath(target);
        } else {
            QDir().mkpath(QFileInfo(target).path());
            writeFile(target, entry.data);
        }
    }
    return stagingFolder;
}

}  // namespace varnelt::test

#include "paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace varnelt {

namespace {

QString programFolder() {
    if (QCoreApplication::instance() != nullptr) {
        return QCoreApplication::applicationDirPath();
    }
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2);
}

}  // namespace

QStringList LibrarySearchFolders() {
    const QString program = programFolder();
    QStringList folders{program, QDir::cleanPath(program + QStringLiteral("/../lib/varnelt"))};
    // Empty and relative entries would name the current folder: a file planted wherever the
    // program was started from must never be loaded.
    const QString libraryPath = qEnvironmentVariable("LD_LIBRARY_PATH");
    for (const QString& entry : libraryPath.split(u':', Qt::SkipEmptyParts)) {
        if (entry.startsWith(u'/')) {
            folders << entry;
        }
    }
    folders << QStringLiteral("/usr/local/lib") << QStringLiteral("/usr/lib")
            << QStringLiteral("/usr/lib/" VARNELT_MULTIARCH) << QStringLiteral("/lib")
            << QStringLiteral("/lib/" VARNELT_MULTIARCH);
    return folders;
}

QString LocateOnPath(const QString& name) {
    if (name.isEmpty()) {
        return {};
    }
    if (name.contains(u'/')) {
        const QFileInfo info(name);
        return info.exists() ? info.absoluteFilePath() : QString();
    }
    for (const QString& folder : LibrarySearchFolders()) {
        const QFileInfo candidate(folder + u'/' + name);
        if (candidate.isFile()) {
            return candidate.absoluteFilePath();
        }
    }
    return {};
}

int FindOnPath(const QString& name) {
    return static_cast<int>(LocateOnPath(name).size());
}

QString StripExtension(const QString& text) {
    const qsizetype dot = text.lastIndexOf(u'.');
    return dot < 0 ? text : text.left(dot);
}

QString GetExtension(const QString& text) {
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        if (text[i] == u'.') {
            return text.mid(i + 1);
        }
        if (text[i] == u'/') {
            break;
        }
    }
    return {};
}

QString GetFileName(const QString& path, bool withoutExtension) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0) {
        return {};
    }
    const QString component = path.mid(slash + 1);
    return withoutExtension ? StripExtension(component) : component;
}

QString GetParentFolder(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash + 1);
}

}  // namespace varnelt

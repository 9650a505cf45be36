#include "paths.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdlib>
#include <memory>

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

template <typename Text>
Text StripExtension(const Text& text) {
    const qsizetype dot = text.lastIndexOf('.');
    return dot < 0 ? text : text.left(dot);
}

template <typename Text>
Text GetExtension(const Text& text) {
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        if (text[i] == '.') {
            return text.mid(i + 1);
        }
        if (text[i] == '/') {
            break;
        }
    }
    return {};
}

template <typename Text>
Text GetFileName(const Text& path, bool withoutExtension) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) {
        return {};
    }
    const Text component = path.mid(slash + 1);
    return withoutExtension ? StripExtension(component) : component;
}

template <typename Text>
Text GetParentFolder(const Text& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? Text() : path.left(slash + 1);
}

template QString StripExtension(const QString&);
template QByteArray StripExtension(const QByteArray&);
template QString GetExtension(const QString&);
template QByteArray GetExtension(const QByteArray&);
template QString GetFileName(const QString&, bool);
template QByteArray GetFileName(const QByteArray&, bool);
template QString GetParentFolder(const QString&);
template QByteArray GetParentFolder(const QByteArray&);

QByteArray AbsoluteNativePath(const QByteArray& path) {
    if (path.isEmpty()) {
        return path;
    }
    QByteArray joined = path;
    if (!path.startsWith('/')) {
        const std::unique_ptr<char, decltype(&std::free)> current(getcwd(nullptr, 0), &std::free);
        if (current == nullptr) {
            return path;  // the registration reports what the system says about it
        }
        joined = QByteArray(current.get()) + '/' + path;
    }
    QByteArrayList kept;
    for (const QByteArray& component : joined.split('/')) {
        if (component == "..") {
            if (!kept.isEmpty()) {
                kept.removeLast();
            }
        } else if (!component.isEmpty() && component != ".") {
            kept << component;
        }
    }
    QByteArray absolute = '/' + kept.join('/');
    if (path.endsWith('/') && !absolute.endsWith('/')) {
        absolute += '/';
    }
    return absolute;
}

QByteArrayList ArgumentBytes(int argc, const char* const* argv) {
    QByteArrayList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QByteArray(argv[i]);
    }
    return arguments;
}

}  // namespace varnelt

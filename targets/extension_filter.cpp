#include "targets/extension_filter.h"

#include <QStringList>

namespace varnelt {

std::optional<ExtensionFilter> ExtensionFilter::fromList(const QString& list) {
    ExtensionFilter filter;
    filter.on_ = true;
    for (const QString& entry : list.toLower().split(u';')) {
        auto pattern = WildcardPattern::compile(QStringLiteral("*.") + entry);
        if (!pattern) {
            return std::nullopt;
        }
        filter.patterns_.push_back(std::move(*pattern));
    }
    return filter;
}

bool ExtensionFilter::accepts(const QString& fileName) const {
    if (!on_) {
        return true;
    }
    const QString name = fileName.toLower();
    for (const WildcardPattern& pattern : patterns_) {
        if (pattern.matches(name)) {
            return true;
        }
    }
    return false;
}

QString BuildAutoFilterList(const FormatBoxState (&boxes)[kFormatCount]) {
    const auto box = [&](ArchiveFormat format) { return boxes[static_cast<int>(format)]; };
    struct AutoEntry {
        ArchiveFormat format;
        const char* entry;
    };
    // 7z archives are often named .zip; that entry is added unless the ZIP box adds it.
    const char* sevenZipEntry = box(ArchiveFormat::ZIP).ticked ? "7z;" : "7z;zip;";
    const AutoEntry entries[] = {
        {ArchiveFormat::LZH, "lzh;"},     {ArchiveFormat::ZIP, "zip;"},
        {ArchiveFormat::CAB, "cab;"},     {ArchiveFormat::SevenZip, sevenZipEntry},
        {ArchiveFormat::RAR, "rar;"},     {ArchiveFormat::TAR, "tar;tbz;"},
        {ArchiveFormat::GCA, "gca;"},     {ArchiveFormat::YZ1, "yz1;"},
        {ArchiveFormat::BGA, "gza;bza;"},
    };
    QString list;
    int counted = 0;
    for (const AutoEntry& entry : entries) {
        const FormatBoxState state = box(entry.format);
        if (state.enabled && state.ticked) {
            list += QLatin1String(entry.entry);
            ++counted;
        }
    }
    if (counted > 0) {
        list += QLatin1String("exe;");
    }
    return list;
}

}  // namespace varnelt

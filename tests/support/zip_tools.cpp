#include "tests/support/zip_tools.h"

#include "tests/support/tool_makers.h"

namespace varnelt::test {

bool makeZipWith(const QString& archive, const EntryList& entries, const QStringList& switches) {
    return makeWithTool(QStringLiteral("zip"),
                        QStringList{QStringLiteral("-q"), QStringLiteral("-X")} + switches, archive,
                        entries);
}

bool makeSevenZipZip(const QString& archive, const EntryList& entries,
                     const QStringList& switches) {
    return makeWithTool(
        QStringLiteral("7zz"),
        QStringList{QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-tzip")} + switches,
        archive, entries);
}

bool makeBsdtarZip(const QString& archive, const EntryList& entries) {
    return makeWithTool(QStringLiteral("bsdtar"),
                        {QStringLiteral("-c"), QStringLiteral("--format"), QStringLiteral("zip"),
                         QStringLiteral("-f")},
                        archive, entries);
}

}  // namespace varnelt::test

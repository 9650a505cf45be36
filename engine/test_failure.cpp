#include "engine/test_failure.h"

#include <QCoreApplication>

namespace varnelt {

namespace {

struct FailureTexts {
    const char* english;
    const char* japanese;
};

// Indexed by TestFailure::Kind; %1 is the failure's number.
constexpr FailureTexts kTexts[] = {
    {"the archive library crashed (signal %1)",
     QT_TRANSLATE_NOOP("varnelt::TestFailure", "書庫ライブラリが異常終了しました (シグナル %1)")},
    {"the archive library ended the test (exit status %1)",
     QT_TRANSLATE_NOOP("varnelt::TestFailure",
                       "書庫ライブラリが検査の途中で終了しました (終了コード %1)")},
    {"the test took longer than %1 s",
     QT_TRANSLATE_NOOP("varnelt::TestFailure", "検査が制限時間 %1 秒を超えました")},
    {"the test needed more than %1 MB of memory",
     QT_TRANSLATE_NOOP("varnelt::TestFailure", "検査がメモリの上限 %1 MB を超えました")},
};

QString describe(const TestFailure& failure, const QString& text) {
    const QString filled = text.arg(failure.number);
    return failure.library.isEmpty() ? filled : failure.library + QStringLiteral(": ") + filled;
}

const FailureTexts& textsOf(const TestFailure& failure) {
    return kTexts[static_cast<int>(failure.kind)];
}

}  // namespace

QString EnglishDescription(const TestFailure& failure) {
    return describe(failure, QString::fromUtf8(textsOf(failure).english));
}

QString DescriptionInUse(const TestFailure& failure) {
    return describe(failure,
                    QCoreApplication::translate("varnelt::TestFailure", textsOf(failure).japanese));
}

}  // namespace varnelt

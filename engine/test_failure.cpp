#include "engine/test_failure.h"

namespace varnelt {

namespace {

struct FailureTexts {
    const char* english;
    const char* japanese;
};

// Indexed by TestFailure::Kind; %1 is the failure's number.
constexpr FailureTexts kTexts[] = {
    {"the archive library crashed (signal %1)", "書庫ライブラリが異常終了しました (シグナル %1)"},
    {"the archive library ended the test (exit status %1)",
     "書庫ライブラリが検査の途中で終了しました (終了コード %1)"},
    {"the test took longer than %1 s", "検査が制限時間 %1 秒を超えました"},
    {"the test needed more than %1 MB of memory", "検査がメモリの上限 %1 MB を超えました"},
};

QString describe(const TestFailure& failure, const char* FailureTexts::*language) {
    const QString text =
        QString::fromUtf8(kTexts[static_cast<int>(failure.kind)].*language).arg(failure.number);
    return failure.library.isEmpty() ? text : failure.library + QStringLiteral(": ") + text;
}

}  // namespace

QString EnglishDescription(const TestFailure& failure) {
    return describe(failure, &FailureTexts::english);
}

QString JapaneseDescription(const TestFailure& failure) {
    return describe(failure, &FailureTexts::japanese);
}

}  // namespace varnelt

#include "engine/test_failure.h"

namespace varnelt {

namespace {

QString withLibrary(const TestFailure& failure, const QString& text) {
    return failure.library.isEmpty() ? text : failure.library + QStringLiteral(": ") + text;
}

}  // namespace

QString EnglishDescription(const TestFailure& failure) {
    switch (failure.kind) {
        case TestFailure::Kind::Crashed:
            return withLibrary(
                failure,
                QStringLiteral("the archive library crashed (signal %1)").arg(failure.number));
        case TestFailure::Kind::Exited:
            return withLibrary(failure,
                               QStringLiteral("the archive library ended the test (exit status %1)")
                                   .arg(failure.number));
        case TestFailure::Kind::TimeLimit:
            return withLibrary(
                failure, QStringLiteral("the test took longer than %1 s").arg(failure.number));
        case TestFailure::Kind::MemoryLimit:
            return withLibrary(
                failure,
                QStringLiteral("the test needed more than %1 MB of memory").arg(failure.number));
    }
    return {};
}

QString JapaneseDescription(const TestFailure& failure) {
    switch (failure.kind) {
        case TestFailure::Kind::Crashed:
            return withLibrary(failure,
                               QStringLiteral("書庫ライブラリが異常終了しました (シグナル %1)")
                                   .arg(failure.number));
        case TestFailure::Kind::Exited:
            return withLibrary(
                failure, QStringLiteral("書庫ライブラリが検査の途中で終了しました (終了コード %1)")
                             .arg(failure.number));
        case TestFailure::Kind::TimeLimit:
            return withLibrary(
                failure, QStringLiteral("検査が制限時間 %1 秒を超えました").arg(failure.number));
        case TestFailure::Kind::MemoryLimit:
            return withLibrary(
                failure,
                QStringLiteral("検査がメモリの上限 %1 MB を超えました").arg(failure.number));
    }
    return {};
}

}  // namespace varnelt

// The scriptable fake archiver library, loaded through the real binder under any prefix.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

#include "checkers/archive_checker.h"
#include "checkers/archiver_library.h"

namespace varnelt::test {

// Under the sanitizers a crashing library is caught by their report, which then ends the
// worker with exit status 1; memory limits are off there, so no stand-in hogs memory.
#ifdef VARNELT_SANITIZED
inline constexpr bool kSanitizedBuild = true;
#else
inline constexpr bool kSanitizedBuild = false;
#endif
inline constexpr const char* kCrashText = kSanitizedBuild
                                              ? "the archive library ended the test (exit status 1)"
                                              : "the archive library crashed (signal 11)";
inline constexpr const char* kCrashTextJapanese =
    kSanitizedBuild ? "書庫ライブラリが検査の途中で終了しました (終了コード 1)"
                    : "書庫ライブラリが異常終了しました (シグナル 11)";

QString fakeLibraryPath();

std::unique_ptr<ArchiverLibrary> loadFake(ArchiveFormat format);

// Writes a fake archive at path (the system's bytes): its leading bytes on the first line,
// then the script. Answers the path.
QByteArray writeFakeArchive(const QByteArray& path, const QByteArray& head,
                            const QByteArray& script);

// The calls the fake recorded for an archive, one per line.
QByteArray recordedCalls(const QByteArray& archive);

}  // namespace varnelt::test

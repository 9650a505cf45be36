// What every substitute library must do, format by format: pass an intact archive, fail a
// damaged, truncated, empty or foreign one, and count and name entries from headers.
#include <gtest/gtest.h>

#include <QFile>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "tests/support/archive_makers.h"
#include "tests/support/bound_library.h"
#include "tests/support/format_cases.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

class Conformance : public ::testing::TestWithParam<FormatCase> {
protected:
    void SetUp() override {
        library_ = std::make_unique<BoundLibrary>(GetParam().library);
        ASSERT_TRUE(library_->loaded()) << GetParam().library.fileName;
    }
    QString make(const QString& base, const EntryList& entries) {
        const QString archive = scratch_.path(base + u'.' + QLatin1String(GetParam().extension));
        EXPECT_TRUE(GetParam().make(archive, entries)) << "cannot make " << archive.toStdString();
        return archive;
    }
    // One large entry, so that the middle of the archive lies inside its data.
    QString makeLarge() {
        return make(QStringLiteral("large"),
                    {{QStringLiteral("payload.txt"), sampleContent(200000, 7)}});
    }
    ScratchDir scratch_;
    std::unique_ptr<BoundLibrary> library_;
};

TEST_P(Conformance, IntactArchivePasses) {
    const QString archive =
        make(QStringLiteral("three"), {{QStringLiteral("a.txt"), "alpha"},
                                       {QStringLiteral("b.txt"), sampleContent(5000, 1)},
                                       {QStringLiteral("c.txt"), ""}});
    EXPECT_EQ(library_->test(archive), 0);
    EXPECT_EQ(library_->test(makeLarge()), 0);
}

TEST_P(Conformance, DamagedDataFails) {
    if (!GetParam().dataChecksummed) {
        GTEST_SKIP() << "no checksum covers this format's entry data";
    }
    const QString archive = makeLarge();
    flipByte(archive, readFile(archive).size() / 2);
    EXPECT_NE(library_->test(archive), 0);
}

TEST_P(Conformance, TruncatedArchiveFails) {
    const QString archive = makeLarge();
    truncateToPercent(archive, 60);
    EXPECT_NE(library_->test(archive), 0);
}

TEST_P(Conformance, EveryCutOfASmallArchiveFails) {
    if (GetParam().cutAfterEntryIsArchive) {
        GTEST_SKIP() << "a cut after an entry leaves a complete archive in this format";
    }
    const QString archive =
        make(QStringLiteral("small"), {{QStringLiteral("a.txt"), "alpha"},
                                       {QStringLiteral("docs/b.txt"), sampleContent(2000, 5)}});
    const QByteArray intact = readFile(archive);
    for (qsizetype length = 0; length < intact.size(); ++length) {
        writeFile(archive, intact.left(length));
        EXPECT_NE(library_->test(archive), 0) << "cut to " << length << " bytes";
    }
}

// A damaged download is often nothing but zeros, whatever its name.
TEST_P(Conformance, FileOfNothingButZerosFails) {
    const QString zeros =
        scratch_.path(QStringLiteral("zeros.") + QLatin1String(GetParam().extension));
    QFile file(zeros);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(50 * 1000 * 1000));
    file.close();
    EXPECT_NE(library_->test(zeros), 0);
    EXPECT_LT(library_->count(zeros), 0);
    EXPECT_FALSE(library_->firstName(zeros).has_value());
}

TEST_P(Conformance, EmptyShortAndForeignFilesFail) {
    const QString empty =
        scratch_.path(QStringLiteral("empty.") + QLatin1String(GetParam().extension));
    writeFile(empty, {});
    EXPECT_NE(library_->test(empty), 0);
    EXPECT_LT(library_->count(empty), 0);
    EXPECT_FALSE(library_->firstName(empty).has_value());

    const QString oneByte =
        scratch_.path(QStringLiteral("one.") + QLatin1String(GetParam().extension));
    writeFile(oneByte, "P");
    EXPECT_NE(library_->test(oneByte), 0);

    const QString text = scratch_.path(QStringLiteral("notes.txt"));
    writeFile(text, sampleContent(3000, 3));
    EXPECT_NE(library_->test(text), 0);
    EXPECT_LT(library_->count(text), 0);
}

TEST_P(Conformance, ArchiveOfAnotherFormatFails) {
    const EntryList entries{{QStringLiteral("a.txt"), "alpha"}};
    // An LZH archive is foreign to every library but the LZH one, a ZIP to that one.
    const bool isLzh = GetParam().make == &makeLzh;
    const QString foreign =
        scratch_.path(isLzh ? QStringLiteral("foreign.zip") : QStringLiteral("foreign.lzh"));
    ASSERT_TRUE(isLzh ? makeZip(foreign, entries) : makeLzh(foreign, entries));
    EXPECT_NE(library_->test(foreign), 0);
    EXPECT_LT(library_->count(foreign), 0);
    EXPECT_FALSE(library_->firstName(foreign).has_value());
}

TEST_P(Conformance, CountsEntriesFoldersIncluded) {
    EXPECT_EQ(library_->count(make(QStringLiteral("one"), {{QStringLiteral("only.txt"), "x"}})), 1);
    EXPECT_EQ(library_->count(make(QStringLiteral("two"), {{QStringLiteral("a.txt"), "a"},
                                                           {QStringLiteral("b.txt"), "b"}})),
              2);
    if (!GetParam().storesFolderEntries) {
        return;
    }
    EXPECT_EQ(library_->count(make(QStringLiteral("folder"), {{QStringLiteral("docs/"), ""},
                                                              {QStringLiteral("docs/a.txt"), "a"},
                                                              {QStringLiteral("b.txt"), "b"}})),
              3);
}

TEST_P(Conformance, FirstNameIsStoredNameWithFolderPart) {
    EXPECT_EQ(
        library_->firstName(make(QStringLiteral("single"), {{QStringLiteral("readme.txt"), "r"}})),
        std::optional<std::string>("readme.txt"));
    const auto nested = library_->firstName(
        make(QStringLiteral("nested"), {{QStringLiteral("docs/readme.txt"), "r"}}));
    ASSERT_TRUE(nested.has_value());
    // Some tools store the folder as an entry of its own before the file.
    EXPECT_TRUE(*nested == "docs/readme.txt" || *nested == "docs/" || *nested == "docs") << *nested;
}

TEST_P(Conformance, JapaneseNameComesBackAsUtf8) {
    const QString name = QStringLiteral("日本語の名前.txt");
    const auto first = library_->firstName(make(QStringLiteral("japanese"), {{name, "j"}}));
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(*first, name.toStdString());
}

TEST_P(Conformance, HandlesAreIndependentAndClosedOnce) {
    const QString archive = make(QStringLiteral("handles"), {{QStringLiteral("a.txt"), "a"}});
    const ArchiverLibrary& f = library_->functions();
    const QByteArray path = archive.toUtf8();
    VarneltArchive first = f.openArchive(nullptr, path.constData(), 0);
    VarneltArchive second = f.openArchive(nullptr, path.constData(), 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(f.closeArchive(first), 0);
    VarneltEntryInfo info{};
    EXPECT_EQ(f.findFirst(second, "*.*", &info), 0);
    EXPECT_STREQ(info.fileName, "a.txt");
    EXPECT_EQ(f.closeArchive(second), 0);
    EXPECT_NE(f.closeArchive(second), 0) << "a closed handle must be refused";
    EXPECT_NE(f.findFirst(first, "*.*", &info), 0);
}

// The program tests several files at once: one library, several threads, different archives.
TEST_P(Conformance, ArchivesTestedOnSeveralThreadsKeepTheirOwnVerdicts) {
    const QString good = makeLarge();
    const QString bad = scratch_.path(QStringLiteral("cut.") + QLatin1String(GetParam().extension));
    writeFile(bad, readFile(good));
    truncateToPercent(bad, 60);
    std::atomic<int> wrong{0};
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < 6; ++i) {
                    const bool damaged = (t + i) % 2 == 1;
                    if ((library_->test(damaged ? bad : good) == 0) == damaged ||
                        library_->count(good) != 1) {
                        ++wrong;
                    }
                }
            });
        }
    }
    EXPECT_EQ(wrong.load(), 0);
}

TEST_P(Conformance, VersionIsProjectVersionTimesHundred) {
    EXPECT_EQ(library_->functions().getVersion(), 100);
}

INSTANTIATE_TEST_SUITE_P(Formats, Conformance, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace varnelt::test

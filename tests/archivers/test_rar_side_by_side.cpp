// The entries of a non-solid RAR archive tested side by side on lent threads: whatever the number
// of threads, libunrar32 answers what it answers with one, with the same reason, and the entries
// are really read apart where the archive allows it.
#include <gtest/gtest.h>

#include <archive.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "archivers/core/input_file.h"
#include "archivers/core/thread_budget.h"
#include "archivers/libarchive_backend.h"
#include "tests/support/bound_library.h"
#include "tests/support/rar4_writer.h"
#include "tests/support/scratch.h"
#include "tests/support/threaded_answers.h"

namespace varnelt::test {
namespace {

using Answer = ThreadedAnswer;

// Stored entries of assorted sizes, folders and empty files among them.
QList<rar4::Item> manyItems(int count) {
    QList<rar4::Item> items;
    for (int i = 0; i < count; ++i) {
        if (i % 5 == 3) {
            items.append({QStringLiteral("dir%1/").arg(i), {}, rar4::Kind::Folder});
        } else {
            // Large enough on average to be read apart.
            const int size = i % 7 == 6 ? 0 : 150000 + 7919 * i;
            items.append({QStringLiteral("dir%1/part%2.bin").arg(i / 5 * 5 + 3).arg(i),
                          sampleContent(size, 100 + i)});
        }
    }
    return items;
}

// Where each item's data begins in the writer's layout.
std::vector<qsizetype> dataOffsets(const QList<rar4::Item>& items) {
    std::vector<qsizetype> offsets;
    qsizetype at = rar4::kMarkerSize + rar4::kMainHeaderSize;
    for (const rar4::Item& item : items) {
        at += rar4::fileHeaderSize(item);
        offsets.push_back(at);
        at += item.data.size();
    }
    return offsets;
}

QByteArray flipped(QByteArray bytes, qsizetype at) {
    bytes[at] = static_cast<char>(bytes[at] ^ 0x08);
    return bytes;
}

class RarSideBySide : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(unrar_.loaded()); }

    QString save(const QString& name, const QByteArray& bytes) const {
        writeFile(scratch_.path(name), bytes);
        return scratch_.path(name);
    }

    Answer answerOf(const QString& path, int threads) const {
        return answerWithThreads(unrar_, path, threads);
    }

    // The answer of one thread, checked to be that of every lent thread count.
    Answer expectSameAnswers(const QString& path, const char* label) const {
        return test::expectSameAnswers(unrar_, path, label, {2, 4});
    }

    ScratchDir scratch_;
    BoundLibrary unrar_{{"libunrar32.so", "Unrar", nullptr}};
};

TEST_F(RarSideBySide, IntactAndDamagedEntriesAnswerAsWithOneThread) {
    const QList<rar4::Item> items = manyItems(23);
    const QByteArray intact = rar4::archive(items);
    EXPECT_EQ(expectSameAnswers(save(QStringLiteral("intact.rar"), intact), "intact"),
              (Answer{0, 23, {}}));
    const std::vector<qsizetype> data = dataOffsets(items);
    // The first, a middle and the last entry with data, each at its first, middle and last byte.
    for (const int entry : {0, 11, 22}) {
        ASSERT_FALSE(items[entry].data.isEmpty());
        for (const qsizetype into :
             {qsizetype{0}, items[entry].data.size() / 2, items[entry].data.size() - 1}) {
            const QString path = save(QStringLiteral("bad%1-%2.rar").arg(entry).arg(into),
                                      flipped(intact, data[entry] + into));
            const Answer answer = expectSameAnswers(
                path, qPrintable(QStringLiteral("entry %1 damaged at %2").arg(entry).arg(into)));
            EXPECT_NE(answer.code, 0);
            EXPECT_TRUE(answer.reason.contains(items[entry].name)) << answer.reason.toStdString();
        }
    }
}

TEST_F(RarSideBySide, OfTwoDamagedEntriesTheFirstInTheArchiveDecides) {
    const QList<rar4::Item> items = manyItems(24);
    const QByteArray intact = rar4::archive(items);
    const std::vector<qsizetype> data = dataOffsets(items);
    const QByteArray twice = flipped(flipped(intact, data[21] + 5), data[2] + 40000);
    const Answer answer = expectSameAnswers(save(QStringLiteral("twice.rar"), twice), "twice");
    EXPECT_TRUE(answer.reason.contains(items[2].name)) << answer.reason.toStdString();
    // A damaged header after a damaged entry: the entry's fault is the one found first.
    const QByteArray headerToo = flipped(flipped(intact, data[20] - 10), data[9] + 3);
    const Answer first =
        expectSameAnswers(save(QStringLiteral("then-header.rar"), headerToo), "data, then header");
    EXPECT_TRUE(first.reason.contains(items[9].name)) << first.reason.toStdString();
    // A damaged header alone, after intact entries read apart.
    expectSameAnswers(save(QStringLiteral("header.rar"), flipped(intact, data[20] - 10)), "header");
}

TEST_F(RarSideBySide, CutArchivesAnswerAsWithOneThread) {
    const QList<rar4::Item> items = manyItems(12);
    const QByteArray intact = rar4::archive(items);
    const std::vector<qsizetype> data = dataOffsets(items);
    const struct {
        const char* what;
        qsizetype length;
    } cuts[] = {{"inside the last entry's data", intact.size() - rar4::kEndBlockSize - 100},
                {"inside a middle entry's data", data[6] + 1000},
                {"inside a header", data[7] - 5},
                {"inside the end block", intact.size() - 3},
                {"without the end block", intact.size() - rar4::kEndBlockSize}};
    for (const auto& cut : cuts) {
        expectSameAnswers(
            save(QStringLiteral("cut%1.rar").arg(cut.length), intact.left(cut.length)), cut.what);
    }
    rar4::Options noEnd;
    noEnd.endBlock = false;
    EXPECT_EQ(expectSameAnswers(save(QStringLiteral("no-end.rar"), rar4::archive(items, noEnd)),
                                "written without an end block")
                  .code,
              0);
}

TEST_F(RarSideBySide, SolidEncryptedAndLinkedEntriesAnswerAsWithOneThread) {
    QList<rar4::Item> items = manyItems(10);
    rar4::Options solid;
    solid.mainFlags = 0x0008;
    const QByteArray solidBytes = rar4::archive(items, solid);
    expectSameAnswers(save(QStringLiteral("solid.rar"), solidBytes), "solid");
    expectSameAnswers(
        save(QStringLiteral("solid-bad.rar"), flipped(solidBytes, dataOffsets(items)[4] + 10)),
        "solid, damaged");
    // One file that goes on from the one before, in an archive not marked solid.
    QList<rar4::Item> goesOn = items;
    goesOn[5].flags = 0x0010;
    expectSameAnswers(save(QStringLiteral("solid-file.rar"), rar4::archive(goesOn)),
                      "a solid file");

    QList<rar4::Item> encrypted = items;
    encrypted[2].flags = 0x0004;
    encrypted[7].flags = 0x0004;
    const QByteArray encryptedBytes = rar4::archive(encrypted);
    const Answer password =
        expectSameAnswers(save(QStringLiteral("encrypted.rar"), encryptedBytes), "encrypted");
    EXPECT_NE(password.code, 0);
    // A real fault after the encrypted entries wins over the password answer.
    expectSameAnswers(save(QStringLiteral("encrypted-bad.rar"),
                           flipped(encryptedBytes, dataOffsets(encrypted)[8] + 10)),
                      "encrypted, then damaged");

    QList<rar4::Item> linked = items;
    linked.insert(4, {QStringLiteral("link"), "dir3/part1.bin", rar4::Kind::Symlink});
    rar4::Options onUnix;
    onUnix.unixHost = true;
    const QByteArray linkedBytes = rar4::archive(linked, onUnix);
    expectSameAnswers(save(QStringLiteral("linked.rar"), linkedBytes), "a link");
    expectSameAnswers(
        save(QStringLiteral("linked-bad.rar"), flipped(linkedBytes, dataOffsets(linked)[4])),
        "a damaged link");
    // A damaged entry before the damaged link: the entry's fault is the one found first.
    const Answer first = expectSameAnswers(
        save(QStringLiteral("bad-then-link.rar"),
             flipped(flipped(linkedBytes, dataOffsets(linked)[4]), dataOffsets(linked)[1] + 9)),
        "a damaged entry, then a damaged link");
    EXPECT_TRUE(first.reason.contains(linked[1].name)) << first.reason.toStdString();
}

// The backend itself, over a check that counts the entries its readers passed to reach the entry
// they test: only readers that read entries apart pass any, and they must pass the folders and
// empty files that no reader is given.
class PassCountingCheck final : public archiver::DataCheck {
public:
    explicit PassCountingCheck(std::atomic<int>& passed) : passed_(passed) {}
    std::optional<int32_t> beginEntry(archive*, archive_entry*,
                                      const archiver::EntryLabel&) override {
        return std::nullopt;
    }
    void passEntry(archive*, archive_entry*) override { ++passed_; }
    void update(const void*, size_t) override {}
    int32_t endEntry() override { return VARNELT_ARC_OK; }

private:
    std::atomic<int>& passed_;
};

int entriesPassed(const QString& path, int threads) {
    // makeDataCheck is a plain function, so the count it feeds cannot be handed to it.
    static std::atomic<int> passed{0};
    const archiver::LibarchiveBackend backend({
        .enableReaders = [](archive* reader) { archive_read_support_format_rar(reader); },
        .makeDataCheck = [](const archiver::InputFile&) -> std::unique_ptr<archiver::DataCheck> {
            return std::make_unique<PassCountingCheck>(passed);
        },
        // Apart unless the main header's flags say solid.
        .entriesApart =
            [](archive*, const archiver::InputFile& file) {
                std::array<char, rar4::kMainHeaderSize> main{};
                return file.readAt(main.data(), main.size(), rar4::kMarkerSize) &&
                       (main[3] & 0x08) == 0;
            },
    });
    archiver::InputFile file;
    EXPECT_EQ(file.open(path.toLocal8Bit().constData()), VARNELT_ARC_OK);
    passed = 0;
    archiver::setThreadBudget(threads);
    EXPECT_EQ(backend.test(file), VARNELT_ARC_OK);
    archiver::setThreadBudget(1);
    return passed.load();
}

TEST_F(RarSideBySide, EntriesAreReadApartOnlyWhereTheArchiveAllows) {
    const QList<rar4::Item> items = manyItems(12);
    const QString plain = save(QStringLiteral("plain.rar"), rar4::archive(items));
    EXPECT_EQ(entriesPassed(plain, 1), 0);
    EXPECT_GT(entriesPassed(plain, 4), 0);
    rar4::Options solid;
    solid.mainFlags = 0x0008;
    EXPECT_EQ(entriesPassed(save(QStringLiteral("solid.rar"), rar4::archive(items, solid)), 4), 0);
    const QString single =
        save(QStringLiteral("single.rar"), rar4::archive({items[3], items[0], items[6]}));
    EXPECT_EQ(entriesPassed(single, 4), 0) << "a single entry with data is read in order";
    QList<rar4::Item> small{{QStringLiteral("docs/"), {}, rar4::Kind::Folder}};
    for (int i = 0; i < 300; ++i) {
        small.append({QStringLiteral("docs/%1.txt").arg(i), sampleContent(2000, i)});
    }
    EXPECT_EQ(entriesPassed(save(QStringLiteral("small.rar"), rar4::archive(small)), 4), 0)
        << "small entries cost more to reach than to read";
}

}  // namespace
}  // namespace varnelt::test

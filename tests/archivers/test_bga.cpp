// libbga32 on GZA and BZA archives: hand-written golden archives, archives from the test
// writer, self-extracting ones, and damage that every full test must catch.
#include <gtest/gtest.h>

#include <QDir>
#include <QtEndian>

#include <cstring>
#include <functional>
#include <vector>

#include "tests/support/bga_writer.h"
#include "tests/support/bound_library.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

using bga::Member;
using bga::Method;

// One member, written out byte by byte: folder "資料\" and file "表.txt" in Shift-JIS (表 is
// 0x95 0x5C, its second byte a backslash), "hello" in a stored Deflate block inside gzip.
// Summed as signed chars the checksum is 0x2B0; as unsigned it would be 0x7B0.
const unsigned char kGoldenGza[] = {
    0xB0, 0x02, 0x00, 0x00,             // checksum
    'G',  'Z',  'I',  'P',              // method
    0x1C, 0x00, 0x00, 0x00,             // compressed size 28
    0x05, 0x00, 0x00, 0x00,             // original size 5
    0x21, 0x58, 0x00, 0x60,             // 2024-01-01 12:00:00
    0x20, 0x00, 0x01, 0x00,             // attributes, header type, arc type 1
    0x05, 0x00, 0x06, 0x00,             // folder and file name lengths
    0x8E, 0x91, 0x97, 0xBF, 0x5C,       // 資料\ (CP932)
    0x95, 0x5C, '.',  't',  'x',  't',  // 表.txt (CP932)
    0x1F, 0x8B, 0x08, 0x00, 0,    0,    0,    0,    0x00, 0x03,  // gzip header
    0x01, 0x05, 0x00, 0xFA, 0xFF,                                // final stored block of 5 bytes
    'h',  'e',  'l',  'l',  'o',                                 //
    0x86, 0xA6, 0x10, 0x36, 0x05, 0x00, 0x00, 0x00,              // CRC-32 and length of "hello"
};
constexpr qsizetype kGoldenGzaNamesEnd = 28 + 5 + 6;

// One BZ2 member "hello.txt" holding "hello" as made by bzip2 -9.
const unsigned char kGoldenBza[] = {
    0xA1, 0x05, 0x00, 0x00, 'B',  'Z',  '2',  0x00, 0x29, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00,
    0x21, 0x58, 0x00, 0x60, 0x20, 0x00, 0x01, 0x00, 0x00, 0x00, 0x09, 0x00, 'h',  'e',  'l',  'l',
    'o',  '.',  't',  'x',  't',  0x42, 0x5A, 0x68, 0x39, 0x31, 0x41, 0x59, 0x26, 0x53, 0x59, 0x19,
    0x31, 0x65, 0x3D, 0x00, 0x00, 0x00, 0x81, 0x00, 0x02, 0x44, 0xA0, 0x00, 0x21, 0x9A, 0x68, 0x33,
    0x4D, 0x07, 0x33, 0x8B, 0xB9, 0x22, 0x9C, 0x28, 0x48, 0x0C, 0x98, 0xB2, 0x9E, 0x80,
};

QByteArray bytesOf(const unsigned char* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// Bytes that do not compress, so a member's compressed data spans several read chunks.
QByteArray noise(int size, uint32_t seed) {
    QByteArray out(size, '\0');
    for (char& c : out) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 23);
    }
    return out;
}

// Adds to the 32-bit little-endian field at offset.
void addToField(QByteArray& bytes, qsizetype offset, uint32_t amount) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.constData() + offset, 4);
    value = qFromLittleEndian(value) + amount;
    value = qToLittleEndian(value);
    std::memcpy(bytes.data() + offset, &value, 4);
}

Member fileMember(Method method, const QByteArray& file, const QByteArray& data,
                  const QByteArray& folder = {}) {
    Member member;
    member.method = method;
    member.folder = folder;
    member.file = file;
    member.data = data;
    return member;
}

QList<Member> threeMembers(Method method) {
    return {fileMember(method, "a.txt", sampleContent(3000, 1)),
            fileMember(method, "b.txt", noise(300000, 2), "sub\\"),
            fileMember(method, "c.txt", sampleContent(200000, 3))};
}

QByteArray encode(const QList<Member>& members) {
    QByteArray out;
    for (const Member& member : members) {
        out.append(bga::encodeMember(member));
    }
    return out;
}

class BgaLibrary : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(library_.loaded()); }
    const ArchiverLibrary& f() const { return library_.functions(); }

    QString put(const QString& name, const QByteArray& bytes) {
        const QString path = scratch_.path(name);
        writeFile(path, bytes);
        return path;
    }
    // CheckArchive's answer, the same in every mode.
    int32_t check(const QString& path) {
        const QByteArray local = path.toUtf8();
        const int32_t answer = f().checkArchive(local.constData(), VARNELT_CHECK_RAPID);
        for (const int32_t mode :
             {VARNELT_CHECK_BASIC, VARNELT_CHECK_FULLCRC, VARNELT_CHECK_RECOVERY}) {
            EXPECT_EQ(f().checkArchive(local.constData(), mode), answer) << "mode " << mode;
        }
        return answer;
    }
    int32_t count(const QString& path) { return library_.count(path); }
    std::optional<std::string> firstName(const QString& path) { return library_.firstName(path); }

    // A refused file: CheckArchive 0, no count, no handle.
    void expectRefused(const QString& path, const char* what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(check(path), 0);
        EXPECT_LT(count(path), 0);
        EXPECT_FALSE(firstName(path).has_value());
    }

    ScratchDir scratch_;
    BoundLibrary library_{{"libbga32.so", "Bga", nullptr}};
};

TEST_F(BgaLibrary, GoldenArchivesPassAndNameTheirEntry) {
    const QByteArray gza = bytesOf(kGoldenGza, sizeof kGoldenGza);
    const QString gzaPath = put(QStringLiteral("golden.gza"), gza);
    EXPECT_EQ(check(gzaPath), 1);
    EXPECT_EQ(count(gzaPath), 1);
    EXPECT_EQ(firstName(gzaPath), std::optional<std::string>("資料/表.txt"));

    const QString bzaPath =
        put(QStringLiteral("golden.bza"), bytesOf(kGoldenBza, sizeof kGoldenBza));
    EXPECT_EQ(check(bzaPath), 2);
    EXPECT_EQ(count(bzaPath), 1);
    EXPECT_EQ(firstName(bzaPath), std::optional<std::string>("hello.txt"));

    // The writer seals headers the same way.
    EXPECT_EQ(bga::headerChecksum(gza.left(kGoldenGzaNamesEnd)), 0x2B0u);
}

TEST_F(BgaLibrary, GoldenArchiveWithUnsignedChecksumIsRefused) {
    QByteArray gza = bytesOf(kGoldenGza, sizeof kGoldenGza);
    gza[0] = static_cast<char>(0xB0);
    gza[1] = static_cast<char>(0x07);
    expectRefused(put(QStringLiteral("unsigned.gza"), gza), "unsigned sum");
}

TEST_F(BgaLibrary, WrittenArchivesAnswerTheirFirstMethod) {
    for (const Method method : {Method::Gzip, Method::Bzip2}) {
        const int32_t expected = method == Method::Gzip ? 1 : 2;
        SCOPED_TRACE(expected);
        const QString one = scratch_.path(QStringLiteral("one-%1").arg(expected));
        ASSERT_TRUE(bga::writeArchive(one, {fileMember(method, "only.txt", "only")}));
        EXPECT_EQ(check(one), expected);
        EXPECT_EQ(count(one), 1);

        const QString three =
            put(QStringLiteral("three-%1").arg(expected), encode(threeMembers(method)));
        EXPECT_EQ(check(three), expected);
        EXPECT_EQ(count(three), 3);
        EXPECT_EQ(firstName(three), std::optional<std::string>("a.txt"));
    }
    // The first member decides, whatever follows.
    const QString mixed =
        put(QStringLiteral("mixed"),
            encode({fileMember(Method::Bzip2, "a", "x"), fileMember(Method::Gzip, "b", "y")}));
    EXPECT_EQ(check(mixed), 2);
    EXPECT_EQ(count(mixed), 2);
}

TEST_F(BgaLibrary, StoredFolderAndEmptyMembers) {
    Member stored = fileMember(Method::Gzip, "plain.txt", sampleContent(4000, 4));
    stored.compress = false;
    stored.arcType = bga::kArcStored;
    Member folder = fileMember(Method::Gzip, "", "", "docs\\");
    folder.compress = false;
    folder.arcType = bga::kArcStored;
    folder.attributes = 0x10;
    const QString archive = put(QStringLiteral("mixed.gza"),
                                encode({folder, stored, fileMember(Method::Gzip, "empty", "")}));
    EXPECT_EQ(check(archive), 1);
    EXPECT_EQ(count(archive), 3);
    EXPECT_EQ(firstName(archive), std::optional<std::string>("docs/"));

    // Stored bytes have no checksum, but both sizes must still agree with them.
    QByteArray longer = bga::encodeMember(stored);
    addToField(longer, 12, 1);
    bga::resealHeader(longer, 0);
    EXPECT_EQ(check(put(QStringLiteral("stored-sizes.gza"), longer)), 0);

    // Arc type 0 keeps a compressed file's bytes only under such an extension.
    Member byName = fileMember(Method::Bzip2, "inner.ZIP", sampleContent(500, 5));
    byName.compress = false;
    byName.arcType = bga::kArcByName;
    EXPECT_EQ(check(put(QStringLiteral("byname.bza"), bga::encodeMember(byName))), 2);
    byName.file = "inner.txt";
    EXPECT_EQ(check(put(QStringLiteral("notbyname.bza"), bga::encodeMember(byName))), 0);
    byName.compress = true;
    EXPECT_EQ(check(put(QStringLiteral("compressed.bza"), bga::encodeMember(byName))), 2);
}

TEST_F(BgaLibrary, FirstNameKeepsFolderPartAndDoubleByteCharacters) {
    const QString nested = scratch_.path(QStringLiteral("nested.gza"));
    ASSERT_TRUE(makeGza(nested, {{QStringLiteral("docs/readme.txt"), "r"}}));
    EXPECT_EQ(firstName(nested), std::optional<std::string>("docs/readme.txt"));

    // ソ and 表 both end in 0x5C, the byte of "\".
    const QString japanese = scratch_.path(QStringLiteral("japanese.bza"));
    ASSERT_TRUE(makeBza(japanese, {{QStringLiteral("表計算/ソフト.txt"), "j"}}));
    EXPECT_EQ(firstName(japanese), std::optional<std::string>("表計算/ソフト.txt"));
    EXPECT_EQ(check(japanese), 2);
}

TEST_F(BgaLibrary, SelfExtractingArchiveIsFoundBehindItsStub) {
    const QByteArray archive = encode(threeMembers(Method::Gzip));
    // The stub mentions the method itself, with no valid header around it.
    QByteArray stub = "MZ" + sampleContent(20000, 6) + "GZIP" + sampleContent(3000, 7);
    const QString sfx = put(QStringLiteral("sfx.exe"), stub + archive);
    EXPECT_EQ(check(sfx), 1);
    EXPECT_EQ(count(sfx), 3);
    EXPECT_EQ(firstName(sfx), std::optional<std::string>("a.txt"));

    QByteArray damaged = stub + archive;
    damaged[stub.size() + archive.size() / 2] ^= 0x55;
    EXPECT_EQ(check(put(QStringLiteral("damaged.exe"), damaged)), 0);

    expectRefused(put(QStringLiteral("plain.exe"), stub), "stub alone");
    // Past the scan window the archive is not looked for.
    const QByteArray longStub = "MZ" + QByteArray((1 << 20) + 64, 'x');
    expectRefused(put(QStringLiteral("far.exe"), longStub + archive), "beyond the window");
}

struct Damage {
    const char* what;
    std::function<void(QByteArray&)> apply;
    bool headersWalk;  // the headers still chain, so only the full test can notice
};

// Damage to the second of three members of the archive, at offsets known from its layout.
std::vector<Damage> damagesFor(Method method) {
    const QList<Member> members = threeMembers(method);
    const qsizetype second = bga::encodeMember(members[0]).size();
    const qsizetype secondData = second + bga::dataOffset(members[1]);
    const qsizetype secondEnd = second + bga::encodeMember(members[1]).size();
    std::vector<Damage> damages = {
        {"header byte", [=](QByteArray& a) { a[second + 12] ^= 0x01; }, false},
        {"method byte", [=](QByteArray& a) { a[second + 5] ^= 0x01; }, false},
        {"name byte", [=](QByteArray& a) { a[second + 28] ^= 0x20; }, false},
        {"compressed data", [=](QByteArray& a) { a[(secondData + secondEnd) / 2] ^= 0x10; }, true},
        {"original size, resealed",
         [=](QByteArray& a) {
             a[second + 12] ^= 0x01;
             bga::resealHeader(a, second);
         },
         true},
        {"compressed size one more, resealed",
         [=](QByteArray& a) {
             a.insert(secondEnd, '\0');
             addToField(a, second + 8, 1);
             bga::resealHeader(a, second);
         },
         true},
        {"data cut short, resealed",
         [=](QByteArray& a) {
             a.remove(secondEnd - 10, 10);
             addToField(a, second + 8, static_cast<uint32_t>(-10));
             bga::resealHeader(a, second);
         },
         true},
        {"unknown arc type, resealed",
         [=](QByteArray& a) {
             a[second + 22] = 7;
             bga::resealHeader(a, second);
         },
         true},
        {"truncated last member", [](QByteArray& a) { a.chop(100); }, false},
        {"truncated last header", [=](QByteArray& a) { a.truncate(secondEnd + 20); }, false},
        {"short trailing garbage", [](QByteArray& a) { a.append("junk"); }, false},
        {"trailing garbage", [](QByteArray& a) { a.append(sampleContent(300, 8)); }, false},
    };
    if (method == Method::Gzip) {
        damages.push_back({"gzip CRC-32", [=](QByteArray& a) { a[secondEnd - 8] ^= 0x01; }, true});
        damages.push_back({"gzip length", [=](QByteArray& a) { a[secondEnd - 3] ^= 0x01; }, true});
        damages.push_back(
            {"first Deflate byte", [=](QByteArray& a) { a[secondData + 10] ^= 0x04; }, true});
    } else {
        damages.push_back(
            {"bzip2 stream CRC", [=](QByteArray& a) { a[secondEnd - 3] ^= 0x01; }, true});
        damages.push_back(
            {"bzip2 block CRC", [=](QByteArray& a) { a[secondData + 12] ^= 0x01; }, true});
    }
    return damages;
}

TEST_F(BgaLibrary, EveryDamageFails) {
    for (const Method method : {Method::Gzip, Method::Bzip2}) {
        const QByteArray intact = encode(threeMembers(method));
        ASSERT_EQ(check(put(QStringLiteral("intact"), intact)), method == Method::Gzip ? 1 : 2);
        for (const Damage& damage : damagesFor(method)) {
            SCOPED_TRACE(std::string(method == Method::Gzip ? "gza: " : "bza: ") + damage.what);
            QByteArray bytes = intact;
            damage.apply(bytes);
            ASSERT_NE(bytes, intact);
            const QString path = put(QStringLiteral("damaged"), bytes);
            EXPECT_EQ(check(path), 0);
            if (damage.headersWalk) {
                EXPECT_EQ(count(path), 3);
            } else {
                EXPECT_LT(count(path), 0);
            }
        }
    }
}

TEST_F(BgaLibrary, GoldenArchiveDamageFails) {
    const QByteArray golden = bytesOf(kGoldenGza, sizeof kGoldenGza);
    // Offsets of the last name byte, a Deflate length byte, a data byte, the CRC and the length.
    for (const qsizetype offset :
         {qsizetype{38}, qsizetype{50}, qsizetype{55}, qsizetype{59}, qsizetype{63}}) {
        QByteArray bytes = golden;
        bytes[offset] ^= 0x01;
        EXPECT_EQ(check(put(QStringLiteral("golden-damaged"), bytes)), 0) << "offset " << offset;
    }
}

TEST_F(BgaLibrary, ForeignAndHostileFilesAreRefused) {
    const QString folder = scratch_.path(QStringLiteral("zip"));
    QDir().mkpath(folder);
    writeFile(folder + QStringLiteral("/a.txt"), sampleContent(2000, 9));
    ASSERT_TRUE(runTool(
        QStringLiteral("zip"),
        {QStringLiteral("-q"), QStringLiteral("foreign.zip"), QStringLiteral("a.txt")}, folder));
    expectRefused(folder + QStringLiteral("/foreign.zip"), "zip");
    expectRefused(put(QStringLiteral("plain.gz"), bga::gzipMember(sampleContent(1000, 10))),
                  "gzip");
    expectRefused(put(QStringLiteral("empty.gza"), {}), "empty");
    expectRefused(put(QStringLiteral("header.gza"), bytesOf(kGoldenGza, 20)), "part of a header");

    // Sizes that point past the end: a sealed header's data, a header's names.
    Member member = fileMember(Method::Gzip, "a.txt", "alpha");
    QByteArray pastEnd = bga::encodeMember(member);
    addToField(pastEnd, 8, 0x7F000000);
    bga::resealHeader(pastEnd, 0);
    const QString pastEndPath = put(QStringLiteral("pastend.gza"), pastEnd);
    EXPECT_EQ(check(pastEndPath), 0);
    EXPECT_LT(count(pastEndPath), 0);
    QByteArray longNames = bga::encodeMember(member);
    longNames[25] = longNames[27] = static_cast<char>(0xFF);
    expectRefused(put(QStringLiteral("names.gza"), longNames), "names past the end");

    // A sealed header with a method this format does not have.
    QByteArray method = bga::encodeMember(member);
    std::memcpy(method.data() + 4, "LZMA", 4);
    bga::resealHeader(method, 0);
    expectRefused(put(QStringLiteral("method.gza"), method), "unknown method");
}

}  // namespace
}  // namespace varnelt::test

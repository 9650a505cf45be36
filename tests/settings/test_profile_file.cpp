// The settings file: reading rules, edits that keep every other byte, and saves that either
// replace the whole file or leave it alone.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/resource.h>
#include <unistd.h>
#include <csignal>

#include <vector>

#include "settings/profile_file.h"
#include "tests/support/scratch.h"

namespace varnelt {
namespace {

using test::readFile;
using test::ScratchDir;
using test::writeFile;

QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

ProfileFile loaded(const QString& path) {
    ProfileFile profile;
    EXPECT_TRUE(profile.load(path)) << path.toStdString();
    return profile;
}

TEST(ProfileFileRead, FollowsTheNameAndValueRules) {
    const ScratchDir dir;
    writeFile(dir.path("a.ini"),
              "orphan=before any section\n"
              "[Position]\n"
              "Top=10\n"
              "  left  =  20  \n"
              "\tWidth\t=\t30\t\n"
              "top=99\n"
              "Path=/a=b/c\n"
              "Quoted=\"x\"\n"
              "Empty=\n"
              "; Hidden=1\n"
              "  #Hash=1\n"
              "\xC3\x84pfel=\xE2\x82\xAC 1\n"
              "[ option ]\n"
              "FastMode=1\n"
              "[position]\n"
              "Extra=1\n");
    const ProfileFile profile = loaded(dir.path("a.ini"));
    const struct {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"position", "TOP", "10"},       // names fold case; the first duplicate key wins
        {"Position", "Left", "20"},      // blanks around name and value
        {"Position", "width", "30"},     // tabs count as blanks
        {"Position", "Path", "/a=b/c"},  // "=" inside the value
        {"Position", "Quoted", "\"x\""},
        {"Position", "Empty", ""},
        {"Position", "Missing", ""},
        {"Missing", "Top", ""},
        {"", "orphan", ""},            // no section, no key
        {"Position", "; Hidden", ""},  // comments are not keys
        {"Position", "#Hash", ""},
        {"Position", "\xC3\x84PFEL", "\xE2\x82\xAC 1"},
        {"Position", "\xC3\xA4pfel", ""},  // only ASCII letters fold
        {" OPTION\t", " fastmode ", "1"},
        {"Position", "Extra", ""},  // the first duplicate section wins
    };
    for (const auto& c : cases) {
        EXPECT_EQ(profile.value(q(c.section), q(c.key)), q(c.expected))
            << c.section << " / " << c.key;
    }
}

TEST(ProfileFileRead, LongValueComesBackWhole) {
    const ScratchDir dir;
    QByteArray folder = "/srv/";
    while (folder.size() < 600) {
        folder += "\xE6\x97\xA5/dir-";
    }
    writeFile(dir.path("a.ini"), "\xEF\xBB\xBF[Option]\nDest=" + folder + "\n");
    EXPECT_EQ(loaded(dir.path("a.ini")).value(q("Option"), q("Dest")), QString::fromUtf8(folder));

    ProfileFile written;
    written.setValue(q("Option"), q("Dest"), QString::fromUtf8(folder + "x"));
    ASSERT_TRUE(written.save(dir.path("b.ini")));
    EXPECT_EQ(loaded(dir.path("b.ini")).value(q("Option"), q("Dest")),
              QString::fromUtf8(folder + "x"));
}

TEST(ProfileFileRead, MissingFileGivesAnEmptyProfile) {
    const ScratchDir dir;
    writeFile(dir.path("a.ini"), "[A]\nk=v\n");
    ProfileFile profile = loaded(dir.path("a.ini"));
    EXPECT_FALSE(profile.load(dir.path("none.ini")));
    EXPECT_EQ(profile.value(q("A"), q("k")), QString());
}

TEST(ProfileFile, WorksInMemoryBetweenLoadAndSave) {
    const ScratchDir dir;
    writeFile(dir.path("a.ini"), "[A]\nk=v\n");
    ProfileFile profile = loaded(dir.path("a.ini"));
    writeFile(dir.path("a.ini"), "[A]\nk=changed on disk\n");
    profile.setValue(q("A"), q("n"), q("1"));
    EXPECT_EQ(profile.value(q("A"), q("k")), q("v"));
    EXPECT_EQ(profile.value(q("A"), q("n")), q("1"));
    EXPECT_EQ(readFile(dir.path("a.ini")), "[A]\nk=changed on disk\n");
}

TEST(ProfileFileWrite, KeepsEveryByteButTheValues) {
    const ScratchDir dir;
    // Values are %1 (top), %2 (left) and %3 (fast mode).
    const auto file = [](const char* top, const char* left, const char* mode) {
        return QString::fromUtf8(
                   "\xEF\xBB\xBF; Varnelt settings\n[Option]\nFastMode = %3\n"
                   "# the user's own note\nUnknown=keep me\n\n[POSITION]\n"
                   "Height=300\n\tLeft = %2 \ntop=%1\n\n[Plugin]\nOther=1")
            .arg(q(top), q(left), q(mode))
            .toUtf8();
    };
    writeFile(dir.path("a.ini"), file("20", "10", "0"));
    ProfileFile profile = loaded(dir.path("a.ini"));
    ASSERT_TRUE(profile.save(dir.path("a.ini")));
    EXPECT_EQ(readFile(dir.path("a.ini")), file("20", "10", "0"));

    profile.setValue(q("Position"), q("TOP"), q("1"));
    profile.setValue(q("position"), q("Left"), q("222"));
    profile.setValue(q("Position"), q("Height"), q("300"));
    profile.setValue(q("option"), q("fastmode"), q("1"));
    ASSERT_TRUE(profile.save(dir.path("a.ini")));
    EXPECT_EQ(readFile(dir.path("a.ini")), file("1", "222", "1"));
}

TEST(ProfileFileWrite, PlacesNewKeysAndSections) {
    struct Set {
        const char* section;
        const char* key;
        const char* value;
    };
    const struct {
        const char* name;
        const char* before;
        std::vector<Set> sets;
        const char* after;
    } cases[] = {
        {"key after the section's last key, before its blank lines and the next comment",
         "[A]\nx=1\n\n; about B\n[B]\ny=2\n",
         {{"a", "z", "3"}},
         "[A]\nx=1\nz=3\n\n; about B\n[B]\ny=2\n"},
        {"key right after a header with no keys",
         "[A]\n; note\n[B]\n",
         {{"A", "k", "v"}},
         "[A]\nk=v\n; note\n[B]\n"},
        {"new section after a blank line",
         "[A]\nx=1\n",
         {{"B", "y", "2"}},
         "[A]\nx=1\n\n[B]\ny=2\n"},
        {"new section, no second blank line",
         "[A]\nx=1\n\n",
         {{"B", "y", "2"}},
         "[A]\nx=1\n\n[B]\ny=2\n"},
        {"unterminated last line", "[A]\nx=1", {{"A", "y", "2"}}, "[A]\nx=1\ny=2\n"},
        {"value in place keeps the blanks around it",
         "[a]\n  KEY\t=\told\t\n",
         {{"A", "key", "new=1"}},
         "[a]\n  KEY\t=\tnew=1\t\n"},
        {"first duplicate written",
         "[A]\nk=1\nk=2\n[a]\nk=3\n",
         {{"A", "k", "9"}},
         "[A]\nk=9\nk=2\n[a]\nk=3\n"},
        {"CR LF stays CR LF",
         "[A]\r\nx=1\r\n",
         {{"A", "x", "5"}, {"A", "y", "2"}, {"B", "z", "3"}},
         "[A]\r\nx=5\r\ny=2\r\n\r\n[B]\r\nz=3\r\n"},
        {"line breaks in a value", "", {{"A", "k", "a\r\nb\nc"}}, "[A]\nk=a  b c\n"},
        {"unreadable names",
         "[A]\n",
         {{"A", "x=y", "1"},
          {"A", " ", "1"},
          {"", "k", "1"},
          {"A", "; c", "1"},
          {"A]", "k", "1"},
          {"A", "[k", "1"},
          {"A", "k\nj", "1"}},
         "[A]\n"},
    };
    for (const auto& c : cases) {
        const ScratchDir dir;
        writeFile(dir.path("a.ini"), c.before);
        ProfileFile profile = loaded(dir.path("a.ini"));
        for (const Set& set : c.sets) {
            profile.setValue(q(set.section), q(set.key), q(set.value));
        }
        ASSERT_TRUE(profile.save(dir.path("a.ini"))) << c.name;
        EXPECT_EQ(readFile(dir.path("a.ini")), QByteArray(c.after)) << c.name;
    }
}

TEST(ProfileFileWrite, NewFileKeepsTheOrderOfFirstWriting) {
    const ScratchDir dir;
    ProfileFile profile;
    EXPECT_FALSE(profile.load(dir.path("a.ini")));
    for (const char* key : {"Top", "Left", "Width", "Height"}) {
        profile.setValue(q("Position"), q(key), q("1"));
    }
    profile.setValue(q("Option"), q("FastMode"), q("0"));
    profile.setValue(q("Position"), q("top"), q("7"));
    profile.setValue(q("Position"), q("State"), q("2"));
    ASSERT_TRUE(profile.save(dir.path("a.ini")));
    EXPECT_EQ(readFile(dir.path("a.ini")),
              "[Position]\nTop=7\nLeft=1\nWidth=1\nHeight=1\nState=2\n\n[Option]\nFastMode=0\n");
}

TEST(ProfileFileSave, CreatesTheMissingFolder) {
    const ScratchDir dir;
    ProfileFile profile;
    profile.setValue(q("A"), q("k"), q("v"));
    ASSERT_TRUE(profile.save(dir.path("one/two/a.ini")));
    EXPECT_EQ(readFile(dir.path("one/two/a.ini")), "[A]\nk=v\n");
}

// Files may not grow past a few bytes while this lives, so every write of a larger file fails,
// for root as well.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int);
};

TEST(ProfileFileSave, FailedWriteLeavesTheOldFile) {
    const ScratchDir dir;
    const QByteArray old = "[A]\nk=old\n";
    writeFile(dir.path("a.ini"), old);
    ProfileFile profile = loaded(dir.path("a.ini"));
    profile.setValue(q("A"), q("k"), QString(200, u'n'));
    {
        const FileSizeLimit limit(16);
        EXPECT_FALSE(profile.save(dir.path("a.ini")));
    }
    EXPECT_EQ(readFile(dir.path("a.ini")), old);
    EXPECT_EQ(QDir(dir.root()).entryList(QDir::Files | QDir::Hidden), QStringList{q("a.ini")});
    EXPECT_TRUE(profile.save(dir.path("a.ini")));
    EXPECT_EQ(loaded(dir.path("a.ini")).value(q("A"), q("k")), QString(200, u'n'));
}

TEST(ProfileFileSave, FailsWhereNoFileCanBeMade) {
    const ScratchDir dir;
    writeFile(dir.path("file"), "not a folder");
    ProfileFile profile;
    profile.setValue(q("A"), q("k"), q("v"));
    EXPECT_FALSE(profile.save(q("/dev/null/x.ini")));
    EXPECT_FALSE(profile.save(dir.path("file/x.ini")));
    EXPECT_FALSE(profile.save(dir.root()));
    EXPECT_EQ(readFile(dir.path("file")), "not a folder");
}

TEST(ProfileFileSave, ReadOnlyFolderLeavesTheOldFile) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders";
    }
    const ScratchDir dir;
    QDir().mkdir(dir.path("ro"));
    writeFile(dir.path("ro/a.ini"), "[A]\nk=old\n");
    ProfileFile profile = loaded(dir.path("ro/a.ini"));
    profile.setValue(q("A"), q("k"), q("new"));
    QFile::setPermissions(dir.path("ro"), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_FALSE(profile.save(dir.path("ro/a.ini")));
    QFile::setPermissions(dir.path("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(readFile(dir.path("ro/a.ini")), "[A]\nk=old\n");
}

}  // namespace
}  // namespace varnelt

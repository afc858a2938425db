// Archive extraction: progress texts, name counting, refused entry names, damaged archives
// and the all-or-nothing extraction into a new folder.
#include "test_support.h"
#include "workflow/unzip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <zip.h>

#include <utility>
#include <vector>

using namespace vantorel::workflow;
using vantorel::test::readAll;
using vantorel::test::ScratchDir;
using vantorel::test::writeAll;

namespace {

using Entries = std::vector<std::pair<QString, QByteArray>>;

// Writes a zip with the entries in order; a name ending in '/' makes a folder entry.
void makeZip(const QString& path, const Entries& entries) {
    int err = 0;
    zip_t* za = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_NE(za, nullptr) << err;
    for (const auto& [name, data] : entries) {
        const QByteArray n = name.toUtf8();
        if (name.endsWith(QLatin1Char('/'))) {
            ASSERT_GE(zip_dir_add(za, n.constData(), 0), 0) << zip_strerror(za);
            continue;
        }
        zip_source_t* src = zip_source_buffer(za, data.constData(), zip_uint64_t(data.size()), 0);
        ASSERT_NE(src, nullptr);
        ASSERT_GE(zip_file_add(za, n.constData(), src, 0), 0) << zip_strerror(za);
    }
    ASSERT_EQ(zip_close(za), 0) << zip_strerror(za);
}

// Every distinct progress text in the order the window would show it.
struct Recorder {
    QStringList texts;
    int calls = 0;
    void attach(UnzipDisplay& d) {
        d.processEvents = [this](const UnzipDisplay& s) {
            ++calls;
            if (texts.isEmpty() || texts.last() != s.lb_progress) texts << s.lb_progress;
        };
    }
};

QByteArray bigPayload() {
    QByteArray b;
    for (unsigned i = 0; i < 400000; ++i)
        b.append(char('a' + (i * 7919u) % 26u));
    return b;
}

} // namespace

TEST(Unzip, ThreeEntriesShowCountsThenDash) {
    ScratchDir dir;
    const QString zip = dir.file("three.zip");
    makeZip(zip, {{"a.txt", "alpha"}, {"sub/b.txt", "beta"}, {"c.txt", "gamma"}});
    UnzipDisplay display;
    Recorder rec;
    rec.attach(display);
    ASSERT_TRUE(Unzip_Extract(display, zip, dir.file("out")));
    EXPECT_EQ(rec.texts, QStringList({"1/3   a.txt", "2/3   b.txt", "3/3   c.txt", "-/-"}));
    EXPECT_EQ(display.ProgressBarMax, 3);
    EXPECT_EQ(display.ProgressBar1, 0);
    EXPECT_EQ(display.Unzip_FileCount, 3);
    EXPECT_EQ(display.Unzip_TotalCount, 3);
    EXPECT_EQ(readAll(dir.file("out/sub/b.txt")), QByteArray("beta"));
    EXPECT_EQ(readAll(dir.file("out/c.txt")), QByteArray("gamma"));
}

TEST(Unzip, EntryReportedManyTimesCountsOnce) {
    ScratchDir dir;
    const QString zip = dir.file("big.zip");
    const QByteArray big = bigPayload();
    makeZip(zip, {{"folder/", {}}, {"big.bin", big}, {"small.txt", "x"}});
    UnzipDisplay display;
    Recorder rec;
    rec.attach(display);
    ASSERT_TRUE(Unzip_Extract(display, zip, dir.file("out")));
    EXPECT_GT(rec.calls, 5); // the large entry reports once per chunk
    EXPECT_EQ(rec.texts, QStringList({"1/3   folder", "2/3   big.bin", "3/3   small.txt", "-/-"}));
    EXPECT_EQ(readAll(dir.file("out/big.bin")), big);
    EXPECT_TRUE(QFileInfo(dir.file("out/folder")).isDir());
}

TEST(Unzip, CountAdvancesOnlyWhenTheNameChanges) {
    UnzipDisplay display;
    display.Unzip_TotalCount = 3;
    const std::vector<std::pair<QString, int>> steps = {
        {"a/x.jpg", 1}, {"a/x.jpg", 1}, {"a/x.jpg", 1}, {"y.jpg", 2}, {"y.jpg", 2}, {"a/x.jpg", 3}};
    for (const auto& [name, count] : steps) {
        display.OnZipProgressEvent(name);
        EXPECT_EQ(display.Unzip_FileCount, count) << name.toStdString();
        EXPECT_EQ(display.ProgressBar1, count);
    }
    EXPECT_EQ(display.lb_progress, QStringLiteral("3/3   x.jpg"));
}

TEST(Unzip, MissingArchiveChangesNothing) {
    ScratchDir dir;
    UnzipDisplay display;
    display.Unzip_FileCount = 7;
    EXPECT_FALSE(Unzip_Extract(display, dir.file("none.zip"), dir.file("out")));
    EXPECT_EQ(display.Label_file, QStringLiteral("name"));
    EXPECT_EQ(display.lb_progress, QStringLiteral("0"));
    EXPECT_EQ(display.Unzip_FileCount, 7);
    EXPECT_FALSE(QFileInfo::exists(dir.file("out")));
    EXPECT_FALSE(Unzip_ExtractToNewFolder(display, dir.file("none.zip"), dir.file("out")));
    EXPECT_FALSE(QFileInfo::exists(dir.file("out")));
}

TEST(Unzip, ReplacesFilesOfTheSameName) {
    ScratchDir dir;
    const QString zip = dir.file("one.zip");
    makeZip(zip, {{"keep/same.pat", "new"}});
    QDir().mkpath(dir.file("out/keep"));
    writeAll(dir.file("out/keep/same.pat"), "old contents that are longer");
    writeAll(dir.file("out/other.pat"), "mine");
    UnzipDisplay display;
    ASSERT_TRUE(Unzip_Extract(display, zip, dir.file("out")));
    EXPECT_EQ(readAll(dir.file("out/keep/same.pat")), QByteArray("new"));
    EXPECT_EQ(readAll(dir.file("out/other.pat")), QByteArray("mine"));
}

TEST(Unzip, EntryNamesLeavingTheTargetAreRefused) {
    const std::vector<std::pair<const char*, bool>> cases = {
        {"../x", false},   {"/abs", false},         {"a/../../x", false},
        {"..\\x", false},  {"a\\..\\..\\x", false}, {"C:/x", false},
        {"\\abs", false},  {"..", false},           {"", false},
        {"a/b.txt", true}, {"a/./b.txt", true},     {"..a/b", true},
        {"a..b", true},    {"dir/", true},
    };
    for (const auto& [name, safe] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Unzip_IsSafeEntryName(QString::fromUtf8(name)), safe);
    }

    for (const char* bad : {"../x", "/abs", "a/../../x", "a\\..\\..\\x"}) {
        SCOPED_TRACE(bad);
        ScratchDir dir;
        const QString zip = dir.file("evil.zip");
        // A harmless first entry: nothing at all may be written when a later one is bad.
        makeZip(zip, {{"first.txt", "1"}, {QString::fromUtf8(bad), "evil"}});
        UnzipDisplay display;
        try {
            Unzip_Extract(display, zip, dir.file("deep/out"));
            ADD_FAILURE() << "no error";
        } catch (const UnzipError& e) {
            EXPECT_NE(std::string(e.what()).find("refused"), std::string::npos) << e.what();
        }
        EXPECT_FALSE(QFileInfo::exists(dir.file("deep/out/first.txt")));
        EXPECT_FALSE(QFileInfo::exists(dir.file("deep/x")));
        EXPECT_FALSE(QFileInfo::exists(dir.file("x")));
        EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/abs")));
    }
}

TEST(Unzip, LinkInsideTheTargetDoesNotLeadOut) {
    ScratchDir dir;
    QDir().mkpath(dir.file("out"));
    QDir().mkpath(dir.file("elsewhere"));
    ASSERT_TRUE(QFile::link(dir.file("elsewhere"), dir.file("out/link")));
    // Neither the file nor the folders on the way to it may appear behind the link.
    for (const char* name : {"link/x.txt", "link/sub/deeper/x.txt", "link/sub/"}) {
        SCOPED_TRACE(name);
        const QString zip = dir.file("link.zip");
        makeZip(zip, {{QString::fromUtf8(name), "escaped"}});
        UnzipDisplay display;
        EXPECT_THROW(Unzip_Extract(display, zip, dir.file("out")), UnzipError);
        EXPECT_TRUE(QDir(dir.file("elsewhere"))
                        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                        .isEmpty());
    }
}

TEST(Unzip, DamagedArchivesGiveAClearError) {
    ScratchDir dir;
    const QString good = dir.file("good.zip");
    makeZip(good, {{"a.txt", bigPayload()}, {"b.txt", "bee"}});
    const QByteArray bytes = readAll(good);

    QByteArray flipped = bytes;
    flipped[200] = char(flipped[200] ^ 0x5A); // inside the deflated data of a.txt
    const std::vector<std::pair<const char*, QByteArray>> cases = {
        {"not a zip", QByteArray("this is not an archive at all, just some text")},
        {"empty file", QByteArray()},
        {"cut in half", bytes.left(bytes.size() / 2)},
        {"damaged data", flipped},
    };
    for (const auto& [what, content] : cases) {
        SCOPED_TRACE(what);
        const QString zip = dir.file("damaged.zip");
        writeAll(zip, content);
        UnzipDisplay display;
        display.lb_progress = QStringLiteral("before");
        try {
            Unzip_Extract(display, zip, dir.file("out"));
            ADD_FAILURE() << "no error";
        } catch (const UnzipError& e) {
            EXPECT_NE(std::string(e.what()).find("damaged.zip"), std::string::npos) << e.what();
        }
        EXPECT_NE(display.lb_progress, QStringLiteral("-/-"));
    }
}

TEST(Unzip, FailedExtractionLeavesNoNewFolder) {
    ScratchDir dir;
    const QString zip = dir.file("lib.zip");
    makeZip(zip, {{"imagelib.dat", bigPayload()}, {"ready/", {}}, {"ready/t.jpg", "jpeg"}});
    QByteArray bytes = readAll(zip);
    bytes[300] = char(bytes[300] ^ 0x33);
    const QString damaged = dir.file("damaged.zip");
    writeAll(damaged, bytes);

    const QString parent = dir.file("Tilelibs");
    const QString target = parent + QStringLiteral("/DefaultSample");
    UnzipDisplay display;
    EXPECT_THROW(Unzip_ExtractToNewFolder(display, damaged, target), UnzipError);
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_TRUE(
        QDir(parent).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());

    ASSERT_TRUE(Unzip_ExtractToNewFolder(display, zip, target));
    EXPECT_EQ(readAll(target + QStringLiteral("/ready/t.jpg")), QByteArray("jpeg"));
    EXPECT_TRUE(QFileInfo(target).permissions() & QFileDevice::ReadOther);
    EXPECT_EQ(QDir(parent).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"DefaultSample"}));
    // An existing folder is never overwritten.
    EXPECT_THROW(Unzip_ExtractToNewFolder(display, zip, target), UnzipError);
}

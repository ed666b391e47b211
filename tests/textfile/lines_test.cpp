#include "support/smalldisk.h"
#include "support/testfiles.h"
#include "textfile/errors.h"
#include "textfile/lines.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using jw::LineRule;
using jw::Lines;

namespace {

struct SplitCase
{
    const char *name;
    QByteArray data;
    LineRule rule;
    Lines expected;
};

TEST(SplitLines, FollowsEachRule)
{
    using LR = LineRule;
    const QByteArray nul("a\0b\nc", 5);
    const SplitCase cases[] = {
        {"empty text has no line", "", LR::AnyBreak, {}},
        {"last line without break counts", "a\r\nb", LR::AnyBreak, {"a", "b"}},
        {"CR LF is one break", "a\r\n\r\nb\r\n", LR::AnyBreak, {"a", "", "b"}},
        {"lone CR and lone LF break", "a\rb\nc", LR::AnyBreak, {"a", "b", "c"}},
        {"LF CR is two breaks", "a\n\rb", LR::AnyBreak, {"a", "", "b"}},
        {"only a break gives one empty line", "\r\n", LR::AnyBreak, {""}},
        {"NUL kept by plain rule", nul, LR::AnyBreak, {QByteArray("a\0b", 3), "c"}},
        {"NUL ends the text", nul, LR::AnyBreakNulEnds, {"a"}},
        {"NUL first gives nothing", QByteArray("\0a", 2), LR::AnyBreakNulEnds, {}},
        {"status: lone LF stays in line", "work\ning\r\nstep", LR::CrBreakSubEnds, {"work\ning", "step"}},
        {"status: lone CR breaks", "a\rb", LR::CrBreakSubEnds, {"a", "b"}},
        {"status: 0x1A ends the file",
            "working\r\nst\x1a"
            "ep\r\nmore",
            LR::CrBreakSubEnds, {"working", "st"}},
        {"status: 0x1A kept by plain rule",
            "a\x1a"
            "b",
            LR::AnyBreak,
            {"a\x1a"
             "b"}},
        {"high bytes pass untouched", "\xb9\xe6\r\n\xff", LR::AnyBreak, {"\xb9\xe6", "\xff"}},
        {"a huge line without a break is one line", QByteArray(100000, 'x'), LR::AnyBreak, {QByteArray(100000, 'x')}},
    };
    for (const SplitCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(jw::splitLines(c.data, c.rule), c.expected);
        if (c.rule == LR::AnyBreak) {
            EXPECT_EQ(jw::withCrLfBreaks(c.data), jw::joinLines(c.expected)) << "the one-pass form agrees";
        }
    }
}

TEST(SplitLines, LimitsCutLinesAndStopEarly)
{
    jw::LineLimits cut;
    cut.maxLineLength = 3;
    EXPECT_EQ(jw::splitLines("abcdef\r\nxy\r\nlonger", LineRule::AnyBreak, cut), (Lines{"abc", "xy", "lon"}));

    jw::LineLimits two;
    two.maxLines = 2;
    EXPECT_EQ(jw::splitLines("1\r\n2\r\n3\r\n", LineRule::CrBreakSubEnds, two), (Lines{"1", "2"}));
}

TEST(WriteLines, PutsCrLfAfterEveryLineAndKeepsBytes)
{
    jw::test::TempProgramFolder folder;
    const QString path = folder.file(QStringLiteral("out"));
    const Lines lines{"first", "", QByteArray("\xb9\0z", 3), "last"};
    jw::writeLines(path, lines);
    EXPECT_EQ(jw::test::readFile(path), QByteArray("first\r\n\r\n\xb9\0z\r\nlast\r\n", 20));
    EXPECT_EQ(jw::readLines(path, LineRule::AnyBreak), lines);

    jw::writeLines(path, {});
    EXPECT_EQ(jw::test::readFile(path), QByteArray());
}

// A save that cannot write every byte (no space left, a read-only file
// system) leaves the old file byte for byte, leaves no temporary file and
// reports the file it could not create.
TEST(WriteLines, FailedWriteLeavesOldFileIntact)
{
    jw::test::SmallDisk disk;
    if (!disk.available())
        GTEST_SKIP() << disk.whyNot().toStdString();
    struct Case
    {
        const char *name;
        qsizetype size;
        bool readOnly;
    };
    const Case cases[] = {
        {"full disk, tiny file", 10, false},
        {"full disk, just under the old buffer", 15000, false},
        {"full disk, larger than the buffer", 100000, false},
        {"read-only file system", 10, true},
    };
    const QString path = disk.path() + QStringLiteral("main.cfg");
    const QByteArray old = "old=1\r\n";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        disk.setReadOnly(false);
        disk.release();
        jw::test::writeFile(path, old);
        if (c.readOnly)
            disk.setReadOnly(true);
        else
            disk.fill();
        try {
            jw::writeLines(path, {QByteArray(c.size, 'n')});
            ADD_FAILURE() << "the save should have failed";
        } catch (const jw::FileError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Cannot create file ") + path);
        }
        EXPECT_EQ(jw::test::readFile(path), old);
        EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files), QStringList{QStringLiteral("main.cfg")});
    }
    disk.setReadOnly(false);
    disk.release();
    jw::writeLines(path, {"new=2"});
    EXPECT_EQ(jw::test::readFile(path), QByteArray("new=2\r\n"));
}

TEST(WriteLines, FailureWhenTargetIsAFolder)
{
    // Works for root too: a folder cannot be replaced by a file.
    jw::test::TempProgramFolder folder;
    const QString path = folder.file(QStringLiteral("config"));
    EXPECT_THROW(jw::writeLines(path, {"x"}), jw::FileError);
    EXPECT_TRUE(QFileInfo(path).isDir());
}

TEST(WriteLines, KeepsThePermissionsOfTheFileItReplaces)
{
    jw::test::TempProgramFolder folder;
    const QString path = folder.file(QStringLiteral("secret"));
    jw::test::writeFile(path, "a\r\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    jw::writeLines(path, {"b"});
    const QFileDevice::Permissions others =
        QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther;
    EXPECT_EQ(QFile::permissions(path) & others, QFileDevice::Permissions());
    EXPECT_TRUE(QFile::permissions(path) & QFileDevice::WriteOwner);
}

TEST(ReadLines, MissingFileReportsItsPath)
{
    jw::test::TempProgramFolder folder;
    const QString path = folder.file(QStringLiteral("nothing-here"));
    try {
        jw::readLines(path, LineRule::AnyBreak);
        ADD_FAILURE() << "expected an error";
    } catch (const jw::FileError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Cannot open file ") + path);
    }
    EXPECT_FALSE(jw::readHeadLines(path, LineRule::CrBreakSubEnds, 2).has_value());
}

TEST(ReadHeadLines, ReadsOnlyTheFirstLinesOfABoundedHead)
{
    jw::test::TempProgramFolder folder;
    const QString path = folder.file(QStringLiteral("status.tmp"));
    jw::test::writeFile(path, "working\r\nmail 3 of 7\r\nignored\r\n" + QByteArray(200000, 'z'));
    const auto lines = jw::readHeadLines(path, LineRule::CrBreakSubEnds, 2);
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(*lines, (Lines{"working", "mail 3 of 7"}));
}

} // namespace

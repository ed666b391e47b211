#include "formats/filterlistfiles.h"
#include "mainwindow/filterlistmodel.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

namespace jw::test {
namespace {

TEST(FilterListModel, InsertsAtTheSortedPlaceIgnoringCase)
{
    FilterListModel model;
    model.setLines({"delta", "Bravo", "alpha"}, TextEncoding::Utf8);
    EXPECT_EQ(model.insertSorted(QStringLiteral("charlie")), 2);
    EXPECT_EQ(model.insertSorted(QStringLiteral("ALPHA2")), 1);
    EXPECT_EQ(model.insertSorted(QStringLiteral("echo")), 5);
    EXPECT_EQ(model.content(), QByteArray("alpha\r\nALPHA2\r\nBravo\r\ncharlie\r\ndelta\r\necho\r\n"));
    EXPECT_EQ(model.findIgnoringCase(QStringLiteral("bravo")), 2);
    EXPECT_EQ(model.findIgnoringCase(QStringLiteral("brav")), -1);
    EXPECT_EQ(model.findContaining(QStringLiteral("ha"), -1), 0);
    EXPECT_EQ(model.findContaining(QStringLiteral("ha"), 0), 3) << "charlie: ALPHA2 differs in case";
    EXPECT_EQ(model.findContaining(QStringLiteral("BRAVO"), -1), -1) << "case-sensitive";
}

TEST(FilterListFiles, AppendKeepsExistingLinesAndEndsEveryLine)
{
    TempProgramFolder folder;
    const QString path = folder.configPath() + QStringLiteral("whitelist");
    writeFile(path, "a\nb");
    appendToListFile(path, {"c"});
    EXPECT_EQ(readFile(path), QByteArray("a\r\nb\r\nc\r\n"));
    appendToDeletionLog(folder.configPath(), "blacklist", {"x", "y"});
    EXPECT_EQ(
        readFile(folder.configPath() + QStringLiteral("forget")), QByteArray("-blacklist::x\r\n-blacklist::y\r\n"));
}

} // namespace
} // namespace jw::test

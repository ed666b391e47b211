#include "settings/languagetable.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

using jw::LanguageTable;
using jw::TextKey;

namespace {

TEST(LanguageTable, LookupRules)
{
    LanguageTable table;
    table.setLines({
        "comment line",
        "TAK=Yes",
        "tak=second",
        "nie =No",
        "usun=a=b ",
        "  szukaj=indented",
        "dodaj=",
    });
    const struct
    {
        const char *key;
        QString text;
    } cases[] = {
        {"tak", QStringLiteral("Yes")}, // capitals match; the first line wins
        {"nie", QString()}, // a blank before "=" belongs to the name
        {"nie ", QStringLiteral("No")},
        {"usun", QStringLiteral("a=b ")}, // everything after the first "=", untrimmed
        {"szukaj", QString()},
        {"dodaj", QString()},
        {"comment line", QString()},
        {"missing", QString()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(table.text(TextKey(c.key)), c.text);
    }
}

TEST(LanguageTable, EightBitTextsAndNamesUseTheCodePage)
{
    LanguageTable table;
    table.setLines({"wyjdz=Wyjd\x9f",
        "\xa3\xd3\xaf"
        "KO=bed"});
    EXPECT_EQ(table.text(TextKey("wyjdz")), QStringLiteral(u"Wyjdź"));
    EXPECT_EQ(table.raw(TextKey("wyjdz")), QByteArray("Wyjd\x9f"));
    EXPECT_EQ(table.text(TextKey("\xb3\xf3\xbf"
                                 "ko")),
        QStringLiteral("bed"));
}

TEST(LanguageTable, LoadCutsLinesAt4096AndKeepsTheTableWhenTheFileIsMissing)
{
    jw::test::TempProgramFolder folder;
    const QString path = folder.configPath() + QLatin1String(LanguageTable::kFileName);
    const QByteArray longText(5000 - 6, 'x');
    jw::test::writeFile(path, "usun=" + longText + "\nlf=only\rcr=only\r\nlast=no break");

    LanguageTable table;
    ASSERT_TRUE(table.load(path));
    EXPECT_EQ(table.raw(TextKey("usun")).size(), 4096 - 5);
    EXPECT_EQ(table.text(TextKey("lf")), QStringLiteral("only"));
    EXPECT_EQ(table.text(TextKey("cr")), QStringLiteral("only"));
    EXPECT_EQ(table.text(TextKey("last")), QStringLiteral("no break"));

    LanguageTable empty;
    EXPECT_FALSE(empty.load(folder.configPath() + QStringLiteral("absent.lng")));
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(empty.text(TextKey("usun")), QString());
}

TEST(LanguageTable, BinaryFileLoadsWithoutHarm)
{
    jw::test::TempProgramFolder folder;
    const QString path = folder.file(QStringLiteral("language.lng"));
    QByteArray noise;
    for (int i = 0; i < 20000; ++i)
        noise.append(char((i * 7919) & 0xff));
    jw::test::writeFile(path, noise + "\r\ntak=Yes\r\n");
    LanguageTable table;
    ASSERT_TRUE(table.load(path));
    EXPECT_EQ(table.text(TextKey("tak")), QStringLiteral("Yes"));
}

} // namespace

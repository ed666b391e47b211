#include "mainformfixture.h"

#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace jw::test {
namespace {

using OdpowiedzPageTest = MainFormFixture;

TEST_F(OdpowiedzPageTest, LoadsAndSavesSubjectAndBody)
{
    const struct
    {
        const char *name;
        QByteArray file;
        QString subject;
        QString body;
        QByteArray saved;
    } cases[] = {
        {"one line", "Only subject", QStringLiteral("Only subject"), QString(), "Only subject\r\n"},
        {"empty lines kept", "S\nfirst\n\n\nlast\n", QStringLiteral("S"), QStringLiteral("first\n\n\nlast"),
            "S\r\nfirst\r\n\r\n\r\nlast\r\n"},
        {"mixed breaks", "S\rA\r\nB", QStringLiteral("S"), QStringLiteral("A\nB"), "S\r\nA\r\nB\r\n"},
        {"long line", "S\r\n" + QByteArray(6000, 'x') + "\r\n", QStringLiteral("S"), QString(6000, QLatin1Char('x')),
            "S\r\n" + QByteArray(6000, 'x') + "\r\n"},
        {"code page kept", "Temat \xbf\r\nTre\x9c\xe6\r\n", QStringLiteral(u"Temat ż"), QStringLiteral(u"Treść"),
            "Temat \xbf\r\nTre\x9c\xe6\r\n"},
        {"1250 line that reads as UTF-8", "Temat \xbf\r\n\xc5\xbc\r\n", QStringLiteral(u"Temat ż"),
            QStringLiteral(u"ĹĽ"), "Temat \xbf\r\n\xc5\xbc\r\n"},
        {"subject and one empty line", "S\r\n\r\n", QStringLiteral("S"), QString(), "S\r\n\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(config(QStringLiteral("remessage")), c.file);
        TMainForm &w = open();
        EXPECT_EQ(w.TabOdpowiedz->OdpowiedzTematEdit->text(), c.subject);
        EXPECT_EQ(w.TabOdpowiedz->OdpowiedzMemo->toPlainText(), c.body);
        EXPECT_FALSE(w.UnsavedChanges);
        EXPECT_TRUE(w.TabOdpowiedz->OdpowiedzButtonZapiszClick());
        EXPECT_EQ(configFile("remessage"), c.saved);
        closeWindow();
    }
}

TEST_F(OdpowiedzPageTest, MissingFileLeavesTheFieldsEmptyAndAFailedSaveKeepsTheFlag)
{
    TMainForm &w = open();
    EXPECT_TRUE(w.TabOdpowiedz->OdpowiedzTematEdit->text().isEmpty());
    EXPECT_TRUE(prompts.errors.isEmpty());
    w.TabOdpowiedz->OdpowiedzTematEdit->setText(QStringLiteral("New"));
    EXPECT_TRUE(w.UnsavedChanges);
    QDir().mkdir(config(QStringLiteral("remessage")));
    EXPECT_FALSE(w.TabOdpowiedz->OdpowiedzButtonZapiszClick());
    EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Cannot create file ") + config(QStringLiteral("remessage"))});
    EXPECT_TRUE(w.UnsavedChanges);
}

} // namespace
} // namespace jw::test

#include "settings/languagetable.h"
#include "settings/textkeys.h"
#include "support/testfiles.h"

#include <QDirIterator>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

const char *const kLanguageFiles[] = {"resources/language/english.lng", "resources/language/polish.lng"};

TEST(LanguageFiles, HaveALineForEveryKeyTheProgramLooksUp)
{
    for (const char *file : kLanguageFiles) {
        SCOPED_TRACE(file);
        jw::LanguageTable table;
        ASSERT_TRUE(table.load(jw::test::sourcePath(QString::fromLatin1(file))));
        for (const jw::TextKey key : jw::keys::all())
            EXPECT_FALSE(table.raw(key).isEmpty()) << "no text for " << key.name().toByteArray().constData();
    }
}

TEST(LanguageFiles, MethodTextsFitTheMethodFile)
{
    for (const char *file : kLanguageFiles) {
        SCOPED_TRACE(file);
        jw::LanguageTable table;
        ASSERT_TRUE(table.load(jw::test::sourcePath(QString::fromLatin1(file))));
        int placeholders = 0;
        for (int i = 0; i < jw::keys::kMethodCount; ++i) {
            const QByteArray text = table.raw(jw::keys::method(i));
            EXPECT_FALSE(text.contains('=')) << "method " << i;
            placeholders += text.contains("##ILOSC") ? 1 : 0;
        }
        EXPECT_EQ(placeholders, 1);
    }
}

TEST(LanguageFiles, PolishFileIsWindows1250AndEnglishIsAscii)
{
    const QByteArray polish = jw::test::readFile(jw::test::sourcePath(QStringLiteral("resources/language/polish.lng")));
    EXPECT_TRUE(polish.contains("Wyjd\x9f")) << "Windows-1250 letters expected";
    const QByteArray english =
        jw::test::readFile(jw::test::sourcePath(QStringLiteral("resources/language/english.lng")));
    for (const char c : english)
        ASSERT_LT(static_cast<unsigned char>(c), 0x80);
}

// Keys are looked up only through the list in textkeys.h, so the check above
// covers every look-up. This guards that no code builds keys elsewhere.
TEST(LanguageFiles, NoKeyIsBuiltOutsideTheKeyList)
{
    const QRegularExpression adHocKey(QStringLiteral(R"(TextKey\s*[({]\s*")"));
    QDirIterator it(jw::test::sourcePath(QStringLiteral("src")), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
        QDir::Files, QDirIterator::Subdirectories);
    int files = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        ++files;
        if (path.endsWith(QStringLiteral("settings/textkeys.h")))
            continue;
        const QString content = QString::fromUtf8(jw::test::readFile(path));
        EXPECT_FALSE(adHocKey.match(content).hasMatch()) << path.toStdString();
    }
    EXPECT_GT(files, 5);
}

TEST(DefaultConfig, HoldsEveryStoredSettingAndSixtyOneMethods)
{
    const QByteArray main = jw::test::readFile(jw::test::sourcePath(QStringLiteral("resources/config/main.cfg")));
    for (const char *key :
        {"server_port=1110", "my_pin=\r\n", "accepted_spam_level=", "maxto=", "what_with_spam=quarantine",
            "auto_remove_spam=", "auto_remove_spam_time=", "update=", "update_version=", "last_tab_seen="})
        EXPECT_TRUE(main.contains(key)) << key;
    const QByteArray methods = jw::test::readFile(jw::test::sourcePath(QStringLiteral("resources/config/methods.cfg")));
    EXPECT_EQ(methods.count("\r\n"), 61);
    EXPECT_EQ(methods.count('='), 61);
}

} // namespace

#include "settings/keyvaluefile.h"
#include "settings/settingsfile.h"
#include "settings/settingskeys.h"
#include "support/testfiles.h"
#include "textfile/errors.h"

#include <gtest/gtest.h>

using jw::KeyValueFile;
using jw::Lines;

namespace {

TEST(KeyValueLookup, FirstMatchingNameWinsIgnoringCaseNothingTrimmed)
{
    const KeyValueFile file(Lines{
        "; a note without equals",
        "SERVER_PORT=1110",
        "server_port=9999",
        "update_version=2.1",
        "update =weekly",
        "maxto= 20 ",
        "what_with_spam=a=b",
        "=orphan",
        "",
    });
    const struct
    {
        const char *name;
        QByteArray value;
    } cases[] = {
        {"server_port", "1110"}, // capitals match, the first line wins
        {"Server_Port", "1110"},
        {"update", ""}, // "update_version" and "update " are other names
        {"update ", "weekly"},
        {"maxto", " 20 "}, // the value is not trimmed
        {"what_with_spam", "a=b"}, // everything after the first "="
        {"", "orphan"}, // an empty name is a name too
        {"; a note without equals", ""},
        {"missing", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(file.value(c.name), c.value);
    }
}

TEST(KeyValueLookup, NamesWithCodePageLettersMatchIgnoringCase)
{
    // "ZAŻÓŁĆ" and "zażółć" in Windows-1250, and in UTF-8.
    const KeyValueFile file(Lines{"ZA\xaf\xd3\xa3\xc6=cp", "G\xc4\x98\xc5\x9a=utf"});
    EXPECT_EQ(file.value("za\xbf\xf3\xb3\xe6"), "cp");
    EXPECT_EQ(file.value("g\xc4\x99\xc5\x9b"), "utf");
}

TEST(KeyValueSet, ReplacesAppendsAndRemovesOnlyTheFirstMatch)
{
    KeyValueFile file(Lines{"note", "SERVER_PORT=1", "server_port=2", "other=x"});
    file.set("server_port", "1110");
    EXPECT_EQ(file.lines(), (Lines{"note", "server_port=1110", "server_port=2", "other=x"}));

    file.set("maxto", "20");
    EXPECT_EQ(file.lines().last(), "maxto=20");

    file.set("server_port", "");
    EXPECT_EQ(file.lines(), (Lines{"note", "server_port=2", "other=x", "maxto=20"}));

    file.set("not_there", "");
    EXPECT_EQ(file.lines().size(), 4);

    file.setText("my_pin", u"żółw");
    EXPECT_EQ(file.value("my_pin"), QByteArray("\xc5\xbc\xc3\xb3\xc5\x82w"));
    EXPECT_EQ(file.text("my_pin"), QStringLiteral(u"żółw"));
}

TEST(KeyValueNumbers, FollowTheNumberRule)
{
    const KeyValueFile file(Lines{"auto_remove_spam=2", "empty=", "level=-3", "blank=1 2"});
    EXPECT_EQ(file.number("auto_remove_spam"), 2);
    EXPECT_EQ(file.number("empty"), 0);
    EXPECT_EQ(file.number("missing"), 0);
    try {
        file.number("level");
        ADD_FAILURE() << "accepted -3";
    } catch (const jw::ConversionError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("'0-3' is not a valid integer value"));
    }
    EXPECT_THROW(file.number("blank"), jw::ConversionError);

    // The proxy reads quietly: what it cannot use is the key's fallback.
    namespace sk = jw::settingskeys;
    const struct
    {
        const jw::SettingKey &key;
        const char *line;
        const char *quiet;
    } quiet[] = {
        {sk::kServerPort, "server_port=1110", "1110"},
        {sk::kServerPort, "server_port=70000", "0"},
        {sk::kServerPort, "server_port=x", "0"},
        {sk::kAcceptedSpamLevel, "accepted_spam_level=0", "1"},
        {sk::kAcceptedSpamLevel, "accepted_spam_level=15", "15"},
        {sk::kMaxTo, "maxto=", "20"},
        {sk::kMaxTo, "maxto=0", "0"},
        {sk::kAutoRemoveSpamTime, "other=1", "0"},
        {sk::kWhatWithSpam, "what_with_spam=drop", "drop"},
        {sk::kWhatWithSpam, "what_with_spam=Drop ", "quarantine"},
        {sk::kWhatWithSpam, "what_with_spam=", "quarantine"},
        {sk::kTlsCaFile, "tls_ca_file=/a b.pem", "/a b.pem"},
    };
    for (const auto &c : quiet) {
        const KeyValueFile settings(Lines{c.line});
        const QString got = c.key.kind == jw::SettingKey::Kind::Number
            ? QString::number(jw::settingsfile::number(settings, c.key))
            : jw::settingsfile::text(settings, c.key);
        EXPECT_EQ(got, QString::fromUtf8(c.quiet)) << c.line;
    }
}

TEST(KeyValueFileOnDisk, SaveKeepsEveryUntouchedLineByteForByte)
{
    jw::test::TempProgramFolder folder;
    const QString path = folder.configPath() + QLatin1String(jw::settingskeys::kFileName);
    // Mixed line ends, 8-bit bytes, a note, a duplicate, an unknown key, no
    // final break.
    jw::test::writeFile(path, "# note\r\nServer_Port=1\nlang=\xb9\xe6\rserver_port=2\r\n\r\nfoo=bar=baz\r\nlast=1");
    KeyValueFile file = KeyValueFile::load(path);
    file.set("server_port", "1110");
    file.set("maxto", "20");
    file.save(path);
    EXPECT_EQ(jw::test::readFile(path),
        QByteArray(
            "# "
            "note\r\nserver_port=1110\r\nlang=\xb9\xe6\r\nserver_port=2\r\n\r\nfoo=bar=baz\r\nlast=1\r\nmaxto=20\r\n"));
}

TEST(KeyValueFileOnDisk, BadInputLoadsByTheRules)
{
    jw::test::TempProgramFolder folder;
    const QString path = folder.file(QStringLiteral("main.cfg"));
    const struct
    {
        const char *name;
        QByteArray content;
        qsizetype lineCount;
    } cases[] = {
        {"nul ends the text", QByteArray("a=1\r\nb=2\0c=3\r\n", 14), 2},
        {"binary noise", QByteArray("\xff\xfe\x01=\x02\r\x80\x81", 8), 2},
        {"only equals", "=", 1},
        {"no line breaks", QByteArray(100000, 'k') + "=v", 1},
        {"empty", "", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        jw::test::writeFile(path, c.content);
        KeyValueFile file = KeyValueFile::load(path);
        EXPECT_EQ(file.lines().size(), c.lineCount);
        file.set("server_port", "1110");
        file.save(path);
        const KeyValueFile again = KeyValueFile::load(path);
        EXPECT_EQ(again.value("server_port"), "1110");
        EXPECT_EQ(again.lines().mid(0, c.lineCount), file.lines().mid(0, c.lineCount));
    }
}

TEST(KeyValueFileOnDisk, MissingFileFailsWithItsPath)
{
    jw::test::TempProgramFolder folder;
    const QString path = folder.file(QStringLiteral("config/main.cfg"));
    try {
        KeyValueFile::load(path);
        ADD_FAILURE() << "expected an error";
    } catch (const jw::FileError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Cannot open file ") + path);
    }
}

} // namespace

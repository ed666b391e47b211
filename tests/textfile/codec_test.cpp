#include "textfile/codec.h"
#include "textfile/collation.h"

#include <QCollator>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

// Asks the system's iconv for the Unicode value of one byte; -1 when the code
// page leaves it undefined.
int iconvDecode(const char *codePage, unsigned char byte)
{
    QProcess iconv;
    iconv.start(QStringLiteral("iconv"),
        {QStringLiteral("-f"), QString::fromLatin1(codePage), QStringLiteral("-t"), QStringLiteral("UTF-16LE")});
    iconv.write(QByteArray(1, char(byte)));
    iconv.closeWriteChannel();
    iconv.waitForFinished();
    const QByteArray out = iconv.readAllStandardOutput();
    if (iconv.exitCode() != 0 || out.size() != 2)
        return -1;
    return static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8);
}

TEST(Codec, TablesAgreeWithIconv)
{
    if (QStandardPaths::findExecutable(QStringLiteral("iconv")).isEmpty())
        GTEST_SKIP() << "iconv is not installed";
    const struct
    {
        const char *iconvName;
        jw::CodePage page;
    } pages[] = {{"CP1250", jw::CodePage::Windows1250}, {"CP1257", jw::CodePage::Windows1257},
        {"ISO-8859-2", jw::CodePage::Iso8859_2}};
    for (const auto &p : pages) {
        // All 128 high bytes in one iconv run would stop at the first
        // undefined byte, so each byte is asked for on its own.
        for (int b = 0x80; b <= 0xFF; ++b) {
            SCOPED_TRACE(std::string(p.iconvName) + " byte " + std::to_string(b));
            const QString ours = jw::decode(QByteArray(1, char(b)), p.page);
            ASSERT_EQ(ours.size(), 1);
            const int theirs = iconvDecode(p.iconvName, static_cast<unsigned char>(b));
            if (theirs < 0)
                EXPECT_EQ(ours[0].unicode(), b) << "undefined bytes keep their value";
            else
                EXPECT_EQ(ours[0].unicode(), theirs);
        }
    }
}

TEST(Codec, EveryByteSurvivesARoundTrip)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    for (jw::CodePage page : {jw::CodePage::Windows1250, jw::CodePage::Windows1257, jw::CodePage::Iso8859_2})
        EXPECT_EQ(jw::encode(jw::decode(all, page), page), all);
}

TEST(Codec, UnmappableCharactersBecomeQuestionMarks)
{
    EXPECT_EQ(jw::encode(u"a\u4e2db\u0105", jw::CodePage::Windows1250), QByteArray("a?b\xb9"));
}

TEST(Codec, DisplayUsesUtf8OnlyWhenValid)
{
    const struct
    {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"plain", QStringLiteral("plain")}, {"za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87", QStringLiteral(u"zażółć")},
        {"za\xbf\xf3\xb3\xe6", QStringLiteral(u"zażółć")}, // Windows-1250
        {"\xc5", QStringLiteral(u"Ĺ")}, // truncated sequence
        {"\xc0\x80", QStringLiteral(u"Ŕ\u20ac")}, // overlong NUL
        {"\xed\xa0\x80", QStringLiteral(u"í\u00a0\u20ac")}, // UTF-16 surrogate
        {"\xf4\x90\x80\x80", QStringLiteral(u"ô\u0090\u20ac\u20ac")}, // beyond U+10FFFF
        {"\xf0\x9f\x98\x80", QString::fromUtf8("\xf0\x9f\x98\x80")}, // a valid 4-byte form
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bytes.toHex().constData());
        EXPECT_EQ(jw::decodeDisplay(c.bytes), c.text);
    }
    EXPECT_EQ(jw::encodeDisplay(u"zażółć"), QByteArray("za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87"));
}

} // namespace

// The compact keys order texts exactly as QCollator (case-insensitive) does,
// in locales with their own alphabets and in the "C" locale.
TEST(CaseInsensitiveCollation, OrdersAsQCollatorDoes)
{
    const char *const texts[] = {"", "a", "A", "ab", "aB@x.pl", "ą", "Ą", "b", "ł", "Łukasz", "lukasz", "ź", "ż", "z",
        "Zoë", "zoe", "zoé", "straße", "STRASSE", "ö", "o", "å", "aa", "1", "10", "9", "-", "_x", "x-y", "xy", "ﬁ",
        "fi", "Ω", "ω", "世界", "😀", "\x7f"};
    for (const char *name : {"pl_PL", "en_US", "de_DE", "sv_SE", "C"}) {
        const QLocale locale{QLatin1String(name)};
        QCollator reference(locale);
        reference.setCaseSensitivity(Qt::CaseInsensitive);
        const jw::CaseInsensitiveCollation collation(locale);
        for (const char *a : texts) {
            for (const char *b : texts) {
                const QString x = QString::fromUtf8(a).toCaseFolded();
                const QString y = QString::fromUtf8(b).toCaseFolded();
                const int want = reference.sortKey(x).compare(reference.sortKey(y));
                const int got = jw::compareKeys(collation.key(x), collation.key(y));
                EXPECT_EQ((want > 0) - (want < 0), (got > 0) - (got < 0)) << name << ": " << a << " <> " << b;
            }
        }
    }
}

#include "textfile/errors.h"
#include "textfile/number.h"

#include <QString>

#include <gtest/gtest.h>

namespace {

// Digits with "0" put in front, nothing else; a failure quotes the text
// with that "0" (8-bit text readably, in the code page).
TEST(NumberRule, ReadsDigitsAndQuotesAnythingElseWithTheZero)
{
    const struct
    {
        QByteArray text;
        int value;
        const char *quoted; // null when the text is a number
    } cases[] = {
        {"", 0, nullptr},
        {"0", 0, nullptr},
        {"7", 7, nullptr},
        {"1110", 1110, nullptr},
        {"007", 7, nullptr},
        {"2147483647", 2147483647, nullptr},
        {"-3", 0, "0-3"},
        {"1 2", 0, "01 2"},
        {" 5", 0, "0 5"},
        {"+5", 0, "0+5"},
        {"x10", 0, "0x10"},
        {"$FF", 0, "0$FF"},
        {"2147483648", 0, "02147483648"},
        {"99999999999999999999", 0, "099999999999999999999"},
        {"\xb9", 0, "0\xc4\x85"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.constData());
        if (!c.quoted) {
            EXPECT_EQ(jw::toNumber(QByteArrayView(c.text)), c.value);
            EXPECT_EQ(jw::toNumber(QStringView(QString::fromLatin1(c.text))), c.value);
            continue;
        }
        try {
            jw::toNumber(QByteArrayView(c.text));
            ADD_FAILURE() << "accepted";
        } catch (const jw::ConversionError &e) {
            EXPECT_EQ(
                e.message(), QStringLiteral("'%1' is not a valid integer value").arg(QString::fromUtf8(c.quoted)));
        }
        EXPECT_THROW(jw::toNumber(QStringView(QString::fromLatin1(c.text))), jw::ConversionError);
    }
}

} // namespace

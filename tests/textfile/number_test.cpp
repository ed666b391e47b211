#include "textfile/errors.h"
#include "textfile/number.h"

#include <QString>

#include <gtest/gtest.h>

namespace {

TEST(NumberRule, ReadsDigitsWithZeroInFront)
{
    const struct
    {
        QByteArray text;
        int value;
    } cases[] = {{"", 0}, {"0", 0}, {"7", 7}, {"1110", 1110}, {"007", 7}, {"2147483647", 2147483647}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.constData());
        EXPECT_EQ(jw::toNumber(QByteArrayView(c.text)), c.value);
        EXPECT_EQ(jw::toNumber(QStringView(QString::fromLatin1(c.text))), c.value);
    }
}

TEST(NumberRule, RejectsAnythingButDigitsQuotingTheTextWithTheZero)
{
    const struct
    {
        QByteArray text;
        const char *message;
    } cases[] = {
        {"-3", "'0-3' is not a valid integer value"},
        {"1 2", "'01 2' is not a valid integer value"},
        {" 5", "'0 5' is not a valid integer value"},
        {"+5", "'0+5' is not a valid integer value"},
        {"x10", "'0x10' is not a valid integer value"},
        {"$FF", "'0$FF' is not a valid integer value"},
        {"2147483648", "'02147483648' is not a valid integer value"},
        {"99999999999999999999", "'099999999999999999999' is not a valid integer value"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.constData());
        try {
            jw::toNumber(QByteArrayView(c.text));
            ADD_FAILURE() << "accepted";
        } catch (const jw::ConversionError &e) {
            EXPECT_EQ(e.message(), QString::fromLatin1(c.message));
        }
        EXPECT_THROW(jw::toNumber(QStringView(QString::fromLatin1(c.text))), jw::ConversionError);
    }
}

TEST(NumberRule, QuotesEightBitTextReadably)
{
    try {
        jw::toNumber(QByteArrayView("\xb9"));
        ADD_FAILURE() << "accepted";
    } catch (const jw::ConversionError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("'0\u0105' is not a valid integer value"));
    }
}

} // namespace

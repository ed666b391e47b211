#include "textfile/number.h"

#include "textfile/codec.h"
#include "textfile/errors.h"

#include <limits>

namespace jw {

namespace {

template<typename Char>
bool parseDecimal(const Char *text, qsizetype size, int &value)
{
    qint64 result = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const auto c = text[i];
        if (c < Char('0') || c > Char('9'))
            return false;
        result = result * 10 + (c - Char('0'));
        if (result > std::numeric_limits<int>::max())
            return false;
    }
    value = int(result);
    return true;
}

[[noreturn]] void fail(const QString &text)
{
    throw ConversionError(QStringLiteral("'0%1' is not a valid integer value").arg(text));
}

} // namespace

int toNumber(QByteArrayView text)
{
    int value = 0;
    if (!parseDecimal(text.data(), text.size(), value))
        fail(decodeDisplay(text));
    return value;
}

int toNumber(QStringView text)
{
    int value = 0;
    if (!parseDecimal(text.utf16(), text.size(), value))
        fail(text.toString());
    return value;
}

} // namespace jw

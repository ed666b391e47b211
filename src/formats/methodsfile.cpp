#include "formats/methodsfile.h"

#include "textfile/codec.h"
#include "textfile/errors.h"
#include "textfile/number.h"

namespace jw {

MethodStates readMethodStates(const Lines &lines, int count)
{
    MethodStates result;
    for (int n = 0; n < count; ++n) {
        if (n >= lines.size()) {
            result.error = QStringLiteral("List index out of bounds (%1)").arg(n);
            return result;
        }
        const QByteArray &line = lines[n];
        const qsizetype eq = line.indexOf('=');
        const qsizetype at = eq < 0 ? 0 : eq + 1;
        const QByteArrayView stateChar = at < line.size() ? QByteArrayView(line).sliced(at, 1) : QByteArrayView();
        try {
            const int value = toNumber(stateChar);
            result.states.append(value == kMethodOn || value == kMethodThird ? value : kMethodOff);
        } catch (const ConversionError &e) {
            result.error = e.message();
            return result;
        }
    }
    return result;
}

QString methodText(const QString &text, const QString &recipientsLimit)
{
    QString out = text;
    const qsizetype at = out.indexOf(QLatin1String(kRecipientsPlaceholder));
    if (at >= 0)
        out.replace(at, qsizetype(sizeof kRecipientsPlaceholder - 1), recipientsLimit);
    return out;
}

QByteArray methodLine(const QString &text, int state)
{
    return encodeDisplay(text) + '=' + QByteArray::number(state);
}

} // namespace jw

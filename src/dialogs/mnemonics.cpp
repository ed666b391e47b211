#include "dialogs/mnemonics.h"

#include <QAbstractButton>
#include <QSet>

namespace jw {

namespace {

bool plainKey(QChar c)
{
    const char16_t u = c.toLower().unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9');
}

// Where the mnemonic goes in `caption`, or -1 when every letter is taken.
qsizetype mnemonicPosition(const QString &caption, const QSet<QChar> &taken)
{
    // Three passes, each less choosy: a plain word start, a plain key, any letter.
    for (int pass = 0; pass < 3; ++pass) {
        for (qsizetype i = 0; i < caption.size(); ++i) {
            const QChar c = caption[i];
            if (!c.isLetterOrNumber() || taken.contains(c.toLower()))
                continue;
            const bool wordStart = i == 0 || !caption[i - 1].isLetterOrNumber();
            if (pass == 2 || (plainKey(c) && (pass == 1 || wordStart)))
                return i;
        }
    }
    return -1;
}

} // namespace

void giveMnemonics(const QList<QAbstractButton *> &buttons)
{
    QSet<QChar> taken;
    for (QAbstractButton *button : buttons) {
        const QString caption = button->text();
        const qsizetype at = mnemonicPosition(caption, taken);
        QString marked;
        marked.reserve(caption.size() + 2);
        for (qsizetype i = 0; i < caption.size(); ++i) {
            if (i == at)
                marked += QLatin1Char('&');
            if (caption[i] == QLatin1Char('&'))
                marked += QLatin1Char('&');
            marked += caption[i];
        }
        if (at >= 0)
            taken.insert(caption[at].toLower());
        button->setText(marked);
    }
}

} // namespace jw

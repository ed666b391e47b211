#pragma once

#include <QList>

class QAbstractButton;

namespace jw {

// Gives each button an Alt+letter key from its caption, so that captions from
// any language file get one: a word's first letter where it is still free,
// else any free letter, plain Latin letters and digits before others. Letters
// are unique among the buttons given, which should be the buttons seen
// together. The captions are taken as plain text, as the language file gives
// them (an "&" in one stays an "&"), so call this right after setting them.
void giveMnemonics(const QList<QAbstractButton *> &buttons);

} // namespace jw

#pragma once

#include "textfile/lines.h"

#include <QList>
#include <QString>

namespace jw {

inline constexpr char kMethodsFile[] = "methods.cfg";
inline constexpr int kMethodOff = 0;
inline constexpr int kMethodOn = 1;
inline constexpr int kMethodThird = 2;
inline constexpr char kRecipientsPlaceholder[] = "##ILOSC";

struct MethodStates
{
    QList<int> states; // one per method read, in method order
    QString error; // why the reading stopped early; empty when all were read
};

// The state of each of the `count` methods from the method file's lines:
// only the character after a line's first "=" counts (the line's first
// character when it has none): 1 on, 2 third state, any other digit or none
// off. A character that is not a digit, or a missing line, ends the reading.
MethodStates readMethodStates(const Lines &lines, int count);

// A method's text with the first "##ILOSC" replaced by the recipients limit.
QString methodText(const QString &text, const QString &recipientsLimit);

// The file's line for one method: its text, "=", the state digit.
QByteArray methodLine(const QString &text, int state);

} // namespace jw

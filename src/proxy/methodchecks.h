#pragma once

#include "proxy/mailfacts.h"

#include <QList>
#include <QString>

#include <functional>

namespace jw {

// What a method looks at beside the message itself.
struct CheckSettings
{
    int maxTo = 20; // "maxto": the most recipients method 7 allows in To
};

// One filter method that looks at the message alone. `test` returns why it
// matched ("program attachment (setup.exe)"), or an empty text. When the
// method is on, a match makes the message spam; in the third state it adds
// `weight` to the spam level.
struct MethodCheck
{
    int number = 0;
    int weight = 1;
    std::function<QString(const MailFacts &, const CheckSettings &)> test;
};

// The methods of this kind, by number.
const QList<MethodCheck> &methodChecks();

} // namespace jw

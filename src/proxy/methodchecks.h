#pragma once

#include "proxy/mailfacts.h"
#include "proxy/wordmodel.h"

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace jw {

// What a method looks at beside the message itself.
struct CheckSettings
{
    int maxTo = 20; // "maxto": the most recipients method 7 allows in To
    // What was learned from sorted mail; none means the statistical method
    // never matches.
    const WordModel *learned = nullptr;
    // The filter lists the methods match against; none means empty.
    const QRegularExpression *bannedWords = nullptr; // whole words of the banned words list
    const QStringList *blockedServers = nullptr;     // "rbl": host names, addresses
    const QStringList *mailerNames = nullptr;
    const QStringList *oddTo = nullptr;
};

// The statistical method matches a message at least this likely spam.
inline constexpr double kStatisticalSpam = 0.9;

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

// One server a message passed, from a Received field: the name it gave
// (HELO), the name its address has in the DNS as the receiving server
// wrote it, and its IPv4 address; each empty when not given.
struct ReceivedHop
{
    QString helo;
    QString rdns;
    QString ip;
};
// The hops of the Received fields, newest (nearest to the user) first.
QList<ReceivedHop> receivedHops(const MailFacts &facts);
// The server that handed the message to the user's mail system: the newest
// hop from a public address.
std::optional<ReceivedHop> senderHop(const QList<ReceivedHop> &hops);

// The methods of this kind, by number.
const QList<MethodCheck> &methodChecks();

} // namespace jw

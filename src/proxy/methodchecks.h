#pragma once

#include "proxy/dnscache.h"
#include "proxy/listindex.h"
#include "proxy/mailfacts.h"
#include "proxy/wordmodel.h"
#include "settings/settingskeys.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace jw {

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

// Whom a message came to: the mail account a session fetches it for.
struct Addressee
{
    QString account; // "user,server"; empty when not known (the check command)
    QStringList addresses; // the account's own addresses, lower case; may be empty
};

// What a method looks at beside the message itself.
struct CheckSettings
{
    int maxTo = settingskeys::kMaxTo.fallbackNumber(); // the most recipients method 7 allows in To
    // What was learned from sorted mail; none means the statistical method
    // never matches.
    const WordModel *learned = nullptr;
    // The filter lists the methods match against; none means empty.
    const BannedWords *bannedWords = nullptr;

    const QStringList *blockedServers = nullptr; // "rbl": host names, addresses
    const QStringList *mailerNames = nullptr;
    const QStringList *oddTo = nullptr;
    // DNS answers asked for beforehand (`dnsQuestions`); none, or an answer
    // not known, means no match.
    const DnsAnswers *dns = nullptr;
    const Addressee *addressee = nullptr;
    // The other accounts the same message (by Message-ID) came to lately.
    QStringList otherAccounts;
    // The message's Received chain, read once for all methods (`receivedHops`).
    QList<ReceivedHop> hops;
};

// The statistical method matches a message at least this likely spam.
inline constexpr double kStatisticalSpam = 0.9;

// One filter method that looks at the message alone. `test` returns why it
// matched ("program attachment (setup.exe)"), or an empty text. When the
// method is on, a match makes the message spam; in the third state it adds
// `weight` to the spam level. A sign of style (HTML only, remote pictures,
// unsubscribe text...) is one that wanted commercial mail shows as often as
// spam: the signs of style together add at most `kMostStyle`, so they never
// decide alone.
struct MethodCheck
{
    int number = 0;
    int weight = 1;
    std::function<QString(const MailFacts &, const CheckSettings &)> test;
    bool style = false;
};
inline constexpr int kMostStyle = 1;

// The block-list zones of the blocked servers list: entries with at least
// two dots that are not addresses ("zen.spamhaus.org"), the first ten.
QStringList blockListZones(const QStringList &blockedServers);
// The DNS questions the methods asked for need answered: the block-list
// zones for the public addresses of the Received chain (`settings.hops`) (only the sender's
// server's when `allHops` is false), the mail servers of the sender's
// domain.
QList<DnsQuestion> dnsQuestions(
    const MailFacts &facts, const CheckSettings &settings, bool blockLists, bool allHops, bool mailServer);
// The server of a hop that the blocked servers list names, or that a block
// list zone of it lists (from the DNS answers); empty when none.
QString blockedHop(const CheckSettings &settings, const ReceivedHop &hop);
// Whether an IPv4 address is private, loopback, link-local or "this
// network": not a server of the Internet.
bool isPrivateAddress(const QString &ip);
// Dotted labels ending in one that starts with a letter: a host name, not
// an address.
bool isHostName(const QString &name);

// The methods of this kind, by number.
const QList<MethodCheck> &methodChecks();

} // namespace jw

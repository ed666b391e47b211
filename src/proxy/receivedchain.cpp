// The Received chain of a message: the servers it passed, which of them
// handed it to the user's mail system, the block lists asked about them, and
// the DNS questions the methods need answered beforehand.
#include "proxy/linearpattern.h"
#include "proxy/methodchecks.h"

#include <algorithm>

namespace jw {

bool isPrivateAddress(const QString &ip)
{
    static const LinearPattern local(
        "^(127\\.|10\\.|192\\.168\\.|172\\.(1[6-9]|2\\d|3[01])\\.|169\\.254\\.|0\\.)", LinearPattern::None);
    return local.in(ip);
}

bool isHostName(const QString &name)
{
    // Dotted labels ending in one that starts with a letter: not an address.
    static const LinearPattern host("^([a-z0-9_-]+\\.)+[a-z][a-z0-9-]*$", LinearPattern::IgnoreCase);
    return name.size() <= 253 && host.in(name);
}

QList<ReceivedHop> receivedHops(const MailFacts &facts)
{
    // "from helo (rdns [1.2.3.4])" (sendmail, Postfix), "from rdns ([1.2.3.4]
    // helo=helo)" (Exim), "from unknown (HELO helo) (1.2.3.4)" (qmail).
    static const LinearPattern from("^from\\s+\\[?([^\\s\\]\\[()]+)\\]?\\s*(\\((.*?)\\))?", LinearPattern::IgnoreCase);
    static const LinearPattern ip("\\b(\\d{1,3}(?:\\.\\d{1,3}){3})\\b", LinearPattern::None);
    static const LinearPattern heloWord("\\b(?:helo[= ])\\s*\\[?([^\\s\\])]+)", LinearPattern::IgnoreCase);
    QList<ReceivedHop> hops;
    for (const auto &[name, value] : facts.headers) {
        if (name != "received" || hops.size() >= 50)
            continue;
        const QStringList match = from.find(value);
        if (match.isEmpty())
            continue;
        ReceivedHop hop;
        hop.helo = match.at(1).toLower();
        const QString comment = match.at(3);
        const QStringList address = ip.find(comment.isEmpty() ? value : comment);
        hop.ip = !address.isEmpty() ? address.at(1) : (ip.in(hop.helo) ? hop.helo : QString());
        const QStringList helo = heloWord.find(comment);
        if (!helo.isEmpty()) {
            // The name outside the comment is the checked one.
            hop.rdns = isHostName(hop.helo) ? hop.helo : QString();
            hop.helo = helo.at(1).toLower();
        } else {
            const QString first = comment.section(QLatin1Char(' '), 0, 0).toLower();
            hop.rdns = isHostName(first) ? first : QString();
        }
        hops.append(hop);
    }
    return hops;
}

std::optional<ReceivedHop> senderHop(const QList<ReceivedHop> &hops)
{
    for (const ReceivedHop &hop : hops) {
        if (!hop.ip.isEmpty() && !isPrivateAddress(hop.ip))
            return hop;
    }
    return std::nullopt;
}

QStringList blockListZones(const QStringList &blockedServers)
{
    static const LinearPattern address("^[\\d.]+$", LinearPattern::None);
    QStringList zones;
    for (const QString &entry : blockedServers) {
        const QString zone = entry.trimmed().toLower();
        if (zone.count(QLatin1Char('.')) >= 2 && !address.in(zone) && isHostName(zone)) {
            zones.append(zone);
            if (zones.size() == 10)
                break;
        }
    }
    return zones;
}

namespace {

QString reversedAddress(const QString &ip)
{
    QStringList parts = ip.split(QLatin1Char('.'));
    std::reverse(parts.begin(), parts.end());
    return parts.join(QLatin1Char('.'));
}

} // namespace

QString blockedHop(const CheckSettings &settings, const ReceivedHop &hop)
{
    if (!settings.blockedServers)
        return {};
    // A block list answers an address in 127.0.0.0/8 for a listed server.
    if (settings.dns && !hop.ip.isEmpty() && !isPrivateAddress(hop.ip)) {
        for (const QString &zone : blockListZones(*settings.blockedServers)) {
            const std::optional<QStringList> records =
                settings.dns->answer({reversedAddress(hop.ip) + QLatin1Char('.') + zone, DnsQuestion::Type::A});
            if (records && std::any_of(records->begin(), records->end(), [](const QString &a) {
                    return a.startsWith(QLatin1String("127."));
                }))
                return hop.ip + QStringLiteral(" in ") + zone;
        }
    }
    for (const QString &entry : *settings.blockedServers) {
        const QString wanted = entry.trimmed().toLower();
        if (wanted.isEmpty())
            continue;
        // An address or the start of one ("192.0.2." for a network), or a
        // host name and the hosts of that domain.
        if (!hop.ip.isEmpty() && (hop.ip == wanted || (wanted.endsWith(QLatin1Char('.')) && hop.ip.startsWith(wanted))))
            return hop.ip;
        for (const QString &name : {hop.rdns, hop.helo}) {
            if (!name.isEmpty() && (name == wanted || name.endsWith(QLatin1Char('.') + wanted)))
                return name;
        }
    }
    return {};
}

QList<DnsQuestion> dnsQuestions(
    const MailFacts &facts, const CheckSettings &settings, bool blockLists, bool allHops, bool mailServer)
{
    QList<DnsQuestion> questions;
    if (blockLists && settings.blockedServers) {
        const QStringList zones = blockListZones(*settings.blockedServers);
        QList<ReceivedHop> asked;
        if (allHops) {
            asked = settings.hops;
        } else if (const std::optional<ReceivedHop> sender = senderHop(settings.hops)) {
            asked.append(*sender);
        }
        for (const ReceivedHop &hop : std::as_const(asked)) {
            if (hop.ip.isEmpty() || isPrivateAddress(hop.ip))
                continue;
            for (const QString &zone : zones) {
                const DnsQuestion question{reversedAddress(hop.ip) + QLatin1Char('.') + zone, DnsQuestion::Type::A};
                if (!questions.contains(question))
                    questions.append(question);
            }
        }
    }
    const QString domain = domainOf(facts.fromAddress);
    if (mailServer && !facts.fromAddress.isEmpty() && isHostName(domain)) {
        questions.append({domain, DnsQuestion::Type::MX});
        questions.append({domain, DnsQuestion::Type::A});
    }
    return questions;
}

} // namespace jw

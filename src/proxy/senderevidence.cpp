#include "proxy/senderevidence.h"

#include "proxy/linearpattern.h"

#include <libpsl.h>

namespace jw {

QString registrableDomain(const QString &host)
{
    QString name = host.trimmed().toLower();
    while (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    if (!isHostName(name))
        return name;
    const QByteArray utf8 = name.toUtf8();
    const char *registrable = psl_registrable_domain(psl_builtin(), utf8.constData());
    return registrable ? QString::fromUtf8(registrable) : name;
}

namespace {

// Every host a list field names: mail addresses' domains, web addresses'
// hosts and a List-Id's dotted identifier ("<news.example.com>").
QStringList listFieldHosts(const MailFacts &facts, bool *unsubscribe)
{
    static const LinearPattern host(
        "(?:mailto:[^@<>\\s,]*@|https?://)([a-z0-9.-]+)|^[^<]*<([a-z0-9_.-]+\\.[a-z0-9-]+)>$");
    QStringList hosts;
    *unsubscribe = false;
    for (const auto &[name, value] : facts.headers) {
        if (!name.startsWith("list-") || hosts.size() > 50)
            continue;
        const bool isUnsubscribe = name == "list-unsubscribe";
        const QByteArray utf8 = value.left(2000).toUtf8();
        host.each(utf8, 10, [&](const QStringList &match) {
            hosts.append(match.at(1).isEmpty() ? match.at(2) : match.at(1));
            *unsubscribe = *unsubscribe || isUnsubscribe;
            return true;
        });
    }
    return hosts;
}

} // namespace

QStringList senderEvidence(const MailFacts &facts, const QList<ReceivedHop> &hops)
{
    const QString fromDomain = domainOf(facts.fromAddress);
    if (!isHostName(fromDomain))
        return {};
    const QString own = registrableDomain(fromDomain);
    const auto ours = [&own](const QString &host) { return isHostName(host) && registrableDomain(host) == own; };
    QStringList signs;

    static const LinearPattern signer("(?:^|;)\\s*d\\s*=\\s*([^;\\s]+)");
    for (const auto &[name, value] : facts.headers) {
        if (name != "dkim-signature")
            continue;
        const QStringList match = signer.find(value.left(4000));
        if (!match.isEmpty() && ours(match.at(1))) {
            signs.append(QStringLiteral("signed by the sender's domain (%1)").arg(match.at(1).toLower()));
            break;
        }
    }

    bool unsubscribe = false;
    const QStringList listHosts = listFieldHosts(facts, &unsubscribe);
    if (unsubscribe && std::all_of(listHosts.begin(), listHosts.end(), ours))
        signs.append(QStringLiteral("list fields of the sender's domain (%1)").arg(own));

    if (ours(domainOf(facts.header("message-id"))))
        signs.append(QStringLiteral("Message-ID of the sender's domain"));

    const std::optional<ReceivedHop> sender = senderHop(hops);
    if (sender && ours(sender->rdns))
        signs.append(QStringLiteral("sent by the sender's domain's server (%1)").arg(sender->rdns));
    return signs;
}

} // namespace jw

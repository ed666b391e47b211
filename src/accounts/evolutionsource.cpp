#include "accounts/evolutionsource.h"

#include "accounts/clientaccountstore.h"
#include "evolution/sourceregistry.h"
#include "textfile/errors.h"

#include <algorithm>

namespace jw {

namespace evo = evolution;

namespace {

QString sourceName()
{
    return QString::fromUtf16(kEvolutionSource);
}

int tlsOf(const QByteArray &security)
{
    if (security == evo::kSecurityTls)
        return 1;
    return security == evo::kSecurityStartTls ? 2 : 0;
}

// Each source of the registry is a file of its own, with at most one account.
KeyFileFormat evolutionFormat(const QString &uid)
{
    KeyFileFormat format;
    format.source = sourceName();
    format.accounts = [uid](const KeyFileText &file) {
        QList<KeyFileAccount> accounts;
        if (const std::optional<evo::Pop3Account> a = evo::pop3Account({uid, QString(), file.bytes(), true})) {
            accounts.append({a->uid, a->name, a->host, a->user, a->port, tlsOf(a->security), a->loginBlocked});
        }
        return accounts;
    };
    format.route = [](KeyFileText &file, const KeyFileAccount &, int proxyPort) {
        return evo::routeAccount(file, proxyPort);
    };
    return format;
}

} // namespace

EvolutionSource::EvolutionSource(ClientPlaces places, QStringList serviceFolders)
    : m_places(std::move(places))
    , m_service(evo::registryServiceName(serviceFolders.isEmpty() ? evo::sessionServiceFolders() : serviceFolders))
{
}

QString EvolutionSource::name() const
{
    return sourceName();
}

QStringList EvolutionSource::places() const
{
    if (!m_service)
        return {};
    return {*m_service};
}

QString EvolutionSource::placeOf(const AccountRow &) const
{
    return m_service.value_or(QString());
}

QList<AccountRow> EvolutionSource::find(int) const
{
    if (!m_service)
        return {};
    QList<ClientAccountRecord> records;
    QString problem;
    std::optional<QList<evo::Source>> sources;
    try {
        records = ClientAccountStore(m_places.stateFolder).load();
        sources = evo::SourceRegistry(*m_service).sources(&problem);
    } catch (const Error &e) {
        problem = e.message();
    }
    if (!sources) {
        // Said only to those who route Evolution's accounts: without a
        // desktop session there is simply no Evolution to show.
        if (!std::any_of(records.cbegin(), records.cend(), [](const auto &r) { return r.source == sourceName(); }))
            return {};
        AccountRow broken;
        broken.name = sourceName();
        broken.source = sourceName();
        broken.key = *m_service;
        broken.blocked = AccountRow::Blocked::Profile;
        broken.blockedDetail = QStringLiteral("Evolution's account registry cannot be reached (%1)").arg(problem);
        return {broken};
    }
    QList<AccountRow> rows;
    for (const evo::Source &source : *sources)
        rows += keyFileRows(evolutionFormat(source.uid), KeyFileText(source.data), records);
    return rows;
}

ClientChange EvolutionSource::edit(const RoutingWish &wish, int proxyPort, bool onlyWhenRecorded) const
{
    ClientChange outcome;
    if (!m_service)
        return outcome;
    const QString place = *m_service;
    const ClientAccountStore store(m_places.stateFolder);
    try {
        const QList<ClientAccountRecord> before = store.load();
        // The registry is not started for nothing.
        const bool recorded =
            std::any_of(before.cbegin(), before.cend(), [](const auto &r) { return r.source == sourceName(); });
        if (onlyWhenRecorded && !recorded)
            return outcome;
        QString problem;
        const std::optional<QList<evo::Source>> sources = evo::SourceRegistry(place).sources(&problem);
        if (!sources) {
            // Only a problem when something was to be changed.
            if (recorded)
                outcome.unreadable.append(place + QLatin1String(": ") + problem);
            return outcome;
        }
        QList<ClientAccountRecord> records = before;
        for (const evo::Source &source : *sources) {
            KeyFileText data(source.data);
            QList<ClientAccountRecord> safe;
            const QList<ClientAccountRecord> unchanged = records;
            editKeyFile(evolutionFormat(source.uid), data, records, wish, proxyPort, &safe);
            if (data.bytes() == source.data)
                continue;
            store.save(safe);
            if (!source.writable || !evo::SourceRegistry(place).write(source.objectPath, data.bytes(), &problem)) {
                outcome.refused.append(
                    source.uid + QLatin1String(": ") + (source.writable ? problem : QStringLiteral("not writable")));
                records = unchanged;
                store.save(records);
                continue;
            }
            store.save(records);
        }
        if (records != before)
            store.save(records);
    } catch (const Error &e) {
        outcome.refused.append(place + QLatin1String(": ") + e.message());
    }
    return outcome;
}

ClientChange EvolutionSource::save(const QList<AccountRow> &rows, int proxyPort, bool filterOn) const
{
    const bool any =
        std::any_of(rows.cbegin(), rows.cend(), [](const AccountRow &r) { return r.source == sourceName(); });
    return any ? edit(wishToSave(rows, filterOn), proxyPort, false) : ClientChange();
}

ClientChange EvolutionSource::route(const QStringList &places, int proxyPort) const
{
    return places.isEmpty() ? ClientChange() : edit(wishToRoute(), proxyPort, true);
}

ClientChange EvolutionSource::restore(const QStringList &places) const
{
    return places.isEmpty() ? ClientChange() : edit(wishToRestore(), 0, true);
}

QStringList EvolutionSource::routedLogins(int) const
{
    try {
        return recordedLogins(ClientAccountStore(m_places.stateFolder).load(), name());
    } catch (const Error &) {
        return {};
    }
}

std::optional<UpstreamAccount> EvolutionSource::upstream(const QString &user, const QString &server) const
{
    try {
        return recordedUpstream(ClientAccountStore(m_places.stateFolder).load(), name(), user, server);
    } catch (const Error &) {
        return std::nullopt;
    }
}

} // namespace jw

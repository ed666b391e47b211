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
    : RecordedClientSource(std::move(places))
    , m_serviceFolders(std::move(serviceFolders))
{
}

const std::optional<QString> &EvolutionSource::service() const
{
    if (!m_service)
        m_service =
            evo::registryServiceName(m_serviceFolders.isEmpty() ? evo::sessionServiceFolders() : m_serviceFolders);
    return *m_service;
}

QString EvolutionSource::name() const
{
    return sourceName();
}

QStringList EvolutionSource::places() const
{
    if (!service())
        return {};
    return {*service()};
}

QString EvolutionSource::placeOf(const AccountRow &) const
{
    return service().value_or(QString());
}

QList<AccountRow> EvolutionSource::find(int) const
{
    const std::optional<QString> &registryName = service();
    if (!registryName)
        return {};
    QList<ClientAccountRecord> records;
    QString problem;
    std::optional<QList<evo::Source>> sources;
    try {
        records = store().load();
        sources = evo::SourceRegistry(*registryName).sources(&problem);
    } catch (const Error &e) {
        problem = e.message();
    }
    if (!sources) {
        // Said only to those who route Evolution's accounts: without a
        // desktop session there is simply no Evolution to show.
        if (!recordsAccountsOf(records, sourceName()))
            return {};
        AccountRow broken;
        broken.name = sourceName();
        broken.source = sourceName();
        broken.key = *registryName;
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
    if (!service())
        return outcome;
    const QString place = *service();
    try {
        const QList<ClientAccountRecord> before = store().load();
        // The registry is not started for nothing.
        const bool recorded = recordsAccountsOf(before, sourceName());
        if (onlyWhenRecorded && !recorded)
            return outcome;
        QString problem;
        const evo::SourceRegistry registry(place);
        const std::optional<QList<evo::Source>> sources = registry.sources(&problem);
        if (!sources) {
            // Only a problem when something was to be changed.
            if (recorded)
                outcome.unreadable.append(place + QLatin1String(": ") + problem);
            return outcome;
        }
        QList<ClientAccountRecord> records = before;
        QList<ClientAccountRecord> saved = before;
        for (const evo::Source &source : *sources) {
            KeyFileText data(source.data);
            QList<ClientAccountRecord> safe;
            const QList<ClientAccountRecord> unchanged = records;
            editKeyFile(evolutionFormat(source.uid), data, records, wish, proxyPort, &safe);
            if (data.bytes() == source.data)
                continue;
            try {
                commit(safe, records, [&] {
                    if (!source.writable)
                        throw Error(QStringLiteral("not writable"));
                    if (!registry.write(source.objectPath, data.bytes(), &problem))
                        throw Error(problem);
                });
            } catch (const Error &e) {
                // Nothing changed in the registry: neither in the record.
                outcome.refused.append(source.uid + QLatin1String(": ") + e.message());
                records = unchanged;
                store().save(records);
            }
            saved = records;
        }
        if (records != saved)
            store().save(records); // flags changed without a change to the accounts
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

} // namespace jw

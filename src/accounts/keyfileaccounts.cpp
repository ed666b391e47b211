#include "accounts/keyfileaccounts.h"

#include "textfile/errors.h"

#include <algorithm>

namespace jw {

KeyFileText plainText(const KeyFileFormat &format, const KeyFileText &file, const QList<ClientAccountRecord> &records)
{
    KeyFileText plain = file;
    for (const KeyFileAccount &account : format.accounts(file)) {
        if (const ClientAccountRecord *record = ClientAccountStore::find(records, format.source, account.key))
            undoChanges(plain, record->changes);
    }
    return plain;
}

QList<AccountRow> keyFileRows(
    const KeyFileFormat &format, const KeyFileText &file, const QList<ClientAccountRecord> &records)
{
    QList<AccountRow> rows;
    for (const KeyFileAccount &account : format.accounts(plainText(format, file, records))) {
        const ClientAccountRecord *record = ClientAccountStore::find(records, format.source, account.key);
        AccountRow row;
        row.routed = record && record->flagged;
        row.name = account.name.isEmpty() ? account.user + QLatin1Char('@') + account.server : account.name;
        row.server = account.server;
        row.user = account.user;
        row.source = format.source;
        row.key = account.key;
        row.port = QString::number(account.port);
        if (account.loginBlocked)
            row.blocked = AccountRow::Blocked::Login;
        else if (!userNameCanBeRouted(account.user))
            row.blocked = AccountRow::Blocked::Comma;
        rows.append(row);
    }
    return rows;
}

void editKeyFile(const KeyFileFormat &format, KeyFileText &file, QList<ClientAccountRecord> &records,
    const RoutingWish &wish, int proxyPort, QList<ClientAccountRecord> *beforeWrite)
{
    // Keys of the accounts that exist now, with their real values.
    const QList<KeyFileAccount> real = format.accounts(plainText(format, file, records));
    QList<ClientAccountRecord> safe = records;
    for (const KeyFileAccount &account : real) {
        ClientAccountRecord &record = ClientAccountStore::recordOf(records, format.source, account.key);
        const std::optional<bool> wanted = wish(record);
        if (!wanted)
            continue;
        undoChanges(file, record.changes);
        const QList<KeyChange> undone = record.changes;
        record.changes.clear();
        if (*wanted && !account.loginBlocked && userNameCanBeRouted(account.user)) {
            record.server = account.server;
            record.port = account.port;
            record.user = account.user;
            record.tls = account.tls;
            record.changes = format.route(file, account, proxyPort);
        }
        ClientAccountRecord &kept = ClientAccountStore::recordOf(safe, format.source, account.key);
        kept = record;
        if (record.changes.isEmpty())
            kept.changes = undone; // until the file is written without them
    }
    // An account neither flagged nor routed has nothing to remember.
    const auto forgotten = [](const ClientAccountRecord &r) { return !r.flagged && !r.routed(); };
    records.removeIf(forgotten);
    safe.removeIf(forgotten);
    if (beforeWrite)
        *beforeWrite = safe;
}

RoutingWish wishToSave(const QList<AccountRow> &rows, bool filterOn)
{
    return [rows, filterOn](ClientAccountRecord &record) -> std::optional<bool> {
        for (const AccountRow &row : rows) {
            if (row.source != record.source || row.key != record.key)
                continue;
            record.flagged = row.routed && row.blocked == AccountRow::Blocked::None;
            return record.flagged && filterOn;
        }
        return std::nullopt;
    };
}

RoutingWish wishToRoute()
{
    return [](ClientAccountRecord &record) -> std::optional<bool> {
        if (record.flagged)
            return true;
        return std::nullopt;
    };
}

RoutingWish wishToRestore()
{
    return [](ClientAccountRecord &record) -> std::optional<bool> {
        if (record.routed())
            return false;
        return std::nullopt;
    };
}

bool recordsAccountsOf(const QList<ClientAccountRecord> &records, const QString &source)
{
    return std::any_of(
        records.cbegin(), records.cend(), [&source](const ClientAccountRecord &r) { return r.source == source; });
}

void RecordedClientSource::commit(const QList<ClientAccountRecord> &safe, const QList<ClientAccountRecord> &after,
    const std::function<void()> &write) const
{
    const ClientAccountStore record = store();
    record.save(safe);
    write();
    record.save(after);
}

QStringList RecordedClientSource::routedLogins(int) const
{
    QStringList logins;
    try {
        for (const ClientAccountRecord &record : store().load()) {
            if (record.source == name() && record.routed())
                logins.append(record.user + QLatin1Char(',') + record.server);
        }
    } catch (const Error &) {
        // Unreadable: nothing is known to be routed.
    }
    return logins;
}

std::optional<UpstreamAccount> RecordedClientSource::upstream(const QString &user, const QString &server) const
{
    UpstreamChoice choice(user, server);
    try {
        for (const ClientAccountRecord &record : store().load()) {
            if (record.source != name() || !(record.flagged || record.routed()) || record.server.isEmpty())
                continue;
            UpstreamAccount account;
            account.server = record.server;
            account.port = quint16(record.port);
            account.implicitTls = record.tls == 1;
            account.tlsRequired = record.tls != 0;
            choice.consider(record.user, record.server, account);
        }
    } catch (const Error &) {
        // Unreadable: the proxy connects nowhere it does not know.
    }
    return choice.chosen();
}

} // namespace jw

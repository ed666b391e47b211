#include "accounts/clawsmailsource.h"

#include "accounts/clientaccountstore.h"
#include "clawsmail/accountrc.h"
#include "textfile/errors.h"
#include "textfile/nativefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace jw {

namespace {

QString sourceName()
{
    return QString::fromUtf16(kClawsMailSource);
}

QString accountRcPath(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("accountrc"));
}

KeyFileFormat clawsFormat(const QString &folder)
{
    KeyFileFormat format;
    format.source = sourceName();
    format.accounts = [folder](const KeyFileText &file) {
        QList<KeyFileAccount> accounts;
        for (const clawsmail::Pop3Account &a : clawsmail::pop3Accounts(file)) {
            accounts.append({folder + QLatin1Char('#') + QString::number(a.id), a.name, a.server, a.user, a.port, a.ssl,
                a.loginBlocked});
        }
        return accounts;
    };
    format.route = [](KeyFileText &file, const KeyFileAccount &account, int proxyPort) {
        const int id = account.key.mid(account.key.lastIndexOf(QLatin1Char('#')) + 1).toInt();
        return clawsmail::routeAccount(file, id, proxyPort);
    };
    return format;
}

// Copies Claws Mail's record of downloaded mail from one account name to
// another, replacing what is there; a missing record copies nothing.
void copyUidl(const QString &folder, const QString &fromServer, const QString &fromUser, const QString &toServer,
    const QString &toUser)
{
    const QDir dir(folder);
    const std::optional<QByteArray> uidl =
        readNativeFile(nativePath(dir.filePath(clawsmail::uidlFileName(fromServer, fromUser))));
    if (uidl)
        writeNativeFileAtomically(nativePath(dir.filePath(clawsmail::uidlFileName(toServer, toUser))), *uidl);
}

// Keeps the UIDL records in step with what routing did to each account.
void followUidl(
    const QString &folder, const QList<ClientAccountRecord> &before, const QList<ClientAccountRecord> &after)
{
    for (const ClientAccountRecord &record : after) {
        if (record.source != sourceName() || !record.key.startsWith(folder + QLatin1Char('#')))
            continue;
        const ClientAccountRecord *old = ClientAccountStore::find(before, record.source, record.key);
        const bool wasRouted = old && old->routed();
        const QString routedUser = record.user + QLatin1Char(',') + record.server;
        const QString localhost = QStringLiteral("localhost");
        if (wasRouted && !record.routed())
            copyUidl(folder, localhost, old->user + QLatin1Char(',') + old->server, old->server, old->user);
        else if (!wasRouted && record.routed())
            copyUidl(folder, record.server, record.user, localhost, routedUser);
    }
}

} // namespace

ClawsMailSource::ClawsMailSource(ClientPlaces places, QString runtimeDir)
    : RecordedClientSource(std::move(places))
    , m_runtimeDir(runtimeDir.isEmpty() ? clawsmail::runtimeDir(m_places.home) : std::move(runtimeDir))
{
}

QString ClawsMailSource::name() const
{
    return sourceName();
}

QStringList ClawsMailSource::places() const
{
    const QString folder = clawsmail::configFolder(m_places.home);
    if (QFileInfo::exists(accountRcPath(folder)))
        return {folder};
    return {};
}

QString ClawsMailSource::placeOf(const AccountRow &row) const
{
    return row.key.left(row.key.lastIndexOf(QLatin1Char('#')));
}

QString ClawsMailSource::watchFolder(const QString &place) const
{
    // Claws removes its socket when it closes.
    const QString sockets = QFileInfo(clawsmail::socketPath(place, m_runtimeDir)).path();
    return QFileInfo::exists(sockets) ? sockets : place;
}

QList<AccountRow> ClawsMailSource::find(int) const
{
    QList<AccountRow> rows;
    for (const QString &folder : places()) {
        const std::optional<QByteArray> bytes = readNativeFile(nativePath(accountRcPath(folder)));
        QList<ClientAccountRecord> records;
        QString problem;
        try {
            records = store().load();
        } catch (const Error &e) {
            problem = e.message();
        }
        if (!bytes)
            problem = QStringLiteral("%1 cannot be read").arg(accountRcPath(folder));
        if (!problem.isEmpty()) {
            AccountRow broken;
            broken.name = folder;
            broken.source = sourceName();
            broken.key = folder + QLatin1String("#0");
            broken.blocked = AccountRow::Blocked::Profile;
            broken.blockedDetail = problem;
            rows.append(broken);
            continue;
        }
        rows += keyFileRows(clawsFormat(folder), KeyFileText(*bytes), records);
    }
    return rows;
}

ClientChange ClawsMailSource::edit(const QStringList &folders, const RoutingWish &wish, int proxyPort) const
{
    ClientChange outcome;
    for (const QString &folder : folders) {
        const QString path = accountRcPath(folder);
        if (!QFileInfo::exists(path))
            continue;
        if (clawsmail::isRunning(folder, m_runtimeDir)) {
            outcome.waiting.append(folder);
            continue;
        }
        const std::optional<QByteArray> bytes = readNativeFile(nativePath(path));
        if (!bytes) {
            outcome.unreadable.append(folder + QLatin1String(": ") + path + QLatin1String(" cannot be read"));
            continue;
        }
        try {
            const QList<ClientAccountRecord> before = store().load();
            QList<ClientAccountRecord> records = before;
            QList<ClientAccountRecord> safe;
            KeyFileText file(*bytes);
            editKeyFile(clawsFormat(folder), file, records, wish, proxyPort, &safe);
            if (records == before && file.bytes() == *bytes)
                continue;
            commit(safe, records, [&] {
                if (file.bytes() != *bytes) {
                    // The file as Claws wrote it, once, before Junkwarden first changes it.
                    const QString backup = QDir(m_places.stateFolder).filePath(QStringLiteral("claws-mail/accountrc"));
                    if (!QFileInfo::exists(backup)) {
                        QDir().mkpath(QFileInfo(backup).path());
                        writeNativeFileAtomically(nativePath(backup), *bytes);
                    }
                    writeNativeFileAtomically(nativePath(path), file.bytes());
                }
                followUidl(folder, before, records);
            });
        } catch (const Error &e) {
            outcome.refused.append(folder + QLatin1String(": ") + e.message());
        }
    }
    return outcome;
}

ClientChange ClawsMailSource::save(const QList<AccountRow> &rows, int proxyPort, bool filterOn) const
{
    QStringList folders;
    for (const AccountRow &row : rows) {
        if (row.source == name() && !folders.contains(placeOf(row)))
            folders.append(placeOf(row));
    }
    return edit(folders, wishToSave(rows, filterOn), proxyPort);
}

ClientChange ClawsMailSource::route(const QStringList &folders, int proxyPort) const
{
    return edit(folders, wishToRoute(), proxyPort);
}

ClientChange ClawsMailSource::restore(const QStringList &folders) const
{
    return edit(folders, wishToRestore(), 0);
}

} // namespace jw

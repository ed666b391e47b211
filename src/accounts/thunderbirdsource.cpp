#include "accounts/thunderbirdsource.h"

#include "thunderbird/pop3servers.h"
#include "thunderbird/profileedit.h"
#include "thunderbird/profiles.h"

#include <QFile>

namespace jw {

namespace {

namespace tb = thunderbird;

// Every readable profile's preferences, with the profile.
template<typename Visit>
void forEachProfile(const QString &home, Visit visit)
{
    for (const tb::Profile &profile : tb::findProfiles(home).profiles) {
        QFile file(profile.folder + QLatin1String("/prefs.js"));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        try {
            visit(profile, tb::PrefsFile::parse(file.readAll()));
        } catch (const tb::PrefsError &) {
            // Not in Thunderbird's format: the profile names no account.
        }
    }
}

} // namespace

QList<AccountRow> findThunderbirdAccounts(const QString &home, int proxyPort)
{
    QList<AccountRow> rows;
    for (const tb::Profile &profile : tb::findProfiles(home).profiles) {
        const QString prefsPath = profile.folder + QLatin1String("/prefs.js");
        if (!QFile::exists(prefsPath))
            continue; // a profile never used: no accounts
        AccountRow broken;
        broken.name = profile.name;
        broken.source = QString::fromUtf16(kThunderbirdSource);
        broken.key = profile.folder;
        broken.blocked = AccountRow::Blocked::Profile;
        QFile file(prefsPath);
        if (!file.open(QIODevice::ReadOnly)) {
            broken.blockedDetail = QStringLiteral("%1 cannot be read").arg(prefsPath);
            rows.append(broken);
            continue;
        }
        tb::PrefsFile prefs;
        try {
            prefs = tb::PrefsFile::parse(file.readAll());
        } catch (const tb::PrefsError &e) {
            broken.blockedDetail = QStringLiteral("%1 is not in Thunderbird's format (%2)").arg(prefsPath, e.reason());
            rows.append(broken);
            continue;
        }
        for (const tb::Pop3Server &s : tb::pop3Servers(prefs, proxyPort)) {
            AccountRow row;
            row.routed = s.flagged;
            row.name = s.name.isEmpty() ? s.realUser + QLatin1Char('@') + s.realHost : s.name;
            row.server = s.realHost;
            row.user = s.realUser;
            row.source = QString::fromUtf16(kThunderbirdSource);
            row.key = profile.folder + QLatin1Char('#') + QString::fromUtf8(s.key);
            row.port = QString::number(s.realPort);
            switch (s.unroutable) {
            case tb::Pop3Server::Unroutable::No:
                break;
            case tb::Pop3Server::Unroutable::Login:
                row.blocked = AccountRow::Blocked::Login;
                break;
            case tb::Pop3Server::Unroutable::Comma:
                row.blocked = AccountRow::Blocked::Comma;
                break;
            case tb::Pop3Server::Unroutable::Collision:
                row.blocked = AccountRow::Blocked::Collision;
                break;
            }
            rows.append(row);
        }
    }
    return rows;
}

namespace {

// Applies `change` to each profile and gathers what became of it.
ThunderbirdChange editProfiles(const QStringList &folders, const QString &backupFolder,
                               const std::function<QList<tb::FolderMove>(const QString &, tb::PrefsFile &)> &change)
{
    ThunderbirdChange outcome;
    for (const QString &folder : folders) {
        const tb::EditOutcome edit = tb::editProfile(folder, backupFolder, [&](tb::PrefsFile &prefs) { return change(folder, prefs); });
        if (edit.result == tb::EditOutcome::Result::InUse)
            outcome.waiting.append(folder);
        else if (edit.result == tb::EditOutcome::Result::Unreadable)
            outcome.unreadable.append(folder + QLatin1String(": ") + edit.reason);
        else if (edit.result == tb::EditOutcome::Result::Refused)
            outcome.refused.append(folder + QLatin1String(": ") + edit.reason);
    }
    return outcome;
}

} // namespace

QStringList thunderbirdProfileFolders(const QString &home)
{
    QStringList folders;
    for (const tb::Profile &profile : tb::findProfiles(home).profiles) {
        if (QFile::exists(profile.folder + QLatin1String("/prefs.js")))
            folders.append(profile.folder);
    }
    return folders;
}

ThunderbirdChange saveThunderbirdRows(const QList<AccountRow> &rows, int proxyPort, bool filterOn, const QString &backupFolder)
{
    QStringList folders;
    for (const AccountRow &row : rows) {
        const qsizetype hash = row.key.lastIndexOf(QLatin1Char('#'));
        if (row.source == QString::fromUtf16(kThunderbirdSource) && hash > 0 && !folders.contains(row.key.left(hash)))
            folders.append(row.key.left(hash));
    }
    return editProfiles(folders, backupFolder, [&](const QString &folder, tb::PrefsFile &prefs) {
        QList<tb::FolderMove> moves;
        for (const AccountRow &row : rows) {
            if (row.source != QString::fromUtf16(kThunderbirdSource) || row.blocked != AccountRow::Blocked::None
                || !row.key.startsWith(folder + QLatin1Char('#')))
                continue;
            const QByteArray key = row.key.mid(folder.size() + 1).toUtf8();
            tb::setRouteFlag(prefs, key, row.routed);
            moves.append(row.routed && filterOn ? tb::routeServer(prefs, key, proxyPort) : tb::restoreServer(prefs, key));
        }
        return moves;
    });
}

ThunderbirdChange routeThunderbirdAccounts(const QStringList &profiles, int proxyPort, const QString &backupFolder)
{
    return editProfiles(profiles, backupFolder, [proxyPort](const QString &, tb::PrefsFile &prefs) {
        QList<tb::FolderMove> moves;
        for (const tb::Pop3Server &s : tb::pop3Servers(prefs, proxyPort)) {
            if (s.flagged)
                moves.append(tb::routeServer(prefs, s.key, proxyPort));
        }
        return moves;
    });
}

ThunderbirdChange restoreThunderbirdAccounts(const QStringList &profiles, const QString &backupFolder)
{
    return editProfiles(profiles, backupFolder, [](const QString &, tb::PrefsFile &prefs) {
        QList<tb::FolderMove> moves;
        for (const tb::Pop3Server &s : tb::pop3Servers(prefs, 0))
            moves.append(tb::restoreServer(prefs, s.key));
        return moves;
    });
}

std::optional<UpstreamAccount> findThunderbirdUpstream(const QString &home, const QString &user, const QString &server)
{
    std::optional<UpstreamAccount> found;
    bool userMatched = false;
    forEachProfile(home, [&](const tb::Profile &, const tb::PrefsFile &prefs) {
        // The port routed accounts point at plays no part here.
        for (const tb::Pop3Server &s : tb::pop3Servers(prefs, 0)) {
            if (userMatched || s.realHost.isEmpty() || s.realHost.compare(server, Qt::CaseInsensitive) != 0)
                continue;
            UpstreamAccount account;
            account.server = s.realHost;
            account.port = quint16(s.realPort);
            account.implicitTls = s.realSocketType == tb::kSocketTls;
            account.tlsRequired = s.realSocketType == tb::kSocketStartTls || account.implicitTls;
            const bool sameUser = s.realUser == user;
            if (!found || sameUser)
                found = account;
            userMatched = sameUser;
        }
    });
    return found;
}

} // namespace jw

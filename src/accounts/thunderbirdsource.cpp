#include "accounts/thunderbirdsource.h"

#include "thunderbird/pop3servers.h"
#include "thunderbird/profileedit.h"
#include "thunderbird/profiles.h"

#include <QDir>
#include <QFile>

namespace jw {

namespace {

namespace tb = thunderbird;

// A profile with its preferences, or why they cannot be read.
struct ProfilePrefs
{
    tb::Profile profile;
    std::optional<tb::PrefsFile> prefs;
    QString problem;
};

QString prefsPathOf(const tb::Profile &profile)
{
    return profile.folder + QLatin1String("/prefs.js");
}

// Every profile that has preferences (a profile never used has none).
QList<ProfilePrefs> readProfiles(const QString &home)
{
    QList<ProfilePrefs> out;
    for (const tb::Profile &profile : tb::findProfiles(home).profiles) {
        const QString path = prefsPathOf(profile);
        if (!QFile::exists(path))
            continue;
        ProfilePrefs read{profile, std::nullopt, QString()};
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            read.problem = QStringLiteral("%1 cannot be read").arg(path);
        } else {
            try {
                read.prefs = tb::PrefsFile::parse(file.readAll());
            } catch (const tb::PrefsError &e) {
                read.problem = QStringLiteral("%1 is not in Thunderbird's format (%2)").arg(path, e.reason());
            }
        }
        out.append(std::move(read));
    }
    return out;
}

QString sourceName()
{
    return QString::fromUtf16(kThunderbirdSource);
}

} // namespace

QList<AccountRow> findThunderbirdAccounts(const QString &home, int proxyPort)
{
    QList<AccountRow> rows;
    for (const ProfilePrefs &read : readProfiles(home)) {
        const tb::Profile &profile = read.profile;
        if (!read.prefs) {
            AccountRow broken;
            broken.name = profile.name;
            broken.source = sourceName();
            broken.key = profile.folder;
            broken.blocked = AccountRow::Blocked::Profile;
            broken.blockedDetail = read.problem;
            rows.append(broken);
            continue;
        }
        for (const tb::Pop3Server &s : tb::pop3Servers(*read.prefs, proxyPort)) {
            AccountRow row;
            row.routed = s.flagged;
            row.name = s.name.isEmpty() ? s.realUser + QLatin1Char('@') + s.realHost : s.name;
            row.server = s.realHost;
            row.user = s.realUser;
            row.source = sourceName();
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
        const tb::EditOutcome edit =
            tb::editProfile(folder, backupFolder, [&](tb::PrefsFile &prefs) { return change(folder, prefs); });
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
    // Only where they are: editing reads each profile's preferences anyway.
    QStringList folders;
    for (const tb::Profile &profile : tb::findProfiles(home).profiles) {
        if (QFile::exists(prefsPathOf(profile)))
            folders.append(profile.folder);
    }
    return folders;
}

QString thunderbirdBackupFolder(const QString &configFolder)
{
    return stateFolderOf(configFolder) + QLatin1String("/thunderbird");
}

ThunderbirdChange saveThunderbirdRows(
    const QList<AccountRow> &rows, int proxyPort, bool filterOn, const QString &backupFolder)
{
    QStringList folders;
    for (const AccountRow &row : rows) {
        const qsizetype hash = row.key.lastIndexOf(QLatin1Char('#'));
        if (isThunderbird(row.source) && hash > 0 && !folders.contains(row.key.left(hash)))
            folders.append(row.key.left(hash));
    }
    return editProfiles(folders, backupFolder, [&](const QString &folder, tb::PrefsFile &prefs) {
        QList<tb::FolderMove> moves;
        for (const AccountRow &row : rows) {
            if (!isThunderbird(row.source) || row.blocked != AccountRow::Blocked::None
                || !row.key.startsWith(folder + QLatin1Char('#')))
                continue;
            const QByteArray key = row.key.mid(folder.size() + 1).toUtf8();
            tb::setRouteFlag(prefs, key, row.routed);
            moves.append(
                row.routed && filterOn ? tb::routeServer(prefs, key, proxyPort) : tb::restoreServer(prefs, key));
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

QString ThunderbirdSource::placeOf(const AccountRow &row) const
{
    return row.key.left(row.key.lastIndexOf(QLatin1Char('#')));
}

std::optional<UpstreamAccount> findThunderbirdUpstream(const QString &home, const QString &user, const QString &server)
{
    UpstreamChoice choice(user, server);
    for (const ProfilePrefs &read : readProfiles(home)) {
        if (!read.prefs)
            continue;
        // The port routed accounts point at plays no part here.
        for (const tb::Pop3Server &s : tb::pop3Servers(*read.prefs, 0)) {
            UpstreamAccount account;
            account.server = s.realHost;
            account.port = quint16(s.realPort);
            account.implicitTls = s.realSocketType == tb::kSocketTls;
            account.tlsRequired = s.realSocketType == tb::kSocketStartTls || account.implicitTls;
            if (s.realAuthMethod == tb::kAuthOAuth2)
                account.oauth.provider = oauthProviderForHost(s.realHost);
            choice.consider(s.realUser, s.realHost, account);
        }
    }
    return choice.chosen();
}

} // namespace jw

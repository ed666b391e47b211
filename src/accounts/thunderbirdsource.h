#pragma once

#include "accounts/accounts.h"
#include "accounts/mailclientsource.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace jw {

// Thunderbird as the fourth source of POP3 accounts: the accounts of every
// profile of the user's installations (found under `home`).
inline constexpr char16_t kThunderbirdSource[] = u"Thunderbird";
inline bool isThunderbird(const QString &source)
{
    return source == QStringView(kThunderbirdSource);
}

// The POP3 accounts of every profile as rows of the account list: checked
// when flagged, with the real server, user and port whether routed or not,
// `key` naming the profile folder and the account ("<folder>#server1").
// Accounts that cannot be filtered are blocked with the reason; a profile
// whose prefs.js cannot be read gives one blocked row.
QList<AccountRow> findThunderbirdAccounts(const QString &home, int proxyPort);

// Changes to Thunderbird's profiles: a profile in use by a running
// Thunderbird waits, with nothing written.
using ThunderbirdChange = ClientChange;

// Writes the flag of every Thunderbird row, and puts each account in the
// form the filter state asks for: routed when checked with the filter on,
// plain otherwise. Copies of the files as they were go to `backupFolder`.
ThunderbirdChange saveThunderbirdRows(
    const QList<AccountRow> &rows, int proxyPort, bool filterOn, const QString &backupFolder);
// The folders of the profiles under `home` that have preferences.
QStringList thunderbirdProfileFolders(const QString &home);
// Where copies of Thunderbird's files go before they are first changed:
// "state/thunderbird" beside the config folder.
QString thunderbirdBackupFolder(const QString &configFolder);
// Routes every flagged account of the profiles, or restores every routed one.
ThunderbirdChange routeThunderbirdAccounts(const QStringList &profiles, int proxyPort, const QString &backupFolder);
ThunderbirdChange restoreThunderbirdAccounts(const QStringList &profiles, const QString &backupFolder);

// The real POP3 server of a Thunderbird account whose real server is
// `server` (without regard to case), preferring the one whose real user is
// `user`, with its own port and security; nullopt when no profile names it.
std::optional<UpstreamAccount> findThunderbirdUpstream(const QString &home, const QString &user, const QString &server);

// The functions above as a source of the account list, its places being
// the profile folders.
class ThunderbirdSource final : public MailClientSource
{
public:
    explicit ThunderbirdSource(ClientPlaces places)
        : m_places(std::move(places))
    {
    }
    QString name() const override { return QString::fromUtf16(kThunderbirdSource); }
    QList<AccountRow> find(int proxyPort) const override { return findThunderbirdAccounts(m_places.home, proxyPort); }
    QStringList places() const override { return thunderbirdProfileFolders(m_places.home); }
    QString placeOf(const AccountRow &row) const override;
    ClientChange save(const QList<AccountRow> &rows, int proxyPort, bool filterOn) const override
    {
        return saveThunderbirdRows(rows, proxyPort, filterOn, backups());
    }
    ClientChange route(const QStringList &places, int proxyPort) const override
    {
        return routeThunderbirdAccounts(places, proxyPort, backups());
    }
    ClientChange restore(const QStringList &places) const override
    {
        return restoreThunderbirdAccounts(places, backups());
    }
    std::optional<UpstreamAccount> upstream(const QString &user, const QString &server) const override
    {
        return findThunderbirdUpstream(m_places.home, user, server);
    }

private:
    QString backups() const { return m_places.stateFolder + QLatin1String("/thunderbird"); }
    ClientPlaces m_places;
};

} // namespace jw

#pragma once

#include "accounts/accounts.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace jw {

// What became of changes to a mail program's accounts.
struct ClientChange
{
    QStringList waiting; // places in use by the running program: nothing written there yet
    QStringList unreadable; // "<place>: <reason>": left as they are
    QStringList refused; // "<place>: <reason>": could not be written

    void add(const ClientChange &other)
    {
        waiting += other.waiting;
        unreadable += other.unreadable;
        refused += other.refused;
    }
};

// Where the mail programs keep their files, and where Junkwarden keeps its
// copies and its record of them.
struct ClientPlaces
{
    QString home;
    QString stateFolder; // "state" beside the config folder
};
// The state folder beside a config folder.
QString stateFolderOf(const QString &configFolder);

// A mail program whose POP3 accounts are routed in its own files. Its
// accounts are changed place by place: a Thunderbird profile, a Claws Mail
// configuration folder, Evolution's registry. A place the program holds
// open is left alone and reported as waiting.
class MailClientSource
{
public:
    virtual ~MailClientSource() = default;
    virtual QString name() const = 0;
    // Its accounts as rows of the account list: checked when flagged, with
    // the real server, user and port whether routed or not; accounts that
    // cannot be filtered are blocked with the reason.
    virtual QList<AccountRow> find(int proxyPort) const = 0;
    // Every place routing acts on.
    virtual QStringList places() const = 0;
    // The place a row of this source belongs to.
    virtual QString placeOf(const AccountRow &row) const = 0;
    // The folder whose changes may show that the program let go of `place`.
    virtual QString watchFolder(const QString &place) const { return place; }
    // Writes each row's flag and puts its account in the form the filter
    // state asks for: routed when checked with the filter on, plain otherwise.
    virtual ClientChange save(const QList<AccountRow> &rows, int proxyPort, bool filterOn) const = 0;
    // Routes every flagged account of the places, or restores every routed one.
    virtual ClientChange route(const QStringList &places, int proxyPort) const = 0;
    virtual ClientChange restore(const QStringList &places) const = 0;
    // The routed accounts as their mail program logs in to the proxy: "user,server".
    virtual QStringList routedLogins(int proxyPort) const;
    // The real POP3 server of an account whose real server is `server`
    // (without regard to case), preferring the one whose real user is `user`.
    virtual std::optional<UpstreamAccount> upstream(const QString &user, const QString &server) const = 0;
};

// Thunderbird, Claws Mail and Evolution, in the order the list shows them.
std::vector<std::unique_ptr<MailClientSource>> mailClientSources(const ClientPlaces &places);
// The source of that name among them, or null (the store's own sources).
const MailClientSource *sourceNamed(const std::vector<std::unique_ptr<MailClientSource>> &sources, const QString &name);

// Chooses among the accounts that name `server` as MailClientSource::upstream says.
class UpstreamChoice
{
public:
    UpstreamChoice(QString user, QString server)
        : m_user(std::move(user))
        , m_server(std::move(server))
    {
    }
    void consider(const QString &realUser, const QString &realServer, const UpstreamAccount &account);
    std::optional<UpstreamAccount> chosen() const { return m_found; }

private:
    QString m_user;
    QString m_server;
    std::optional<UpstreamAccount> m_found;
    bool m_userMatched = false;
};

} // namespace jw

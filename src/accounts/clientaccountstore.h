#pragma once

#include "textfile/keyfiletext.h"

#include <QList>
#include <QString>

namespace jw {

// Junkwarden's own record of the mail programs' accounts whose files cannot
// carry it (Claws Mail drops keys it does not know; Evolution's registry
// resets its files): which accounts the user routes, what routing changed,
// and the real server the proxy connects to.
struct ClientAccountRecord
{
    QString source; // "Claws Mail", "Evolution"
    QString key; // the account within the source
    bool flagged = false; // to be routed while the filter is on
    QList<KeyChange> changes; // what routing changed: empty while not routed
    // The real server as last seen unrouted. `tls`: 0 none, 1 from the first
    // byte, 2 STARTTLS.
    QString server;
    int port = 110;
    QString user;
    int tls = 0;

    bool routed() const { return !changes.isEmpty(); }
    bool operator==(const ClientAccountRecord &o) const
    {
        return source == o.source && key == o.key && flagged == o.flagged && changes == o.changes && server == o.server
            && port == o.port && user == o.user && tls == o.tls;
    }
};

// "mailclients.json" in the state folder, replaced atomically on each save.
class ClientAccountStore
{
public:
    explicit ClientAccountStore(const QString &stateFolder);
    // A missing file is an empty record; one that cannot be read or is not
    // in its format throws FileError: routing then changes nothing, since
    // what it would undo is unknown.
    QList<ClientAccountRecord> load() const;
    void save(const QList<ClientAccountRecord> &records) const;
    QString path() const { return m_path; }

    // The record of the account, made (unflagged) when there is none.
    static ClientAccountRecord &recordOf(
        QList<ClientAccountRecord> &records, const QString &source, const QString &key);
    static const ClientAccountRecord *find(
        const QList<ClientAccountRecord> &records, const QString &source, const QString &key);

private:
    QString m_path;
};

} // namespace jw

#pragma once

#include "accounts/accounts.h"
#include "accounts/clientaccountstore.h"
#include "accounts/mailclientsource.h"
#include "textfile/keyfiletext.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace jw {

// The routing of mail programs whose accounts live in key files and whose
// routing is remembered in Junkwarden's record (ClientAccountStore): Claws
// Mail (one file of accounts) and Evolution (one file per account).

// An account of such a file, with its values as the file holds them.
struct KeyFileAccount
{
    QString key; // the record's key
    QString name;
    QString server;
    QString user;
    int port = 110;
    int tls = 0; // 0 none, 1 from the first byte, 2 STARTTLS
    bool loginBlocked = false;
};

// How one program's files are read and routed.
struct KeyFileFormat
{
    QString source;
    std::function<QList<KeyFileAccount>(const KeyFileText &)> accounts;
    std::function<QList<KeyChange>(KeyFileText &, const KeyFileAccount &, int proxyPort)> route;
};

// The file with every account the record holds as routed put back in
// memory: what its accounts really are.
KeyFileText plainText(const KeyFileFormat &format, const KeyFileText &file, const QList<ClientAccountRecord> &records);

// The file's accounts as rows of the account list, with their real values.
QList<AccountRow> keyFileRows(
    const KeyFileFormat &format, const KeyFileText &file, const QList<ClientAccountRecord> &records);

// Whether an account is to be routed (true), put back (false) or left as it
// is (nullopt); it may change the record's flag.
using RoutingWish = std::function<std::optional<bool>(ClientAccountRecord &)>;

// Changes the file's accounts as `wish` says, keeping the records. A routed
// account is put back before it is routed again (the port may have
// changed). `beforeWrite` gets the records to save before the file is
// written: they hold every change that may have to be undone, whichever of
// the two writes a crash interrupts.
void editKeyFile(const KeyFileFormat &format, KeyFileText &file, QList<ClientAccountRecord> &records,
    const RoutingWish &wish, int proxyPort, QList<ClientAccountRecord> *beforeWrite);

// The wishes of the three changes.
RoutingWish wishToSave(const QList<AccountRow> &rows, bool filterOn);
RoutingWish wishToRoute();
RoutingWish wishToRestore();

// Whether the record holds accounts of `source`.
bool recordsAccountsOf(const QList<ClientAccountRecord> &records, const QString &source);

// A mail program whose routing lives in Junkwarden's record (Claws Mail,
// Evolution): the routed logins and the real servers come from the record,
// never from the program's files.
class RecordedClientSource : public MailClientSource
{
public:
    QStringList routedLogins(int proxyPort) const override;
    std::optional<UpstreamAccount> upstream(const QString &user, const QString &server) const override;

protected:
    explicit RecordedClientSource(ClientPlaces places)
        : m_places(std::move(places))
    {
    }
    ClientAccountStore store() const { return ClientAccountStore(m_places.stateFolder); }
    // Writes the program's file between two saves of the record: first
    // `safe` (from editKeyFile), which holds every change that may have to
    // be undone whichever write a crash interrupts, then `after`. `write`
    // throws Error when it fails; the record then stays at `safe`.
    void commit(const QList<ClientAccountRecord> &safe, const QList<ClientAccountRecord> &after,
        const std::function<void()> &write) const;

    ClientPlaces m_places;
};

} // namespace jw

#pragma once

#include "textfile/keyfiletext.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace jw::clawsmail {

// Claws Mail's "accountrc": one "[Account: N]" group per account.
QByteArray accountGroup(int account);
// The accounts' numbers, in file order.
QList<int> accountIds(const KeyFileText &file);

// A POP3 account of the file, as Junkwarden sees it.
struct Pop3Account
{
    int id = 0;
    QString name; // "account_name"
    QString server; // "receive_server" as it is now
    QString user; // "user_id" as it is now
    int port = 110; // the POP3 port in use ("pop_port" when "set_popport" is 1)
    int ssl = 0; // "ssl_pop": 0 none, 1 TLS from the first byte, 2 STARTTLS
    // APOP or OAuth 2.0 logins ("use_pop_auth" with those methods) cannot
    // pass through the proxy.
    bool loginBlocked = false;
};

QList<Pop3Account> pop3Accounts(const KeyFileText &file);

// Points the account at the proxy on localhost:`proxyPort` with the user
// name "user,server"; returns what it changed, to be kept for restoring
// (with undoChanges).
QList<KeyChange> routeAccount(KeyFileText &file, int account, int proxyPort);

// Claws Mail's record of mail already downloaded, inside its folder:
// "uidl/<server>-<user>", the user's tabs, line breaks, slashes and
// asterisks written as "_".
QString uidlFileName(const QString &server, const QString &user);

// The configuration folder under `home`, and the socket a running Claws
// Mail listens on: "<runtime dir>/claws-mail/<MD5 of the folder's path>".
QString configFolder(const QString &home);
QString socketPath(const QString &configFolder, const QString &runtimeDir);
// The runtime folder as GLib finds it: $XDG_RUNTIME_DIR, else the cache folder.
QString runtimeDir(const QString &home);
// Whether a Claws Mail runs on the folder: its socket takes a connection.
bool isRunning(const QString &configFolder, const QString &runtimeDir);

} // namespace jw::clawsmail

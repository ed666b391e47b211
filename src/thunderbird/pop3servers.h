#pragma once

#include "thunderbird/prefsfile.h"

#include <QList>
#include <QString>

namespace jw::thunderbird {

// Thunderbird's connection security ("socketType") and password kinds
// ("authMethod") that matter here.
inline constexpr int kSocketPlain = 0;
inline constexpr int kSocketStartTls = 2;
inline constexpr int kSocketTls = 3;
inline constexpr int kAuthPassword = 3;
inline constexpr int kAuthOAuth2 = 10;

// One POP3 account of a profile, as its preferences
// "mail.server.<key>.*" describe it.
struct Pop3Server
{
    QByteArray key; // "server1"
    QString name; // as the account tree shows it
    // What Thunderbird connects to now (localhost and the proxy while routed).
    QString hostname;
    QString userName;
    int port = 110;
    // The real server, from the saved values while routed.
    QString realHost;
    QString realUser;
    int realPort = 110;
    int realSocketType = kSocketPlain;
    int realAuthMethod = kAuthPassword; // kAuthOAuth2: signs in with OAuth 2.0
    bool flagged = false; // "junkwarden.route" is true: to be filtered
    bool routed = false; // in the routed form, with its real values saved
    // Why it cannot be routed, if it cannot.
    enum class Unroutable {
        No,
        Login, // Kerberos, NTLM or a certificate: the proxy cannot pass it on
        Comma, // the user name holds the comma that separates it from the server
        Collision, // another account already has its routed form
    };
    Unroutable unroutable = Unroutable::No;
};

// The flag other tools and tests rely on.
inline constexpr char kRouteFlag[] = "junkwarden.route";

// The POP3 accounts in use (those that "mail.accountmanager.accounts" lists),
// in that order. `proxyPort` is the port routed accounts point at.
QList<Pop3Server> pop3Servers(const PrefsFile &prefs, int proxyPort);

// Sets or clears the flag of an account.
void setRouteFlag(PrefsFile &prefs, const QByteArray &key, bool flagged);

// Puts an account in plain form into routed form: saves hostname, port,
// userName, socketType, authMethod and name (and which were absent) next
// to the flag, points it at "localhost" and `proxyPort` with the user name
// "user,host", no TLS and a plain password, keeps its name readable, and
// moves the addresses of its folders (identities' copies, drafts, archives
// and templates; spam targets) to the routed form. Returns the old and new
// folder address prefixes, for the filter files; both empty when nothing
// was changed (already routed, or not routable).
struct FolderMove
{
    QByteArray from;
    QByteArray to;
};
FolderMove routeServer(PrefsFile &prefs, const QByteArray &key, int proxyPort);
// Puts back exactly what routing saved (absent values absent again), moves
// the folder addresses back and removes the saved values; the flag stays.
// An account whose host is no longer "localhost" was changed by hand: only
// its saved values are removed.
FolderMove restoreServer(PrefsFile &prefs, const QByteArray &key);

// The start of the addresses of an account's folders: "mailbox://" user
// "@" host, the user percent-encoded.
QByteArray folderPrefix(const QString &user, const QString &host);
// Replaces `from` by `to` where an address starts with it and goes on with
// "/", a quote or its end.
QByteArray movedAddress(const QByteArray &address, const FolderMove &move);
// The same for the actionValue="…" lines of a msgFilterRules.dat; every
// other byte stays.
QByteArray moveFilterTargets(const QByteArray &rules, const FolderMove &move);

} // namespace jw::thunderbird

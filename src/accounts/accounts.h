#pragma once

#include "oauth/oauthprovider.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace jw {

class RegistryData;

// Where the POP3 accounts are found, in search order.
struct AccountSource
{
    QString name; // "Outlook Express", "Outlook" or "Self"
    QString key;
};
const QList<AccountSource> &accountSources();
// The program's own account list.
const AccountSource &ownAccountSource();
// Whether the rows of `source` live in the store (not in a mail program's files).
bool isStoreSource(const QString &source);

// Registry value names of an account key.
namespace accountvalues {
inline constexpr char16_t kServer[] = u"POP3 Server";
inline constexpr char16_t kName[] = u"Account Name";
inline constexpr char16_t kUser[] = u"POP3 User Name";
inline constexpr char16_t kPort[] = u"POP3 Port";
inline constexpr char16_t kFlag[] = u"Use Mailmoater";
inline constexpr char16_t kServerOrig[] = u"POP3 Server orig";
inline constexpr char16_t kPortOrig[] = u"POP3 Port orig";
inline constexpr char16_t kPasswordOrig[] = u"POP3 Password orig";
inline constexpr char16_t kSecure[] = u"POP3 Secure Connection";
inline constexpr char16_t kSmtpServer[] = u"SMTP Server";
inline constexpr char16_t kSmtpPort[] = u"SMTP Port";
inline constexpr char16_t kSmtpSecure[] = u"SMTP Secure Connection";
inline constexpr char16_t kEmailAddress[] = u"SMTP Email Address";
// Signing in with OAuth 2.0 instead of the password: the provider preset
// ("microsoft", "google", "generic"), and what the account sets itself.
inline constexpr char16_t kOAuthProvider[] = u"OAuth2 Provider";
inline constexpr char16_t kOAuthClientId[] = u"OAuth2 Client Id";
inline constexpr char16_t kOAuthClientSecret[] = u"OAuth2 Client Secret";
inline constexpr char16_t kOAuthAuthorizeUrl[] = u"OAuth2 Authorization URL";
inline constexpr char16_t kOAuthTokenUrl[] = u"OAuth2 Token URL";
inline constexpr char16_t kOAuthScope[] = u"OAuth2 Scope";
} // namespace accountvalues

// One row of the account list.
struct AccountRow
{
    bool routed = false;
    QString name;
    QString server; // the real server
    QString user; // the real user name
    QString passwordMask; // one "*" per character of the stored password
    QString source;
    QString key; // full path of the account's key, from "\Software" on
    QString port; // decimal; "110" when none is stored
    // Why the account cannot be filtered (Thunderbird's accounts only).
    enum class Blocked {
        None,
        Login, // a login the proxy cannot pass on (OAuth 2.0, Kerberos, NTLM, certificate)
        Comma, // a comma in the user name
        Collision, // another account already has the address it would get
        Profile, // its profile cannot be read: `blockedDetail` says why
    };
    Blocked blocked = Blocked::None;
    QString blockedDetail = {};

    bool operator==(const AccountRow &other) const;
};

struct AccountSearch
{
    QList<AccountRow> rows;
    // The error that ended the search early ("Invalid data type for ..."),
    // empty when it went through.
    QString error;
};

// Lists every POP3 account: the mail clients' and the program's own (whose
// key is created when missing).
AccountSearch findAccounts(RegistryData &registry);

// Points every flagged account at the proxy on "localhost" and `proxyPort`,
// the real server travelling in the user name after a comma.
void routeAccounts(RegistryData &registry, quint32 proxyPort);
// Points every flagged account back at its real server and port. An
// account whose values cannot be read is left as it is and the rest are
// restored all the same; returns one line per such account.
QStringList restoreAccounts(RegistryData &registry);

// Writes the rows as the settings page saves them. `proxyPortText` is the
// port field's text. Returns the names of checked accounts that could not
// be routed because their user name holds a comma.
QStringList saveAccountRows(
    RegistryData &registry, const QList<AccountRow> &rows, const QString &proxyPortText, bool filterOn);

// Creates the next own account ("00000001", then the last one plus one) and
// returns its row.
AccountRow addOwnAccount(RegistryData &registry);
void deleteAccount(RegistryData &registry, const AccountRow &row);
// Stores the password the user typed for the account, at once.
void setAccountPassword(RegistryData &registry, const AccountRow &row, const QString &password);

// A real POP3 server that the proxy may connect to, with how.
struct UpstreamAccount
{
    QString server;
    quint16 port = 110;
    bool tlsRequired = false; // "POP3 Secure Connection" is 1
    bool implicitTls = false; // TLS from the first byte (always so on port 995)
    // Where the account sends mail: empty when the store names no server.
    QString smtpServer;
    quint16 smtpPort = 25;
    bool smtpTlsRequired = false; // "SMTP Secure Connection" is 1
    QString address; // "SMTP Email Address"; may be empty
    OAuthConfig oauth; // set: the proxy signs in with OAuth 2.0, never with the client's password
};
// Makes the account at `key` sign in with OAuth 2.0 through `provider`, or
// with its password again when that is empty (its own OAuth values go).
void setAccountSignIn(RegistryData &registry, const QString &key, const QString &provider);
// Stores every value of `config` with the account (an empty one removes its value).
void setAccountOAuth(RegistryData &registry, const QString &key, const OAuthConfig &config);
// How the account at `key` signs in with OAuth 2.0 (unset: with its password).
OAuthConfig readOAuthConfig(RegistryData &registry, const QString &key);

// The account of the store (any source) whose real server is `server`
// (without regard to case), preferring the one whose real user is `user`;
// nullopt when the store names no such server: the proxy connects nowhere
// else.
std::optional<UpstreamAccount> findUpstreamAccount(RegistryData &registry, const QString &user, const QString &server);

// A routed account as its mail program logs in to the proxy: "user,server"
// and the password the store holds for it (empty when only the mail program
// knows it).
struct RoutedLogin
{
    QString routedUser;
    QString password;
};
// The store's accounts that are routed now, in search order.
QList<RoutedLogin> routedLogins(RegistryData &registry);

// Whether a user name can travel to the proxy: the comma separates it from
// the server there.
bool userNameCanBeRouted(const QString &user);

} // namespace jw

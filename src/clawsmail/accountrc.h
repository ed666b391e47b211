#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace jw::clawsmail {

// Claws Mail's "accountrc": one "[Account: N]" group per account, lines of
// key=value. Read and changed in place: every byte not changed stays, line
// ends included.
class AccountRc
{
public:
    static AccountRc parse(const QByteArray &bytes);
    QByteArray bytes() const { return m_bytes; }

    // The accounts' numbers, in file order.
    QList<int> accounts() const;
    std::optional<QByteArray> value(int account, const QByteArray &key) const;
    // Replaces the value of a key the group has, or adds the line at the
    // group's end.
    void set(int account, const QByteArray &key, const QByteArray &value);
    // Removes the key's line with the line break before it (as set() adds it).
    void remove(int account, const QByteArray &key);

private:
    struct Span
    {
        qsizetype start = 0; // of the value
        qsizetype end = 0;
    };
    std::optional<Span> find(int account, const QByteArray &key) const;
    // Where the group's lines end (before the blank lines that close it).
    std::optional<qsizetype> groupEnd(int account) const;

    QByteArray m_bytes;
};

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

QList<Pop3Account> pop3Accounts(const AccountRc &file);

// The values routing changes, with the ones they had before.
inline constexpr const char *kRoutedKeys[] = {"receive_server", "user_id", "set_popport", "pop_port", "ssl_pop"};
struct SavedValues
{
    int account = 0;
    QList<std::pair<QByteArray, std::optional<QByteArray>>> before; // absent keys stay absent
};

// Points the account at the proxy on localhost:`proxyPort` with the user
// name "user,server"; returns what it changed, to be kept for restoring.
SavedValues routeAccount(AccountRc &file, int account, int proxyPort);
// Puts back each saved value whose key still holds the routed one, so a
// change the user made meanwhile stays. `proxyPort` as routed.
void restoreAccount(AccountRc &file, const SavedValues &saved, int proxyPort);

// Claws Mail's record of mail already downloaded: "uidl/<server>-<user>".
QString uidlFileName(const QString &server, const QString &user);

} // namespace jw::clawsmail

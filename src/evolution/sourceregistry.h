#pragma once

#include "textfile/keyfiletext.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace jw::evolution {

// One data source of Evolution's source registry: an account, an address
// book, a calendar...; `data` is its key file as the registry holds it.
struct Source
{
    QString uid;
    QString objectPath;
    QByteArray data;
    bool writable = false;
};

// The registry's versioned bus name ("org.gnome.evolution.dataserver.SourcesN"),
// taken from the highest N of the D-Bus service files in `serviceFolders`;
// nullopt when evolution-data-server is not installed.
std::optional<QString> registryServiceName(const QStringList &serviceFolders);
// Where the session bus looks for service files.
QStringList sessionServiceFolders();

// evolution-source-registry on the session bus. Every call blocks at most a
// few seconds and reports a failure with its reason.
class SourceRegistry
{
public:
    explicit SourceRegistry(QString serviceName);
    // Every source, or the reason they cannot be had (no session bus, the
    // registry does not answer).
    std::optional<QList<Source>> sources(QString *problem) const;
    // Replaces the whole key file of the source at `objectPath`; false with
    // the reason when the registry refuses it.
    bool write(const QString &objectPath, const QByteArray &data, QString *problem) const;

private:
    QString m_service;
};

// A POP3 mail account ("[Mail Account] BackendName=pop").
struct Pop3Account
{
    QString uid;
    QString name; // "[Data Source] DisplayName"
    QString host; // "[Authentication] Host", "Port", "User", as they are now
    int port = 110;
    QString user;
    QByteArray security; // "[Security] Method": none, ssl-on-alternate-port, starttls-on-standard-port
    // OAuth 2.0 ("Google", "Outlook", "Yahoo", "XOAUTH2"...), APOP or a SASL
    // mechanism: a login the proxy cannot pass on. Only "none" (the password) can.
    bool loginBlocked = false;
};
std::optional<Pop3Account> pop3Account(const Source &source);

// Points the account at the proxy on localhost:`proxyPort` with the user
// "user,host" and no TLS (the proxy is on this machine); returns what it
// changed, to be kept for restoring (with undoChanges).
QList<KeyChange> routeAccount(KeyFileText &data, int proxyPort);

// Security methods of an account.
inline constexpr char kSecurityNone[] = "none";
inline constexpr char kSecurityTls[] = "ssl-on-alternate-port";
inline constexpr char kSecurityStartTls[] = "starttls-on-standard-port";

} // namespace jw::evolution

#include "accounts/accounts.h"

#include "platform/registry.h"
#include "textfile/number.h"

#include <algorithm>

namespace jw {

namespace av = accountvalues;

namespace {

const QString kLocalhost = QStringLiteral("localhost");
const QString kYes = QStringLiteral("yes");
const QString kDefaultPort = QStringLiteral("110");

QString value(const char16_t *name)
{
    return QString::fromUtf16(name);
}

QString subkeyPath(const AccountSource &source, const QString &name)
{
    return source.key + name;
}

QString beforeFirstComma(const QString &user)
{
    const qsizetype comma = user.indexOf(QLatin1Char(','));
    return comma < 0 ? user : user.left(comma);
}

// Whether the user name is in the routed form "user,server". A comma alone
// is not enough: it may belong to the real user name.
bool isRoutedForm(const QString &user, const QString &server, const QString &realServer)
{
    if (!user.contains(QLatin1Char(',')))
        return false;
    return user.endsWith(QLatin1Char(',') + realServer) || server.compare(kLocalhost, Qt::CaseInsensitive) == 0;
}

quint32 portNumber(const QString &text)
{
    return quint32(toNumber(QStringView(text)));
}

// Calls `visit` for every subkey of every source, in source order and each
// source's enumeration order. A source whose key is missing adds nothing.
template<typename Visit>
void forEachAccountKey(RegistryData &registry, Visit visit)
{
    for (const AccountSource &source : accountSources()) {
        if (!registry.keyExists(source.key))
            continue;
        for (const QString &name : registry.subkeyNames(source.key))
            visit(source, subkeyPath(source, name));
    }
}

// Calls `visit` for every account key that carries the routing flag and its
// saved real server.
template<typename Visit>
void forEachFlaggedAccount(RegistryData &registry, Visit visit)
{
    forEachAccountKey(registry, [&registry, &visit](const AccountSource &, const QString &key) {
        if (!registry.hasValue(key, value(av::kFlag)))
            return;
        // Without its real server the account cannot be pointed anywhere
        // sensible: routing it would leave the client with no server.
        const std::optional<QString> realServer = registry.readString(key, value(av::kServerOrig));
        if (realServer)
            visit(key, *realServer);
    });
}

} // namespace

bool AccountRow::operator==(const AccountRow &o) const
{
    return routed == o.routed && name == o.name && server == o.server && user == o.user
        && passwordMask == o.passwordMask && source == o.source && key == o.key && port == o.port
        && blocked == o.blocked && blockedDetail == o.blockedDetail;
}

const QList<AccountSource> &accountSources()
{
    static const QList<AccountSource> sources{
        {QStringLiteral("Outlook Express"),
            QStringLiteral("\\Software\\Microsoft\\Internet Account Manager\\Accounts\\")},
        {QStringLiteral("Outlook"),
            QStringLiteral("\\Software\\Microsoft\\Office\\Outlook\\OMI Account Manager\\Accounts\\")},
        {QStringLiteral("Self"), QStringLiteral("\\Software\\Brightfold\\Mailmoat\\Accounts\\")},
    };
    return sources;
}

const AccountSource &ownAccountSource()
{
    return accountSources().last();
}

bool isStoreSource(const QString &source)
{
    const QList<AccountSource> &sources = accountSources();
    return std::any_of(
        sources.cbegin(), sources.cend(), [&source](const AccountSource &s) { return s.name == source; });
}

bool userNameCanBeRouted(const QString &user)
{
    return !user.contains(QLatin1Char(','));
}

AccountSearch findAccounts(RegistryData &registry)
{
    AccountSearch search;
    registry.createKey(ownAccountSource().key);
    try {
        forEachAccountKey(registry, [&registry, &search](const AccountSource &source, const QString &key) {
            if (!registry.hasValue(key, value(av::kServer)))
                return;
            AccountRow row;
            row.source = source.name;
            row.key = key;
            row.routed = registry.readString(key, value(av::kFlag)).value_or(QString()) == kYes;
            row.server =
                registry.readString(key, value(row.routed ? av::kServerOrig : av::kServer)).value_or(QString());
            row.user = beforeFirstComma(registry.readString(key, value(av::kUser)).value_or(QString()));
            row.passwordMask = readOAuthConfig(registry, key).isSet()
                ? QStringLiteral("OAuth 2.0")
                : QString(
                    registry.readString(key, value(av::kPasswordOrig)).value_or(QString()).size(), QLatin1Char('*'));
            const std::optional<quint32> port =
                registry.readInteger(key, value(row.routed ? av::kPortOrig : av::kPort));
            row.port = port ? QString::number(*port) : kDefaultPort;
            row.name = registry.readString(key, value(av::kName)).value_or(QString());
            search.rows.append(row);
        });
    } catch (const RegistryError &e) {
        search.error = e.message();
    }
    return search;
}

void setAccountSignIn(RegistryData &registry, const QString &key, const QString &provider)
{
    if (provider.isEmpty())
        setAccountOAuth(registry, key, OAuthConfig());
    else
        registry.writeString(key, value(av::kOAuthProvider), provider);
}

void setAccountOAuth(RegistryData &registry, const QString &key, const OAuthConfig &config)
{
    const std::pair<const char16_t *, QString> values[] = {{av::kOAuthProvider, config.provider},
        {av::kOAuthClientId, config.clientId}, {av::kOAuthClientSecret, config.clientSecret},
        {av::kOAuthAuthorizeUrl, config.authorizeUrl}, {av::kOAuthTokenUrl, config.tokenUrl},
        {av::kOAuthScope, config.scope}};
    for (const auto &[name, text] : values) {
        if (text.isEmpty())
            registry.deleteValue(key, value(name));
        else
            registry.writeString(key, value(name), text);
    }
}

OAuthConfig readOAuthConfig(RegistryData &registry, const QString &key)
{
    const auto text = [&registry, &key](const char16_t *name) {
        return registry.valueType(key, value(name)) == RegistryValueType::String
            ? registry.readString(key, value(name)).value_or(QString()).trimmed()
            : QString();
    };
    OAuthConfig config;
    config.provider = text(av::kOAuthProvider).toLower();
    if (config.provider.isEmpty())
        return config;
    config.clientId = text(av::kOAuthClientId);
    config.clientSecret = text(av::kOAuthClientSecret);
    config.authorizeUrl = text(av::kOAuthAuthorizeUrl);
    config.tokenUrl = text(av::kOAuthTokenUrl);
    config.scope = text(av::kOAuthScope);
    return config;
}

std::optional<UpstreamAccount> findUpstreamAccount(RegistryData &registry, const QString &user, const QString &server)
{
    std::optional<UpstreamAccount> found;
    bool userMatched = false;
    forEachAccountKey(registry, [&](const AccountSource &, const QString &key) {
        if (userMatched)
            return;
        try {
            const QString shown = registry.readString(key, value(av::kServer)).value_or(QString());
            const std::optional<QString> saved = registry.readString(key, value(av::kServerOrig));
            // A routed account shows "localhost": its real server is the saved one.
            const bool routed = saved
                && (registry.hasValue(key, value(av::kFlag)) || shown.compare(kLocalhost, Qt::CaseInsensitive) == 0);
            const QString realServer = routed ? *saved : shown;
            if (realServer.isEmpty() || realServer.compare(server, Qt::CaseInsensitive) != 0)
                return;
            const std::optional<quint32> port = registry.readInteger(key, value(routed ? av::kPortOrig : av::kPort));
            UpstreamAccount account;
            account.server = realServer;
            account.port = port && *port > 0 && *port < 65536 ? quint16(*port) : quint16(110);
            // A flag stored as a number or as the text "1".
            const auto flag = [&registry, &key](const char16_t *name) {
                const RegistryValueType type = registry.valueType(key, value(name));
                if (type == RegistryValueType::Integer)
                    return registry.readInteger(key, value(name)).value_or(0) == 1;
                return type == RegistryValueType::String
                    && registry.readString(key, value(name)).value_or(QString()) == QLatin1String("1");
            };
            account.tlsRequired = flag(av::kSecure);
            account.oauth = readOAuthConfig(registry, key);
            // Sending is for the automatic reply only: values of the wrong
            // type there leave the account without it, never without mail.
            try {
                account.smtpServer = registry.readString(key, value(av::kSmtpServer)).value_or(QString()).trimmed();
                const std::optional<quint32> smtpPort = registry.readInteger(key, value(av::kSmtpPort));
                account.smtpPort = smtpPort && *smtpPort > 0 && *smtpPort < 65536 ? quint16(*smtpPort) : quint16(25);
                account.smtpTlsRequired = flag(av::kSmtpSecure);
                account.address = registry.readString(key, value(av::kEmailAddress)).value_or(QString()).trimmed();
            } catch (const RegistryError &) {
                account.smtpServer.clear();
            }
            const bool sameUser =
                beforeFirstComma(registry.readString(key, value(av::kUser)).value_or(QString())) == user;
            if (!found || sameUser)
                found = account;
            userMatched = sameUser;
        } catch (const RegistryError &) {
            // An account with values of the wrong type names no server.
        }
    });
    return found;
}

QList<RoutedLogin> routedLogins(RegistryData &registry)
{
    QList<RoutedLogin> logins;
    for (const AccountRow &row : findAccounts(registry).rows) {
        if (!row.routed || row.user.isEmpty() || row.server.isEmpty())
            continue;
        try {
            const QString shown = registry.readString(row.key, value(av::kServer)).value_or(QString());
            if (shown.compare(kLocalhost, Qt::CaseInsensitive) != 0)
                continue; // flagged, but not pointed at the proxy now
            // With OAuth 2.0 the proxy signs in with its token, whatever
            // password the mail program gives.
            logins.append({row.user + QLatin1Char(',') + row.server,
                readOAuthConfig(registry, row.key).isSet()
                    ? QStringLiteral("oauth2")
                    : registry.readString(row.key, value(av::kPasswordOrig)).value_or(QString())});
        } catch (const RegistryError &) {
            // Values of the wrong type: not an account the proxy can log in to.
        }
    }
    return logins;
}

void routeAccounts(RegistryData &registry, quint32 proxyPort)
{
    forEachFlaggedAccount(registry, [&registry, proxyPort](const QString &key, const QString &realServer) {
        QString user = registry.readString(key, value(av::kUser)).value_or(QString());
        const QString server = registry.readString(key, value(av::kServer)).value_or(QString());
        if (!user.contains(QLatin1Char(','))) {
            user += QLatin1Char(',') + realServer;
        } else if (!isRoutedForm(user, server, realServer)) {
            // The real user name holds a comma: it cannot travel to the proxy.
            return;
        }
        registry.writeString(key, value(av::kServer), kLocalhost);
        registry.writeString(key, value(av::kUser), user);
        registry.writeInteger(key, value(av::kPort), proxyPort);
    });
}

QStringList restoreAccounts(RegistryData &registry)
{
    QStringList problems;
    forEachAccountKey(registry, [&registry, &problems](const AccountSource &, const QString &key) {
        if (!registry.hasValue(key, value(av::kFlag)))
            return;
        try {
            // Everything is read before anything is written: an account is
            // restored whole or left as it was, never half pointed back.
            const std::optional<QString> realServer = registry.readString(key, value(av::kServerOrig));
            if (!realServer)
                return;
            const QString user = registry.readString(key, value(av::kUser)).value_or(QString());
            const QString server = registry.readString(key, value(av::kServer)).value_or(QString());
            const std::optional<quint32> realPort = registry.readInteger(key, value(av::kPortOrig));
            const QString realUser = isRoutedForm(user, server, *realServer) ? beforeFirstComma(user) : user;
            registry.writeString(key, value(av::kServer), *realServer);
            registry.writeString(key, value(av::kUser), realUser);
            if (realPort)
                registry.writeInteger(key, value(av::kPort), *realPort);
        } catch (const RegistryError &e) {
            QString name;
            try {
                name = registry.readString(key, value(av::kName)).value_or(QString());
            } catch (const RegistryError &) {
            }
            const QString account =
                name.isEmpty() ? key.section(QLatin1Char('\\'), -1, -1, QString::SectionSkipEmpty) : name;
            problems.append(account + QStringLiteral(": ") + e.message());
        }
    });
    return problems;
}

QStringList saveAccountRows(
    RegistryData &registry, const QList<AccountRow> &rows, const QString &proxyPortText, bool filterOn)
{
    QStringList unroutable;
    for (const AccountRow &row : rows) {
        if (!registry.keyExists(row.key))
            continue;
        if (row.routed) {
            const bool routable = userNameCanBeRouted(row.user);
            if (!routable)
                unroutable.append(row.name);
            registry.writeString(row.key, value(av::kFlag), kYes);
            registry.writeString(row.key, value(av::kName), row.name);
            registry.writeString(row.key, value(av::kServerOrig), row.server);
            registry.writeInteger(row.key, value(av::kPortOrig), portNumber(row.port));
            if (filterOn && routable) {
                registry.writeString(row.key, value(av::kServer), kLocalhost);
                registry.writeString(row.key, value(av::kUser), row.user + QLatin1Char(',') + row.server);
                registry.writeInteger(row.key, value(av::kPort), portNumber(proxyPortText));
            } else {
                registry.writeString(row.key, value(av::kServer), row.server);
                registry.writeString(row.key, value(av::kUser), row.user);
                registry.writeInteger(row.key, value(av::kPort), portNumber(row.port));
            }
        } else {
            registry.writeString(row.key, value(av::kName), row.name);
            registry.writeString(row.key, value(av::kServer), row.server);
            registry.writeString(row.key, value(av::kUser), row.user);
            registry.writeInteger(row.key, value(av::kPort), portNumber(row.port));
            registry.deleteValue(row.key, value(av::kFlag));
            registry.deleteValue(row.key, value(av::kServerOrig));
            registry.deleteValue(row.key, value(av::kPortOrig));
        }
    }
    return unroutable;
}

AccountRow addOwnAccount(RegistryData &registry)
{
    const AccountSource &own = ownAccountSource();
    registry.createKey(own.key);
    const QStringList names = registry.subkeyNames(own.key);
    QString name = QStringLiteral("00000001");
    if (!names.isEmpty()) {
        const qint64 next = qint64(toNumber(QStringView(names.last()))) + 1;
        name = QString(QStringLiteral("0000000") + QString::number(next)).right(8);
    }
    const QString key = subkeyPath(own, name);
    registry.createKey(key);
    registry.writeString(key, value(av::kName), QString());
    registry.writeString(key, value(av::kServer), QString());
    registry.writeString(key, value(av::kUser), QString());
    registry.writeInteger(key, value(av::kPort), 110);

    AccountRow row;
    row.source = own.name;
    row.key = key;
    row.port = kDefaultPort;
    return row;
}

void deleteAccount(RegistryData &registry, const AccountRow &row)
{
    registry.deleteKey(row.key);
}

void setAccountPassword(RegistryData &registry, const AccountRow &row, const QString &password)
{
    registry.writeString(row.key, value(av::kPasswordOrig), password);
}

} // namespace jw

#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>
#include <utility>

namespace jw {

// How an account signs in with OAuth 2.0, as stored with it: a provider
// preset ("microsoft", "google") or "generic", and what the account sets
// itself (empty: the preset's, and the client registration this program was
// built with).
struct OAuthConfig
{
    QString provider;
    QString clientId;
    QString clientSecret;
    QString authorizeUrl;
    QString tokenUrl;
    QString scope;

    bool isSet() const { return !provider.isEmpty(); }
};

// Everything a sign-in and a token refresh need.
struct OAuthEndpoints
{
    QUrl authorize;
    QUrl token;
    QString scope;
    QString clientId;
    QString clientSecret; // sent only when there is one
    QList<std::pair<QString, QString>> extraAuthorizeParameters;
};

// The preset that serves a mail server, as mail programs tell it by the
// server's name ("outlook.office365.com": "microsoft"); "generic" for others.
QString oauthProviderForHost(const QString &host);

// The presets' names, in the order they are offered.
QStringList oauthProviderNames();

// The endpoints of `config`, or nullopt and why (no client id in this build
// nor in the account, an address that is not HTTPS).
std::optional<OAuthEndpoints> resolveOAuth(const OAuthConfig &config, QString *error);

} // namespace jw

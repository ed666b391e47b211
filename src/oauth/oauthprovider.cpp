#include "oauth/oauthprovider.h"

#include "platform/shell.h"

#include <QStringList>

namespace jw {

namespace {

struct Preset
{
    const char *name;
    const char *authorize;
    const char *token;
    const char *scope;
    const char *clientId; // the project's own registration, given at build time
    const char *clientSecret;
};

// Microsoft's "common" authority serves work, school and personal accounts;
// Google issues a refresh token only for offline access, and only at the
// first consent unless asked again.
const Preset kPresets[] = {
    {"microsoft", "https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
        "https://login.microsoftonline.com/common/oauth2/v2.0/token",
        "https://outlook.office.com/POP.AccessAsUser.All offline_access", JW_OAUTH_MICROSOFT_CLIENT_ID, ""},
    {"google", "https://accounts.google.com/o/oauth2/v2/auth", "https://oauth2.googleapis.com/token",
        "https://mail.google.com/", JW_OAUTH_GOOGLE_CLIENT_ID, JW_OAUTH_GOOGLE_CLIENT_SECRET},
};

} // namespace

QString oauthProviderForHost(const QString &host)
{
    const QString name = host.toLower();
    const auto under = [&name](const char *domain) {
        const QString d = QLatin1String(domain);
        return name == d || name.endsWith(QLatin1Char('.') + d);
    };
    if (under("office365.com") || under("outlook.com") || under("hotmail.com") || under("live.com"))
        return QStringLiteral("microsoft");
    if (under("gmail.com") || under("googlemail.com"))
        return QStringLiteral("google");
    return QStringLiteral("generic");
}

QStringList oauthProviderNames()
{
    QStringList names;
    for (const Preset &preset : kPresets)
        names.append(QLatin1String(preset.name));
    names.append(QStringLiteral("generic"));
    return names;
}

std::optional<OAuthEndpoints> resolveOAuth(const OAuthConfig &config, QString *error)
{
    OAuthEndpoints endpoints;
    const Preset *preset = nullptr;
    for (const Preset &candidate : kPresets) {
        if (config.provider == QLatin1String(candidate.name))
            preset = &candidate;
    }
    if (!preset && config.provider != QLatin1String("generic")) {
        *error = QStringLiteral("unknown sign-in provider \"%1\"").arg(config.provider);
        return std::nullopt;
    }
    const auto pick = [](const QString &own, const char *fallback) {
        return own.isEmpty() && fallback ? QString::fromUtf8(fallback) : own;
    };
    endpoints.authorize = QUrl(pick(config.authorizeUrl, preset ? preset->authorize : nullptr));
    endpoints.token = QUrl(pick(config.tokenUrl, preset ? preset->token : nullptr));
    endpoints.scope = pick(config.scope, preset ? preset->scope : nullptr);
    endpoints.clientId = pick(config.clientId, preset ? preset->clientId : nullptr);
    endpoints.clientSecret = config.clientId.isEmpty()
        ? pick(config.clientSecret, preset ? preset->clientSecret : nullptr)
        : config.clientSecret;
    if (preset && config.provider == QLatin1String("google")) {
        endpoints.extraAuthorizeParameters = {{QStringLiteral("access_type"), QStringLiteral("offline")},
            {QStringLiteral("prompt"), QStringLiteral("consent")}};
    }
    if (endpoints.clientId.isEmpty()) {
        *error = QStringLiteral("this build has no client id for %1: set one for the account").arg(config.provider);
        return std::nullopt;
    }
    if (!isFetchableAddress(endpoints.authorize) || !isFetchableAddress(endpoints.token)) {
        *error = QStringLiteral("the sign-in addresses must be HTTPS");
        return std::nullopt;
    }
    return endpoints;
}

} // namespace jw

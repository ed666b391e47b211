#include "accounts/thunderbirdsource.h"

#include "thunderbird/pop3servers.h"
#include "thunderbird/profiles.h"

#include <QFile>

namespace jw {

namespace {

namespace tb = thunderbird;

// Every readable profile's preferences, with the profile.
template<typename Visit>
void forEachProfile(const QString &home, Visit visit)
{
    for (const tb::Profile &profile : tb::findProfiles(home).profiles) {
        QFile file(profile.folder + QLatin1String("/prefs.js"));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        try {
            visit(profile, tb::PrefsFile::parse(file.readAll()));
        } catch (const tb::PrefsError &) {
            // Not in Thunderbird's format: the profile names no account.
        }
    }
}

} // namespace

std::optional<UpstreamAccount> findThunderbirdUpstream(const QString &home, const QString &user, const QString &server)
{
    std::optional<UpstreamAccount> found;
    bool userMatched = false;
    forEachProfile(home, [&](const tb::Profile &, const tb::PrefsFile &prefs) {
        // The port routed accounts point at plays no part here.
        for (const tb::Pop3Server &s : tb::pop3Servers(prefs, 0)) {
            if (userMatched || s.realHost.isEmpty() || s.realHost.compare(server, Qt::CaseInsensitive) != 0)
                continue;
            UpstreamAccount account;
            account.server = s.realHost;
            account.port = quint16(s.realPort);
            account.implicitTls = s.realSocketType == tb::kSocketTls;
            account.tlsRequired = s.realSocketType == tb::kSocketStartTls || account.implicitTls;
            const bool sameUser = s.realUser == user;
            if (!found || sameUser)
                found = account;
            userMatched = sameUser;
        }
    });
    return found;
}

} // namespace jw

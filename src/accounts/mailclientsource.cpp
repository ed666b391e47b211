#include "accounts/mailclientsource.h"

#include "accounts/clawsmailsource.h"
#include "accounts/evolutionsource.h"
#include "accounts/thunderbirdsource.h"

#include <QDir>

namespace jw {

QString stateFolderOf(const QString &configFolder)
{
    return QDir::cleanPath(configFolder + QLatin1String("/../state"));
}

std::vector<std::unique_ptr<MailClientSource>> mailClientSources(const ClientPlaces &places)
{
    std::vector<std::unique_ptr<MailClientSource>> sources;
    sources.push_back(std::make_unique<ThunderbirdSource>(places));
    sources.push_back(std::make_unique<ClawsMailSource>(places));
    sources.push_back(std::make_unique<EvolutionSource>(places));
    return sources;
}

const MailClientSource *sourceNamed(const std::vector<std::unique_ptr<MailClientSource>> &sources, const QString &name)
{
    for (const auto &source : sources) {
        if (source->name() == name)
            return source.get();
    }
    return nullptr;
}

QStringList MailClientSource::routedLogins(int proxyPort) const
{
    QStringList logins;
    for (const AccountRow &row : find(proxyPort)) {
        if (row.routed && row.blocked == AccountRow::Blocked::None)
            logins.append(row.user + QLatin1Char(',') + row.server);
    }
    return logins;
}

void UpstreamChoice::consider(const QString &realUser, const QString &realServer, const UpstreamAccount &account)
{
    if (m_userMatched || realServer.isEmpty() || realServer.compare(m_server, Qt::CaseInsensitive) != 0)
        return;
    const bool sameUser = realUser == m_user;
    if (!m_found || sameUser)
        m_found = account;
    m_userMatched = sameUser;
}

} // namespace jw

#include "accounts/accountrouting.h"

#include "accounts/accounts.h"
#include "accounts/thunderbirdsource.h"
#include "platform/registry.h"
#include "settings/keyvaluefile.h"
#include "settings/settingskeys.h"

#include <utility>

namespace jw {

AccountRouting::AccountRouting(Registry &registry, QString configFolder, QString home)
    : m_registry(registry)
    , m_configFolder(std::move(configFolder))
    , m_home(std::move(home))
{
}

QString AccountRouting::thunderbirdBackups() const
{
    return QDir::cleanPath(m_configFolder + QLatin1String("/../state/thunderbird"));
}

void AccountRouting::ConfigureMail()
{
    KeyValueFile settings;
    try {
        settings = KeyValueFile::load(m_configFolder + QLatin1String(settingskeys::kFileName));
    } catch (const FileError &) {
    }
    const quint32 port = quint32(settings.number(settingskeys::kServerPort));
    changeRegistry(m_registry, [port](RegistryData &data) { routeAccounts(data, port); });
    routeThunderbirdAccounts(m_home, int(port), thunderbirdBackups());
}

QStringList AccountRouting::DeConfigureMail()
{
    QStringList problems;
    changeRegistry(m_registry, [&problems](RegistryData &data) { problems = restoreAccounts(data); });
    const ThunderbirdChange thunderbird = restoreThunderbirdAccounts(m_home, thunderbirdBackups());
    for (const QString &folder : thunderbird.waiting)
        problems.append(QStringLiteral("Thunderbird runs on %1: its accounts stay pointed at the filter").arg(folder));
    problems += thunderbird.refused;
    return problems;
}

} // namespace jw

#include "accounts/accountrouting.h"

#include "accounts/accounts.h"
#include "platform/registry.h"
#include "settings/keyvaluefile.h"
#include "settings/settingskeys.h"

#include <utility>

namespace jw {

AccountRouting::AccountRouting(Registry &registry, QString configFolder)
    : m_registry(registry)
    , m_configFolder(std::move(configFolder))
{
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
}

QStringList AccountRouting::DeConfigureMail()
{
    QStringList problems;
    changeRegistry(m_registry, [&problems](RegistryData &data) { problems = restoreAccounts(data); });
    return problems;
}

} // namespace jw

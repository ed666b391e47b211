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
    QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_watcher, [this] { retryWaiting(); });
}

MailRouting::Waiting AccountRouting::waiting() const
{
    return m_waitingProfiles.isEmpty() ? Waiting::Nothing : m_wanted;
}

int AccountRouting::proxyPort() const
{
    KeyValueFile settings;
    try {
        settings = KeyValueFile::load(m_configFolder + QLatin1String(settingskeys::kFileName));
    } catch (const FileError &) {
    }
    return settings.number(settingskeys::kServerPort);
}

void AccountRouting::waitFor(const QStringList &profiles, Waiting wanted)
{
    // The latest wish counts: switching on and off while Thunderbird runs
    // leaves only the last change to make.
    m_wanted = wanted;
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    m_waitingProfiles = profiles;
    if (!profiles.isEmpty())
        m_watcher.addPaths(profiles);
}

void AccountRouting::retryWaiting()
{
    const ThunderbirdChange change = m_wanted == Waiting::ToRoute
        ? routeThunderbirdAccounts(m_waitingProfiles, proxyPort(), thunderbirdBackups())
        : restoreThunderbirdAccounts(m_waitingProfiles, thunderbirdBackups());
    if (change.waiting != m_waitingProfiles)
        waitFor(change.waiting, m_wanted);
}

QString AccountRouting::thunderbirdBackups() const
{
    return thunderbirdBackupFolder(m_configFolder);
}

void AccountRouting::ConfigureMail()
{
    const quint32 port = quint32(proxyPort());
    changeRegistry(m_registry, [port](RegistryData &data) { routeAccounts(data, port); });
    const QStringList profiles = thunderbirdProfileFolders(m_home);
    waitFor(routeThunderbirdAccounts(profiles, int(port), thunderbirdBackups()).waiting, Waiting::ToRoute);
}

QStringList AccountRouting::DeConfigureMail()
{
    QStringList problems;
    changeRegistry(m_registry, [&problems](RegistryData &data) { problems = restoreAccounts(data); });
    const ThunderbirdChange thunderbird = restoreThunderbirdAccounts(thunderbirdProfileFolders(m_home), thunderbirdBackups());
    // Not a problem: the proxy serves them until Thunderbird closes (see waiting()).
    waitFor(thunderbird.waiting, Waiting::ToRestore);
    problems += thunderbird.refused;
    return problems;
}

} // namespace jw

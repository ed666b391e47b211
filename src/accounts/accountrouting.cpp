#include "accounts/accountrouting.h"

#include "accounts/accounts.h"
#include "accounts/thunderbirdsource.h"
#include "platform/registry.h"
#include "settings/keyvaluefile.h"
#include "settings/settingsfile.h"
#include "settings/settingskeys.h"

#include <utility>

namespace jw {

AccountRouting::AccountRouting(Registry &registry, QString configFolder, QString home)
    : m_registry(registry)
    , m_configFolder(std::move(configFolder))
    , m_home(std::move(home))
{
    QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_watcher, [this] {
        retryWaiting();
        if (m_recheck.isActive()) {
            m_quickRetriesLeft = kQuickRetries;
            m_recheck.start(kQuickRetryMs);
        }
    });
    QObject::connect(&m_recheck, &QTimer::timeout, &m_watcher, [this] { recheck(); });
}

void AccountRouting::recheck()
{
    retryWaiting();
    if (!m_recheck.isActive())
        return; // nothing waits any more
    if (m_quickRetriesLeft > 0 && --m_quickRetriesLeft == 0)
        m_recheck.setInterval(kSlowRetryMs);
}

MailRouting::Waiting AccountRouting::waiting() const
{
    if (!m_waitingProfiles.isEmpty())
        return m_wanted;
    return m_deferred.isEmpty() ? Waiting::Nothing : m_deferred.cbegin()->wanted;
}

void AccountRouting::whenClientCloses(const QString &profile, Waiting wanted, std::function<bool()> change)
{
    m_deferred.insert(profile, Deferred{wanted, std::move(change)});
    watchWhatWaits();
}

void AccountRouting::watchWhatWaits()
{
    QStringList wanted = m_waitingProfiles;
    for (auto it = m_deferred.cbegin(); it != m_deferred.cend(); ++it) {
        if (!wanted.contains(it.key()))
            wanted.append(it.key());
    }
    const QStringList watched = m_watcher.directories();
    for (const QString &folder : watched) {
        if (!wanted.contains(folder))
            m_watcher.removePath(folder);
    }
    for (const QString &folder : std::as_const(wanted)) {
        if (!watched.contains(folder))
            m_watcher.addPath(folder);
    }
    if (wanted.isEmpty()) {
        m_recheck.stop();
    } else if (!m_recheck.isActive()) {
        m_quickRetriesLeft = 0;
        m_recheck.start(kSlowRetryMs);
    }
}

int AccountRouting::proxyPort() const
{
    return settingsfile::loadOrEmpty(m_configFolder).number(settingskeys::kServerPort);
}

void AccountRouting::waitFor(const QStringList &profiles, Waiting wanted)
{
    // The latest wish counts: switching on and off while Thunderbird runs
    // leaves only the last change to make.
    m_wanted = wanted;
    m_waitingProfiles = profiles;
    watchWhatWaits();
}

void AccountRouting::retryWaiting()
{
    // Saved changes first: routing and restoring go by the flags they write.
    for (auto it = m_deferred.begin(); it != m_deferred.end();) {
        if (it->change())
            it = m_deferred.erase(it);
        else
            ++it;
    }
    watchWhatWaits();
    if (m_waitingProfiles.isEmpty())
        return;
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
    const ThunderbirdChange thunderbird =
        restoreThunderbirdAccounts(thunderbirdProfileFolders(m_home), thunderbirdBackups());
    // Not a problem: the proxy serves them until Thunderbird closes (see waiting()).
    waitFor(thunderbird.waiting, Waiting::ToRestore);
    problems += thunderbird.refused;
    return problems;
}

} // namespace jw

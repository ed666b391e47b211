#include "accounts/accountrouting.h"

#include "accounts/accounts.h"
#include "platform/registry.h"
#include "settings/keyvaluefile.h"
#include "settings/settingsfile.h"
#include "settings/settingskeys.h"

#include <utility>

namespace jw {

AccountRouting::AccountRouting(Registry &registry, QString configFolder, QString home)
    : AccountRouting(registry, configFolder, mailClientSources({std::move(home), stateFolderOf(configFolder)}))
{
}

AccountRouting::AccountRouting(
    Registry &registry, QString configFolder, std::vector<std::unique_ptr<MailClientSource>> sources)
    : m_registry(registry)
    , m_configFolder(std::move(configFolder))
    , m_sources(std::move(sources))
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
    if (!m_waitingPlaces.isEmpty())
        return m_wanted;
    return m_deferred.isEmpty() ? Waiting::Nothing : m_deferred.cbegin()->wanted;
}

void AccountRouting::whenClientCloses(const QString &place, Waiting wanted, std::function<bool()> change)
{
    m_deferred.insert(place, Deferred{wanted, std::move(change)});
    watchWhatWaits();
}

void AccountRouting::watchWhatWaits()
{
    QStringList wanted;
    const auto want = [this, &wanted](const QString &place) {
        const QString folder = watchFolderOf(place);
        if (!wanted.contains(folder))
            wanted.append(folder);
    };
    for (const QStringList &places : std::as_const(m_waitingPlaces)) {
        for (const QString &place : places)
            want(place);
    }
    for (auto it = m_deferred.cbegin(); it != m_deferred.cend(); ++it)
        want(it.key());
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

const MailClientSource *AccountRouting::sourceOf(const QString &place) const
{
    for (auto it = m_waitingPlaces.cbegin(); it != m_waitingPlaces.cend(); ++it) {
        if (it.value().contains(place))
            return it.key();
    }
    for (const auto &source : m_sources) {
        if (source->places().contains(place))
            return source.get();
    }
    return nullptr;
}

QString AccountRouting::watchFolderOf(const QString &place) const
{
    const MailClientSource *source = sourceOf(place);
    return source ? source->watchFolder(place) : place;
}

QStringList AccountRouting::waitingPrograms() const
{
    QStringList names;
    const auto add = [&names](const MailClientSource *source) {
        if (source && !names.contains(source->name()))
            names.append(source->name());
    };
    for (const auto &source : m_sources) {
        if (m_waitingPlaces.contains(source.get()))
            add(source.get());
    }
    for (auto it = m_deferred.cbegin(); it != m_deferred.cend(); ++it)
        add(sourceOf(it.key()));
    return names;
}

void AccountRouting::waitFor(const ClientChange &change, const MailClientSource &source, Waiting wanted)
{
    // The latest wish counts: switching on and off while a program runs
    // leaves only the last change to make.
    if (m_wanted != wanted)
        m_waitingPlaces.clear();
    m_wanted = wanted;
    if (change.waiting.isEmpty())
        m_waitingPlaces.remove(&source);
    else
        m_waitingPlaces.insert(&source, change.waiting);
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
    for (const auto &source : m_sources) {
        const QStringList places = m_waitingPlaces.value(source.get());
        if (places.isEmpty())
            continue;
        const ClientChange change =
            m_wanted == Waiting::ToRoute ? source->route(places, proxyPort()) : source->restore(places);
        if (change.waiting != places)
            waitFor(change, *source, m_wanted);
    }
}

void AccountRouting::ConfigureMail()
{
    const quint32 port = quint32(proxyPort());
    changeRegistry(m_registry, [port](RegistryData &data) { routeAccounts(data, port); });
    for (const auto &source : m_sources)
        waitFor(source->route(source->places(), int(port)), *source, Waiting::ToRoute);
}

QStringList AccountRouting::DeConfigureMail()
{
    QStringList problems;
    changeRegistry(m_registry, [&problems](RegistryData &data) { problems = restoreAccounts(data); });
    for (const auto &source : m_sources) {
        const ClientChange change = source->restore(source->places());
        // Not a problem: the proxy serves them until the program closes (see waiting()).
        waitFor(change, *source, Waiting::ToRestore);
        problems += change.refused;
    }
    return problems;
}

} // namespace jw

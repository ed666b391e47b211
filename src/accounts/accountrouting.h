#pragma once

#include "accounts/mailclientsource.h"
#include "accounts/mailrouting.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QHash>
#include <QString>
#include <QTimer>

namespace jw {

class Registry;

// The tray's routing of the flagged accounts, in the registry store and in
// the mail programs' files under `home` (mailClientSources). The proxy's
// port comes from "main.cfg" (a missing file counts as empty: 0). Copies of
// the programs' files and the record of what routing changed go to "state/"
// beside the config folder.
class AccountRouting final : public MailRouting
{
public:
    AccountRouting(Registry &registry, QString configFolder, QString home = QDir::homePath());
    AccountRouting(Registry &registry, QString configFolder, std::vector<std::unique_ptr<MailClientSource>> sources);

    void ConfigureMail() override;
    QStringList DeConfigureMail() override;
    // A mail program that runs on a place (a Thunderbird profile, a Claws
    // Mail folder) holds its change back; the change is made as soon as the
    // place shows that the program has closed.
    Waiting waiting() const override;
    QStringList waitingPrograms() const override;
    void whenClientCloses(const QString &place, Waiting wanted, std::function<bool()> change) override;

private:
    int proxyPort() const;
    void waitFor(const ClientChange &change, const MailClientSource &source, Waiting wanted);
    void watchWhatWaits();
    void retryWaiting();
    const MailClientSource *sourceOf(const QString &place) const;
    QString watchFolderOf(const QString &place) const;

    Registry &m_registry;
    QString m_configFolder;
    std::vector<std::unique_ptr<MailClientSource>> m_sources;
    // Places whose routing (or restoring) waits, by source, and what is wanted.
    QHash<const MailClientSource *, QStringList> m_waitingPlaces;
    Waiting m_wanted = Waiting::Nothing;
    // Saved changes that wait, by place.
    struct Deferred
    {
        Waiting wanted;
        std::function<bool()> change;
    };
    QHash<QString, Deferred> m_deferred;
    QFileSystemWatcher m_watcher;
    // The folder changes before the lock is free (Thunderbird removes its
    // "lock" link, then lets go of ".parentlock"), and a program that was
    // killed changes nothing there: after each change the place is tried
    // again a few times in quick succession, and every few seconds while
    // anything waits.
    QTimer m_recheck;
    int m_quickRetriesLeft = 0;
    void recheck();

public:
    static constexpr int kQuickRetryMs = 100;
    static constexpr int kQuickRetries = 20;
    static constexpr int kSlowRetryMs = 3000;
};

} // namespace jw

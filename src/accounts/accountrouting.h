#pragma once

#include "accounts/mailrouting.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QHash>
#include <QString>
#include <QTimer>

namespace jw {

class Registry;

// The tray's routing of the flagged accounts, in the registry store and in
// the Thunderbird profiles under `home`. The proxy's port comes from
// "main.cfg" (a missing file counts as empty: 0). Copies of Thunderbird's
// files as they were before a change go to "state/thunderbird/" beside the
// config folder.
class AccountRouting final : public MailRouting
{
public:
    AccountRouting(Registry &registry, QString configFolder, QString home = QDir::homePath());

    void ConfigureMail() override;
    QStringList DeConfigureMail() override;
    // A Thunderbird that runs on a profile holds its change back; the
    // change is made as soon as the profile folder shows that it has
    // closed (it writes its preferences and removes its lock there).
    Waiting waiting() const override;
    void whenClientCloses(const QString &profile, Waiting wanted, std::function<bool()> change) override;

private:
    QString thunderbirdBackups() const;
    int proxyPort() const;
    void waitFor(const QStringList &profiles, Waiting wanted);
    void watchWhatWaits();
    void retryWaiting();

    Registry &m_registry;
    QString m_configFolder;
    QString m_home;
    // Profiles whose routing (or restoring) waits, and what is wanted.
    QStringList m_waitingProfiles;
    Waiting m_wanted = Waiting::Nothing;
    // Saved changes that wait, by profile.
    struct Deferred
    {
        Waiting wanted;
        std::function<bool()> change;
    };
    QHash<QString, Deferred> m_deferred;
    QFileSystemWatcher m_watcher;
    // The folder changes before the lock is free (Thunderbird removes its
    // "lock" link, then lets go of ".parentlock"), and a Thunderbird that was
    // killed changes nothing there: after each change the profile is tried
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

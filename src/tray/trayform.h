#pragma once

#include "settings/languagetable.h"
#include "tray/programcontrol.h"
#include "tray/programfolders.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace jw {

class MailRouting;
class MonotonicClock;
class ProgramGuard;
class Processes;
class Prompts;
class Shell;
struct StartResult;

// The record the program keeps of a started companion program.
struct ProcessRecord
{
    qint64 pid = 0;
    bool isEmpty() const { return pid == 0; }
};

// The services the tray controller works through.
struct TrayServices
{
    Processes &processes;
    Prompts &prompts;
    Shell &shell;
    const MonotonicClock &clock;
    MailRouting &mailRouting;
    // Told of every routing and proxy change, so that they are undone even
    // if the program cannot undo them itself.
    ProgramGuard &guard;
};

// The tray controller: lives for the whole run, owns the notification icon
// and its menu, follows the proxy through "status.tmp", holds the filter
// switch, the language table and the companion programs' records.
class TTrayForm : public QObject, public ProgramControl
{
    Q_OBJECT
public:
    enum State { Waiting = 0, Running = 1, Quarantine = 2, Disabled = 3 };
    static constexpr int kPollIntervalMs = 500;
    static constexpr qint64 kStallMs = 300000;
    static constexpr int kTipLength = 63;
    // A proxy that ends by itself this soon after its start, this many times
    // in a row, is not started again.
    static constexpr qint64 kQuickEndMs = 60000;
    static constexpr int kQuickEndsToGiveUp = 3;

    using MainWindowFactory = std::function<QWidget *(TTrayForm &)>;

    // Runs the start steps: folders, title, icon, first poll, language,
    // mail-check timer, account routing, proxy.
    TTrayForm(const ProgramFolders &folders, TrayServices services, MainWindowFactory createMainWindow = {},
        QObject *parent = nullptr);
    // The stop steps: icon removed, accounts restored, proxy stopped. What
    // could not be restored is told without waiting for the user.
    ~TTrayForm() override;

    // Menu and timers.
    LanguageTable LanguageMemo;
    QMenu *PopupMenu = nullptr;
    QAction *Oprogramie = nullptr;
    QAction *N2 = nullptr;
    QAction *Pokazkonfiguracje = nullptr;
    QAction *Filtraktywny = nullptr;
    QAction *N1 = nullptr;
    QAction *Wyjdz = nullptr;
    QTimer *CheckTimer = nullptr;
    QTimer *CheckMailTimer = nullptr;

    // Handlers.
    void PokazkonfiguracjeClick();
    void FiltraktywnyClick();
    void OprogramieClick();
    void WyjdzClick();
    void CheckTimerTimer();
    void SetIcon(int arg);
    void readSignInNeeded();
    void SetLanguage();
    void loguj(const QString &text);

    // Companion programs.
    void StartVexel();
    void StopVexel();
    void StartUpdate() override;
    void StopUpdate() override;
    void StartCheckMail();
    void CheckMailTimerTimer();

    // The mail-check timer as the settings page sets it: enabled or not, and
    // its period in minutes (0 never fires).
    void setMailCheck(bool enabled, int minutes) override;
    bool mailCheckEnabled() const override { return m_mailCheckEnabled; }
    int mailCheckIntervalMs() const { return m_mailCheckIntervalMs; }

    bool filterActive() const override { return m_filterOn; }
    void restartProxy() override;
    void acknowledgeQuarantine() override { SetIcon(0); }
    bool updaterRunning() override;
    bool updaterStarted() const override { return !m_update.isEmpty(); }
    UpdateSource updateSource() const override;
    // The release feed the updater reads: the build's, unless set.
    void setUpdateFeed(const QString &address) { m_updateFeed = address; }
    WindowContext windowContext() { return {*this, LanguageMemo, prompts(), m_folders.config}; }
    const ProgramFolders &folders() const { return m_folders; }
    QString applicationTitle() const;
    QString text(TextKey key) const { return LanguageMemo.text(key); }
    // The tip while a change to accounts waits for mail programs to close.
    QString waitingText(bool toRoute) const;
    Prompts &prompts() const { return m_services.prompts; }
    Shell &shell() const { return m_services.shell; }
    MailRouting &mailRouting() const override { return m_services.mailRouting; }

    int trayState() const { return m_trayState; }
    int lastShownState() const { return m_lastShownState; }
    const QString &statusText() const { return m_statusText; }
    QString tip() const { return m_tip; }
    int iconUpdates() const { return m_iconUpdates; }
    const ProcessRecord &vexelRecord() const { return m_vexel; }
    const ProcessRecord &updateRecord() const { return m_update; }
    QWidget *mainWindow() const { return m_mainWindow; }
    QSystemTrayIcon *notificationIcon() const { return m_icon; }

    QString statusFilePath() const;
    QString updateStatusFilePath() const override;

private:
    void buildMenu();
    void readMailCheckSettings();
    void applyMailCheckTimer();
    bool startCompanion(
        const char *baseName, const QString &failurePrefix, ProcessRecord *record, bool endsWithProgram = false);
    void stopCompanion(ProcessRecord &record);
    void routeMail();
    // Restores the accounts; returns what could not be restored, for one
    // report once everything else is done.
    QString restoreMail();
    // Restarts a proxy that has ended by itself, or gives up on it; returns
    // the message for the user when it gives up.
    QString watchProxy();

    ProgramFolders m_folders;
    QString m_updateFeed = QStringLiteral(JW_UPDATE_FEED);
    // Held messages not yet shown, counted at the status file's stamp.
    int m_unread = 0;
    QByteArray m_unreadStamp;
    QByteArray m_signInStamp;
    QString m_signInNeeded; // accounts that need an OAuth 2.0 sign-in, for people
    TrayServices m_services;
    MainWindowFactory m_createMainWindow;
    QPointer<QWidget> m_mainWindow;
    QSystemTrayIcon *m_icon = nullptr;
    std::array<QIcon, 4> m_iconList;

    bool m_filterOn = true;
    int m_trayState = Waiting;
    int m_lastShownState = -1;
    QString m_statusText;
    bool m_proxyHeldForClient = false; // filter off, proxy kept until a mail client closes
    qint64 m_statusChangeTime = 0;
    QString m_tip;
    int m_iconUpdates = 0;

    bool m_mailCheckEnabled = false;
    int m_mailCheckIntervalMs = 600000;

    ProcessRecord m_vexel;
    ProcessRecord m_update;
    qint64 m_vexelStartedAt = 0;
    int m_quickProxyEnds = 0;
};

// The text shown when a companion program cannot be started.
QString startFailureText(const StartResult &result);

} // namespace jw

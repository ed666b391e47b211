#include "tray/trayform.h"

#include "accounts/mailrouting.h"
#include "accounts/thunderbirdsource.h"
#include "dialogs/aboutform.h"
#include "formats/proxystate.h"
#include "formats/quarantinestore.h"
#include "platform/clock.h"
#include "platform/prompts.h"
#include "settings/keyvaluefile.h"
#include "settings/settingsfile.h"
#include "settings/settingskeys.h"
#include "textfile/codec.h"
#include "textfile/errors.h"
#include "textfile/lines.h"
#include "textfile/nativefile.h"
#include "tray/guardian.h"
#include "tray/trayicons.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <limits>
#include <utility>

namespace jw {

namespace {

constexpr char kApplicationTitle[] = "Junkwarden";
constexpr char kStatusFile[] = "status.tmp";
constexpr char kUpdateStatusFile[] = "status-update";
constexpr char kLogFile[] = "debug2.log";

// Cuts a tip to its first `length` characters without splitting a
// surrogate pair.
QString cutTip(const QString &tip, int length)
{
    if (tip.size() <= length)
        return tip;
    int end = length;
    if (tip.at(end - 1).isHighSurrogate())
        --end;
    return tip.left(end);
}

} // namespace

TTrayForm::TTrayForm(
    const ProgramFolders &folders, TrayServices services, MainWindowFactory createMainWindow, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_createMainWindow(std::move(createMainWindow))
{
    setObjectName(QStringLiteral("TrayForm"));
    buildMenu();

    CheckTimer = new QTimer(this);
    CheckTimer->setObjectName(QStringLiteral("CheckTimer"));
    CheckTimer->setInterval(kPollIntervalMs);
    connect(CheckTimer, &QTimer::timeout, this, &TTrayForm::CheckTimerTimer);
    CheckMailTimer = new QTimer(this);
    CheckMailTimer->setObjectName(QStringLiteral("CheckMailTimer"));
    CheckMailTimer->setInterval(m_mailCheckIntervalMs);
    connect(CheckMailTimer, &QTimer::timeout, this, &TTrayForm::CheckMailTimerTimer);
    for (int state = 0; state < int(m_iconList.size()); ++state)
        m_iconList[size_t(state)] = trayStateIcon(state);

    // 1-3: folders.
    m_folders = folders;
    // 4: title.
    QGuiApplication::setApplicationDisplayName(applicationTitle());
    QGuiApplication::setWindowIcon(emblemIcon());
    // 5: the icon in the notification area, with the title as its tip.
    m_icon = new QSystemTrayIcon(this);
    m_icon->setToolTip(applicationTitle());
    m_icon->setContextMenu(PopupMenu);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            PokazkonfiguracjeClick();
    });
    // The one notification says an account needs signing in: a click opens
    // the window where that is done.
    connect(m_icon, &QSystemTrayIcon::messageClicked, this, &TTrayForm::PokazkonfiguracjeClick);
    m_tip = applicationTitle();
    // 6-7.
    m_lastShownState = -1;
    SetIcon(0);
    m_icon->show();
    // 8: the table is still empty, so the first status text is empty.
    CheckTimerTimer();
    CheckTimer->start();
    // 9.
    SetLanguage();
    // 10.
    readMailCheckSettings();
    // 11-12.
    routeMail();
    StartVexel();
}

TTrayForm::~TTrayForm()
{
    CheckTimer->stop();
    CheckMailTimer->stop();
    m_icon->hide();
    const QString problems = restoreMail();
    StopVexel();
    // The program is ending: a box here would keep it, and the proxy's
    // port, waiting on the user.
    if (!problems.isEmpty())
        m_services.prompts.notify(problems);
}

void TTrayForm::routeMail()
{
    // The guardian hears of it first: a crash halfway through is undone too.
    m_services.guard.accountsRouted();
    reportErrors(m_services.prompts, [this] { m_services.mailRouting.ConfigureMail(); });
}

QString TTrayForm::restoreMail()
{
    try {
        const QStringList problems = m_services.mailRouting.DeConfigureMail();
        // Accounts whose mail client still runs point at the proxy until it closes.
        if (m_services.mailRouting.waiting() != MailRouting::Waiting::ToRestore)
            m_services.guard.accountsRestored();
        return problems.join(QLatin1Char('\n'));
    } catch (const Error &e) {
        // Still routed as far as the guardian knows: it tries again once the
        // program has ended.
        return e.alreadyReported() ? QString() : e.message();
    }
}

void TTrayForm::buildMenu()
{
    PopupMenu = new QMenu;
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    connect(this, &QObject::destroyed, PopupMenu, &QObject::deleteLater);
    auto add = [this](const char *name, const QString &caption) {
        QAction *action = PopupMenu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    Oprogramie = add("Oprogramie", QStringLiteral("O programie"));
    N2 = PopupMenu->addSeparator();
    N2->setObjectName(QStringLiteral("N2"));
    Pokazkonfiguracje = add("Pokazkonfiguracje", QStringLiteral("Pokaz konfiguracje"));
    Filtraktywny = add("Filtraktywny", QStringLiteral("Filtr aktywny"));
    Filtraktywny->setCheckable(true);
    Filtraktywny->setChecked(true);
    N1 = PopupMenu->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    Wyjdz = add("Wyjdz", QStringLiteral("Wyjdz"));

    connect(Oprogramie, &QAction::triggered, this, &TTrayForm::OprogramieClick);
    connect(Pokazkonfiguracje, &QAction::triggered, this, &TTrayForm::PokazkonfiguracjeClick);
    connect(Filtraktywny, &QAction::triggered, this, &TTrayForm::FiltraktywnyClick);
    connect(Wyjdz, &QAction::triggered, this, &TTrayForm::WyjdzClick);
}

QString TTrayForm::waitingText(bool route) const
{
    const QStringList programs = m_services.mailRouting.waitingPrograms();
    if (programs.isEmpty() || (programs.size() == 1 && isThunderbird(programs.first())))
        return text(route ? keys::tbCzekaStart : keys::tbCzekaStop);
    return text(route ? keys::klientCzekaStart : keys::klientCzekaStop)
        .replace(QStringLiteral("%1"), programs.join(QStringLiteral(", ")));
}

QString TTrayForm::applicationTitle() const
{
    return QLatin1String(kApplicationTitle);
}

QString TTrayForm::statusFilePath() const
{
    return m_folders.data + QLatin1String(kStatusFile);
}

UpdateSource TTrayForm::updateSource() const
{
    // Data kept apart from a read-only program folder: a package's.
    if (m_folders.data != m_folders.program)
        return UpdateSource::PackageManager;
    return m_updateFeed.isEmpty() ? UpdateSource::NotConfigured : UpdateSource::Feed;
}

QString TTrayForm::updateStatusFilePath() const
{
    return m_folders.data + QLatin1String(kUpdateStatusFile);
}

void TTrayForm::PokazkonfiguracjeClick()
{
    loguj(QStringLiteral("pokaz konfiguracje"));
    if (!m_mainWindow) {
        if (!m_createMainWindow)
            return;
        m_mainWindow = m_createMainWindow(*this);
        if (m_mainWindow)
            m_mainWindow->show();
        return;
    }
    if (m_mainWindow->isActiveWindow())
        return;
    if (m_mainWindow->isMinimized())
        m_mainWindow->showNormal();
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

void TTrayForm::FiltraktywnyClick()
{
    // The menu has already flipped the check mark; the switch is ours.
    if (!m_filterOn) {
        routeMail();
        m_quickProxyEnds = 0;
        // A proxy kept for a mail client that has not closed yet serves on.
        if (!m_proxyHeldForClient)
            StartVexel();
        m_proxyHeldForClient = false;
        m_filterOn = true;
        Filtraktywny->setChecked(m_filterOn);
    } else {
        const QString problems = restoreMail();
        // A mail client that still runs on routed accounts keeps its proxy
        // until it closes and its accounts are back (see CheckTimerTimer).
        m_proxyHeldForClient = m_services.mailRouting.waiting() == MailRouting::Waiting::ToRestore;
        if (!m_proxyHeldForClient)
            StopVexel();
        m_filterOn = false;
        Filtraktywny->setChecked(m_filterOn);
        if (!problems.isEmpty())
            m_services.prompts.error(problems);
    }
}

void TTrayForm::OprogramieClick()
{
    TAboutForm about(LanguageMemo, m_services.shell, applicationTitle());
    about.exec();
}

void TTrayForm::WyjdzClick()
{
    QCoreApplication::quit();
}

void TTrayForm::CheckTimerTimer()
{
    const QString proxyGone = m_filterOn ? watchProxy() : QString();
    if (!m_filterOn) {
        m_trayState = Disabled;
        m_statusText = text(keys::statusDisabled);
    } else if (!QFileInfo::exists(statusFilePath())) {
        m_trayState = Waiting;
        m_statusText = text(keys::statusWaiting);
    } else {
        const Lines lines = readHeadLines(statusFilePath(), LineRule::CrBreakSubEnds, 2).value_or(Lines());
        const QByteArray first = lines.value(0);
        if (first == "working") {
            m_trayState = Running;
            const QString running =
                text(keys::statusRunning) + QStringLiteral(" (") + decodeDisplay(lines.value(1)) + QLatin1Char(')');
            const qint64 now = m_services.clock.nowMs();
            if (running != m_statusText) {
                m_statusText = running;
                m_statusChangeTime = now;
            } else if (now - kStallMs > m_statusChangeTime) {
                // The proxy has shown the same progress for too long.
                m_statusText = text(keys::statusRunning);
                m_statusChangeTime = now;
                QFile::remove(statusFilePath());
                StopVexel();
                StartVexel();
            }
        } else if (first == "quarantine") {
            m_trayState = Quarantine;
            // Counted again when the proxy has written the file anew (it
            // does at every message it holds).
            const QByteArray stamp = fileStamp(nativePath(statusFilePath()));
            if (stamp != m_unreadStamp) {
                m_unreadStamp = stamp;
                m_unread = QuarantineStore(m_folders.messages, m_folders.config, QString(), QString()).countUnread();
            }
            m_statusText = m_unread > 1
                ? text(keys::statusQuarantineCount).replace(QStringLiteral("%1"), QString::number(m_unread))
                : text(keys::statusQuarantine);
        }
    }
    if (m_proxyHeldForClient && m_services.mailRouting.waiting() != MailRouting::Waiting::ToRestore) {
        m_proxyHeldForClient = false;
        m_services.guard.accountsRestored();
        StopVexel();
    }
    SetIcon(-1);
    // Told once the icon shows the disabled state; later polls, which run
    // while the box is open, find the filter off and do not come here.
    if (!proxyGone.isEmpty())
        m_services.prompts.information(proxyGone);
}

void TTrayForm::readSignInNeeded()
{
    // The proxy lists the accounts whose OAuth 2.0 sign-in is gone: said
    // in the tip, and once in a notification each time the list changes.
    const SignInNeeded list(m_folders.data + QStringLiteral("state/"));
    const QByteArray stamp = fileStamp(nativePath(list.path()));
    if (stamp == m_signInStamp)
        return;
    m_signInStamp = stamp;
    const QStringList accounts = list.read();
    const QString needed = accounts.join(QStringLiteral(", "));
    if (!needed.isEmpty() && needed != m_signInNeeded && m_icon->isVisible())
        m_icon->showMessage(applicationTitle(), text(keys::zalogujPotrzebne).arg(needed));
    m_signInNeeded = needed;
}

void TTrayForm::SetIcon(int arg)
{
    if (arg >= 0) {
        if (m_trayState == Quarantine && QFileInfo::exists(statusFilePath()))
            QFile::remove(statusFilePath());
        m_trayState = Waiting;
    }
    // A change to a mail client's accounts waits for it to close: the tip
    // says so instead of the state (both do not fit in a tip).
    const MailRouting::Waiting waiting = m_services.mailRouting.waiting();
    readSignInNeeded();
    const QString shown = waiting != MailRouting::Waiting::Nothing
        ? waitingText(waiting == MailRouting::Waiting::ToRoute)
        : !m_signInNeeded.isEmpty() ? text(keys::zalogujPotrzebne).arg(m_signInNeeded)
                                    : m_statusText;
    const QString tip = cutTip(applicationTitle() + QStringLiteral(" - ") + shown, kTipLength);
    if (m_trayState == m_lastShownState && tip == m_tip)
        return;
    m_lastShownState = m_trayState;
    m_tip = tip;
    m_icon->setIcon(m_iconList[size_t(m_trayState)]);
    m_icon->setToolTip(tip);
    ++m_iconUpdates;
}

void TTrayForm::SetLanguage()
{
    if (LanguageMemo.isEmpty() && !LanguageMemo.load(m_folders.config + QLatin1String(LanguageTable::kFileName)))
        return;
    Wyjdz->setText(text(keys::wyjdz));
    Filtraktywny->setText(text(keys::aktywny));
    Pokazkonfiguracje->setText(text(keys::pokazKonfiguracje));
    Oprogramie->setText(text(keys::oProgramie));
}

void TTrayForm::loguj(const QString &line)
{
    QFile file(m_folders.data + QLatin1String(kLogFile));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly))
        return;
    file.write(encodeDisplay(line) + "\r\n");
    file.flush();
}

void TTrayForm::readMailCheckSettings()
{
    // The tray's own file accesses fail silently: an unreadable file or a
    // value that is not a number leaves the mail check off.
    try {
        const KeyValueFile settings = settingsfile::load(m_folders.config);
        if (settings.number(settingskeys::kAutoRemoveSpam) > 0)
            setMailCheck(true, settings.number(settingskeys::kAutoRemoveSpamTime));
    } catch (const Error &) {
    }
}

void TTrayForm::setMailCheck(bool enabled, int minutes)
{
    m_mailCheckEnabled = enabled;
    // Beyond about 35,000 minutes the period no longer fits the timer.
    m_mailCheckIntervalMs = int(qBound(qint64(0), qint64(minutes) * 60000, qint64(std::numeric_limits<int>::max())));
    applyMailCheckTimer();
}

void TTrayForm::applyMailCheckTimer()
{
    // An interval of 0 means the timer never fires (a Qt timer of 0 would
    // fire continuously).
    if (m_mailCheckEnabled && m_mailCheckIntervalMs > 0)
        CheckMailTimer->start(m_mailCheckIntervalMs);
    else
        CheckMailTimer->stop();
}

} // namespace jw

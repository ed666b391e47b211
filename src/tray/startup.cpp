#include "tray/startup.h"

#include "accounts/mailrouting.h"
#include "dialogs/widgetprompts.h"
#include "platform/clock.h"
#include "platform/datafolder.h"
#include "platform/guardianline.h"
#include "platform/processes.h"
#include "platform/shell.h"
#include "platform/singleinstance.h"
#include "platform/terminationsignals.h"
#include "settings/keyvaluefile.h"
#include "settings/languagetable.h"
#include "settings/settingsfile.h"
#include "settings/settingskeys.h"
#include "textfile/errors.h"
#include "tray/guardian.h"
#include "updating/installation.h"

#include <QApplication>
#include <QEventLoop>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace jw {

namespace {

// Routing for a build without account support: leaves every account alone.
class NoMailRouting final : public MailRouting
{
public:
    void ConfigureMail() override { }
    QStringList DeConfigureMail() override { return {}; }
};

constexpr int kTrayPollMs = 500;
constexpr int kTrayWaitMs = 8000;

// Whether the desktop has a notification area for the icon, as Qt sees it.
// JUNKWARDEN_TRAY=present or =absent says so instead, for a tray host Qt
// cannot see or one it wrongly believes in.
bool trayAvailable()
{
    const QString told = qEnvironmentVariable("JUNKWARDEN_TRAY");
    if (told == QLatin1String("present") || told == QLatin1String("absent"))
        return told == QLatin1String("present");
    return QSystemTrayIcon::isSystemTrayAvailable();
}

} // namespace

bool startsInTrayOnly(const QStringList &arguments)
{
    return arguments.size() > 1 && arguments.at(1) == QLatin1String("/tray");
}

StartView startView(const QStringList &arguments, bool trayAvailable, const QString &settingsFile)
{
    StartView view;
    view.showWindow = !startsInTrayOnly(arguments) || !trayAvailable;
    if (trayAvailable)
        return view;
    // Told once: a desktop without a tray stays so at every login.
    try {
        KeyValueFile settings = KeyValueFile::load(settingsFile);
        if (settings.text(settingskeys::kTrayHintShown) == QLatin1String("1"))
            return view;
        settings.setText(settingskeys::kTrayHintShown, QStringLiteral("1"));
        settings.save(settingsFile);
    } catch (const Error &) {
        // Not remembered: told again next time rather than never.
    }
    view.explainMissingTray = true;
    return view;
}

int runJunkwarden(int argc, char **argv, const ProgramParts &parts)
{
    const ProgramFolders folders = ProgramFolders::ofExecutable();
    auto createRouting = [&parts]() -> std::unique_ptr<MailRouting> {
        return parts.createMailRouting ? parts.createMailRouting() : std::make_unique<NoMailRouting>();
    };
    // The guardian is forked while this process has one thread, before the
    // toolkit starts: whatever ends the program later (a kill, a crash, a
    // display that goes away), it points the accounts back and stops the
    // proxy the program started.
    std::unique_ptr<GuardianLine> guardianLine = forkGuardian([&createRouting, &folders](GuardianInbox &inbox) {
        // For watching a mail client's profile should one still run at the end.
        int guardianArgc = 1;
        char guardianName[] = "jw-guardian";
        char *guardianArgv[] = {guardianName, nullptr};
        QCoreApplication guardianApp(guardianArgc, guardianArgv);
        const std::unique_ptr<Processes> processes = createSystemProcesses();
        ClientWait clientWait;
        clientWait.proxyProgram = folders.program + executableFileName(kProxyBaseName);
        clientWait.waitWhileClientRuns = [](MailRouting &routing) {
            // The routing's own watch makes the change; this only sees it done.
            QEventLoop loop;
            QTimer check;
            QObject::connect(&check, &QTimer::timeout, &loop, [&routing, &loop] {
                if (routing.waiting() != MailRouting::Waiting::ToRestore)
                    loop.quit();
            });
            check.start(1000);
            loop.exec();
        };
        guardProgram(
            inbox, createRouting, *processes,
            [](const QString &problem) { std::fprintf(stderr, "junkwarden: %s\n", qUtf8Printable(problem)); },
            clientWait);
    });

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("junkwarden"));

    const std::unique_ptr<SingleInstance> instance = createSystemSingleInstance();
    if (!instance->becomePrimary()) {
        instance->sendShowRequest();
        return 0;
    }
    QApplication::setQuitOnLastWindowClosed(false);
    // An installation whose own folder is read-only keeps the user's data
    // apart: made ready before anything reads it.
    const QStringList seedProblems = seedDataFolder(folders.program, folders.data);
    // An update that was stopped while it moved its checked files in place
    // is finished before any of them runs.
    if (folders.program == folders.data)
        UpdateInstallation::finishPending(folders.program);

    const std::unique_ptr<Processes> processes = createSystemProcesses();
    const std::unique_ptr<Shell> shell = createSystemShell();
    const std::unique_ptr<MonotonicClock> clock = createSystemClock();
    const std::unique_ptr<MailRouting> routing = createRouting();
    WidgetPrompts prompts(QStringLiteral("Junkwarden"));
    if (!seedProblems.isEmpty())
        prompts.notify(QStringLiteral("Junkwarden cannot prepare its data folder %1:\n%2")
                           .arg(folders.data, seedProblems.join(QLatin1Char('\n'))));
    ProgramGuard guard(*processes, folders.data + QStringLiteral("vexel3.pid"), std::move(guardianLine));

    // A stop asked for by the system or the desktop session is honoured at
    // once, even while a message box or dialog waits for the user: the stop
    // steps run here and the process ends. Only what the user could not
    // save is lost, as with the exit command.
    const std::unique_ptr<TerminationSignals> termination = watchTerminationSignals();
    auto stopNow = [&guard, &routing, &prompts] {
        const QStringList problems = guard.stopNow(*routing);
        if (!problems.isEmpty())
            prompts.notify(problems.join(QLatin1Char('\n')));
        std::_Exit(0);
    };
    QObject::connect(termination.get(), &TerminationSignals::terminationRequested, &app, stopNow);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, stopNow);

    auto tray = std::make_unique<TTrayForm>(
        folders, TrayServices{*processes, prompts, *shell, *clock, *routing, guard}, parts.createMainWindow);
    prompts.setLanguage(&tray->LanguageMemo);
    if (!instance->lockProblem().isEmpty())
        prompts.information(tray->LanguageMemo.text(keys::brakBlokady) + QLatin1Char(' ') + instance->lockProblem());
    QObject::connect(instance.get(), &SingleInstance::showRequested, tray.get(), &TTrayForm::PokazkonfiguracjeClick);

    // Without a notification area the program must not run unseen. At login
    // the panel may come up after us: a start with "/tray" gives it a few
    // seconds before showing the window instead. Qt docks the icon by
    // itself whenever an area appears later.
    const QString settingsFile = settingsfile::pathIn(folders.config);
    const auto applyView = [&tray, &prompts, settingsFile](bool trayAvailable) {
        const StartView view = startView(QCoreApplication::arguments(), trayAvailable, settingsFile);
        if (view.showWindow)
            tray->PokazkonfiguracjeClick();
        if (view.explainMissingTray)
            prompts.information(tray->LanguageMemo.text(keys::brakZasobnika));
    };
    QTimer trayWait;
    int polls = 0;
    if (startsInTrayOnly(QCoreApplication::arguments()) && !trayAvailable()) {
        trayWait.setInterval(kTrayPollMs);
        QObject::connect(&trayWait, &QTimer::timeout, &app, [&trayWait, &polls, applyView] {
            if (trayAvailable()) {
                trayWait.stop();
            } else if (++polls * kTrayPollMs >= kTrayWaitMs) {
                trayWait.stop();
                applyView(false);
            }
        });
        trayWait.start();
    } else {
        applyView(trayAvailable());
    }

    const int code = app.exec();

    // The configuration window goes without its save question, then the
    // tray's stop steps run.
    delete tray->mainWindow();
    tray.reset();
    return code;
}

} // namespace jw

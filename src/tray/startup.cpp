#include "tray/startup.h"

#include "dialogs/widgetprompts.h"
#include "platform/clock.h"
#include "platform/guardianline.h"
#include "platform/processes.h"
#include "platform/shell.h"
#include "platform/singleinstance.h"
#include "platform/terminationsignals.h"
#include "settings/languagetable.h"
#include "tray/guardian.h"
#include "tray/mailrouting.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace jw {

namespace {

// Routing for a build without account support: leaves every account alone.
class NoMailRouting final : public MailRouting
{
public:
    void ConfigureMail() override {}
    QStringList DeConfigureMail() override { return {}; }
};

} // namespace

bool startsInTrayOnly(const QStringList &arguments)
{
    return arguments.size() > 1 && arguments.at(1) == QLatin1String("/tray");
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
    std::unique_ptr<GuardianLine> guardianLine = forkGuardian([&createRouting](GuardianInbox &inbox) {
        const std::unique_ptr<Processes> processes = createSystemProcesses();
        guardProgram(inbox, createRouting, *processes, [](const QString &problem) {
            std::fprintf(stderr, "junkwarden: %s\n", qUtf8Printable(problem));
        });
    });

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("junkwarden"));

    const std::unique_ptr<SingleInstance> instance = createSystemSingleInstance();
    if (!instance->becomePrimary()) {
        instance->sendShowRequest();
        return 0;
    }
    QApplication::setQuitOnLastWindowClosed(false);

    const std::unique_ptr<Processes> processes = createSystemProcesses();
    const std::unique_ptr<Shell> shell = createSystemShell();
    const std::unique_ptr<MonotonicClock> clock = createSystemClock();
    const std::unique_ptr<MailRouting> routing = createRouting();
    WidgetPrompts prompts(QStringLiteral("Junkwarden"));
    ProgramGuard guard(*processes, folders.program + QStringLiteral("vexel3.pid"), std::move(guardianLine));

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

    auto tray = std::make_unique<TTrayForm>(folders, TrayServices{*processes, prompts, *shell, *clock, *routing, guard},
                                            parts.createMainWindow);
    prompts.setLanguage(&tray->LanguageMemo);
    if (!instance->lockProblem().isEmpty())
        prompts.information(tray->LanguageMemo.text(keys::brakBlokady) + QLatin1Char(' ') + instance->lockProblem());
    QObject::connect(instance.get(), &SingleInstance::showRequested, tray.get(), &TTrayForm::PokazkonfiguracjeClick);

    if (!startsInTrayOnly(QCoreApplication::arguments()))
        tray->PokazkonfiguracjeClick();

    const int code = app.exec();

    // The configuration window goes without its save question, then the
    // tray's stop steps run.
    delete tray->mainWindow();
    tray.reset();
    return code;
}

} // namespace jw

#include "tray/startup.h"

#include "dialogs/widgetprompts.h"
#include "platform/clock.h"
#include "platform/processes.h"
#include "platform/shell.h"
#include "platform/singleinstance.h"
#include "platform/terminationsignals.h"
#include "settings/languagetable.h"
#include "tray/mailrouting.h"

#include <QApplication>

namespace jw {

namespace {

// Routing for a build without account support: leaves every account alone.
class NoMailRouting final : public MailRouting
{
public:
    void ConfigureMail() override {}
    void DeConfigureMail() override {}
};

} // namespace

bool startsInTrayOnly(const QStringList &arguments)
{
    return arguments.size() > 1 && arguments.at(1) == QLatin1String("/tray");
}

int runJunkwarden(int argc, char **argv, const ProgramParts &parts)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("junkwarden"));

    const std::unique_ptr<SingleInstance> instance = createSystemSingleInstance();
    if (!instance->becomePrimary()) {
        instance->sendShowRequest();
        return 0;
    }
    QApplication::setQuitOnLastWindowClosed(false);

    // A stop asked for by the system or the desktop session runs the same
    // stop steps as the exit command: no mail client stays pointed at a
    // proxy that is gone.
    bool stopRequested = false;
    const std::unique_ptr<TerminationSignals> termination = watchTerminationSignals();
    auto requestStop = [&stopRequested] {
        stopRequested = true;
        QCoreApplication::quit();
    };
    QObject::connect(termination.get(), &TerminationSignals::terminationRequested, &app, requestStop);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, requestStop);

    const std::unique_ptr<Processes> processes = createSystemProcesses();
    const std::unique_ptr<Shell> shell = createSystemShell();
    const std::unique_ptr<MonotonicClock> clock = createSystemClock();
    const std::unique_ptr<MailRouting> routing =
        parts.createMailRouting ? parts.createMailRouting() : std::make_unique<NoMailRouting>();
    WidgetPrompts prompts(QStringLiteral("Junkwarden"));

    auto tray = std::make_unique<TTrayForm>(ProgramFolders::ofExecutable(),
                                            TrayServices{*processes, prompts, *shell, *clock, *routing},
                                            parts.createMainWindow);
    prompts.setLanguage(&tray->LanguageMemo);
    if (!instance->lockProblem().isEmpty())
        prompts.information(tray->LanguageMemo.text(keys::brakBlokady) + QLatin1Char(' ') + instance->lockProblem());
    QObject::connect(instance.get(), &SingleInstance::showRequested, tray.get(), &TTrayForm::PokazkonfiguracjeClick);

    if (!startsInTrayOnly(QCoreApplication::arguments()))
        tray->PokazkonfiguracjeClick();

    const int code = stopRequested ? 0 : app.exec();

    // The configuration window goes without its save question, then the
    // tray's stop steps run.
    delete tray->mainWindow();
    tray.reset();
    return code;
}

} // namespace jw

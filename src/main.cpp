#include "accounts/accountrouting.h"
#include "dialogs/helpwindow.h"
#include "mainwindow/mainform.h"
#include "platform/autostart.h"
#include "platform/registry.h"
#include "tray/startup.h"

namespace {

// The services of the configuration window, made once the application
// object exists and kept for the whole run.
struct Services
{
    std::unique_ptr<jw::Registry> registry;
    std::unique_ptr<jw::HelpViewer> help;
    std::unique_ptr<jw::Autostart> autostart;

    jw::Registry &theRegistry()
    {
        if (!registry)
            registry = jw::createFileRegistry(jw::defaultRegistryPath());
        return *registry;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    Services services;
    jw::ProgramParts parts;
    parts.createMailRouting = [&services]() -> std::unique_ptr<jw::MailRouting> {
        return std::make_unique<jw::AccountRouting>(services.theRegistry(), jw::ProgramFolders::ofExecutable().config);
    };
    parts.createMainWindow = [&services](jw::TTrayForm &tray) -> QWidget * {
        if (!services.help) {
            services.help = jw::createHelpWindowViewer(tray.folders().program + QStringLiteral("help/"));
            services.autostart = jw::createSystemAutostart();
        }
        return new jw::TMainForm(tray,
            jw::MainWindowServices{
                *services.help, services.theRegistry(), *services.autostart, QUrl(QStringLiteral(JW_BANNER_ADDRESS))});
    };
    return jw::runJunkwarden(argc, argv, parts);
}

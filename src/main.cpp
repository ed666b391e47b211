#include "accounts/accountrouting.h"
#include "mainwindow/mainform.h"
#include "platform/helpviewer.h"
#include "platform/registry.h"
#include "tray/startup.h"

int main(int argc, char *argv[])
{
    std::unique_ptr<jw::Registry> registry;
    std::unique_ptr<jw::HelpViewer> help;
    jw::ProgramParts parts;
    parts.createMailRouting = [&registry]() -> std::unique_ptr<jw::MailRouting> {
        registry = jw::createFileRegistry(jw::defaultRegistryPath());
        return std::make_unique<jw::AccountRouting>(*registry, jw::ProgramFolders::ofExecutable().config);
    };
    parts.createMainWindow = [&help](jw::TTrayForm &tray) -> QWidget * {
        if (!help)
            help = jw::createHelpWindowViewer(tray.folders().program + QStringLiteral("help/"));
        return new jw::TMainForm(tray, jw::MainWindowServices{*help, QUrl(QStringLiteral(JW_BANNER_ADDRESS))});
    };
    return jw::runJunkwarden(argc, argv, parts);
}

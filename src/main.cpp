#include "accounts/accountrouting.h"
#include "mainwindow/mainform.h"
#include "platform/registry.h"
#include "tray/startup.h"

int main(int argc, char *argv[])
{
    std::unique_ptr<jw::Registry> registry;
    jw::ProgramParts parts;
    parts.createMailRouting = [&registry]() -> std::unique_ptr<jw::MailRouting> {
        registry = jw::createFileRegistry(jw::defaultRegistryPath());
        return std::make_unique<jw::AccountRouting>(*registry, jw::ProgramFolders::ofExecutable().config);
    };
    parts.createMainWindow = [](jw::TTrayForm &tray) -> QWidget * { return new jw::TMainForm(tray); };
    return jw::runJunkwarden(argc, argv, parts);
}

// The updater "update": started by Junkwarden with no arguments when the
// user asks for an update. It reads the release feed fixed when the program
// was built and installs a newer version into its own folder, reporting in
// "status-update" (see updating/updater.h). Where that cannot be (no feed in
// this build, or a folder the package manager owns) it says so and changes
// nothing.
#include "updating/updater.h"

#include "platform/processes.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    return jw::runUpdaterProgram(jw::ownExecutableFolder(), QStringLiteral(JW_UPDATE_FEED));
}

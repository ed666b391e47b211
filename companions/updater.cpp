// The updater "update": started by Junkwarden with no arguments when the
// user asks for an update. It reads the release feed fixed when the program
// was built and installs a newer version into its own folder, reporting in
// "status-update" (see updating/updater.h). Where that cannot be (no feed in
// this build, or a folder the package manager owns) it says so and changes
// nothing.
#include "updating/updater.h"

#include "platform/datafolder.h"
#include "platform/processes.h"
#include "updating/installation.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString program = jw::ownExecutableFolder();
    const QString data = jw::dataFolderFor(program);
    jw::Updater updater(program, QUrl(QStringLiteral(JW_UPDATE_FEED)), data + QStringLiteral("status-update"));
    QObject::connect(&updater, &jw::Updater::finished, &app, &QCoreApplication::exit);
    if (QStringLiteral(JW_UPDATE_FEED).isEmpty() || data != program) {
        jw::Updater::reportUnavailable(data + QStringLiteral("status-update"),
            data != program ? QStringLiteral("this installation is updated by the package manager")
                            : QStringLiteral("this build has no release feed"));
        return 1;
    }
    // An update a kill interrupted is finished before anything else.
    jw::UpdateInstallation::finishPending(program);
    QMetaObject::invokeMethod(&updater, &jw::Updater::start, Qt::QueuedConnection);
    return QCoreApplication::exec();
}

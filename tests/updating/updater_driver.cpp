// The updater as the program folder's "update" runs it, with the release
// feed given as its argument instead of fixed at build time.
#include "platform/processes.h"
#include "updating/updater.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    return jw::runUpdaterProgram(jw::ownExecutableFolder(), argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
}

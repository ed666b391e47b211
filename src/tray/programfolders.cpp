#include "tray/programfolders.h"

#include "platform/processes.h"

namespace jw {

ProgramFolders ProgramFolders::at(const QString &programFolder)
{
    ProgramFolders folders;
    folders.program = programFolder;
    if (!folders.program.endsWith(QLatin1Char('/')))
        folders.program += QLatin1Char('/');
    folders.config = folders.program + QStringLiteral("config/");
    folders.messages = folders.program + QStringLiteral("messages/");
    return folders;
}

ProgramFolders ProgramFolders::ofExecutable()
{
    return at(ownExecutableFolder());
}

} // namespace jw

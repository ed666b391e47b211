#include "tray/programfolders.h"

#include "platform/datafolder.h"
#include "platform/processes.h"

namespace jw {

ProgramFolders ProgramFolders::at(const QString &programFolder)
{
    return at(programFolder, programFolder);
}

ProgramFolders ProgramFolders::at(const QString &programFolder, const QString &dataFolder)
{
    ProgramFolders folders;
    folders.program = withTrailingSlash(programFolder);
    folders.data = withTrailingSlash(dataFolder);
    folders.config = folders.data + QStringLiteral("config/");
    folders.messages = folders.data + QStringLiteral("messages/");
    return folders;
}

ProgramFolders ProgramFolders::ofExecutable()
{
    const QString program = ownExecutableFolder();
    return at(program, dataFolderFor(program));
}

} // namespace jw

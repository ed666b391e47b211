#include "tray/programfolders.h"

#include "platform/datafolder.h"
#include "platform/processes.h"

namespace jw {

namespace {

QString withSlash(QString folder)
{
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

} // namespace

ProgramFolders ProgramFolders::at(const QString &programFolder)
{
    return at(programFolder, programFolder);
}

ProgramFolders ProgramFolders::at(const QString &programFolder, const QString &dataFolder)
{
    ProgramFolders folders;
    folders.program = withSlash(programFolder);
    folders.data = withSlash(dataFolder);
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

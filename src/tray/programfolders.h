#pragma once

#include <QString>

namespace jw {

// The program's folders, each with a trailing separator: the executable's
// folder (the companions and the help pages lie there), the data folder
// (the status and log files), and the data folder's "config/" and
// "messages/".
struct ProgramFolders
{
    QString program;
    QString data;
    QString config;
    QString messages;

    // Data kept beside the program.
    static ProgramFolders at(const QString &programFolder);
    static ProgramFolders at(const QString &programFolder, const QString &dataFolder);
    // The folders of the running executable (known before the application
    // object exists); its data where the installation keeps it.
    static ProgramFolders ofExecutable();
};

} // namespace jw

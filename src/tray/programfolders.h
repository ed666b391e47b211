#pragma once

#include <QString>

namespace jw {

// The program's folders, each with a trailing separator: the executable's
// folder, and its "config/" and "messages/" subfolders.
struct ProgramFolders
{
    QString program;
    QString config;
    QString messages;

    static ProgramFolders at(const QString &programFolder);
    // The folder of the running executable (known before the application
    // object exists).
    static ProgramFolders ofExecutable();
};

} // namespace jw

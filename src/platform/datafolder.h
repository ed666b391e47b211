#pragma once

#include <QString>

namespace jw {

// Where the program and its companions keep their data (config/, messages/,
// state/, the status and log files), with a trailing "/": the executable's
// own folder when it may be written to (the staged build folder, a home
// install), else "junkwarden/" in the user's data folder ($XDG_DATA_HOME);
// always the latter under /usr, where the package manager owns the files. Every program of the set asks
// this with its own folder, which they share, so they all agree.
QString dataFolderFor(const QString &programFolder);

// A folder's path with the trailing "/" the program keeps folders with.
QString withTrailingSlash(QString folder);

// Makes sure a data folder apart from the program folder holds what the
// program needs: config/, messages/ and state/, and a copy of every file
// shipped in the program folder's "config/" that is missing there. A file
// of the user's is never replaced, except the language file, which is the
// program's own text and follows the installed one when that is newer.
// Copies appear whole or not at all, also when two programs seed at once.
// Returns what could not be done, one line each (empty when all went).
QStringList seedDataFolder(const QString &programFolder, const QString &dataFolder);

} // namespace jw

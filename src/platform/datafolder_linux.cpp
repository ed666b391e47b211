#include "platform/datafolder.h"
#include "platform/folderlisting.h"
#include "textfile/errors.h"
#include "textfile/nativefile.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jw {

namespace {

constexpr char kLanguageFile[] = "language.lng";

// Copies `from` to `to` unless `to` exists (or, with `replaceOlder`, is
// older): written beside it, then linked in place, which fails rather than
// replace a file another program put there meanwhile.
bool copyIfMissing(const NativePath &from, const NativePath &to, bool replaceOlder, QString *problem)
{
    struct stat source = {};
    struct stat target = {};
    if (::stat(from.constData(), &source) != 0 || !S_ISREG(source.st_mode))
        return true;
    const bool exists = ::stat(to.constData(), &target) == 0;
    if (exists && !(replaceOlder && target.st_mtime < source.st_mtime))
        return true;
    const std::optional<QByteArray> content = readNativeFile(from);
    if (!content) {
        *problem = QStringLiteral("cannot read %1").arg(QFile::decodeName(from));
        return false;
    }
    if (exists) {
        try {
            writeNativeFileAtomically(to, *content);
        } catch (const Error &e) {
            *problem = e.message();
            return false;
        }
        return true;
    }
    const NativePath temporary = to + ".seed-" + QByteArray::number(qint64(::getpid()));
    try {
        writeNativeFileAtomically(temporary, *content);
    } catch (const Error &e) {
        *problem = e.message();
        return false;
    }
    const bool linked = ::link(temporary.constData(), to.constData()) == 0 || errno == EEXIST;
    const int linkError = errno;
    ::unlink(temporary.constData());
    if (!linked) {
        *problem = QStringLiteral("cannot create %1: %2")
                       .arg(QFile::decodeName(to), QString::fromLocal8Bit(std::strerror(linkError)));
        return false;
    }
    return true;
}

} // namespace

QString withTrailingSlash(QString folder)
{
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

QString dataFolderFor(const QString &programFolder)
{
    const QString program = withTrailingSlash(programFolder);
    // The system's own tree belongs to the package manager, even for root,
    // who could write there.
    if (!program.startsWith(QLatin1String("/usr/")) && ::access(nativePath(program).constData(), W_OK) == 0)
        return program;
    QString home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    return withTrailingSlash(home) + QStringLiteral("junkwarden/");
}

QStringList seedDataFolder(const QString &programFolder, const QString &dataFolder)
{
    QStringList problems;
    const QString program = withTrailingSlash(programFolder);
    const QString data = withTrailingSlash(dataFolder);
    if (program == data)
        return problems;
    // Private: the quarantine holds the user's mail, the state what the
    // proxy learned of it.
    for (const QString &folder : QStringList{data, data + QStringLiteral("config/"), data + QStringLiteral("messages/"),
             data + QStringLiteral("state/")}) {
        if (!QDir().mkpath(folder)) {
            problems.append(QStringLiteral("cannot create %1").arg(folder));
            return problems;
        }
    }
    ::chmod(nativePath(data).constData(), 0700);
    const NativePath shipped = nativePath(program + QStringLiteral("config/"));
    const NativePath target = nativePath(data + QStringLiteral("config/"));
    for (const FolderEntry &entry : listFolder(shipped)) {
        if (entry.isFolder)
            continue;
        QString problem;
        if (!copyIfMissing(
                shipped + entry.nativeName, target + entry.nativeName, entry.nativeName == kLanguageFile, &problem))
            problems.append(problem);
    }
    return problems;
}

} // namespace jw

#include "updating/installation.h"

#include "platform/datafolder.h"
#include "textfile/errors.h"
#include "textfile/nativefile.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <sys/stat.h>

namespace jw {

namespace {

constexpr char kStagingFolder[] = ".update/";
constexpr char kJournal[] = "ready";

// Moves the staged files named in the journal over the program's; names
// already moved (a second run after a kill) are passed over.
void moveInPlace(const QString &program, const QString &staging, const QStringList &names)
{
    for (const QString &name : names) {
        const QString from = staging + name;
        const QString to = program + name;
        if (name.contains(QLatin1String("..")) || name.startsWith(QLatin1Char('/')) || !QFileInfo::exists(from))
            continue;
        QDir().mkpath(QFileInfo(to).absolutePath());
        std::rename(nativePath(from).constData(), nativePath(to).constData());
    }
}

} // namespace

UpdateInstallation::UpdateInstallation(const QString &programFolder)
    : m_program(withTrailingSlash(programFolder))
    , m_staging(m_program + QLatin1String(kStagingFolder))
{
}

bool UpdateInstallation::prepare(QString *error)
{
    // A ready update was finished when the updater started: what is left
    // here is an interrupted download.
    QDir(m_staging).removeRecursively();
    if (!QDir().mkpath(m_staging + QStringLiteral("help"))) {
        *error = QStringLiteral("cannot create %1").arg(m_staging);
        return false;
    }
    return true;
}

QString UpdateInstallation::stagedPath(const QString &name) const
{
    return m_staging + name;
}

bool UpdateInstallation::commit(const ReleaseFeed &feed, QString *error)
{
    QByteArray journal = feed.version.toUtf8() + '\n';
    for (const ReleaseFile &file : feed.files) {
        // The new file gets the old one's permissions; a new program file
        // is executable, a new help page is not.
        struct stat old = {};
        const mode_t mode = ::stat(nativePath(m_program + file.name).constData(), &old) == 0 ? (old.st_mode & 07777)
            : file.name.startsWith(QLatin1String("help/"))                                   ? 0644
                                                                                             : 0755;
        if (::chmod(nativePath(stagedPath(file.name)).constData(), mode) != 0) {
            *error = QStringLiteral("cannot prepare %1").arg(file.name);
            return false;
        }
        journal += file.name.toUtf8() + '\n';
    }
    try {
        writeNativeFileAtomically(nativePath(m_staging + QLatin1String(kJournal)), journal);
    } catch (const Error &e) {
        *error = e.message();
        return false;
    }
    if (!finishPending(m_program)) {
        *error = QStringLiteral("the update was not marked ready");
        return false;
    }
    return true;
}

bool UpdateInstallation::finishPending(const QString &programFolder)
{
    const QString program = withTrailingSlash(programFolder);
    const QString staging = program + QLatin1String(kStagingFolder);
    const std::optional<QByteArray> journal = readNativeFile(nativePath(staging + QLatin1String(kJournal)));
    if (!journal)
        return false;
    QStringList names = QString::fromUtf8(*journal).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!names.isEmpty())
        names.removeFirst(); // the version
    moveInPlace(program, staging, names);
    QDir(staging).removeRecursively();
    return true;
}

} // namespace jw

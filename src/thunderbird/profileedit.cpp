#include "thunderbird/profileedit.h"

#include "textfile/errors.h"
#include "textfile/lines.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <fcntl.h>
#include <unistd.h>

namespace jw::thunderbird {

namespace {

constexpr char kLockFile[] = "/.parentlock";

// The profile's lock as Thunderbird takes it: a write lock on all of
// ".parentlock". Released when the object goes.
class ProfileLock
{
public:
    explicit ProfileLock(const QString &profileFolder)
    {
        m_fd = ::open(QFile::encodeName(profileFolder + QLatin1String(kLockFile)).constData(),
            O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd < 0)
            return;
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        m_held = ::fcntl(m_fd, F_SETLK, &lock) == 0;
    }
    ~ProfileLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // also releases the lock
    }
    ProfileLock(const ProfileLock &) = delete;
    ProfileLock &operator=(const ProfileLock &) = delete;

    bool held() const { return m_held; }
    bool openFailed() const { return m_fd < 0; }

private:
    int m_fd = -1;
    bool m_held = false;
};

// The folder of an account's mail, where its msgFilterRules.dat lies.
QString serverFolder(const PrefsFile &prefs, const QByteArray &key, const QString &profileFolder)
{
    const std::optional<PrefValue> relative = prefs.value("mail.server." + key + ".directory-rel");
    if (relative && relative->type == PrefValue::Type::String && relative->text.startsWith(QLatin1String("[ProfD]")))
        return profileFolder + QLatin1Char('/') + relative->text.mid(7);
    const std::optional<PrefValue> absolute = prefs.value("mail.server." + key + ".directory");
    if (absolute && absolute->type == PrefValue::Type::String)
        return absolute->text;
    return {};
}

QList<QByteArray> serverKeys(const PrefsFile &prefs)
{
    QList<QByteArray> keys;
    for (const QByteArray &name : prefs.names()) {
        if (name.startsWith("mail.server.") && name.endsWith(".type"))
            keys.append(name.mid(12, name.size() - 12 - 5));
    }
    return keys;
}

// Files already copied in this run, so that the copy is of the file as it
// was before the program first changed it.
QSet<QString> &backedUp()
{
    static QSet<QString> files;
    return files;
}

void backUp(const QString &file, const QByteArray &content, const QString &backupFolder)
{
    const QString canonical = QFileInfo(file).absoluteFilePath();
    if (backedUp().contains(canonical))
        return;
    // One folder per file's folder, named by its path, so that profiles
    // and accounts do not overwrite each other's copies.
    const QString folder = backupFolder + QLatin1Char('/')
        + QString::fromLatin1(
            QCryptographicHash::hash(QFileInfo(file).absolutePath().toUtf8(), QCryptographicHash::Sha1)
                .toHex()
                .left(16));
    QDir().mkpath(folder);
    writeFileAtomically(folder + QLatin1Char('/') + QFileInfo(file).fileName(), content);
    writeFileAtomically(folder + QLatin1String("/where"), QByteArray(QFileInfo(file).absolutePath().toUtf8() + '\n'));
    backedUp().insert(canonical);
}

} // namespace

bool profileInUse(const QString &profileFolder)
{
    const int fd =
        ::open(QFile::encodeName(profileFolder + QLatin1String(kLockFile)).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false; // no lock file: no Thunderbird has run on it
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const bool inUse = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return inUse;
}

EditOutcome editProfile(const QString &profileFolder, const QString &backupFolder,
    const std::function<QList<FolderMove>(PrefsFile &)> &change)
{
    using Result = EditOutcome::Result;
    if (!QFileInfo(profileFolder).isDir())
        return {Result::Unreadable, QStringLiteral("the profile folder %1 is gone").arg(profileFolder)};
    const ProfileLock lock(profileFolder);
    if (lock.openFailed())
        return {Result::Refused, QStringLiteral("the profile folder %1 cannot be written").arg(profileFolder)};
    if (!lock.held())
        return {Result::InUse, QString()};
    const QString prefsPath = profileFolder + QLatin1String("/prefs.js");
    QFile file(prefsPath);
    if (!file.open(QIODevice::ReadOnly))
        return {Result::Unreadable, QStringLiteral("%1 cannot be read").arg(prefsPath)};
    const QByteArray before = file.readAll();
    file.close();
    PrefsFile prefs;
    try {
        prefs = PrefsFile::parse(before);
    } catch (const PrefsError &e) {
        return {
            Result::Unreadable, QStringLiteral("%1 is not in Thunderbird's format (%2)").arg(prefsPath, e.reason())};
    }
    const QList<FolderMove> moves = change(prefs);
    if (prefs.bytes() == before)
        return {Result::Unchanged, QString()};
    // The filter files first, and back as they were when prefs.js cannot be
    // written: a rule whose folder does not resolve is switched off for good.
    QList<std::pair<QString, QByteArray>> written;
    const auto refuse = [&written](const QString &reason) {
        for (const auto &[path, old] : std::as_const(written)) {
            try {
                writeFileAtomically(path, old);
            } catch (const FileError &) {
            }
        }
        return EditOutcome{Result::Refused, reason};
    };
    try {
        for (const QByteArray &key : serverKeys(prefs)) {
            const QString folder = serverFolder(prefs, key, profileFolder);
            if (folder.isEmpty())
                continue;
            const QString rulesPath = folder + QLatin1String("/msgFilterRules.dat");
            QFile rules(rulesPath);
            if (!rules.exists())
                continue;
            if (!rules.open(QIODevice::ReadOnly))
                return refuse(QStringLiteral("%1 cannot be read").arg(rulesPath));
            const QByteArray old = rules.readAll();
            rules.close();
            QByteArray moved = old;
            for (const FolderMove &move : moves)
                moved = moveFilterTargets(moved, move);
            if (moved == old)
                continue;
            backUp(rulesPath, old, backupFolder);
            writeFileAtomically(rulesPath, moved);
            written.append({rulesPath, old});
        }
        backUp(prefsPath, before, backupFolder);
        writeFileAtomically(prefsPath, prefs.bytes());
    } catch (const FileError &e) {
        return refuse(e.message());
    }
    return {Result::Changed, QString()};
}

} // namespace jw::thunderbird

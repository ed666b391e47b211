#include "support/smalldisk.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace jw::test {

namespace {

constexpr char kFiller[] = "/.filler";

} // namespace

SmallDisk::SmallDisk()
{
    if (::geteuid() != 0) {
        m_whyNot = QStringLiteral("mounting a small file system needs root");
        return;
    }
    QByteArray templ = QDir::tempPath().toLocal8Bit() + "/jw-smalldisk-XXXXXX";
    if (!::mkdtemp(templ.data())) {
        m_whyNot = QStringLiteral("no temporary folder: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_path = QString::fromLocal8Bit(templ);
    if (::mount("tmpfs", templ.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0755") != 0) {
        m_whyNot = QStringLiteral("cannot mount tmpfs: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::rmdir(templ.constData());
        return;
    }
    m_mounted = true;
}

SmallDisk::SmallDisk(const QString &over)
{
    m_ownFolder = false;
    m_path = QDir(over).absolutePath();
    if (::geteuid() != 0) {
        m_whyNot = QStringLiteral("mounting a small file system needs root");
        return;
    }
    QHash<QString, QByteArray> files;
    const QDir folder(m_path);
    for (const QString &name : folder.entryList(QDir::Files)) {
        QFile file(folder.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            files.insert(name, file.readAll());
    }
    if (::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0755")
        != 0) {
        m_whyNot = QStringLiteral("cannot mount tmpfs: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_mounted = true;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QFile file(folder.filePath(it.key()));
        if (file.open(QIODevice::WriteOnly))
            file.write(it.value());
    }
}

SmallDisk::~SmallDisk()
{
    if (!m_mounted)
        return;
    const QByteArray path = QFile::encodeName(m_path);
    ::umount2(path.constData(), MNT_DETACH);
    if (m_ownFolder)
        ::rmdir(path.constData());
}

void SmallDisk::fill()
{
    const QByteArray filler = QFile::encodeName(m_path) + kFiller;
    const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    static const char block[4096] = {};
    // Bounded: the disk holds 256 KB.
    for (int i = 0; i < 1024; ++i) {
        if (::write(fd, block, sizeof block) <= 0)
            break;
    }
    // Fill the last partial page too.
    for (int i = 0; i < 4096; ++i) {
        if (::write(fd, block, 1) <= 0)
            break;
    }
    ::close(fd);
}

void SmallDisk::release()
{
    const QByteArray filler = QFile::encodeName(m_path) + kFiller;
    ::unlink(filler.constData());
}

void SmallDisk::setReadOnly(bool readOnly)
{
    const unsigned long flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
    ::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs", flags, "size=256k,mode=0755");
}

} // namespace jw::test

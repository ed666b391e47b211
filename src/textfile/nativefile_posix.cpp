#include "textfile/codec.h"
#include "textfile/errors.h"
#include "textfile/nativefile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jw {

namespace {

// Closes a descriptor when it goes out of scope.
class Fd
{
public:
    explicit Fd(int fd = -1)
        : m_fd(fd)
    {
    }
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now and says whether the close succeeded.
    bool reset()
    {
        if (m_fd < 0)
            return true;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0;
    }

private:
    int m_fd;
};

std::optional<QByteArray> readFrom(const NativePath &path, qsizetype limit)
{
    Fd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid())
        return std::nullopt;
    struct stat info = {};
    if (::fstat(fd.get(), &info) != 0 || S_ISDIR(info.st_mode))
        return std::nullopt;
    QByteArray data;
    qsizetype expected = info.st_size > 0 ? qsizetype(info.st_size) : 0;
    if (limit >= 0)
        expected = std::min(expected, limit);
    // One byte more than the size, so that a file still growing is read on.
    data.resize(limit >= 0 ? expected : expected + 1);
    if (!readDescriptor(fd.get(), data, limit))
        return std::nullopt;
    return data;
}

bool writeAll(int fd, QByteArrayView content)
{
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, size_t(content.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// The file a save really replaces: a symbolic link is followed, so that the
// link stays and its target gets the new content.
NativePath saveTarget(const NativePath &path)
{
    struct stat info = {};
    if (::lstat(path.constData(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.constData(), resolved))
            return NativePath(resolved);
    }
    return path;
}

mode_t modeOf(QFileDevice::Permissions permissions)
{
    mode_t mode = 0;
    if (permissions & QFileDevice::ReadOwner)
        mode |= S_IRUSR;
    if (permissions & QFileDevice::WriteOwner)
        mode |= S_IWUSR;
    if (permissions & QFileDevice::ExeOwner)
        mode |= S_IXUSR;
    if (permissions & QFileDevice::ReadGroup)
        mode |= S_IRGRP;
    if (permissions & QFileDevice::WriteGroup)
        mode |= S_IWGRP;
    if (permissions & QFileDevice::ExeGroup)
        mode |= S_IXGRP;
    if (permissions & QFileDevice::ReadOther)
        mode |= S_IROTH;
    if (permissions & QFileDevice::WriteOther)
        mode |= S_IWOTH;
    if (permissions & QFileDevice::ExeOther)
        mode |= S_IXOTH;
    return mode;
}

} // namespace

bool readDescriptor(int fd, QByteArray &buffer, qsizetype limit)
{
    qsizetype got = 0;
    for (;;) {
        if (limit >= 0 && got >= limit)
            break;
        if (got == buffer.size()) {
            const qsizetype grow = std::max<qsizetype>(buffer.size(), 64 * 1024);
            buffer.resize(limit >= 0 ? std::min(limit, got + grow) : got + grow);
        }
        const ssize_t n = ::read(fd, buffer.data() + got, size_t(buffer.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += n;
    }
    buffer.truncate(got);
    return true;
}

NativePath nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

QString displayPath(const NativePath &path)
{
    return decodeDisplay(path);
}

std::optional<QByteArray> readNativeFile(const NativePath &path)
{
    return readFrom(path, -1);
}

std::optional<QByteArray> readNativeFileHead(const NativePath &path, qsizetype maxBytes)
{
    return readFrom(path, maxBytes);
}

bool removeNativeFile(const NativePath &path)
{
    return ::unlink(path.constData()) == 0;
}

void writeNativeFileAtomically(
    const NativePath &requested, QByteArrayView content, std::optional<QFileDevice::Permissions> permissions)
{
    writeNativeFileAtomically(
        requested, [content](const ContentWriter &write) { return write(content); }, permissions);
}

namespace {

void writeReplacing(const NativePath &requested, const std::function<bool(const ContentWriter &)> &produce,
    std::optional<QFileDevice::Permissions> permissions, bool durable)
{
    const NativePath path = saveTarget(requested);
    const auto fail = [&requested]() { return FileError::cannotCreate(displayPath(requested)); };

    mode_t mode = 0;
    struct stat old = {};
    if (permissions) {
        mode = modeOf(*permissions);
    } else if (::stat(path.constData(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    // The temporary file lies beside the target, so the rename stays on one
    // file system and is atomic.
    QByteArray temporary = path + kPartialWriteTag + "XXXXXX";
    Fd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.valid())
        throw fail();
    const int out = fd.get();
    bool written = ::fchmod(out, mode) == 0 && produce([out](QByteArrayView piece) { return writeAll(out, piece); })
        && (!durable || ::fsync(out) == 0);
    written = fd.reset() && written;
    if (!written || ::rename(temporary.constData(), path.constData()) != 0) {
        ::unlink(temporary.constData());
        throw fail();
    }
    if (!durable)
        return;
    // Make the rename itself durable; a folder that cannot be synced (some
    // file systems refuse) does not make the save a failure.
    const qsizetype slash = path.lastIndexOf('/');
    const NativePath folder = slash < 0 ? NativePath(".") : slash == 0 ? NativePath("/") : path.left(slash);
    Fd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid())
        ::fsync(dir.get());
}

} // namespace

void writeNativeFileAtomically(const NativePath &path, const std::function<bool(const ContentWriter &)> &produce,
    std::optional<QFileDevice::Permissions> permissions)
{
    writeReplacing(path, produce, permissions, true);
}

void replaceNativeFile(const NativePath &path, QByteArrayView content)
{
    writeReplacing(
        path, [content](const ContentWriter &write) { return write(content); }, std::nullopt, false);
}

bool isPartialWrite(QByteArrayView fileName)
{
    const qsizetype tag = fileName.lastIndexOf(QByteArrayView(kPartialWriteTag));
    return tag >= 0 && fileName.size() - tag == qsizetype(sizeof(kPartialWriteTag) - 1) + 6;
}

bool isOpenForWriting(const NativePath &path)
{
    Fd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid())
        return true;
    // A read lease is refused while anyone has the file open for writing.
    if (::fcntl(fd.get(), F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd.get(), F_SETLEASE, F_UNLCK);
        return false;
    }
    if (errno == EAGAIN || errno == EBUSY)
        return true;
    // No lease here (another owner, a network file system): look at every
    // process's open files instead.
    struct stat target = {};
    if (::fstat(fd.get(), &target) != 0)
        return true;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return true;
    bool writing = false;
    bool unsure = false;
    while (const dirent *process = ::readdir(proc)) {
        if (process->d_name[0] < '1' || process->d_name[0] > '9')
            continue;
        const QByteArray base = QByteArray("/proc/") + process->d_name;
        DIR *fds = ::opendir(QByteArray(base + "/fd").constData());
        if (!fds)
            continue; // another user's process, or gone meanwhile

        while (const dirent *entry = ::readdir(fds)) {
            if (entry->d_name[0] == '.')
                continue;
            struct stat info = {};
            if (::stat(QByteArray(base + "/fd/" + entry->d_name).constData(), &info) != 0
                || info.st_ino != target.st_ino || info.st_dev != target.st_dev)
                continue;
            const std::optional<QByteArray> fdinfo = readNativeFile(QByteArray(base + "/fdinfo/" + entry->d_name));
            if (!fdinfo) {
                unsure = true;
                continue;
            }
            const qsizetype at = fdinfo->indexOf("flags:");
            const int flags = at < 0 ? O_RDWR : int(std::strtol(fdinfo->constData() + at + 6, nullptr, 8));
            if ((flags & O_ACCMODE) != O_RDONLY)
                writing = true;
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return writing || unsure;
}

QByteArray fileStamp(const NativePath &native, qint64 *size)
{
    struct stat info = {};
    if (::stat(native.constData(), &info) != 0)
        return {};
    if (size)
        *size = info.st_size;
    return QByteArray::number(quint64(info.st_dev)) + ':' + QByteArray::number(quint64(info.st_ino)) + ':'
        + QByteArray::number(qint64(info.st_size)) + ':' + QByteArray::number(qint64(info.st_mtim.tv_sec)) + '.'
        + QByteArray::number(qint64(info.st_mtim.tv_nsec)) + ':' + QByteArray::number(qint64(info.st_ctim.tv_nsec));
}

} // namespace jw

#include "platform/folderlisting.h"
#include "textfile/nativefile.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jw {

QList<FolderEntry> listFolder(const QByteArray &folder)
{
    QList<FolderEntry> entries;
    DIR *dir = opendir(folder.constData());
    if (!dir)
        return entries;
    const int fd = dirfd(dir);
    while (const dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        struct stat info = {};
        if (fstatat(fd, name, &info, 0) != 0)
            continue;
        FolderEntry e;
        e.nativeName = QByteArray(name);
        e.name = displayPath(e.nativeName);
        e.isFolder = S_ISDIR(info.st_mode);
        e.size = info.st_size;
        e.modifiedSecs = info.st_mtim.tv_sec;
        if (e.isFolder || S_ISREG(info.st_mode))
            entries.append(std::move(e));
    }
    closedir(dir);
    return entries;
}

void forEachFileHead(const QByteArray &folder, qsizetype headBytes,
    const std::function<void(const FolderEntry &, const QByteArray &)> &visit)
{
    DIR *dir = opendir(folder.constData());
    if (!dir)
        return;
    const int dirFd = dirfd(dir);
    // One buffer and one entry for all files: a folder may hold 100,000.
    QByteArray head;
    FolderEntry e;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN)
            continue;
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat info = {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            continue;
        }
        head.resize(info.st_size > 0 ? qMin<qsizetype>(headBytes, info.st_size) : 0);
        const bool read = readDescriptor(fd, head, head.size());
        ::close(fd);
        if (!read)
            continue;
        const size_t nameLength = std::strlen(entry->d_name);
        e.nativeName.resize(qsizetype(nameLength));
        std::memcpy(e.nativeName.data(), entry->d_name, nameLength);
        e.size = info.st_size;
        e.modifiedSecs = info.st_mtim.tv_sec;
        visit(e, head);
    }
    closedir(dir);
}

int localUtcOffset(qint64 secs)
{
    const time_t t = time_t(secs);
    struct tm parts = {};
    if (!localtime_r(&t, &parts))
        return 0;
    return int(parts.tm_gmtoff);
}

} // namespace jw

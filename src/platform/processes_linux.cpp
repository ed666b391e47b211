#include "platform/processes.h"

#include <QFile>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace jw {

namespace {

// Maps the errno of a failed start to the program's numbering.
void describeFailure(int error, StartResult &result)
{
    result.knownError = true;
    switch (error) {
    case ENOENT:
        result.errorCode = 2;
        break;
    case ENOTDIR:
        result.errorCode = 3;
        break;
    case EACCES:
    case EPERM:
        result.errorCode = 5;
        break;
    case ENOMEM:
        result.errorCode = 8;
        break;
    case ETXTBSY:
        result.errorCode = 26;
        break;
    default:
        result.knownError = false;
        result.errorCode = error;
        break;
    }
}

class LinuxProcesses final : public Processes
{
public:
    ~LinuxProcesses() override
    {
        // Released children that are still running stay running; only the
        // watchers go.
        for (QSocketNotifier *watcher : std::as_const(m_releaseWatchers)) {
            ::close(int(watcher->socket()));
            delete watcher;
        }
    }

    StartResult start(const QString &program) override
    {
        reapReleased();
        StartResult result;
        const QByteArray path = QFile::encodeName(program);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (int fd = 0; fd <= 2; ++fd)
            posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
        posix_spawn_file_actions_addclosefrom_np(&actions, 3);

        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        sigset_t handled;
        sigemptyset(&handled);
        for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGCHLD})
            sigaddset(&handled, sig);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &handled);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);

        char *argv[] = {const_cast<char *>(path.constData()), nullptr};
        pid_t pid = 0;
        const int error = posix_spawn(&pid, path.constData(), &actions, &attributes, argv, environ);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);

        if (error != 0) {
            describeFailure(error, result);
            return result;
        }
        result.started = true;
        result.pid = pid;
        return result;
    }

    bool isAlive(qint64 pid) override
    {
        if (pid <= 0)
            return false;
        int status = 0;
        const pid_t got = waitpid(pid_t(pid), &status, WNOHANG);
        if (got == 0)
            return true;
        // Reaped now (it had ended) or not our child at all: not alive.
        return false;
    }

    int kill(qint64 pid) override
    {
        // Only a child that has not been reaped yet is ours to kill: a reaped
        // id may already belong to another process.
        if (!isAlive(pid) || ::kill(pid_t(pid), SIGKILL) != 0)
            return -1;
        int status = 0;
        pid_t got = 0;
        do {
            got = waitpid(pid_t(pid), &status, 0);
        } while (got < 0 && errno == EINTR);
        if (got != pid_t(pid))
            return -1;
        return WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status);
    }

    void release(qint64 pid) override
    {
        if (pid <= 0)
            return;
        // A pidfd becomes readable when the child ends, so it is reaped then
        // instead of lingering as a zombie until the next start.
        const int pidfd = int(syscall(SYS_pidfd_open, pid_t(pid), 0));
        if (pidfd < 0) {
            m_released.insert(pid);
            return;
        }
        auto *notifier = new QSocketNotifier(pidfd, QSocketNotifier::Read);
        m_releaseWatchers.insert(pid, notifier);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [this, pid, pidfd] {
            int status = 0;
            waitpid(pid_t(pid), &status, WNOHANG);
            QSocketNotifier *self = m_releaseWatchers.take(pid);
            self->setEnabled(false);
            self->deleteLater();
            ::close(pidfd);
        });
    }

private:
    void reapReleased()
    {
        for (auto it = m_released.begin(); it != m_released.end();) {
            int status = 0;
            if (waitpid(pid_t(*it), &status, WNOHANG) != 0)
                it = m_released.erase(it);
            else
                ++it;
        }
    }

    QSet<qint64> m_released;
    QHash<qint64, QSocketNotifier *> m_releaseWatchers;
};

} // namespace

std::unique_ptr<Processes> createSystemProcesses()
{
    return std::make_unique<LinuxProcesses>();
}

} // namespace jw

namespace jw {

QString executableFileName(const char *baseName)
{
    return QString::fromLatin1(baseName);
}

} // namespace jw

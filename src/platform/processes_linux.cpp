#include "platform/processes.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/prctl.h>
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

constexpr int kKillWaitMs = 2000;

ProcessEnd endFromStatus(int status)
{
    ProcessEnd end;
    end.bySignal = WIFSIGNALED(status);
    end.code = end.bySignal ? WTERMSIG(status) : WEXITSTATUS(status);
    return end;
}

// The target of a /proc link, without the mark the system adds when the
// file has since been replaced or removed (a rebuilt program).
QByteArray readProcLink(const QByteArray &path)
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path.constData(), buffer, sizeof buffer);
    if (n <= 0)
        return {};
    QByteArray target(buffer, qsizetype(n));
    const QByteArray deleted = " (deleted)";
    if (target.endsWith(deleted))
        target.chop(deleted.size());
    return target;
}

// Field 22 of /proc/<pid>/stat: when the process started. The command name
// before it is in parentheses and may hold blanks or parentheses itself.
std::optional<quint64> readStartTime(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = stat.read(4096);
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    // Fields from the third on: state is fields[0], start time the 22nd.
    if (fields.size() < 20 || fields.at(0) == "Z")
        return std::nullopt;
    bool ok = false;
    const quint64 start = fields.at(19).toULongLong(&ok);
    return ok ? std::optional<quint64>(start) : std::nullopt;
}

// Starts a program that the system kills when this process ends, even by
// SIGKILL or a crash: a child with a parent-death signal. Between fork and
// exec the child makes system calls only. -1 and the errno on failure.
pid_t spawnTied(const QByteArray &path, int *error)
{
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        *error = errno;
        return -1;
    }
    char *argv[] = {const_cast<char *>(path.constData()), nullptr};
    const pid_t parent = ::getpid();
    // No signal handler of this process may run in the child.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127); // the parent ended before the signal was set
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::close_range(3, unsigned(report[1]) - 1, 0);
        ::close_range(unsigned(report[1]) + 1, ~0U, 0);
        for (int sig = 1; sig < NSIG; ++sig)
            ::signal(sig, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(path.constData(), argv, environ);
        const int failure = errno;
        (void)!::write(report[1], &failure, sizeof failure);
        ::_exit(127);
    }
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        *error = forkError;
        return -1;
    }
    int failure = 0;
    ssize_t got = 0;
    do {
        got = ::read(report[0], &failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == ssize_t(sizeof failure)) {
        int status = 0;
        waitpid(pid, &status, 0);
        *error = failure;
        return -1;
    }
    return pid;
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

    StartResult start(const QString &program, Lifetime lifetime) override
    {
        reapReleased();
        StartResult result;
        const QByteArray path = QFile::encodeName(program);
        if (lifetime == Lifetime::EndsWithThisProcess) {
            int error = 0;
            const pid_t pid = spawnTied(path, &error);
            if (pid < 0) {
                describeFailure(error, result);
                return result;
            }
            result.started = true;
            result.pid = pid;
            return result;
        }

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
        if (got == pid_t(pid))
            m_ended.insert(pid, endFromStatus(status));
        return false;
    }

    std::optional<ProcessEnd> endOf(qint64 pid) override
    {
        if (!m_ended.contains(pid))
            return std::nullopt;
        return m_ended.take(pid);
    }

    ProcessIdentity identify(qint64 pid) override
    {
        ProcessIdentity identity;
        if (pid <= 0)
            return identity;
        const std::optional<quint64> start = readStartTime(pid);
        // Another user's process, or one that has ended, shows no executable.
        const QByteArray executable = readProcLink("/proc/" + QByteArray::number(pid) + "/exe");
        if (!start || executable.isEmpty())
            return identity;
        identity.pid = pid;
        identity.startTime = *start;
        identity.executable = executable;
        return identity;
    }

    bool killIdentified(const ProcessIdentity &identity) override
    {
        if (identity.isEmpty())
            return true;
        // A pidfd pins the process: once it is open and the identity still
        // matches, the signal cannot reach a newcomer with a reused id.
        const int pidfd = int(syscall(SYS_pidfd_open, pid_t(identity.pid), 0));
        if (pidfd < 0)
            return errno == ESRCH;
        bool gone = true;
        if (identify(identity.pid) == identity) {
            if (syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0) == 0) {
                pollfd ended = {pidfd, POLLIN, 0};
                int ready = 0;
                do {
                    ready = ::poll(&ended, 1, kKillWaitMs);
                } while (ready < 0 && errno == EINTR);
                gone = ready > 0;
            } else {
                gone = errno == ESRCH;
            }
            // Our own child is reaped here; anyone else's by its parent.
            int status = 0;
            if (gone && waitpid(pid_t(identity.pid), &status, WNOHANG) == pid_t(identity.pid))
                m_ended.insert(identity.pid, endFromStatus(status));
        }
        ::close(pidfd);
        return gone;
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
    QHash<qint64, ProcessEnd> m_ended;
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

QString ownExecutableFolder()
{
    const QByteArray path = readProcLink("/proc/self/exe");
    return QFileInfo(QFile::decodeName(path)).absolutePath() + QLatin1Char('/');
}

} // namespace jw

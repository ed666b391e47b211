#include "platform/guardianline.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace jw {

namespace {

// The guardian's end of the line, at a fixed descriptor once it has closed
// everything else.
constexpr int kInboxFd = 3;
// A message longer than this is no message of ours.
constexpr qsizetype kMaxMessage = 64 * 1024;
// How long the program waits at its end for the guardian to finish.
constexpr int kGuardianEndWaitMs = 3000;

class SocketLine final : public GuardianLine
{
public:
    SocketLine(int fd, pid_t guardian)
        : m_fd(fd)
        , m_guardian(guardian)
    {
    }

    ~SocketLine() override
    {
        // Closing the line is the program's end as far as the guardian
        // knows; wait for it so that nothing of ours outlives the program.
        ::close(m_fd);
        const int pidfd = int(syscall(SYS_pidfd_open, m_guardian, 0));
        if (pidfd >= 0) {
            pollfd ended = {pidfd, POLLIN, 0};
            while (::poll(&ended, 1, kGuardianEndWaitMs) < 0 && errno == EINTR) { }
            ::close(pidfd);
        }
        int status = 0;
        waitpid(m_guardian, &status, WNOHANG);
    }

    bool send(const QByteArray &message) override
    {
        QByteArray line = message;
        line.append('\n');
        qsizetype done = 0;
        while (done < line.size()) {
            const ssize_t n = ::send(m_fd, line.constData() + done, size_t(line.size() - done), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

private:
    int m_fd;
    pid_t m_guardian;
};

class SocketInbox final : public GuardianInbox
{
public:
    std::optional<QByteArray> next() override
    {
        for (;;) {
            const qsizetype end = m_buffer.indexOf('\n');
            if (end >= 0) {
                QByteArray message = m_buffer.left(end);
                m_buffer.remove(0, end + 1);
                return message;
            }
            if (m_buffer.size() > kMaxMessage)
                return std::nullopt;
            char chunk[4096];
            const ssize_t n = ::read(kInboxFd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return std::nullopt;
            m_buffer.append(chunk, n);
        }
    }

private:
    QByteArray m_buffer;
};

[[noreturn]] void becomeGuardian(int inbox, const std::function<void(GuardianInbox &)> &guardianMain)
{
    // Out of the terminal's session and process group: a Ctrl+C or a hang-up
    // meant for the program does not end its guardian too.
    ::setsid();
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGQUIT, SIGTSTP, SIGTTIN, SIGTTOU})
        ::signal(sig, SIG_IGN);
    ::prctl(PR_SET_NAME, "jw-guardian", 0, 0, 0);
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
    }
    // Nothing of the program's stays open here but the line: above all not
    // its single-instance lock or a pipe someone waits on.
    if (inbox != kInboxFd) {
        ::dup2(inbox, kInboxFd);
        ::close(inbox);
    }
    ::fcntl(kInboxFd, F_SETFD, FD_CLOEXEC);
    ::close_range(kInboxFd + 1, ~0U, 0);
    {
        SocketInbox messages;
        guardianMain(messages);
    }
    std::_Exit(0);
}

} // namespace

std::unique_ptr<GuardianLine> forkGuardian(const std::function<void(GuardianInbox &)> &guardianMain)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return nullptr;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(ends[0]);
        ::close(ends[1]);
        return nullptr;
    }
    if (pid == 0) {
        ::close(ends[0]);
        becomeGuardian(ends[1], guardianMain);
    }
    ::close(ends[1]);
    return std::make_unique<SocketLine>(ends[0], pid);
}

} // namespace jw

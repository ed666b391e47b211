#include "platform/terminationsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace jw {

namespace {

int g_wakeFd = -1;

void onSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_wakeFd, &byte, 1);
    errno = savedErrno;
}

class LinuxTerminationSignals final : public TerminationSignals
{
public:
    LinuxTerminationSignals()
    {
        if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        g_wakeFd = m_pipe[1];
        m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            char buffer[64];
            while (::read(m_pipe[0], buffer, sizeof buffer) > 0) { }
            Q_EMIT terminationRequested();
        });
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int sig : {SIGTERM, SIGINT, SIGHUP})
            sigaction(sig, &action, nullptr);
    }

    ~LinuxTerminationSignals() override
    {
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        for (int sig : {SIGTERM, SIGINT, SIGHUP})
            sigaction(sig, &action, nullptr);
        g_wakeFd = -1;
        if (m_pipe[0] >= 0) {
            ::close(m_pipe[0]);
            ::close(m_pipe[1]);
        }
    }

private:
    int m_pipe[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace

std::unique_ptr<TerminationSignals> watchTerminationSignals()
{
    return std::make_unique<LinuxTerminationSignals>();
}

} // namespace jw

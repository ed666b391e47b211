#include "support/sessionbus.h"

#include <csignal>

namespace jw::test {

PrivateSessionBus::PrivateSessionBus(const QProcessEnvironment &environment)
    : m_environment(environment)
{
    m_daemon.setProcessEnvironment(environment);
    m_daemon.start(QStringLiteral("dbus-daemon"),
        {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (m_daemon.waitForReadyRead(5000))
        m_address = m_daemon.readLine().trimmed();
}

PrivateSessionBus::~PrivateSessionBus()
{
    if (m_daemon.state() == QProcess::NotRunning)
        return;
    // Services it started end with their bus.
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(3000)) {
        m_daemon.kill();
        m_daemon.waitForFinished(3000);
    }
}

QProcessEnvironment PrivateSessionBus::environment() const
{
    QProcessEnvironment env = m_environment;
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromLatin1(m_address));
    return env;
}

} // namespace jw::test

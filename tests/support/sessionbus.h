#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>

namespace jw::test {

// A D-Bus session bus of the test's own. The services it starts on demand
// (evolution-source-registry, a keyring) get `environment`: a private HOME,
// never the user's.
class PrivateSessionBus
{
public:
    explicit PrivateSessionBus(const QProcessEnvironment &environment);
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus &) = delete;
    PrivateSessionBus &operator=(const PrivateSessionBus &) = delete;

    // Empty when dbus-daemon could not be started.
    QByteArray address() const { return m_address; }
    // `environment` with the bus's address.
    QProcessEnvironment environment() const;

private:
    QProcessEnvironment m_environment;
    QProcess m_daemon;
    QByteArray m_address;
};

} // namespace jw::test

#pragma once

#include <QProcess>
#include <QString>

namespace jw::test {

// Plays a running Thunderbird on a profile: another process holds the
// profile's lock (an fcntl write lock on ".parentlock", as Thunderbird
// takes it) until close(), which lets go and then writes into the profile
// folder, as Thunderbird does when it quits.
class RunningThunderbird
{
public:
    explicit RunningThunderbird(const QString &profileFolder);
    ~RunningThunderbird();
    RunningThunderbird(const RunningThunderbird &) = delete;
    RunningThunderbird &operator=(const RunningThunderbird &) = delete;

    // Whether it holds the lock (false when the lock could not be taken).
    bool holdsLock() const { return m_holding; }
    enum class Ending {
        LetsGoThenWrites, // lets go of the lock, then writes its files
        RemovesLinkThenLetsGo, // as Thunderbird quits: the folder changes while the lock is still held
        Killed, // nothing changes in the folder
    };
    void close(Ending ending = Ending::LetsGoThenWrites);

private:
    QString m_profile;
    QProcess m_process;
    bool m_holding = false;
};

// Whether another process could take the profile's lock now (it tries
// without waiting).
bool anotherProcessCanLock(const QString &profileFolder);

} // namespace jw::test

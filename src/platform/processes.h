#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace jw {

// Result of starting a companion program.
struct StartResult
{
    bool started = false;
    qint64 pid = 0;
    // On failure: the error in the numbering the program reports it by
    // (2 file not found, 3 path not found, 5 access denied, 8 out of memory,
    // 26 share violation) when `known`, otherwise the system's own number.
    int errorCode = 0;
    bool knownError = false;
};

// Enough of a process to be sure, later and from another process, that a
// pid still names the same one: ids are reused, start times and executables
// tell them apart.
struct ProcessIdentity
{
    qint64 pid = 0;
    quint64 startTime = 0; // in clock ticks since boot
    QByteArray executable; // the program file's path, as the system names it

    bool isEmpty() const { return pid <= 0; }
    bool operator==(const ProcessIdentity &other) const
    {
        return pid == other.pid && startTime == other.startTime && executable == other.executable;
    }
    bool operator!=(const ProcessIdentity &other) const { return !(*this == other); }
};

// How a started program ended.
struct ProcessEnd
{
    bool bySignal = false;
    int code = 0; // the exit code, or the signal's number
};

// Starting, watching and killing the companion programs.
class Processes
{
public:
    virtual ~Processes() = default;

    // What becomes of a started program when this process ends.
    enum class Lifetime {
        Independent, // runs on (the updater, the mail checker)
        EndsWithThisProcess // killed by the system when this process ends, however it ends (the proxy)
    };
    // Starts `program` with no arguments, no inherited descriptors, the
    // standard streams on the null device, this process's environment and
    // current folder, detached from this process's session.
    virtual StartResult start(const QString &program, Lifetime lifetime) = 0;
    // Whether the started process has not ended yet. Ended children are
    // reaped, so neither a zombie nor a reused id is taken for alive.
    virtual bool isAlive(qint64 pid) = 0;
    // Kills the process at once (signal 9, the program's exit code 9) and
    // waits until it is gone. Returns the code it ended with, or -1 when it
    // was no longer running.
    virtual int kill(qint64 pid) = 0;
    // The program keeps no record of this process: reap it whenever it ends.
    virtual void release(qint64 pid) = 0;
    // How a started child ended, once isAlive() has found it gone; asked
    // once.
    virtual std::optional<ProcessEnd> endOf(qint64 pid) = 0;

    // The identity of a running process of this user; empty when there is
    // none by that id.
    virtual ProcessIdentity identify(qint64 pid) = 0;
    // Kills the process only while it still is the one `identity` describes
    // (a reused id is never touched), whoever its parent is, and waits a
    // short while for it to end. True when no such process runs any more.
    virtual bool killIdentified(const ProcessIdentity &identity) = 0;
};

std::unique_ptr<Processes> createSystemProcesses();

} // namespace jw

namespace jw {

// The file name of a companion program on this platform ("vexel3" here,
// "vexel3.exe" where programs carry an extension).
QString executableFileName(const char *baseName);
// The folder of this process's executable, as the system reports it; needs
// no application object.
QString ownExecutableFolder();

} // namespace jw

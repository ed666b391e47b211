#pragma once

#include <QString>

#include <memory>

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

// Starting, watching and killing the companion programs.
class Processes
{
public:
    virtual ~Processes() = default;

    // Starts `program` with no arguments, no inherited descriptors, the
    // standard streams on the null device, this process's environment and
    // current folder, detached from this process's session.
    virtual StartResult start(const QString &program) = 0;
    // Whether the started process has not ended yet. Ended children are
    // reaped, so neither a zombie nor a reused id is taken for alive.
    virtual bool isAlive(qint64 pid) = 0;
    // Kills the process at once (signal 9, the program's exit code 9) and
    // waits until it is gone. Returns the code it ended with, or -1 when it
    // was no longer running.
    virtual int kill(qint64 pid) = 0;
    // The program keeps no record of this process: reap it whenever it ends.
    virtual void release(qint64 pid) = 0;
};

std::unique_ptr<Processes> createSystemProcesses();

} // namespace jw

namespace jw {

// The file name of a companion program on this platform ("vexel3" here,
// "vexel3.exe" where programs carry an extension).
QString executableFileName(const char *baseName);

} // namespace jw

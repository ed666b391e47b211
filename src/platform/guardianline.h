#pragma once

#include <QByteArray>

#include <functional>
#include <memory>
#include <optional>

namespace jw {

// The program's end of the line to its guardian: a helper process forked
// from it that learns what the program changes in the system and outlives
// it, however the program ends.
class GuardianLine
{
public:
    virtual ~GuardianLine() = default;
    // Hands one message (no line break in it) over. False when the guardian
    // is gone.
    virtual bool send(const QByteArray &message) = 0;
};

// The guardian's end: the program's messages in order, then nothing once
// the program has ended (cleanly, killed, crashed: the system closes the
// line in every case).
class GuardianInbox
{
public:
    virtual ~GuardianInbox() = default;
    virtual std::optional<QByteArray> next() = 0;
};

// Forks the guardian. Call while the process still runs one thread, before
// the toolkit starts. The child leaves the terminal's session, ignores
// termination requests (it ends when its work is done), keeps only the
// standard error stream, runs `guardianMain` and ends without returning
// here. Returns null when the system refuses; the program then runs
// unguarded.
std::unique_ptr<GuardianLine> forkGuardian(const std::function<void(GuardianInbox &)> &guardianMain);

} // namespace jw

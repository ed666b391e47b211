#pragma once

#include "platform/guardianline.h"
#include "platform/processes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace jw {

class MailRouting;

// What the program has changed in the system and must undo when it ends:
// mail accounts pointed at the proxy, and the proxy it started.
struct GuardState
{
    bool accountsRouted = false;
    ProcessIdentity proxy;

    bool isClean() const { return !accountsRouted && proxy.isEmpty(); }
};

// The messages between the program and its guardian, one line each.
namespace guardmessage {
QByteArray routed();
QByteArray restored();
QByteArray proxy(const ProcessIdentity &identity);
QByteArray noProxy();
} // namespace guardmessage

// Applies one message; a malformed or unknown one changes nothing and
// gives false.
bool applyGuardMessage(GuardState &state, const QByteArray &message);

// A process identity as one line of text ("pid start-time hex-path"), as
// the messages and the proxy's record file carry it; empty when malformed.
QByteArray encodeIdentity(const ProcessIdentity &identity);
ProcessIdentity decodeIdentity(const QByteArray &text);

// The stop steps, for the program itself at a termination request or for
// the guardian once the program is gone: the accounts pointed back at their
// servers (the code of DeConfigureMail), then the proxy stopped, but only
// while it still is the process that was started. `restore` is
// DeConfigureMail. Clears what it undid and returns what could not be
// undone.
QStringList runStopSteps(GuardState &state, const std::function<QStringList()> &restore, Processes &processes);

// The filtering proxy's program, beside the executable.
inline constexpr char kProxyBaseName[] = "vexel3";

// What the guardian does when a mail client still runs on routed accounts
// once the program has gone (its changes wait for the client to close):
// it serves the client with a proxy of its own, `proxyProgram`, until
// `waitWhileClientRuns` returns, which is once the routing waits no more.
struct ClientWait
{
    QString proxyProgram;
    std::function<void(MailRouting &)> waitWhileClientRuns;
};

// The guardian's whole life: follows the program's messages until the
// program ends, then runs the stop steps for whatever it left behind and
// hands each problem to `report`.
void guardProgram(GuardianInbox &inbox, const std::function<std::unique_ptr<MailRouting>()> &createRouting,
    Processes &processes, const std::function<void(const QString &)> &report, const ClientWait &clientWait = {});

// The program's side: tells the guardian about every change as it happens
// (before routing, so a crash halfway through is undone too), keeps the
// proxy's record file for the next run, and can run the stop steps itself.
class ProgramGuard
{
public:
    // `line` may be null: the program then runs unguarded, but the record
    // and the in-process stop steps still work.
    ProgramGuard(Processes &processes, QString proxyRecordPath, std::unique_ptr<GuardianLine> line);
    ~ProgramGuard();

    void accountsRouted();
    void accountsRestored();
    void proxyStarted(qint64 pid);
    void proxyStopped();
    // Stops a proxy that an earlier run of the program left running, found
    // by its record; any other process is left alone.
    void stopLeftoverProxy();
    // The stop steps, here and now.
    QStringList stopNow(MailRouting &routing);

    const GuardState &state() const { return m_state; }
    bool hasGuardian() const { return m_line != nullptr; }

private:
    void tell(const QByteArray &message);

    Processes &m_processes;
    QString m_recordPath;
    std::unique_ptr<GuardianLine> m_line;
    GuardState m_state;
};

} // namespace jw

#include "tray/guardian.h"

#include "accounts/mailrouting.h"
#include "platform/guardianline.h"
#include "textfile/errors.h"
#include "textfile/nativefile.h"

#include <QList>

#include <utility>

namespace jw {

namespace {

constexpr char kRouted[] = "routed";
constexpr char kRestored[] = "restored";
constexpr char kProxy[] = "proxy ";
constexpr char kNoProxy[] = "noproxy";

} // namespace

namespace guardmessage {

QByteArray routed()
{
    return kRouted;
}

QByteArray restored()
{
    return kRestored;
}

QByteArray proxy(const ProcessIdentity &identity)
{
    return kProxy + encodeIdentity(identity);
}

QByteArray noProxy()
{
    return kNoProxy;
}

} // namespace guardmessage

QByteArray encodeIdentity(const ProcessIdentity &identity)
{
    return QByteArray::number(identity.pid) + ' ' + QByteArray::number(identity.startTime) + ' '
        + identity.executable.toHex();
}

ProcessIdentity decodeIdentity(const QByteArray &text)
{
    const QList<QByteArray> fields = text.trimmed().split(' ');
    if (fields.size() != 3)
        return {};
    bool pidOk = false;
    bool startOk = false;
    ProcessIdentity identity;
    identity.pid = fields.at(0).toLongLong(&pidOk);
    identity.startTime = fields.at(1).toULongLong(&startOk);
    identity.executable = QByteArray::fromHex(fields.at(2));
    if (!pidOk || !startOk || identity.pid <= 0 || !identity.executable.startsWith('/'))
        return {};
    return identity;
}

bool applyGuardMessage(GuardState &state, const QByteArray &message)
{
    if (message == kRouted) {
        state.accountsRouted = true;
    } else if (message == kRestored) {
        state.accountsRouted = false;
    } else if (message == kNoProxy) {
        state.proxy = {};
    } else if (message.startsWith(kProxy)) {
        const ProcessIdentity identity = decodeIdentity(message.mid(int(sizeof kProxy) - 1));
        if (identity.isEmpty())
            return false;
        state.proxy = identity;
    } else {
        return false;
    }
    return true;
}

QStringList runStopSteps(GuardState &state, const std::function<QStringList()> &restore, Processes &processes)
{
    QStringList problems;
    if (state.accountsRouted) {
        try {
            problems = restore();
            state.accountsRouted = false;
        } catch (const Error &e) {
            problems.append(e.message());
        }
    }
    if (!state.proxy.isEmpty() && processes.killIdentified(state.proxy))
        state.proxy = {};
    return problems;
}

void guardProgram(GuardianInbox &inbox, const std::function<std::unique_ptr<MailRouting>()> &createRouting,
    Processes &processes, const std::function<void(const QString &)> &report, const ClientWait &clientWait)
{
    GuardState state;
    while (const std::optional<QByteArray> message = inbox.next())
        applyGuardMessage(state, *message);
    if (state.isClean())
        return;
    // The program ended without undoing its changes.
    std::unique_ptr<MailRouting> routing;
    const auto restore = [&createRouting, &routing] {
        routing = createRouting();
        return routing->DeConfigureMail();
    };
    for (const QString &problem : runStopSteps(state, restore, processes))
        report(problem);
    if (!state.proxy.isEmpty())
        report(QStringLiteral("the proxy (pid %1) could not be stopped").arg(state.proxy.pid));
    // A mail client still on routed accounts must not point at nothing.
    if (routing && routing->waiting() == MailRouting::Waiting::ToRestore && clientWait.waitWhileClientRuns
        && !clientWait.proxyProgram.isEmpty()) {
        const StartResult proxy = processes.start(clientWait.proxyProgram, Processes::Lifetime::EndsWithThisProcess);
        clientWait.waitWhileClientRuns(*routing);
        if (proxy.started) {
            processes.kill(proxy.pid);
            processes.release(proxy.pid);
        }
    }
}

ProgramGuard::ProgramGuard(Processes &processes, QString proxyRecordPath, std::unique_ptr<GuardianLine> line)
    : m_processes(processes)
    , m_recordPath(std::move(proxyRecordPath))
    , m_line(std::move(line))
{
}

ProgramGuard::~ProgramGuard() = default;

void ProgramGuard::tell(const QByteArray &message)
{
    applyGuardMessage(m_state, message);
    if (m_line && !m_line->send(message))
        m_line.reset(); // the guardian is gone; the program goes on unguarded
}

void ProgramGuard::accountsRouted()
{
    tell(guardmessage::routed());
}

void ProgramGuard::accountsRestored()
{
    tell(guardmessage::restored());
}

void ProgramGuard::proxyStarted(qint64 pid)
{
    const ProcessIdentity identity = m_processes.identify(pid);
    if (identity.isEmpty()) {
        // Ended before it could be looked at: nothing to stop later.
        proxyStopped();
        return;
    }
    tell(guardmessage::proxy(identity));
    try {
        writeNativeFileAtomically(nativePath(m_recordPath), QByteArray(encodeIdentity(identity) + "\r\n"));
    } catch (const Error &) {
        // Without a record a proxy left by a crash is found by the guardian
        // only; the run itself goes on.
    }
}

void ProgramGuard::proxyStopped()
{
    tell(guardmessage::noProxy());
    removeNativeFile(nativePath(m_recordPath));
}

void ProgramGuard::stopLeftoverProxy()
{
    const std::optional<QByteArray> record = readNativeFileHead(nativePath(m_recordPath), 4096);
    if (!record)
        return;
    const ProcessIdentity leftover = decodeIdentity(*record);
    if (!leftover.isEmpty() && leftover != m_state.proxy)
        m_processes.killIdentified(leftover);
}

QStringList ProgramGuard::stopNow(MailRouting &routing)
{
    const QStringList problems = runStopSteps(
        m_state, [&routing] { return routing.DeConfigureMail(); }, m_processes);
    // Accounts of a mail client that still runs stay routed: the guardian
    // serves them once the program has gone.
    if (routing.waiting() == MailRouting::Waiting::ToRestore)
        m_state.accountsRouted = true;
    if (!m_state.accountsRouted)
        tell(guardmessage::restored());
    if (m_state.proxy.isEmpty())
        proxyStopped();
    return problems;
}

} // namespace jw

// The guardian's protocol, its stop steps and the program's side of it,
// over doubles.
#include "support/fakes.h"
#include "support/testfiles.h"
#include "tray/guardian.h"

#include <gtest/gtest.h>

namespace jw::test {
namespace {

const ProcessIdentity kProxy{4242, 987654, "/opt/junkwarden/vexel3"};

class ScriptedInbox final : public GuardianInbox
{
public:
    explicit ScriptedInbox(QList<QByteArray> messages)
        : m_messages(std::move(messages))
    {
    }
    std::optional<QByteArray> next() override
    {
        if (m_messages.isEmpty())
            return std::nullopt;
        return m_messages.takeFirst();
    }

private:
    QList<QByteArray> m_messages;
};

class RecordingLine final : public GuardianLine
{
public:
    explicit RecordingLine(QList<QByteArray> *sent, bool *open)
        : m_sent(sent)
        , m_open(open)
    {
    }
    bool send(const QByteArray &message) override
    {
        if (!*m_open)
            return false;
        m_sent->append(message);
        return true;
    }

private:
    QList<QByteArray> *m_sent;
    bool *m_open;
};

TEST(GuardMessages, IdentitiesSurviveTheLineAndMalformedOnesChangeNothing)
{
    const ProcessIdentity odd{7, 1, QByteArray("/home/ann/my programs/vexel3 \xe9\n")};
    for (const ProcessIdentity &identity : {kProxy, odd}) {
        GuardState state;
        EXPECT_TRUE(applyGuardMessage(state, guardmessage::proxy(identity)));
        EXPECT_EQ(state.proxy, identity);
        EXPECT_FALSE(guardmessage::proxy(identity).contains('\n')) << "one message is one line";
    }
    const char *malformed[] = {"proxy", "proxy 12 34", "proxy x 34 2f61", "proxy 12 34 2f61 5", "proxy -3 34 2f61",
        "proxy 12 34 6162", "routed ", "ROUTED", "hello", ""};
    for (const char *message : malformed) {
        SCOPED_TRACE(message);
        GuardState state;
        state.proxy = kProxy;
        EXPECT_FALSE(applyGuardMessage(state, message));
        EXPECT_EQ(state.proxy, kProxy);
        EXPECT_FALSE(state.accountsRouted);
    }
}

TEST(Guardian, UndoesWhatTheProgramLeftAndNothingElse)
{
    const QByteArray proxy = guardmessage::proxy(kProxy);
    const struct
    {
        const char *name;
        QList<QByteArray> messages;
        const char *calls; // in order, "|" between them
    } cases[] = {
        {"clean stop", {"routed", proxy, "restored", "noproxy"}, ""},
        {"killed while running", {"routed", proxy}, "DeConfigureMail|kill 4242"},
        {"killed halfway through routing", {"routed"}, "DeConfigureMail"},
        {"filter switched off, then killed", {"routed", proxy, "restored", "noproxy", "routed", "restored"}, ""},
        {"proxy restarted", {"routed", proxy, "noproxy", guardmessage::proxy({4300, 5, "/p/vexel3"})},
            "DeConfigureMail|kill 4300"},
        {"garbage on the line is ignored", {"routed", "???", proxy, "restored"}, "kill 4242"},
        {"never started", {}, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CallLog log;
        FakeProcesses processes(&log);
        processes.adopt(kProxy);
        processes.adopt({4300, 5, "/p/vexel3"});
        ScriptedInbox inbox(c.messages);
        int routings = 0;
        QStringList reports;
        guardProgram(
            inbox,
            [&] {
                ++routings;
                return std::make_unique<RecordingMailRouting>(&log);
            },
            processes, [&](const QString &problem) { reports.append(problem); });
        EXPECT_EQ(log.calls.join(QLatin1Char('|')), QLatin1String(c.calls));
        EXPECT_EQ(routings, log.calls.contains(QStringLiteral("DeConfigureMail")) ? 1 : 0)
            << "the store is opened only when accounts are to be restored";
        EXPECT_TRUE(reports.isEmpty());
    }
}

TEST(Guardian, ReportsWhatItCouldNotUndo)
{
    CallLog log;
    FakeProcesses processes(&log);
    ScriptedInbox inbox({"routed"});
    QStringList reports;
    guardProgram(
        inbox,
        [&] {
            auto routing = std::make_unique<RecordingMailRouting>(&log);
            routing->restoreProblems = QStringList{QStringLiteral("B: Invalid data type for 'POP3 Port orig'")};
            return routing;
        },
        processes, [&](const QString &problem) { reports.append(problem); });
    EXPECT_EQ(reports, QStringList{QStringLiteral("B: Invalid data type for 'POP3 Port orig'")});

    // A proxy that does not die: said too.
    class Unkillable final : public Processes
    {
    public:
        StartResult start(const QString &, Lifetime) override { return {}; }
        bool isAlive(qint64) override { return true; }
        int kill(qint64) override { return -1; }
        void release(qint64) override { }
        std::optional<ProcessEnd> endOf(qint64) override { return std::nullopt; }
        ProcessIdentity identify(qint64) override { return kProxy; }
        bool killIdentified(const ProcessIdentity &) override { return false; }
    } unkillable;
    ScriptedInbox second({guardmessage::proxy(kProxy)});
    reports.clear();
    guardProgram(
        second, [&] { return std::make_unique<RecordingMailRouting>(&log); }, unkillable,
        [&](const QString &problem) { reports.append(problem); });
    EXPECT_EQ(reports, QStringList{QStringLiteral("the proxy (pid 4242) could not be stopped")});
}

class ProgramGuardTest : public ::testing::Test
{
protected:
    ProgramGuard makeGuard()
    {
        return ProgramGuard(processes, recordPath(), std::make_unique<RecordingLine>(&sent, &open));
    }
    QString recordPath() const { return folder.file(QStringLiteral("vexel3.pid")); }

    TempProgramFolder folder;
    CallLog log;
    FakeProcesses processes{&log};
    RecordingMailRouting routing{&log};
    QList<QByteArray> sent;
    bool open = true;
};

TEST_F(ProgramGuardTest, TellsTheGuardianEveryChangeAndKeepsTheRecord)
{
    ProgramGuard guard = makeGuard();
    guard.accountsRouted();
    const qint64 pid = processes.start(QStringLiteral("/p/vexel3"), Processes::Lifetime::EndsWithThisProcess).pid;
    guard.proxyStarted(pid);
    const ProcessIdentity identity = processes.identify(pid);
    EXPECT_EQ(sent, (QList<QByteArray>{"routed", guardmessage::proxy(identity)}));
    EXPECT_EQ(readFile(recordPath()), encodeIdentity(identity) + "\r\n");
    EXPECT_EQ(decodeIdentity(readFile(recordPath())), identity);

    guard.accountsRestored();
    guard.proxyStopped();
    EXPECT_EQ(sent.mid(2), (QList<QByteArray>{"restored", "noproxy"}));
    EXPECT_FALSE(QFile::exists(recordPath()));
    EXPECT_TRUE(guard.state().isClean());

    // A proxy gone before it could be looked at leaves nothing to stop.
    processes.end(processes.start(QStringLiteral("/p/vexel3"), Processes::Lifetime::EndsWithThisProcess).pid);
    guard.proxyStarted(processes.lastPid());
    EXPECT_EQ(sent.last(), QByteArray("noproxy"));

    // The guardian is gone: the program goes on, and still knows its state.
    open = false;
    guard.accountsRouted();
    EXPECT_TRUE(guard.state().accountsRouted);
    EXPECT_FALSE(guard.hasGuardian());
}

TEST_F(ProgramGuardTest, StopNowUndoesTheChangesHereAndTellsTheGuardian)
{
    ProgramGuard guard = makeGuard();
    guard.accountsRouted();
    const qint64 pid = processes.start(QStringLiteral("/p/vexel3"), Processes::Lifetime::EndsWithThisProcess).pid;
    guard.proxyStarted(pid);
    log.calls.clear();
    routing.restoreProblems = QStringList{QStringLiteral("B: bad")};
    EXPECT_EQ(guard.stopNow(routing), QStringList{QStringLiteral("B: bad")});
    EXPECT_EQ(log.calls, (QStringList{QStringLiteral("DeConfigureMail"), QStringLiteral("kill %1").arg(pid)}));
    EXPECT_TRUE(guard.state().isClean());
    EXPECT_EQ(sent.mid(2), (QList<QByteArray>{"restored", "noproxy"}));

    // A store that cannot be written: the guardian keeps the accounts as
    // routed and tries again once the program is gone.
    guard.accountsRouted();
    routing.failRestore = true;
    EXPECT_EQ(guard.stopNow(routing), QStringList{QStringLiteral("Failed to set data for 'POP3 Server'")});
    EXPECT_TRUE(guard.state().accountsRouted);
    EXPECT_EQ(sent.last(), QByteArray("noproxy"));
}

TEST_F(ProgramGuardTest, OnlyAProxyLeftByAnEarlierRunIsStopped)
{
    const ProcessIdentity leftover{777, 50, "/p/vexel3"};
    const struct
    {
        const char *name;
        std::optional<QByteArray> record;
        bool killed;
    } cases[] = {
        {"no record", std::nullopt, false},
        {"the leftover", encodeIdentity(leftover) + "\r\n", true},
        {"same id, another start time", encodeIdentity({777, 51, "/p/vexel3"}), false},
        {"same id, another program", encodeIdentity({777, 50, "/usr/bin/vexel3"}), false},
        {"a process that is gone", encodeIdentity({778, 50, "/p/vexel3"}), false},
        {"malformed", QByteArray("777\r\n"), false},
        {"binary", QByteArray("\0\xff\x01 2 3", 7), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        processes.adopt(leftover);
        processes.killed.clear();
        QFile::remove(recordPath());
        if (c.record)
            writeFile(recordPath(), *c.record);
        ProgramGuard guard = makeGuard();
        guard.stopLeftoverProxy();
        EXPECT_EQ(processes.killed.count(777), c.killed ? 1 : 0);
        EXPECT_EQ(processes.killed.size(), processes.killed.count(777));
    }
}

} // namespace
} // namespace jw::test

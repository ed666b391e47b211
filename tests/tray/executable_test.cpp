// The real program with the real companion stand-ins: single instance,
// second start, crash recovery and the stop steps on termination signals.
#include "support/testfiles.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace jw::test {
namespace {

class ExecutableTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        copyStagedProgram(folder);
        // With a PIN, opening the window writes nothing and restarts nothing.
        const QString settings = folder.configPath() + QStringLiteral("main.cfg");
        writeFile(settings, readFile(settings).replace("my_pin=\r\n", "my_pin=1234\r\n"));
        writeFile(folder.file(QStringLiteral("companions.log")), "");
        writeFile(folder.file(QStringLiteral("debug2.log")), "");
    }

    void TearDown() override
    {
        for (QProcess *p : std::as_const(started)) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
            delete p;
        }
        // Never leave a stand-in behind, whatever the test did.
        for (qint64 pid : proxyPids())
            ::kill(pid_t(pid), SIGKILL);
    }

    QProcess *startProgram(const QStringList &arguments)
    {
        auto *p = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("JUNKWARDEN_REGISTRY"), registryPath());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), runtime.filePath(QStringLiteral("config")));
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(folder.file(QStringLiteral("junkwarden")), arguments);
        started.append(p);
        EXPECT_TRUE(p->waitForStarted(5000));
        return p;
    }

    QList<qint64> proxyPids() const
    {
        QList<qint64> pids;
        for (const QByteArray &line : readFile(folder.file(QStringLiteral("companions.log"))).split('\n')) {
            if (line.startsWith("vexel3 "))
                pids.append(line.mid(7).trimmed().toLongLong());
        }
        return pids;
    }

    bool waitForProxies(int count) { return waitUntil([&] { return proxyPids().size() >= count; }); }
    QString registryPath() const { return folder.file(QStringLiteral("registry.reg")); }
    QByteArray log() const { return readFile(folder.file(QStringLiteral("debug2.log"))); }

    static bool processExists(qint64 pid) { return ::kill(pid_t(pid), 0) == 0; }

    TempProgramFolder folder;
    QTemporaryDir runtime;
    QList<QProcess *> started;
};

TEST_F(ExecutableTest, SecondStartMakesTheRunningCopyShowItsWindowAndEnds)
{
    QProcess *first = startProgram({QStringLiteral("/tray")});
    ASSERT_TRUE(waitForProxies(1));
    EXPECT_EQ(log(), QByteArray()) << "started with /tray: no window";

    QProcess *second = startProgram({QStringLiteral("/tray")});
    ASSERT_TRUE(second->waitForFinished(8000));
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_TRUE(waitUntil([&] { return log().contains("pokaz konfiguracje"); }));
    EXPECT_EQ(proxyPids().size(), 1) << "the second start touched no companion";
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(ExecutableTest, OfSeveralSimultaneousStartsExactlyOneRuns)
{
    QList<QProcess *> all;
    for (int i = 0; i < 4; ++i)
        all.append(startProgram({QStringLiteral("/tray")}));
    ASSERT_TRUE(waitUntil([&] {
        int finished = 0;
        for (QProcess *p : all)
            finished += p->state() == QProcess::NotRunning ? 1 : 0;
        return finished == 3;
    }, 20000));
    EXPECT_TRUE(waitUntil([&] { return log().count("pokaz konfiguracje") == 3; }))
        << "each later start asked to show the window";
    auto running = [&] {
        int alive = 0;
        for (qint64 pid : proxyPids())
            alive += processExists(pid) ? 1 : 0;
        return alive;
    };
    EXPECT_TRUE(waitUntil([&] { return running() == 1; })) << running();
}

TEST_F(ExecutableTest, ACrashedCopyDoesNotBlockTheNextStart)
{
    QProcess *first = startProgram({QStringLiteral("/tray")});
    ASSERT_TRUE(waitForProxies(1));
    first->kill();
    first->waitForFinished(5000);

    QProcess *next = startProgram({QStringLiteral("/tray")});
    EXPECT_TRUE(waitForProxies(2)) << "the next start became the running copy";
    EXPECT_EQ(next->state(), QProcess::Running);
}

TEST_F(ExecutableTest, TerminationSignalsRunTheStopSteps)
{
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        const int before = proxyPids().size();
        QProcess *program = startProgram({QStringLiteral("/tray")});
        ASSERT_TRUE(waitForProxies(before + 1));
        const qint64 proxy = proxyPids().last();
        ASSERT_TRUE(processExists(proxy));

        ::kill(pid_t(program->processId()), sig);
        ASSERT_TRUE(program->waitForFinished(10000));
        EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program->exitCode(), 0);
        EXPECT_FALSE(processExists(proxy)) << "the proxy was killed and reaped";
    }
}

TEST_F(ExecutableTest, FlaggedAccountsAreRoutedAtStartAndRestoredOnTermination)
{
    const QByteArray plain =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001]\r\n"
        "\"Account Name\"=\"Home\"\r\n"
        "\"POP3 Server\"=\"pop.home.example\"\r\n"
        "\"POP3 User Name\"=\"ann\"\r\n"
        "\"POP3 Port\"=dword:0000006e\r\n"
        "\"Use Mailmoater\"=\"yes\"\r\n"
        "\"POP3 Server orig\"=\"pop.home.example\"\r\n"
        "\"POP3 Port orig\"=dword:0000006e\r\n"
        "\r\n";
    writeFile(registryPath(), plain);
    QProcess *program = startProgram({QStringLiteral("/tray")});
    ASSERT_TRUE(waitForProxies(1));
    const QByteArray routed = readFile(registryPath());
    EXPECT_TRUE(routed.contains("\"POP3 Server\"=\"localhost\"")) << routed.constData();
    EXPECT_TRUE(routed.contains("\"POP3 User Name\"=\"ann,pop.home.example\""));
    EXPECT_TRUE(routed.contains("\"POP3 Port\"=dword:00000456")) << "the port of main.cfg, 1110";

    ::kill(pid_t(program->processId()), SIGTERM);
    ASSERT_TRUE(program->waitForFinished(10000));
    EXPECT_EQ(readFile(registryPath()), plain) << "restored exactly as it was";
}

} // namespace
} // namespace jw::test

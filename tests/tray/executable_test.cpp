// The real program with the real companion stand-ins: single instance,
// second start, crash recovery, and mail never left pointed at a dead proxy
// however the program ends.
#include "support/profilelock.h"
#include "support/testfiles.h"

#include <QCryptographicHash>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>

namespace jw::test {
namespace {

// One account of the registry file, plain or routed through the proxy on
// port 1110 (the staged main.cfg's). `portOrig` is the saved real port's
// whole line.
QByteArray account(int number, const char *user, const char *server, bool routed,
    const QByteArray &portOrig = "\"POP3 Port orig\"=dword:0000006e")
{
    const QByteArray key = "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts\\0000000"
        + QByteArray::number(number) + "]\r\n";
    return key + "\"Account Name\"=\"" + user + "\"\r\n" + "\"POP3 Server\"=\""
        + (routed ? QByteArray("localhost") : QByteArray(server)) + "\"\r\n" + "\"POP3 User Name\"=\"" + user
        + (routed ? "," + QByteArray(server) : QByteArray()) + "\"\r\n"
        + "\"POP3 Port\"=dword:" + (routed ? "00000456" : "0000006e") + "\r\n" + "\"Use Mailmoater\"=\"yes\"\r\n"
        + "\"POP3 Server orig\"=\"" + server + "\"\r\n" + portOrig + "\r\n\r\n";
}

QByteArray registryOf(const QByteArray &accounts)
{
    return "Windows Registry Editor Version 5.00\r\n\r\n" + accounts;
}

// Processes whose program file lies in `folder` and that have not ended
// (a zombie waiting for a parent that never reaps has ended).
QList<qint64> livingProcessesIn(const QString &folder)
{
    QList<qint64> pids;
    const QString canonical = QFileInfo(folder).canonicalFilePath() + QLatin1Char('/');
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        const QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
        if (!exe.startsWith(canonical))
            continue;
        const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
        const qsizetype close = stat.lastIndexOf(')');
        if (close > 0 && stat.mid(close + 2, 1) != "Z")
            pids.append(pid);
    }
    return pids;
}

QString commandName(qint64 pid)
{
    return QString::fromLatin1(readFile(QStringLiteral("/proc/%1/comm").arg(pid)).trimmed());
}

// For failure messages: what of ours still runs, and in what state.
QString describeLiving(const QString &folder)
{
    QStringList living;
    for (qint64 pid : livingProcessesIn(folder)) {
        const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
        living.append(
            commandName(pid) + QLatin1Char(' ') + QString::fromLatin1(stat.mid(stat.lastIndexOf(')') + 2, 1)));
    }
    return QStringLiteral(" still running: ") + living.join(QStringLiteral(", "));
}

// The host side of the StatusNotifierItem protocol, as KDE Plasma, XFCE and
// GNOME's AppIndicator extension offer it: items register with the watcher.
class StatusNotifierWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return registered; }
    QStringList registered;

public Q_SLOTS:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString &service) { registered.append(service); }
    Q_SCRIPTABLE void RegisterStatusNotifierHost(const QString &) { }

Q_SIGNALS:
    Q_SCRIPTABLE void StatusNotifierItemRegistered(const QString &service);
    Q_SCRIPTABLE void StatusNotifierItemUnregistered(const QString &service);
    Q_SCRIPTABLE void StatusNotifierHostRegistered();
};

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
        // Never leave a process of ours behind, whatever the test did.
        for (qint64 pid : livingProcessesIn(folder.path()))
            ::kill(pid_t(pid), SIGKILL);
    }

    QProcess *startProgram(const QStringList &arguments, const QProcessEnvironment &extra = {})
    {
        auto *p = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // The offscreen display has no notification area; these tests play
        // a desktop that has one.
        env.insert(QStringLiteral("JUNKWARDEN_TRAY"), QStringLiteral("present"));
        env.insert(QStringLiteral("JUNKWARDEN_REGISTRY"), registryPath());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), runtime.filePath(QStringLiteral("config")));
        // Mail clients' profiles of the test's own: never the user's.
        env.insert(QStringLiteral("HOME"), runtime.filePath(QStringLiteral("home")));
        // No desktop notifications from a test.
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        for (const QString &name : extra.keys())
            env.insert(name, extra.value(name));
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(captureErrors ? QProcess::SeparateChannels : QProcess::ForwardedErrorChannel);
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

    bool waitForProxies(int count)
    {
        return waitUntil([&] { return proxyPids().size() >= count; });
    }
    QList<qint64> livingProxies() const
    {
        QList<qint64> alive;
        for (qint64 pid : livingProcessesIn(folder.path())) {
            if (commandName(pid) == QLatin1String("vexel3"))
                alive.append(pid);
        }
        return alive;
    }
    qint64 guardianPid() const
    {
        for (qint64 pid : livingProcessesIn(folder.path())) {
            if (commandName(pid) == QLatin1String("jw-guardian"))
                return pid;
        }
        return 0;
    }
    void setProxyBehaviour(const QByteArray &behaviour)
    {
        writeFile(folder.file(QStringLiteral("vexel3.behaviour")), behaviour);
    }
    QString registryPath() const { return folder.file(QStringLiteral("registry.reg")); }
    QByteArray log() const { return readFile(folder.file(QStringLiteral("debug2.log"))); }

    static bool processExists(qint64 pid) { return ::kill(pid_t(pid), 0) == 0; }

    // Starts the program on a registry of two routed-to-be accounts and
    // waits until they are routed and its proxy runs.
    QProcess *startRouted(const QProcessEnvironment &extra = {})
    {
        writeFile(registryPath(), plainRegistry());
        const int before = proxyPids().size();
        QProcess *program = startProgram({QStringLiteral("/tray")}, extra);
        EXPECT_TRUE(waitForProxies(before + 1));
        EXPECT_TRUE(waitUntil([&] { return readFile(registryPath()) == routedRegistry(); }))
            << readFile(registryPath()).constData();
        return program;
    }

    // After the program has ended: the accounts are back byte for byte and
    // nothing of ours runs, within about a second. Returns the time taken.
    qint64 expectCleanEnd(const QElapsedTimer &since, const char *what)
    {
        const bool clean = waitUntil(
            [&] { return readFile(registryPath()) == plainRegistry() && livingProcessesIn(folder.path()).isEmpty(); },
            5000);
        const qint64 ms = since.elapsed();
        EXPECT_TRUE(clean) << readFile(registryPath()).constData() << describeLiving(folder.path()).toStdString();
        // The times are printed above; the bound only catches a stop that hangs.
        EXPECT_LT(ms, 5000) << what;
        std::printf("[ measured ] %s: accounts restored and no process left after %lld ms\n", what, ms);
        return ms;
    }

    // The proxy's record as a run writes it: the process's id and start
    // time, with the proxy's program file.
    void writeProxyRecord(qint64 pid)
    {
        const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
        const QByteArray startTime = stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(19);
        const QByteArray proxyPath = QFileInfo(folder.file(QStringLiteral("vexel3"))).canonicalFilePath().toUtf8();
        writeFile(folder.file(QStringLiteral("vexel3.pid")),
            QByteArray::number(pid) + ' ' + startTime + ' ' + proxyPath.toHex() + "\r\n");
    }

    // A further start runs exactly one proxy, and ends cleanly.
    void expectOneProxyOnNextStart()
    {
        QProcess *again = startRouted();
        EXPECT_TRUE(waitUntil([&] { return livingProxies().size() == 1; })) << livingProxies().size();
        ::kill(pid_t(again->processId()), SIGTERM);
        EXPECT_TRUE(again->waitForFinished(5000));
        QElapsedTimer since;
        since.start();
        expectCleanEnd(since, "SIGTERM, after a recovered run");
    }

    static QByteArray plainRegistry()
    {
        return registryOf(account(1, "ann", "pop.home.example", false) + account(2, "bob", "pop.work.example", false));
    }
    static QByteArray routedRegistry()
    {
        return registryOf(account(1, "ann", "pop.home.example", true) + account(2, "bob", "pop.work.example", true));
    }

    // Starts an X display server of its own on a free display; returns the
    // environment that makes the program use it, empty when there is none.
    static QProcessEnvironment startDisplay(QProcess &server)
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            return {};
        int display = 90;
        while (display < 200
            && (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display))
                || QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(display))))
            ++display;
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(xvfb, {QStringLiteral(":%1").arg(display), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!server.waitForStarted(5000)
            || !waitUntil(
                [&] { return QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)); }, 10000)) {
            server.kill();
            server.waitForFinished(5000);
            return {};
        }
        QProcessEnvironment x11;
        x11.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        x11.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display));
        return x11;
    }

    TempProgramFolder folder;
    QTemporaryDir runtime;
    bool captureErrors = false;
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

// A desktop without a notification area: a start with "/tray" gives the
// panel a few seconds, then shows the window rather than run unseen.
TEST_F(ExecutableTest, WithoutANotificationAreaTheWindowShowsEvenWithTray)
{
    QProcessEnvironment noTray;
    noTray.insert(QStringLiteral("JUNKWARDEN_TRAY"), QStringLiteral("absent"));
    startProgram({QStringLiteral("/tray")}, noTray);
    ASSERT_TRUE(waitForProxies(1));
    EXPECT_FALSE(log().contains("pokaz konfiguracje")) << "not at once: the panel may still come";
    EXPECT_TRUE(waitUntil([&] { return log().contains("pokaz konfiguracje"); }, 20000)) << "the window shows";
    EXPECT_TRUE(waitUntil([&] {
        return readFile(folder.configPath() + QStringLiteral("main.cfg")).contains("tray_hint_shown=1");
    })) << "the user is told, once";
}

TEST_F(ExecutableTest, OfSeveralSimultaneousStartsExactlyOneRuns)
{
    QList<QProcess *> all;
    for (int i = 0; i < 4; ++i)
        all.append(startProgram({QStringLiteral("/tray")}));
    ASSERT_TRUE(waitUntil(
        [&] {
            int finished = 0;
            for (QProcess *p : all)
                finished += p->state() == QProcess::NotRunning ? 1 : 0;
            return finished == 3;
        },
        20000));
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

TEST_F(ExecutableTest, HoweverTheProgramEndsTheAccountsComeBackAndNothingIsLeft)
{
    const struct
    {
        const char *name;
        int signal;
    } cases[] = {
        {"SIGTERM", SIGTERM},
        {"SIGINT", SIGINT},
        {"SIGHUP", SIGHUP},
        // Below, the program runs no code of its own any more: its guardian
        // does the stop steps.
        {"SIGKILL", SIGKILL},
        {"SIGSEGV", SIGSEGV},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QProcess *program = startRouted();
        const qint64 proxy = proxyPids().last();
        ASSERT_NE(guardianPid(), 0) << "a guardian watches the program";

        QElapsedTimer since;
        since.start();
        ::kill(pid_t(program->processId()), c.signal);
        ASSERT_TRUE(program->waitForFinished(5000));
        expectCleanEnd(since, c.name);
        EXPECT_FALSE(livingProcessesIn(folder.path()).contains(proxy));
    }
    expectOneProxyOnNextStart();
}

TEST_F(ExecutableTest, ADisplayThatGoesAwayLeavesNoMailPointedAtTheProxy)
{
    QProcess server;
    const QProcessEnvironment x11 = startDisplay(server);
    if (x11.isEmpty())
        GTEST_SKIP() << "no X display server (Debian package xvfb)";
    QProcess *program = startRouted(x11);
    ASSERT_EQ(program->state(), QProcess::Running);

    QElapsedTimer since;
    since.start();
    server.kill();
    server.waitForFinished(5000);
    ASSERT_TRUE(program->waitForFinished(5000)) << "the toolkit ends the program when its display is gone";
    expectCleanEnd(since, "display server killed");
    expectOneProxyOnNextStart();
}

TEST_F(ExecutableTest, ATerminationRequestIsHonouredWhileTheStartFailureBoxIsOpen)
{
    QFile::remove(folder.file(QStringLiteral("vexel3")));
    writeFile(registryPath(), plainRegistry());
    QProcess *program = startProgram({QStringLiteral("/tray")});
    // The box "Vexel3 cant start with message: File Not Found" waits for a
    // click, after the accounts were routed.
    ASSERT_TRUE(waitUntil([&] { return readFile(registryPath()) == routedRegistry(); }));
    EXPECT_FALSE(program->waitForFinished(300)) << "the box holds the program";

    QElapsedTimer since;
    since.start();
    ::kill(pid_t(program->processId()), SIGTERM);
    ASSERT_TRUE(program->waitForFinished(5000));
    EXPECT_EQ(program->exitCode(), 0);
    expectCleanEnd(since, "SIGTERM with the start-failure box open");
}

TEST_F(ExecutableTest, RestoringGoesOnPastABadAccountAndDoesNotHoldTheExit)
{
    const QByteArray badPort = "\"POP3 Port orig\"=\"one hundred and ten\"";
    const QByteArray plain = registryOf(account(1, "ann", "pop.home.example", false)
        + account(2, "bob", "pop.work.example", false, badPort) + account(3, "cy", "pop.club.example", false));
    const QByteArray routed = registryOf(account(1, "ann", "pop.home.example", true)
        + account(2, "bob", "pop.work.example", true, badPort) + account(3, "cy", "pop.club.example", true));
    const QByteArray expected = registryOf(account(1, "ann", "pop.home.example", false)
        + account(2, "bob", "pop.work.example", true, badPort) + account(3, "cy", "pop.club.example", false));
    for (int sig : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(sig);
        writeFile(registryPath(), plain);
        captureErrors = true;
        QProcess *program = startProgram({QStringLiteral("/tray")});
        ASSERT_TRUE(waitUntil([&] { return readFile(registryPath()) == routed; }))
            << readFile(registryPath()).constData();
        ASSERT_TRUE(waitUntil([&] { return livingProxies().size() == 1; }));

        QElapsedTimer since;
        since.start();
        ::kill(pid_t(program->processId()), sig);
        ASSERT_TRUE(program->waitForFinished(5000)) << "no box holds the exit";
        EXPECT_TRUE(waitUntil(
            [&] { return readFile(registryPath()) == expected && livingProcessesIn(folder.path()).isEmpty(); }, 5000))
            << readFile(registryPath()).constData() << describeLiving(folder.path()).toStdString();
        EXPECT_LT(since.elapsed(), 5000) << "not held by a box";
        if (sig == SIGTERM) {
            EXPECT_TRUE(program->readAllStandardError().contains("bob: Invalid data type for 'POP3 Port orig'"))
                << "told once, without waiting for anyone";
        }
    }
}

TEST_F(ExecutableTest, AProxyThatEndsByItselfIsStartedAgain)
{
    setProxyBehaviour("exit-first 3");
    QProcess *program = startRouted();
    ASSERT_TRUE(waitForProxies(2)) << "noticed and started again";
    EXPECT_TRUE(waitUntil([&] { return livingProxies().size() == 1; }));
    EXPECT_EQ(readFile(registryPath()), routedRegistry()) << "the accounts stay with the filter";
    EXPECT_EQ(program->state(), QProcess::Running);

    QElapsedTimer since;
    since.start();
    ::kill(pid_t(program->processId()), SIGKILL);
    ASSERT_TRUE(program->waitForFinished(5000));
    expectCleanEnd(since, "SIGKILL after the proxy was restarted");
    EXPECT_EQ(proxyPids().size(), 2);
}

TEST_F(ExecutableTest, AProxyThatKeepsEndingIsGivenUpOnAndTheAccountsComeBack)
{
    setProxyBehaviour("exit 3");
    writeFile(registryPath(), plainRegistry());
    QElapsedTimer since;
    since.start();
    QProcess *program = startProgram({QStringLiteral("/tray")});
    ASSERT_TRUE(waitUntil([&] { return proxyPids().size() == 3 && readFile(registryPath()) == plainRegistry(); }))
        << proxyPids().size() << readFile(registryPath()).constData();
    std::printf(
        "[ measured ] proxy ending at once, 3 times: given up and accounts restored after %lld ms\n", since.elapsed());
    EXPECT_FALSE(program->waitForFinished(1500)) << "the program runs on, with the filter off";
    EXPECT_EQ(proxyPids().size(), 3) << "not started a fourth time";
    EXPECT_TRUE(livingProxies().isEmpty());

    // The box that says why is open now; a termination request still ends
    // the program at once.
    since.restart();
    ::kill(pid_t(program->processId()), SIGTERM);
    ASSERT_TRUE(program->waitForFinished(5000));
    expectCleanEnd(since, "SIGTERM with the proxy-failure box open");
}

TEST_F(ExecutableTest, TheProxyEndsWithTheProgramEvenWithoutItsGuardian)
{
    // The program and its guardian both killed: the system ends the proxy,
    // which was started to end with its program.
    QProcess *first = startRouted();
    const qint64 proxy = proxyPids().last();
    const qint64 guardian = guardianPid();
    ASSERT_NE(guardian, 0);
    ::kill(pid_t(guardian), SIGKILL);
    ::kill(pid_t(first->processId()), SIGKILL);
    ASSERT_TRUE(first->waitForFinished(5000));
    EXPECT_TRUE(waitUntil([&] { return !livingProcessesIn(folder.path()).contains(proxy); }, 5000));
}

TEST_F(ExecutableTest, AProxyLeftByAnEarlierRunIsStoppedAndNoOtherProcessIsTouched)
{
    // A proxy left running by an earlier run, named by its record (as a
    // proxy that outlived its program would be).
    qint64 orphan = 0;
    ASSERT_TRUE(QProcess::startDetached(folder.file(QStringLiteral("vexel3")), {}, folder.path(), &orphan));
    ASSERT_TRUE(waitUntil([&] { return proxyPids().contains(orphan); }));
    writeProxyRecord(orphan);
    ASSERT_EQ(livingProxies(), QList<qint64>{orphan});

    QProcess *second = startRouted();
    EXPECT_TRUE(waitUntil([&] { return livingProxies().size() == 1; })) << livingProxies().size();
    EXPECT_FALSE(livingProxies().contains(orphan)) << "the leftover was stopped";
    ::kill(pid_t(second->processId()), SIGTERM);
    ASSERT_TRUE(second->waitForFinished(5000));
    QElapsedTimer since;
    since.start();
    expectCleanEnd(since, "SIGTERM after a leftover proxy was stopped");

    // A record that names a process which is not that proxy: same id and
    // start time, another program. It is left alone.
    QProcess other;
    other.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(other.waitForStarted(5000));
    writeProxyRecord(other.processId());
    QProcess *third = startRouted();
    EXPECT_EQ(other.state(), QProcess::Running) << "not ours: never touched";
    ::kill(pid_t(third->processId()), SIGTERM);
    ASSERT_TRUE(third->waitForFinished(5000));
    other.kill();
    other.waitForFinished(5000);
}

// On a desktop whose notification area speaks StatusNotifierItem over D-Bus
// (and has no X tray), "/tray" puts the icon there: the item registers with
// the host, shows the program's tip and picture, and no window or hint comes.
TEST_F(ExecutableTest, TheIconAppearsInAStatusNotifierHost)
{
    QProcess display;
    QProcessEnvironment desktop = startDisplay(display);
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (desktop.isEmpty() || daemon.isEmpty())
        GTEST_SKIP() << "needs Xvfb and dbus-daemon (Debian packages xvfb, dbus-daemon)";
    const QString address = QStringLiteral("unix:path=") + runtime.filePath(QStringLiteral("bus"));
    QProcess bus;
    bus.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bus.start(
        daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--address=") + address});
    ASSERT_TRUE(bus.waitForStarted(5000));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(runtime.filePath(QStringLiteral("bus"))); }));
    {
        QDBusConnection connection = QDBusConnection::connectToBus(address, QStringLiteral("jw-desktop"));
        ASSERT_TRUE(connection.isConnected()) << connection.lastError().message().toStdString();
        StatusNotifierWatcher watcher;
        ASSERT_TRUE(connection.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
            QDBusConnection::ExportScriptableContents | QDBusConnection::ExportAllProperties));
        ASSERT_TRUE(connection.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));

        desktop.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        desktop.insert(QStringLiteral("JUNKWARDEN_TRAY"), QString()); // as Qt finds it
        QProcess *program = startProgram({QStringLiteral("/tray")}, desktop);
        ASSERT_TRUE(waitUntil([&] { return !watcher.registered.isEmpty(); }, 20000)) << "no item registered";

        const QString item = watcher.registered.first().section(QLatin1Char('/'), 0, 0);
        auto property = [&](const char *name) {
            QDBusMessage get = QDBusMessage::createMethodCall(item, QStringLiteral("/StatusNotifierItem"),
                QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
            get.setArguments({QStringLiteral("org.kde.StatusNotifierItem"), QLatin1String(name)});
            // Asked without blocking: the program may be asking this side meanwhile.
            QDBusPendingCall pending = connection.asyncCall(get, 5000);
            waitUntil([&] { return pending.isFinished(); }, 10000);
            const QDBusMessage reply = pending.reply();
            EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << name << ": " << reply.errorMessage().toStdString();
            return reply.arguments().value(0).value<QDBusVariant>().variant().value<QDBusArgument>();
        };
        // Pictures as the protocol sends them: (width, height, ARGB bytes).
        auto countPictures = [](const QDBusArgument &pictures) {
            int count = 0;
            pictures.beginArray();
            while (!pictures.atEnd()) {
                int width = 0, height = 0;
                QByteArray argb;
                pictures.beginStructure();
                pictures >> width >> height >> argb;
                pictures.endStructure();
                count += width > 0 && argb.size() == qsizetype(width) * height * 4;
            }
            pictures.endArray();
            return count;
        };
        EXPECT_GT(countPictures(property("IconPixmap")), 0) << "the item carries the icon's picture";
        // The tip: (icon name, pictures, title, text).
        const QDBusArgument tip = property("ToolTip");
        QString iconName, title, text;
        tip.beginStructure();
        tip >> iconName;
        countPictures(tip);
        tip >> title >> text;
        tip.endStructure();
        const QString shown = title + QLatin1Char(' ') + text;
        EXPECT_TRUE(shown.contains(QLatin1String("Junkwarden"))) << shown.toStdString();

        EXPECT_FALSE(log().contains("pokaz konfiguracje")) << "the icon is there: no window";
        EXPECT_FALSE(readFile(folder.configPath() + QStringLiteral("main.cfg")).contains("tray_hint_shown"));
        program->terminate();
        EXPECT_TRUE(program->waitForFinished(5000));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("jw-desktop"));
    bus.terminate();
    bus.waitForFinished(5000);
    display.terminate();
    display.waitForFinished(5000);
}

// A mail program still runs on routed accounts when the program ends (its
// accounts cannot be changed until it closes), so the guardian serves them
// with a proxy of its own meanwhile, then points them back and stops it:
// Thunderbird (holding its profile's lock) after a termination request,
// Claws Mail (listening on its socket) after the program was killed.
TEST_F(ExecutableTest, AMailProgramStillRunningAtTheEndIsServedUntilItCloses)
{
    const QString home = runtime.filePath(QStringLiteral("home"));
    const QString profile = home + QStringLiteral("/.thunderbird/p.default");
    const QString claws = home + QStringLiteral("/.claws-mail");
    QDir().mkpath(profile);
    QDir().mkpath(claws);
    QDir().mkpath(runtime.filePath(QStringLiteral("claws-mail")));
    writeFile(home + QStringLiteral("/.thunderbird/profiles.ini"), "[Profile0]\nName=default\nPath=p.default\n");
    const struct
    {
        const char *program;
        QString file;
        QByteArray plain;
        QByteArray routed;
        int signal;
    } cases[] = {
        {"Thunderbird", profile + QStringLiteral("/prefs.js"),
            "user_pref(\"mail.account.account1.server\", \"server1\");\n"
            "user_pref(\"mail.accountmanager.accounts\", \"account1\");\n"
            "user_pref(\"mail.server.server1.hostname\", \"pop.example.com\");\n"
            "user_pref(\"mail.server.server1.junkwarden.route\", true);\n"
            "user_pref(\"mail.server.server1.type\", \"pop3\");\n"
            "user_pref(\"mail.server.server1.userName\", \"ann\");\n",
            "\"ann,pop.example.com\"", SIGTERM},
        {"Claws Mail", claws + QStringLiteral("/accountrc"),
            "[Account: 1]\naccount_name=Ann\nprotocol=0\nreceive_server=pop.example.com\nuser_id=ann\nssl_pop=0\n\n",
            "user_id=ann,pop.example.com", SIGKILL},
    };
    // Claws Mail drops keys it does not know: the flag is in the program's record.
    writeFile(folder.file(QStringLiteral("state/mailclients.json")),
        "{\"accounts\": [{\"source\": \"Claws Mail\", \"key\": \"" + claws.toUtf8() + "#1\", \"flagged\": true}]}");
    writeFile(registryPath(), registryOf({}));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.program);
        for (const auto &other : cases)
            writeFile(other.file, other.plain);
        QProcess *program = startProgram({QStringLiteral("/tray")});
        ASSERT_TRUE(waitUntil([&] { return readFile(c.file).contains(c.routed); })) << "routed at start";

        std::unique_ptr<RunningThunderbird> thunderbird;
        QLocalServer clawsSocket;
        if (c.signal == SIGTERM) {
            thunderbird = std::make_unique<RunningThunderbird>(profile);
            ASSERT_TRUE(thunderbird->holdsLock());
        } else {
            ASSERT_TRUE(clawsSocket.listen(runtime.filePath(QStringLiteral("claws-mail/"))
                + QString::fromLatin1(QCryptographicHash::hash(claws.toUtf8(), QCryptographicHash::Md5).toHex())));
        }
        ::kill(pid_t(program->processId()), c.signal);
        ASSERT_TRUE(program->waitForFinished(5000));
        EXPECT_TRUE(waitUntil([&] { return !livingProxies().isEmpty(); }))
            << "a proxy serves it" << describeLiving(folder.path()).toStdString();
        EXPECT_TRUE(readFile(c.file).contains(c.routed)) << "left routed while it runs";

        // It closes: Thunderbird writes its files and lets go of its lock,
        // Claws Mail removes its socket.
        if (thunderbird)
            thunderbird->close();
        clawsSocket.close();
        EXPECT_TRUE(
            waitUntil([&] { return readFile(c.file) == c.plain && livingProcessesIn(folder.path()).isEmpty(); }, 15000))
            << readFile(c.file).constData() << describeLiving(folder.path()).toStdString();
    }
}

} // namespace
} // namespace jw::test

#include "executable_test.moc"

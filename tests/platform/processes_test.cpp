#include "platform/guardianline.h"
#include "platform/processes.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace jw::test {
namespace {

class ProcessesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        copyStagedProgram(folder);
        writeFile(folder.file(QStringLiteral("companions.log")), "");
    }

    QString script(const char *name, const QByteArray &body)
    {
        const QString path = folder.file(QLatin1String(name));
        writeFile(path, "#!/bin/sh\n" + body);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return path;
    }

    TempProgramFolder folder;
    std::unique_ptr<Processes> processes = createSystemProcesses();
};

TEST_F(ProcessesTest, StartAliveKillWithSignalNine)
{
    const StartResult result =
        processes->start(folder.file(QStringLiteral("vexel3")), Processes::Lifetime::Independent);
    ASSERT_TRUE(result.started);
    EXPECT_TRUE(waitUntil([&] { return readFile(folder.file(QStringLiteral("companions.log"))).contains("vexel3 "); }));
    EXPECT_TRUE(processes->isAlive(result.pid));
    EXPECT_EQ(processes->kill(result.pid), 9);
    EXPECT_FALSE(processes->isAlive(result.pid));
    EXPECT_EQ(processes->kill(result.pid), -1) << "a second kill finds nothing to kill";
}

TEST_F(ProcessesTest, AnEndedChildIsNotAliveEvenBeforeItIsReaped)
{
    const StartResult result =
        processes->start(folder.file(QStringLiteral("update")), Processes::Lifetime::Independent);
    ASSERT_TRUE(result.started);
    // Until reaped, the ended child is a zombie that kill(pid, 0) still finds.
    EXPECT_TRUE(waitUntil([&] { return !processes->isAlive(result.pid); }));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/proc/%1").arg(result.pid))) << "reaped";
    EXPECT_FALSE(processes->isAlive(0));
    EXPECT_FALSE(processes->isAlive(getpid())) << "not a child of ours";
}

TEST_F(ProcessesTest, ReleasedChildrenAreReapedWhenTheyEnd)
{
    const StartResult result =
        processes->start(folder.file(QStringLiteral("update")), Processes::Lifetime::Independent);
    ASSERT_TRUE(result.started);
    processes->release(result.pid);
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(QStringLiteral("/proc/%1").arg(result.pid)); }));
}

TEST_F(ProcessesTest, ChildGetsNullStreamsNoDescriptorsNoArgumentsOwnSession)
{
    for (Processes::Lifetime lifetime : {Processes::Lifetime::Independent, Processes::Lifetime::EndsWithThisProcess}) {
        SCOPED_TRACE(int(lifetime));
        // A descriptor this process holds open without close-on-exec.
        const QString marker = folder.file(QStringLiteral("inherited-marker"));
        writeFile(marker, "x");
        const int leaked = ::open(QFile::encodeName(marker).constData(), O_RDONLY);
        ASSERT_GE(leaked, 0);

        const QString report = folder.file(QStringLiteral("report"));
        const QString program = script("probe",
            "for f in /proc/$$/fd/*; do echo \"$(basename $f) $(readlink $f)\"; done > '" + QFile::encodeName(report)
                + "'\n"
                  "echo \"args $#\" >> '"
                + QFile::encodeName(report)
                + "'\n"
                  "echo \"sid $(cut -d' ' -f6 /proc/$$/stat) pid $$\" >> '"
                + QFile::encodeName(report)
                + "'\n"
                  "echo \"cwd $(pwd)\" >> '"
                + QFile::encodeName(report) + "'\n");
        const StartResult result = processes->start(program, lifetime);
        ::close(leaked);
        ASSERT_TRUE(result.started);
        ASSERT_TRUE(waitUntil([&] { return !processes->isAlive(result.pid); }));
        const QByteArray text = readFile(report);
        EXPECT_TRUE(text.contains("0 /dev/null\n")) << text.constData();
        EXPECT_TRUE(text.contains("1 /dev/null\n"));
        EXPECT_TRUE(text.contains("2 /dev/null\n"));
        EXPECT_FALSE(text.contains("inherited-marker")) << text.constData();
        EXPECT_TRUE(text.contains("args 0\n"));
        const QByteArray session = "sid " + QByteArray::number(result.pid) + " pid " + QByteArray::number(result.pid);
        EXPECT_TRUE(text.contains(session)) << "detached into its own session";
        const QByteArray cwd = "cwd " + QFile::encodeName(QDir::currentPath()) + "\n";
        EXPECT_TRUE(text.contains(cwd)) << "current folder inherited";
    }
}

TEST_F(ProcessesTest, StartFailuresMapToTheProgramsNumbers)
{
    const QString plain = folder.file(QStringLiteral("not-executable"));
    writeFile(plain, "data");
    const struct
    {
        const char *name;
        QString path;
        int code;
        bool known;
    } cases[] = {
        {"missing file", folder.file(QStringLiteral("absent")), 2, true},
        {"through a file", plain + QStringLiteral("/child"), 3, true},
        {"not executable", plain, 5, true},
    };
    for (const auto &c : cases) {
        for (Processes::Lifetime lifetime :
            {Processes::Lifetime::Independent, Processes::Lifetime::EndsWithThisProcess}) {
            SCOPED_TRACE(std::string(c.name) + (lifetime == Processes::Lifetime::Independent ? "" : ", tied"));
            const StartResult result = processes->start(c.path, lifetime);
            EXPECT_FALSE(result.started);
            EXPECT_EQ(result.errorCode, c.code);
            EXPECT_EQ(result.knownError, c.known);
        }
    }
    // A file the system cannot run at all (no interpreter line, not a
    // program) is reported by the system's own number.
    const QString garbage = folder.file(QStringLiteral("garbage"));
    writeFile(garbage,
        QByteArray("\x7f"
                   "ELF\x01\x01",
            6));
    QFile::setPermissions(garbage, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const StartResult result = processes->start(garbage, Processes::Lifetime::EndsWithThisProcess);
    EXPECT_FALSE(result.started);
    EXPECT_FALSE(result.knownError);
    EXPECT_EQ(result.errorCode, ENOEXEC);
}

TEST_F(ProcessesTest, ATiedChildEndsWhenItsParentIsKilled)
{
    // A parent of our own making, killed as a crash would end it.
    const QString pidFile = folder.file(QStringLiteral("tied-child"));
    const pid_t parent = ::fork();
    if (parent == 0) {
        std::unique_ptr<Processes> own = createSystemProcesses();
        const StartResult child =
            own->start(folder.file(QStringLiteral("vexel3")), Processes::Lifetime::EndsWithThisProcess);
        const QByteArray line = QByteArray::number(child.pid) + '\n';
        const int fd = ::open(QFile::encodeName(pidFile).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        (void)!::write(fd, line.constData(), size_t(line.size()));
        ::close(fd);
        for (;;)
            ::pause();
    }
    ASSERT_GT(parent, 0);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(pidFile) && readFile(pidFile).endsWith('\n'); }));
    const qint64 child = readFile(pidFile).trimmed().toLongLong();
    ASSERT_TRUE(waitUntil([&] { return !processes->identify(child).isEmpty(); }));
    ::kill(parent, SIGKILL);
    int status = 0;
    ::waitpid(parent, &status, 0);
    EXPECT_TRUE(waitUntil([&] { return processes->identify(child).isEmpty(); }, 5000)) << "ended with its parent";
}

TEST_F(ProcessesTest, EndsAreToldByExitCodeOrSignal)
{
    const struct
    {
        const char *body;
        bool bySignal;
        int code;
    } cases[] = {
        {"exit 3\n", false, 3},
        {"exit 0\n", false, 0},
        {"kill -SEGV $$\n", true, SIGSEGV},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.body);
        const StartResult result = processes->start(script("ender", c.body), Processes::Lifetime::EndsWithThisProcess);
        ASSERT_TRUE(result.started);
        ASSERT_TRUE(waitUntil([&] { return !processes->isAlive(result.pid); }));
        const std::optional<ProcessEnd> end = processes->endOf(result.pid);
        ASSERT_TRUE(end.has_value());
        EXPECT_EQ(end->bySignal, c.bySignal);
        EXPECT_EQ(end->code, c.code);
        EXPECT_FALSE(processes->endOf(result.pid).has_value()) << "told once";
    }
}

TEST_F(ProcessesTest, OnlyTheIdentifiedProcessIsKilledWhoeverItsParentIs)
{
    const QString proxy = folder.file(QStringLiteral("vexel3"));
    const StartResult result = processes->start(proxy, Processes::Lifetime::EndsWithThisProcess);
    ASSERT_TRUE(result.started);
    const ProcessIdentity identity = processes->identify(result.pid);
    EXPECT_EQ(identity.pid, result.pid);
    EXPECT_GT(identity.startTime, 0u);
    EXPECT_EQ(identity.executable, QFile::encodeName(QFileInfo(proxy).canonicalFilePath()));
    EXPECT_EQ(processes->identify(result.pid), identity) << "stable";

    // Ids are reused: a record that differs in anything names another
    // process, which is never touched.
    for (ProcessIdentity other : {identity, identity}) {
        if (other.startTime == identity.startTime)
            other.startTime += 1;
        EXPECT_TRUE(processes->killIdentified(other));
        EXPECT_TRUE(processes->isAlive(result.pid));
        other = identity;
        other.executable = "/usr/bin/vexel3";
        EXPECT_TRUE(processes->killIdentified(other));
        EXPECT_TRUE(processes->isAlive(result.pid));
    }
    EXPECT_TRUE(processes->killIdentified(identity));
    EXPECT_FALSE(processes->isAlive(result.pid));
    EXPECT_TRUE(processes->identify(result.pid).isEmpty());
    EXPECT_TRUE(processes->killIdentified(identity)) << "gone already";

    // Not a child of this process (as for a guardian, whose proxy belongs to
    // the program that ended): a grandchild, left to init.
    const QString pidFile = folder.file(QStringLiteral("grandchild"));
    const StartResult parent = processes->start(
        script("spawner",
            "'" + QFile::encodeName(proxy) + "' & echo $! > '" + QFile::encodeName(pidFile) + ".part' && mv '"
                + QFile::encodeName(pidFile) + ".part' '" + QFile::encodeName(pidFile) + "'\n"),
        Processes::Lifetime::Independent);
    ASSERT_TRUE(parent.started);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(pidFile) && !processes->isAlive(parent.pid); }));
    const qint64 grandchild = readFile(pidFile).trimmed().toLongLong();
    ASSERT_TRUE(waitUntil([&] { return processes->identify(grandchild).executable.endsWith("/vexel3"); }));
    EXPECT_TRUE(processes->killIdentified(processes->identify(grandchild)));
    EXPECT_TRUE(processes->identify(grandchild).isEmpty()) << "ended (a zombie until its new parent reaps it)";
    EXPECT_TRUE(processes->identify(0).isEmpty());
    EXPECT_TRUE(processes->identify(999999999).isEmpty());
}

TEST_F(ProcessesTest, TheGuardianHearsEveryMessageAndOutlivesTheLine)
{
    const QString heard = folder.file(QStringLiteral("heard"));
    const QByteArray heardPath = QFile::encodeName(heard);
    // A descriptor of the program's that must not stay open in the guardian.
    const int programsOwn = ::open("/dev/zero", O_RDONLY);
    std::unique_ptr<GuardianLine> line = forkGuardian([&heardPath](GuardianInbox &inbox) {
        // Plain system calls only: the test process has threads.
        const int fd = ::open(heardPath.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        const QByteArray start =
            QByteArray::number(qint64(::getpid())) + " " + QByteArray::number(qint64(::getsid(0))) + "\n";
        (void)!::write(fd, start.constData(), size_t(start.size()));
        while (const std::optional<QByteArray> message = inbox.next()) {
            const QByteArray heardLine = *message + '\n';
            (void)!::write(fd, heardLine.constData(), size_t(heardLine.size()));
        }
        // Still able to act after the program is gone: standard error is
        // all it keeps of the program's descriptors besides the line.
        const QByteArray end = "end " + QByteArray::number(QDir(QStringLiteral("/proc/self/fd")).count() - 2) + '\n';
        (void)!::write(fd, end.constData(), size_t(end.size()));
        ::close(fd);
    });
    ::close(programsOwn);
    ASSERT_NE(line, nullptr);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(heard) && readFile(heard).contains('\n'); }));
    const QList<QByteArray> first = readFile(heard).split('\n').first().split(' ');
    const qint64 guardian = first.value(0).toLongLong();
    EXPECT_EQ(first.value(1).toLongLong(), guardian) << "in a session of its own";

    EXPECT_TRUE(line->send("routed"));
    EXPECT_TRUE(line->send(QByteArray(5000, 'x')));
    // Termination requests are not for the guardian: it ends when its work
    // is done.
    ::kill(pid_t(guardian), SIGTERM);
    ::kill(pid_t(guardian), SIGHUP);
    EXPECT_TRUE(line->send("noproxy"));
    line.reset();
    const QByteArray expected =
        readFile(heard).split('\n').first() + "\nrouted\n" + QByteArray(5000, 'x') + "\nnoproxy\nend 6\n";
    EXPECT_EQ(readFile(heard).toStdString(), expected.toStdString())
        << "descriptors: 0, 1, 2, the line, its own file and the folder it lists";
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/proc/%1").arg(guardian))) << "waited for and reaped";
}

} // namespace
} // namespace jw::test

#include "platform/processes.h"

#include "support/testfiles.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
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
    const StartResult result = processes->start(folder.file(QStringLiteral("vexel3")));
    ASSERT_TRUE(result.started);
    EXPECT_TRUE(waitUntil([&] { return readFile(folder.file(QStringLiteral("companions.log"))).contains("vexel3 "); }));
    EXPECT_TRUE(processes->isAlive(result.pid));
    EXPECT_EQ(processes->kill(result.pid), 9);
    EXPECT_FALSE(processes->isAlive(result.pid));
    EXPECT_EQ(processes->kill(result.pid), -1) << "a second kill finds nothing to kill";
}

TEST_F(ProcessesTest, AnEndedChildIsNotAliveEvenBeforeItIsReaped)
{
    const StartResult result = processes->start(folder.file(QStringLiteral("PostPing")));
    ASSERT_TRUE(result.started);
    // Until reaped, the ended child is a zombie that kill(pid, 0) still finds.
    EXPECT_TRUE(waitUntil([&] { return !processes->isAlive(result.pid); }));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/proc/%1").arg(result.pid))) << "reaped";
    EXPECT_FALSE(processes->isAlive(0));
    EXPECT_FALSE(processes->isAlive(getpid())) << "not a child of ours";
}

TEST_F(ProcessesTest, ReleasedChildrenAreReapedWhenTheyEnd)
{
    const StartResult result = processes->start(folder.file(QStringLiteral("PostPing")));
    ASSERT_TRUE(result.started);
    processes->release(result.pid);
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(QStringLiteral("/proc/%1").arg(result.pid)); }));
}

TEST_F(ProcessesTest, ChildGetsNullStreamsNoDescriptorsNoArgumentsOwnSession)
{
    // A descriptor this process holds open without close-on-exec.
    const QString marker = folder.file(QStringLiteral("inherited-marker"));
    writeFile(marker, "x");
    const int leaked = ::open(QFile::encodeName(marker).constData(), O_RDONLY);
    ASSERT_GE(leaked, 0);

    const QString report = folder.file(QStringLiteral("report"));
    const QString program = script("probe",
                                   "for f in /proc/$$/fd/*; do echo \"$(basename $f) $(readlink $f)\"; done > '"
                                       + QFile::encodeName(report) + "'\n"
                                       "echo \"args $#\" >> '" + QFile::encodeName(report) + "'\n"
                                       "echo \"sid $(cut -d' ' -f6 /proc/$$/stat) pid $$\" >> '"
                                       + QFile::encodeName(report) + "'\n"
                                       "echo \"cwd $(pwd)\" >> '" + QFile::encodeName(report) + "'\n");
    const StartResult result = processes->start(program);
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
    EXPECT_TRUE(text.contains(session))
        << "detached into its own session";
    const QByteArray cwd = "cwd " + QFile::encodeName(QDir::currentPath()) + "\n";
    EXPECT_TRUE(text.contains(cwd)) << "current folder inherited";
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
        SCOPED_TRACE(c.name);
        const StartResult result = processes->start(c.path);
        EXPECT_FALSE(result.started);
        EXPECT_EQ(result.errorCode, c.code);
        EXPECT_EQ(result.knownError, c.known);
    }
    // A file the system cannot run at all (no interpreter line, not a
    // program) is reported by the system's own number.
    const QString garbage = folder.file(QStringLiteral("garbage"));
    writeFile(garbage, QByteArray("\x7f" "ELF\x01\x01", 6));
    QFile::setPermissions(garbage, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const StartResult result = processes->start(garbage);
    EXPECT_FALSE(result.started);
    EXPECT_FALSE(result.knownError);
    EXPECT_EQ(result.errorCode, ENOEXEC);
}

} // namespace
} // namespace jw::test

#include "platform/singleinstance.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace jw::test {
namespace {

TEST(SingleInstance, SecondCopyDeliversTheShowRequest)
{
    QTemporaryDir runtime;
    const auto first = createSystemSingleInstance(runtime.path());
    ASSERT_TRUE(first->becomePrimary());
    int shown = 0;
    QObject::connect(first.get(), &SingleInstance::showRequested, [&shown] { ++shown; });

    const auto second = createSystemSingleInstance(runtime.path());
    EXPECT_FALSE(second->becomePrimary());
    EXPECT_TRUE(second->sendShowRequest());
    EXPECT_TRUE(waitUntil([&] { return shown == 1; }));
}

TEST(SingleInstance, GarbageOnTheChannelShowsNothing)
{
    QTemporaryDir runtime;
    const auto first = createSystemSingleInstance(runtime.path());
    ASSERT_TRUE(first->becomePrimary());
    int shown = 0;
    QObject::connect(first.get(), &SingleInstance::showRequested, [&shown] { ++shown; });

    QLocalSocket socket;
    socket.connectToServer(runtime.path() + QStringLiteral("/junkwarden.socket"));
    ASSERT_TRUE(socket.waitForConnected(2000));
    socket.write(QByteArray(200, 'x'));
    socket.flush();
    EXPECT_TRUE(waitUntil([&] { return socket.state() == QLocalSocket::UnconnectedState; }, 5000))
        << "the running copy drops a client that talks nonsense";
    EXPECT_EQ(shown, 0);
}

TEST(SingleInstance, StaleLockAndSocketOfADeadCopyDoNotBlock)
{
    QTemporaryDir runtime;
    // A lock naming a process that does not exist, and a socket file left
    // behind with nobody listening.
    writeFile(runtime.filePath(QStringLiteral("junkwarden.lock")), "999999\njunkwarden\n\n");
    writeFile(runtime.filePath(QStringLiteral("junkwarden.socket")), "");
    const auto copy = createSystemSingleInstance(runtime.path());
    ASSERT_TRUE(copy->becomePrimary());
    int shown = 0;
    QObject::connect(copy.get(), &SingleInstance::showRequested, [&shown] { ++shown; });
    const auto later = createSystemSingleInstance(runtime.path());
    EXPECT_FALSE(later->becomePrimary());
    EXPECT_TRUE(later->sendShowRequest());
    EXPECT_TRUE(waitUntil([&] { return shown == 1; }));
}

// A lock left by a run under another user id (one that crashed under sudo)
// must not block this user's start: tried by a child that has become the
// "nobody" user, in its own runtime folder holding root's lock file.
TEST(SingleInstance, LockOfAnotherUserDoesNotBlock)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to leave a lock owned by another user";
    QTemporaryDir runtime;
    const QByteArray folder = QFile::encodeName(runtime.path());
    const QByteArray lock = folder + "/junkwarden.lock";
    writeFile(runtime.filePath(QStringLiteral("junkwarden.lock")), "4242\n");
    ASSERT_EQ(::chmod(lock.constData(), 0600), 0);
    ASSERT_EQ(::chown(folder.constData(), 65534, 65534), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        const auto copy = createSystemSingleInstance(runtime.path());
        const bool primary = copy->becomePrimary();
        ::_exit(!primary ? 1 : !copy->lockProblem().isEmpty() ? 2 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: blocked, 2: no lock taken, 3: could not become nobody";
    struct stat info = {};
    ASSERT_EQ(::stat(lock.constData(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u) << "the foreign lock was replaced by the user's own";
}

// Where no lock can be made at all, the copy runs and says why.
TEST(SingleInstance, NoLockAtAllIsReportedNotSilent)
{
    QTemporaryDir runtime;
    QDir().mkpath(runtime.filePath(QStringLiteral("junkwarden.lock/inside"))); // a folder in the lock's place
    const auto copy = createSystemSingleInstance(runtime.path());
    EXPECT_TRUE(copy->becomePrimary());
    EXPECT_TRUE(
        copy->lockProblem().startsWith(runtime.filePath(QStringLiteral("junkwarden.lock")) + QStringLiteral(": ")));
}

TEST(SingleInstance, ShowRequestWithNobodyListeningGivesUp)
{
    QTemporaryDir runtime;
    const auto lone = createSystemSingleInstance(runtime.path());
    EXPECT_FALSE(lone->sendShowRequest());
}

} // namespace
} // namespace jw::test

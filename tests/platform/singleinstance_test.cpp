#include "platform/singleinstance.h"

#include "support/testfiles.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

TEST(SingleInstance, ShowRequestWithNobodyListeningGivesUp)
{
    QTemporaryDir runtime;
    const auto lone = createSystemSingleInstance(runtime.path());
    EXPECT_FALSE(lone->sendShowRequest());
}

} // namespace
} // namespace jw::test

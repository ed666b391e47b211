#include "accounts/accountrouting.h"
#include "accounts/clawsmailsource.h"
#include "clawsmail/accountrc.h"
#include "platform/registry.h"
#include "support/testfiles.h"

#include <QDir>
#include <QLocalServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace jw::test {
namespace {

// accountrc as Claws Mail 4.1 writes it (shortened): a POP3 account with
// STARTTLS, one that signs in with OAuth 2.0; and its record of mail
// already downloaded for the first.
constexpr char kAccountRc[] = "[Account: 1]\n"
                              "account_name=Ann at home\n"
                              "is_default=1\n"
                              "protocol=0\n"
                              "receive_server=pop.example.com\n"
                              "user_id=ann\n"
                              "use_pop_auth=0\n"
                              "pop_auth_method=0\n"
                              "ssl_pop=2\n"
                              "\n"
                              "[Account: 2]\n"
                              "account_name=carol@outlook.com\n"
                              "protocol=0\n"
                              "receive_server=outlook.office365.com\n"
                              "user_id=carol@outlook.com\n"
                              "use_pop_auth=1\n"
                              "pop_auth_method=2\n"
                              "set_popport=1\n"
                              "pop_port=995\n"
                              "ssl_pop=1\n"
                              "\n";
constexpr char kUidl[] = "0000001a 1796000000\n0000001b 1796000100\n";

class ClawsHome : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir().mkpath(claws() + QStringLiteral("/uidl"));
        writeFile(accountRc(), kAccountRc);
        writeFile(claws() + QStringLiteral("/uidl/pop.example.com-ann"), kUidl);
        writeFile(folder.configPath() + QStringLiteral("main.cfg"), "server_port=1110\r\n");
        QDir().mkpath(runtime.filePath(QStringLiteral("claws-mail")));
    }
    QString home() const { return folder.path() + QStringLiteral("home"); }
    QString claws() const { return clawsmail::configFolder(home()); }
    QString accountRc() const { return claws() + QStringLiteral("/accountrc"); }
    QString routedUidl() const { return claws() + QStringLiteral("/uidl/localhost-ann,pop.example.com"); }
    ClientPlaces places() const { return {home(), folder.path() + QStringLiteral("state")}; }
    ClawsMailSource source() const { return ClawsMailSource(places(), runtime.path()); }
    std::unique_ptr<AccountRouting> routing(Registry &registry) const
    {
        std::vector<std::unique_ptr<MailClientSource>> sources;
        sources.push_back(std::make_unique<ClawsMailSource>(places(), runtime.path()));
        return std::make_unique<AccountRouting>(registry, folder.configPath(), std::move(sources));
    }
    // A Claws Mail running on the folder: its socket takes connections.
    std::unique_ptr<QLocalServer> runClaws() const
    {
        auto server = std::make_unique<QLocalServer>();
        EXPECT_TRUE(server->listen(clawsmail::socketPath(claws(), runtime.path())));
        return server;
    }

    TempProgramFolder folder;
    QTemporaryDir runtime;
};

TEST_F(ClawsHome, RoutesAndRestoresByteForByteWithItsRecordOfDownloadedMail)
{
    QList<AccountRow> rows = source().find(1110);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].blocked, AccountRow::Blocked::None);
    EXPECT_EQ(rows[1].blocked, AccountRow::Blocked::Login) << "OAuth 2.0 inside Claws cannot pass through";
    rows[0].routed = true;
    EXPECT_TRUE(source().save(rows, 1110, true).refused.isEmpty());
    const QByteArray routed = readFile(accountRc());
    EXPECT_TRUE(routed.contains("receive_server=localhost\nuser_id=ann,pop.example.com\nuse_pop_auth=0\n"
                                "pop_auth_method=0\nssl_pop=0\nset_popport=1\npop_port=1110\n"));
    EXPECT_TRUE(routed.endsWith(QByteArray(kAccountRc).mid(QByteArray(kAccountRc).indexOf("[Account: 2]"))));
    EXPECT_EQ(readFile(routedUidl()), kUidl) << "nothing is downloaded twice";

    // Listed as it really is, ticked; the proxy finds the real server.
    const QList<AccountRow> listed = source().find(1110);
    EXPECT_TRUE(listed[0].routed);
    EXPECT_EQ(listed[0].server, QStringLiteral("pop.example.com"));
    EXPECT_EQ(listed[0].user, QStringLiteral("ann"));
    EXPECT_EQ(listed[0].port, QStringLiteral("110"));
    const std::optional<UpstreamAccount> upstream =
        source().upstream(QStringLiteral("ann"), QStringLiteral("POP.example.com"));
    ASSERT_TRUE(upstream);
    EXPECT_EQ(upstream->port, 110);
    EXPECT_TRUE(upstream->tlsRequired && !upstream->implicitTls) << "STARTTLS";

    // Mail fetched while routed; the filter switched off and on again.
    writeFile(routedUidl(), QByteArray(kUidl) + "0000001c 1796000200\n");
    MemoryRegistry registry;
    const auto tray = routing(registry);
    EXPECT_TRUE(tray->DeConfigureMail().isEmpty());
    EXPECT_EQ(readFile(accountRc()), kAccountRc) << "byte for byte";
    EXPECT_EQ(
        readFile(claws() + QStringLiteral("/uidl/pop.example.com-ann")), QByteArray(kUidl) + "0000001c 1796000200\n");
    tray->ConfigureMail();
    EXPECT_EQ(readFile(accountRc()), routed);

    // Unticked and saved: plain again, and nothing left to remember.
    rows[0].routed = false;
    source().save(rows, 1110, true);
    EXPECT_EQ(readFile(accountRc()), kAccountRc);
    EXPECT_FALSE(readFile(folder.path() + QStringLiteral("state/mailclients.json")).contains("pop.example.com"));
}

TEST_F(ClawsHome, ChangesWaitWhileClawsRunsAndAreMadeOnceItClosesOrDies)
{
    QList<AccountRow> rows = source().find(1110);
    rows[0].routed = true;
    source().save(rows, 1110, false);
    ASSERT_EQ(readFile(accountRc()), kAccountRc) << "filter off: only flagged";
    MemoryRegistry registry;
    const auto tray = routing(registry);
    {
        const auto claws = runClaws();
        tray->ConfigureMail();
        EXPECT_EQ(readFile(accountRc()), kAccountRc) << "Claws would write its own copy back on exit";
        EXPECT_EQ(tray->waiting(), MailRouting::Waiting::ToRoute);
        EXPECT_EQ(tray->waitingPrograms(), QStringList{QStringLiteral("Claws Mail")});
    } // Claws closes: its socket goes.
    EXPECT_TRUE(waitUntil([&] { return readFile(accountRc()).contains("user_id=ann,pop.example.com"); }));
    EXPECT_EQ(tray->waiting(), MailRouting::Waiting::Nothing);

    // Killed while a restore waits: its socket file stays, but nothing answers.
    const QString socket = clawsmail::socketPath(claws(), runtime.path());
    auto claws = runClaws();
    EXPECT_TRUE(tray->DeConfigureMail().isEmpty()) << "waiting is no problem";
    EXPECT_EQ(tray->waiting(), MailRouting::Waiting::ToRestore);
    claws.reset();
    writeFile(socket, ""); // what a killed Claws leaves behind
    EXPECT_TRUE(waitUntil([&] { return readFile(accountRc()) == kAccountRc; }, 15000));
    EXPECT_EQ(tray->waiting(), MailRouting::Waiting::Nothing);
}

TEST_F(ClawsHome, AnUnreadableRecordChangesNothing)
{
    QList<AccountRow> rows = source().find(1110);
    rows[0].routed = true;
    source().save(rows, 1110, true);
    const QByteArray routed = readFile(accountRc());
    writeFile(folder.path() + QStringLiteral("state/mailclients.json"), "{ not json");
    const ClientChange change = source().restore(source().places());
    ASSERT_EQ(change.refused.size(), 1);
    EXPECT_TRUE(change.refused[0].contains(QStringLiteral("cannot be read"))) << change.refused[0].toStdString();
    EXPECT_EQ(readFile(accountRc()), routed) << "what to undo is unknown: left as it is";
    const QList<AccountRow> listed = source().find(1110);
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].blocked, AccountRow::Blocked::Profile);
}

} // namespace
} // namespace jw::test

#include "accounts/accountrouting.h"
#include "accounts/thunderbirdsource.h"
#include "platform/registry.h"
#include "support/profilelock.h"
#include "support/testfiles.h"

#include <QCoreApplication>
#include <QDir>

#include <gtest/gtest.h>

namespace jw::test {
namespace {

// A home with one Thunderbird profile: a plain POP3 account, one that logs
// in with NTLM (which the proxy cannot pass on), and an IMAP account; and a second profile whose
// prefs.js is not Thunderbird's.
class ThunderbirdHome : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir().mkpath(profile());
        QDir().mkpath(home() + QStringLiteral("/.thunderbird/broken"));
        writeFile(home() + QStringLiteral("/.thunderbird/profiles.ini"),
            "[Profile0]\nName=default\nIsRelative=1\nPath=p.default\nDefault=1\n\n"
            "[Profile1]\nName=broken\nIsRelative=1\nPath=broken\n");
        writeFile(prefsPath(), kPrefs);
        writeFile(home() + QStringLiteral("/.thunderbird/broken/prefs.js"), "this is not it\n");
        writeFile(folder.configPath() + QStringLiteral("main.cfg"), "server_port=1110\r\n");
    }
    QString home() const { return folder.path() + QStringLiteral("home"); }
    QString profile() const { return home() + QStringLiteral("/.thunderbird/p.default"); }
    QString prefsPath() const { return profile() + QStringLiteral("/prefs.js"); }
    QString backups() const { return folder.path() + QStringLiteral("state/thunderbird"); }
    QByteArray prefs() const { return readFile(prefsPath()); }

    static constexpr char kPrefs[] = "user_pref(\"mail.account.account1.server\", \"server1\");\n"
                                     "user_pref(\"mail.account.account2.server\", \"server2\");\n"
                                     "user_pref(\"mail.account.account3.server\", \"server3\");\n"
                                     "user_pref(\"mail.accountmanager.accounts\", \"account1,account2,account3\");\n"
                                     "user_pref(\"mail.server.server1.hostname\", \"pop.example.com\");\n"
                                     "user_pref(\"mail.server.server1.name\", \"Ann at home\");\n"
                                     "user_pref(\"mail.server.server1.type\", \"pop3\");\n"
                                     "user_pref(\"mail.server.server1.userName\", \"ann\");\n"
                                     "user_pref(\"mail.server.server2.authMethod\", 6);\n"
                                     "user_pref(\"mail.server.server2.hostname\", \"pop.gmail.com\");\n"
                                     "user_pref(\"mail.server.server2.port\", 995);\n"
                                     "user_pref(\"mail.server.server2.socketType\", 3);\n"
                                     "user_pref(\"mail.server.server2.type\", \"pop3\");\n"
                                     "user_pref(\"mail.server.server2.userName\", \"bob@gmail.com\");\n"
                                     "user_pref(\"mail.server.server3.hostname\", \"imap.example.com\");\n"
                                     "user_pref(\"mail.server.server3.type\", \"imap\");\n"
                                     "user_pref(\"mail.server.server3.userName\", \"ann\");\n";

    TempProgramFolder folder;
};

TEST_F(ThunderbirdHome, AccountsAreListedAsTheyReallyAreAndThoseThatCannotBeFilteredAreBlocked)
{
    QStringList rows;
    for (const AccountRow &row : findThunderbirdAccounts(home(), 1110)) {
        rows.append(QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                        .arg(row.routed ? QStringLiteral("x") : QStringLiteral(" "), row.name, row.server, row.user,
                            row.port, QString(row.key).remove(home()))
                        .arg(int(row.blocked)));
    }
    EXPECT_EQ(rows,
        (QStringList{QStringLiteral(" |Ann at home|pop.example.com|ann|110|/.thunderbird/p.default#server1|0"),
            QStringLiteral(
                " |bob@gmail.com@pop.gmail.com|pop.gmail.com|bob@gmail.com|995|/.thunderbird/p.default#server2|1"),
            QStringLiteral(" |broken||||/.thunderbird/broken|4")}));
}

TEST_F(ThunderbirdHome, SavingWritesTheFlagAndTheFormTheFilterStateAsksFor)
{
    QList<AccountRow> rows = findThunderbirdAccounts(home(), 1110);
    rows[0].routed = true;
    rows[1].routed = true; // blocked: never written
    ThunderbirdChange change = saveThunderbirdRows(rows, 1110, true, backups());
    EXPECT_TRUE(change.waiting.isEmpty());
    EXPECT_TRUE(change.refused.isEmpty()) << change.refused.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(prefs().contains("user_pref(\"mail.server.server1.junkwarden.route\", true);"));
    EXPECT_TRUE(prefs().contains("user_pref(\"mail.server.server1.hostname\", \"localhost\");"));
    EXPECT_FALSE(prefs().contains("server2.junkwarden"));
    EXPECT_EQ(findThunderbirdAccounts(home(), 1110)[0].server, QStringLiteral("pop.example.com"))
        << "listed with its real server";

    saveThunderbirdRows(rows, 1110, false, backups());
    EXPECT_TRUE(prefs().contains("user_pref(\"mail.server.server1.junkwarden.route\", true);"))
        << "flagged, in plain form";
    EXPECT_TRUE(prefs().contains("user_pref(\"mail.server.server1.hostname\", \"pop.example.com\");"));

    rows[0].routed = false;
    saveThunderbirdRows(rows, 1110, true, backups());
    EXPECT_EQ(prefs(), QByteArray(kPrefs)) << "unticked: as it was, byte for byte";
}

TEST_F(ThunderbirdHome, TheTraysRoutingRoutesAndRestoresTheFlaggedAccountsAndWaitsForARunningThunderbird)
{
    QList<AccountRow> rows = findThunderbirdAccounts(home(), 1110);
    rows[0].routed = true;
    saveThunderbirdRows(rows, 1110, false, backups());
    const QByteArray plain = prefs();
    MemoryRegistry registry;
    AccountRouting routing(registry, folder.configPath(), home());
    routing.ConfigureMail();
    EXPECT_TRUE(prefs().contains("user_pref(\"mail.server.server1.userName\", \"ann,pop.example.com\");"));
    EXPECT_TRUE(routing.DeConfigureMail().isEmpty());
    EXPECT_EQ(prefs(), plain);

    // However Thunderbird ends, the accounts are restored once its lock is free.
    for (const auto ending : {RunningThunderbird::Ending::LetsGoThenWrites,
             RunningThunderbird::Ending::RemovesLinkThenLetsGo, RunningThunderbird::Ending::Killed}) {
        SCOPED_TRACE(int(ending));
        routing.ConfigureMail();
        RunningThunderbird thunderbird(profile());
        ASSERT_TRUE(thunderbird.holdsLock());
        EXPECT_TRUE(routing.DeConfigureMail().isEmpty()) << "waiting is no problem";
        EXPECT_TRUE(prefs().contains("\"ann,pop.example.com\"")) << "left routed while it runs";
        EXPECT_EQ(routing.waiting(), MailRouting::Waiting::ToRestore);
        thunderbird.close(ending);
        EXPECT_TRUE(waitUntil([&] { return prefs() == plain; }, 10000)) << "restored once it closed";
        EXPECT_EQ(routing.waiting(), MailRouting::Waiting::Nothing);
    }
}

TEST_F(ThunderbirdHome, ASavedChangeWaitsForThunderbirdToClose)
{
    RunningThunderbird thunderbird(profile());
    ASSERT_TRUE(thunderbird.holdsLock());
    MemoryRegistry registry;
    AccountRouting routing(registry, folder.configPath(), home());
    QList<AccountRow> rows = findThunderbirdAccounts(home(), 1110);
    rows[0].routed = true;
    const auto save = [&] { return saveThunderbirdRows(rows, 1110, true, backups()).waiting.isEmpty(); };
    ASSERT_FALSE(save());
    routing.whenClientCloses(profile(), MailRouting::Waiting::ToRoute, save);
    EXPECT_EQ(routing.waiting(), MailRouting::Waiting::ToRoute);
    thunderbird.close();
    EXPECT_TRUE(waitUntil([&] { return prefs().contains("\"ann,pop.example.com\""); }, 10000)) << "made once it closed";
    EXPECT_EQ(routing.waiting(), MailRouting::Waiting::Nothing);
}

TEST_F(ThunderbirdHome, RoutingAskedForWhileThunderbirdRunsIsMadeWhenItCloses)
{
    QList<AccountRow> rows = findThunderbirdAccounts(home(), 1110);
    rows[0].routed = true;
    saveThunderbirdRows(rows, 1110, false, backups());
    const QByteArray plain = prefs();
    RunningThunderbird thunderbird(profile());
    ASSERT_TRUE(thunderbird.holdsLock());
    MemoryRegistry registry;
    AccountRouting routing(registry, folder.configPath(), home());
    routing.ConfigureMail();
    EXPECT_EQ(prefs(), plain) << "nothing written while it runs";
    EXPECT_EQ(routing.waiting(), MailRouting::Waiting::ToRoute);
    writeFile(profile() + QStringLiteral("/xulstore.json"), "{}"); // still running: a change in the folder
    QCoreApplication::processEvents();
    EXPECT_EQ(prefs(), plain);
    thunderbird.close();
    EXPECT_TRUE(waitUntil([&] { return prefs().contains("\"ann,pop.example.com\""); }, 10000))
        << "routed once it closed";
    EXPECT_EQ(routing.waiting(), MailRouting::Waiting::Nothing);
}

} // namespace
} // namespace jw::test

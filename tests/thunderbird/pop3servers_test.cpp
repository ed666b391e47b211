#include "thunderbird/pop3servers.h"

#include <gtest/gtest.h>

namespace jw::thunderbird {
namespace {

// A profile as Thunderbird writes it: a POP3 account without port, security
// or name of its own, Local Folders, an IMAP account, a POP3 account with
// OAuth 2.0, and preferences of other kinds between them.
const QByteArray kProfile =
    "// Mozilla User Preferences\n"
    "\n"
    "user_pref(\"mail.account.account1.identities\", \"id1\");\n"
    "user_pref(\"mail.account.account1.server\", \"server1\");\n"
    "user_pref(\"mail.account.account2.server\", \"server2\");\n"
    "user_pref(\"mail.account.account3.identities\", \"id2\");\n"
    "user_pref(\"mail.account.account3.server\", \"server3\");\n"
    "user_pref(\"mail.account.account4.server\", \"server4\");\n"
    "user_pref(\"mail.account.account5.server\", \"server5\");\n"
    "user_pref(\"mail.accountmanager.accounts\", \"account1,account3,account4,account5,account2\");\n"
    "user_pref(\"mail.identity.id1.archive_folder\", \"mailbox://alice@pop.example.com/Archives\");\n"
    "user_pref(\"mail.identity.id1.draft_folder\", \"mailbox://alice@pop.example.com/Drafts\");\n"
    "user_pref(\"mail.identity.id1.fcc_folder\", \"mailbox://alice@pop.example.com/Sent\");\n"
    "user_pref(\"mail.identity.id1.fullName\", \"Alicja Żółć\");\n"
    "user_pref(\"mail.identity.id1.stationery_folder\", \"mailbox://alice@pop.example.com/Templates\");\n"
    "user_pref(\"mail.identity.id2.fcc_folder\", \"mailbox://alice@pop.example.community/Sent\");\n"
    "user_pref(\"mail.server.server1.directory-rel\", \"[ProfD]Mail/pop.example.com\");\n"
    "user_pref(\"mail.server.server1.hostname\", \"pop.example.com\");\n"
    "user_pref(\"mail.server.server1.login_at_startup\", true);\n"
    "user_pref(\"mail.server.server1.spamActionTargetAccount\", \"mailbox://alice@pop.example.com\");\n"
    "user_pref(\"mail.server.server1.spamActionTargetFolder\", \"mailbox://alice@pop.example.com/Junk\");\n"
    "user_pref(\"mail.server.server1.type\", \"pop3\");\n"
    "user_pref(\"mail.server.server1.userName\", \"alice\");\n"
    "user_pref(\"mail.server.server2.hostname\", \"Local Folders\");\n"
    "user_pref(\"mail.server.server2.type\", \"none\");\n"
    "user_pref(\"mail.server.server2.userName\", \"nobody\");\n"
    "user_pref(\"mail.server.server3.hostname\", \"imap.example.com\");\n"
    "user_pref(\"mail.server.server3.type\", \"imap\");\n"
    "user_pref(\"mail.server.server3.userName\", \"bob\");\n"
    "user_pref(\"mail.server.server4.authMethod\", 10);\n"
    "user_pref(\"mail.server.server4.hostname\", \"pop.gmail.com\");\n"
    "user_pref(\"mail.server.server4.port\", 995);\n"
    "user_pref(\"mail.server.server4.socketType\", 3);\n"
    "user_pref(\"mail.server.server4.type\", \"pop3\");\n"
    "user_pref(\"mail.server.server4.userName\", \"carol@gmail.com\");\n"
    "user_pref(\"mail.server.server5.hostname\", \"mail.secure.example\");\n"
    "user_pref(\"mail.server.server5.isSecure\", true);\n"
    "user_pref(\"mail.server.server5.name\", \"Dana's “work” mail\");\n"
    "user_pref(\"mail.server.server5.port\", -1);\n"
    "user_pref(\"mail.server.server5.type\", \"pop3\");\n"
    "user_pref(\"mail.server.server5.userName\", \"dana\");\n";

QStringList describe(const QList<Pop3Server> &servers)
{
    QStringList out;
    for (const Pop3Server &s : servers) {
        out.append(QStringLiteral("%1 %2@%3:%4/%5%6%7%8")
                       .arg(QString::fromUtf8(s.key), s.realUser, s.realHost)
                       .arg(s.realPort)
                       .arg(s.realSocketType)
                       .arg(s.routed ? QStringLiteral(" routed") : QString(),
                           s.flagged ? QStringLiteral(" flagged") : QString(),
                           s.unroutable == Pop3Server::Unroutable::No
                               ? QString()
                               : QStringLiteral(" unroutable %1").arg(int(s.unroutable))));
    }
    return out;
}

TEST(Pop3Servers, ListsThePop3AccountsInUseAsTheyReallyAre)
{
    PrefsFile prefs = PrefsFile::parse(kProfile);
    setRouteFlag(prefs, "server1", true);
    EXPECT_EQ(describe(pop3Servers(prefs, 1110)),
        (QStringList{QStringLiteral("server1 alice@pop.example.com:110/0 flagged"),
            QStringLiteral("server4 carol@gmail.com@pop.gmail.com:995/3"),
            QStringLiteral("server5 dana@mail.secure.example:995/3")}));
    routeServer(prefs, "server1", 1110);
    routeServer(prefs, "server5", 1110);
    const QByteArray beforeOAuth = prefs.bytes();
    routeServer(prefs, "server4", 1110);
    EXPECT_EQ(describe(pop3Servers(prefs, 1110)),
        (QStringList{QStringLiteral("server1 alice@pop.example.com:110/0 routed flagged"),
            QStringLiteral("server4 carol@gmail.com@pop.gmail.com:995/3 routed"),
            QStringLiteral("server5 dana@mail.secure.example:995/3 routed")}))
        << "a routed account is listed with its real server, port and security";
    // OAuth 2.0: a password login to the proxy while routed, its own again after.
    EXPECT_EQ(prefs.value("mail.server.server4.authMethod"), PrefValue::integer(kAuthPassword));
    EXPECT_EQ(pop3Servers(prefs, 1110).at(1).realAuthMethod, kAuthOAuth2);
    restoreServer(prefs, "server4");
    EXPECT_EQ(prefs.bytes(), beforeOAuth);
}

TEST(Pop3Servers, RoutingChangesTheConnectionAndTheFolderAddressesAndRestoringPutsBackEveryByte)
{
    PrefsFile prefs = PrefsFile::parse(kProfile);
    setRouteFlag(prefs, "server1", true);
    const QByteArray flagged = prefs.bytes();
    const FolderMove move = routeServer(prefs, "server1", 1110);
    EXPECT_EQ(move.from, QByteArray("mailbox://alice@pop.example.com"));
    EXPECT_EQ(move.to, QByteArray("mailbox://alice%2Cpop.example.com@localhost"));
    const auto value = [&prefs](const char *name) { return prefs.value(name).value_or(PrefValue()); };
    EXPECT_EQ(value("mail.server.server1.hostname"), PrefValue::string(QStringLiteral("localhost")));
    EXPECT_EQ(value("mail.server.server1.port"), PrefValue::integer(1110));
    EXPECT_EQ(value("mail.server.server1.userName"), PrefValue::string(QStringLiteral("alice,pop.example.com")));
    EXPECT_EQ(value("mail.server.server1.socketType"), PrefValue::integer(0));
    EXPECT_EQ(value("mail.server.server1.authMethod"), PrefValue::integer(3));
    EXPECT_EQ(value("mail.server.server1.name"), PrefValue::string(QStringLiteral("alice@pop.example.com")))
        << "the account tree keeps a readable name";
    EXPECT_EQ(value("mail.identity.id1.fcc_folder"),
        PrefValue::string(QStringLiteral("mailbox://alice%2Cpop.example.com@localhost/Sent")));
    EXPECT_EQ(value("mail.identity.id1.stationery_folder"),
        PrefValue::string(QStringLiteral("mailbox://alice%2Cpop.example.com@localhost/Templates")));
    EXPECT_EQ(value("mail.server.server1.spamActionTargetAccount"),
        PrefValue::string(QStringLiteral("mailbox://alice%2Cpop.example.com@localhost")));
    EXPECT_EQ(value("mail.identity.id2.fcc_folder"),
        PrefValue::string(QStringLiteral("mailbox://alice@pop.example.community/Sent")))
        << "another account whose host only starts the same way";
    EXPECT_EQ(
        value("mail.server.server1.directory-rel"), PrefValue::string(QStringLiteral("[ProfD]Mail/pop.example.com")));
    EXPECT_EQ(value("mail.identity.id1.fullName"), PrefValue::string(QStringLiteral(u"Alicja Żółć")));

    const QByteArray routed = prefs.bytes();
    EXPECT_EQ(routeServer(prefs, "server1", 1110).from, QByteArray()) << "already routed: left alone";
    EXPECT_EQ(prefs.bytes(), routed);

    const FolderMove back = restoreServer(prefs, "server1");
    EXPECT_EQ(back.from, move.to);
    EXPECT_EQ(back.to, move.from);
    EXPECT_EQ(prefs.bytes().toStdString(), flagged.toStdString()) << "absent values absent again; the flag stays";
    EXPECT_EQ(restoreServer(prefs, "server1").from, QByteArray()) << "plain already";
    EXPECT_EQ(prefs.bytes(), flagged);
}

TEST(Pop3Servers, AnAccountChangedByHandSinceRoutingKeepsTheUsersValues)
{
    PrefsFile prefs = PrefsFile::parse(kProfile);
    routeServer(prefs, "server5", 1110);
    prefs.set("mail.server.server5.hostname", PrefValue::string(QStringLiteral("pop.new.example")));
    const FolderMove move = restoreServer(prefs, "server5");
    EXPECT_TRUE(move.from.isEmpty());
    EXPECT_EQ(prefs.value("mail.server.server5.hostname"), PrefValue::string(QStringLiteral("pop.new.example")));
    EXPECT_EQ(prefs.value("mail.server.server5.port"), PrefValue::integer(1110));
    for (const QByteArray &name : prefs.names())
        EXPECT_FALSE(name.contains("junkwarden.saved") || name.contains("junkwarden.absent")) << name.constData();
}

TEST(Pop3Servers, NoRoutedFormMayEqualAnotherAccount)
{
    // Someone routed this account by hand before: Thunderbird would drop a second one.
    PrefsFile prefs = PrefsFile::parse(kProfile
        + "user_pref(\"mail.account.account9.server\", \"server9\");\n"
          "user_pref(\"mail.server.server9.hostname\", \"localhost\");\n"
          "user_pref(\"mail.server.server9.port\", 1110);\n"
          "user_pref(\"mail.server.server9.type\", \"pop3\");\n"
          "user_pref(\"mail.server.server9.userName\", \"alice,pop.example.com\");\n");
    prefs.set("mail.accountmanager.accounts", PrefValue::string(QStringLiteral("account1,account9")));
    const QList<Pop3Server> servers = pop3Servers(prefs, 1110);
    ASSERT_EQ(servers.size(), 2);
    EXPECT_EQ(servers[0].unroutable, Pop3Server::Unroutable::Collision);
    const QByteArray before = prefs.bytes();
    EXPECT_TRUE(routeServer(prefs, "server1", 1110).from.isEmpty());
    EXPECT_EQ(prefs.bytes(), before);
    EXPECT_EQ(pop3Servers(prefs, 2110)[0].unroutable, Pop3Server::Unroutable::No) << "another proxy port differs";
}

TEST(Pop3Servers, FilterTargetsMoveWithTheirAccountOnly)
{
    const QByteArray rules = "version=\"9\"\n"
                             "logging=\"no\"\n"
                             "name=\"To archive\"\n"
                             "enabled=\"yes\"\n"
                             "type=\"17\"\n"
                             "action=\"Move to folder\"\n"
                             "actionValue=\"mailbox://alice@pop.example.com/Archives/2026\"\n"
                             "action=\"Copy to folder\"\n"
                             "actionValue=\"mailbox://alice@pop.example.com\"\n"
                             "action=\"Move to folder\"\n"
                             "actionValue=\"mailbox://alice@pop.example.community/Inbox\"\n"
                             "action=\"Forward\"\n"
                             "actionValue=\"mailbox://alice@pop.example.com@x.org\"\n"
                             "condition=\"AND (subject,contains,mailbox://alice@pop.example.com/Archives)\"\n";
    const FolderMove move{folderPrefix(QStringLiteral("alice"), QStringLiteral("pop.example.com")),
        folderPrefix(QStringLiteral("alice,pop.example.com"), QStringLiteral("localhost"))};
    QByteArray expected = rules;
    expected
        .replace("actionValue=\"mailbox://alice@pop.example.com/Archives/2026\"",
            "actionValue=\"mailbox://alice%2Cpop.example.com@localhost/Archives/2026\"")
        .replace("actionValue=\"mailbox://alice@pop.example.com\"\n",
            "actionValue=\"mailbox://alice%2Cpop.example.com@localhost\"\n");
    EXPECT_EQ(moveFilterTargets(rules, move).toStdString(), expected.toStdString());
    EXPECT_EQ(moveFilterTargets(moveFilterTargets(rules, move), FolderMove{move.to, move.from}), rules);
    EXPECT_EQ(folderPrefix(QStringLiteral("a@b c,d!"), QStringLiteral("h")), QByteArray("mailbox://a%40b%20c%2Cd!@h"));
}

} // namespace
} // namespace jw::thunderbird

#include "clawsmail/accountrc.h"

#include <gtest/gtest.h>

namespace jw::clawsmail {
namespace {

// As Claws Mail 4.1 writes it (shortened): a POP3 account without a port of
// its own, an IMAP account, and a POP3 account that logs in with OAuth 2.0.
const QByteArray kAccountRc = "[Account: 1]\n"
                              "account_name=ann@example.com\n"
                              "is_default=1\n"
                              "protocol=0\n"
                              "receive_server=pop.example.com\n"
                              "smtp_server=smtp.example.com\n"
                              "user_id=ann\n"
                              "use_apop_auth=0\n"
                              "use_pop_auth=0\n"
                              "pop_auth_method=0\n"
                              "ssl_pop=2\n"
                              "\n"
                              "[Account: 2]\n"
                              "account_name=bob@imap.example\n"
                              "protocol=3\n"
                              "receive_server=imap.example\n"
                              "user_id=bob\n"
                              "\n"
                              "[Account: 3]\n"
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

TEST(ClawsAccountRc, RoutesAndRestoresByteForByteKeepingTheUsersChanges)
{
    KeyFileText file(kAccountRc);
    const QList<Pop3Account> accounts = pop3Accounts(file);
    ASSERT_EQ(accounts.size(), 2) << "the IMAP account is not POP3";
    EXPECT_EQ(accounts[0].server, QStringLiteral("pop.example.com"));
    EXPECT_EQ(accounts[0].port, 110);
    EXPECT_EQ(accounts[0].ssl, 2);
    EXPECT_FALSE(accounts[0].loginBlocked);
    EXPECT_EQ(accounts[1].port, 995);
    EXPECT_TRUE(accounts[1].loginBlocked) << "OAuth 2.0 in Claws cannot pass through";

    const QByteArray group = accountGroup(1);
    const QList<KeyChange> changes = routeAccount(file, 1, 1110);
    EXPECT_EQ(file.value(group, "receive_server"), QByteArray("localhost"));
    EXPECT_EQ(file.value(group, "user_id"), QByteArray("ann,pop.example.com"));
    EXPECT_EQ(file.value(group, "set_popport"), QByteArray("1"));
    EXPECT_EQ(file.value(group, "pop_port"), QByteArray("1110"));
    EXPECT_EQ(file.value(group, "ssl_pop"), QByteArray("0"));
    EXPECT_EQ(file.value(accountGroup(3), "pop_port"), QByteArray("995"))
        << "another group's key of that name untouched";
    undoChanges(file, changes);
    EXPECT_EQ(file.bytes().toStdString(), kAccountRc.toStdString()) << "the keys it added go again";

    // A value the user changed while routed stays theirs.
    const QList<KeyChange> again = routeAccount(file, 1, 1110);
    file.set(group, "ssl_pop", "1");
    undoChanges(file, again);
    EXPECT_EQ(file.value(group, "ssl_pop"), QByteArray("1"));
    EXPECT_EQ(file.value(group, "receive_server"), QByteArray("pop.example.com"));
    EXPECT_EQ(file.value(group, "set_popport"), std::nullopt);
    EXPECT_EQ(
        uidlFileName(QStringLiteral("pop.x"), QStringLiteral("DOM\\ann/b*")), QStringLiteral("uidl/pop.x-DOM_ann_b_"));

    // CRLF files and "key = value" spacing as GLib allows them.
    KeyFileText crlf(QByteArray("[Account: 7]\r\nprotocol = 0\r\nreceive_server = pop.x\r\n"));
    ASSERT_EQ(pop3Accounts(crlf).size(), 1);
    const QList<KeyChange> routed = routeAccount(crlf, 7, 1110);
    EXPECT_EQ(crlf.bytes(),
        QByteArray("[Account: 7]\r\nprotocol = 0\r\nreceive_server = localhost\r\nuser_id=,pop.x"
                   "\r\nset_popport=1\r\npop_port=1110\r\nssl_pop=0\r\n"));
    undoChanges(crlf, routed);
    EXPECT_EQ(crlf.bytes(), QByteArray("[Account: 7]\r\nprotocol = 0\r\nreceive_server = pop.x\r\n"));
}

} // namespace
} // namespace jw::clawsmail

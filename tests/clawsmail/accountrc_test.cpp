#include "clawsmail/accountrc.h"

#include <gtest/gtest.h>

namespace jw::clawsmail {
namespace {

// Routing a file's accounts and putting them back; the source test
// (tests/accounts) does the same through the record, on a file as Claws
// writes it.
TEST(ClawsAccountRc, RoutesOneGroupAndPutsBackOnlyWhatStillHoldsTheRoutedValues)
{
    // CRLF line ends and "key = value" spacing, as GLib allows them, and an
    // IMAP account with a key of the same name.
    const QByteArray plain = "[Account: 1]\r\nprotocol = 0\r\nreceive_server = pop.x\r\nuser_id=ann\r\n\r\n"
                             "[Account: 2]\r\nprotocol=3\r\nreceive_server=imap.x\r\npop_port=993\r\n";
    KeyFileText file(plain);
    ASSERT_EQ(pop3Accounts(file).size(), 1) << "IMAP is not POP3";
    const QList<KeyChange> routed = routeAccount(file, 1, 1110);
    EXPECT_EQ(file.bytes(),
        QByteArray("[Account: 1]\r\nprotocol = 0\r\nreceive_server = localhost\r\nuser_id=ann,pop.x\r\nset_popport=1"
                   "\r\npop_port=1110\r\nssl_pop=0\r\n\r\n[Account: 2]\r\nprotocol=3\r\nreceive_server=imap.x\r\n"
                   "pop_port=993\r\n"));
    undoChanges(file, routed);
    EXPECT_EQ(file.bytes(), plain) << "the keys it added go again";

    // A value the user changed while routed stays theirs.
    const QList<KeyChange> again = routeAccount(file, 1, 1110);
    file.set(accountGroup(1), "ssl_pop", "1");
    undoChanges(file, again);
    EXPECT_EQ(file.value(accountGroup(1), "ssl_pop"), QByteArray("1"));
    EXPECT_EQ(file.value(accountGroup(1), "receive_server"), QByteArray("pop.x"));
    EXPECT_EQ(file.value(accountGroup(1), "set_popport"), std::nullopt);

    EXPECT_EQ(
        uidlFileName(QStringLiteral("pop.x"), QStringLiteral("DOM\\ann/b*")), QStringLiteral("uidl/pop.x-DOM_ann_b_"))
        << "named as Claws names it";
}

} // namespace
} // namespace jw::clawsmail

#include "accounts/accountrouting.h"
#include "accounts/accounts.h"
#include "platform/registry.h"
#include "support/testfiles.h"
#include "textfile/errors.h"

#include <gtest/gtest.h>

namespace jw::test {
namespace {

const QString kOe = QStringLiteral("\\Software\\Microsoft\\Internet Account Manager\\Accounts\\");
const QString kOutlook = QStringLiteral("\\Software\\Microsoft\\Office\\Outlook\\OMI Account Manager\\Accounts\\");
const QString kOwn = QStringLiteral("\\Software\\Brightfold\\Mailmoat\\Accounts\\");

struct Account
{
    QString key;
    QString name;
    QString server;
    QString user;
    std::optional<quint32> port = 110;
};

void addAccount(RegistryData &data, const Account &a)
{
    data.writeString(a.key, QStringLiteral("Account Name"), a.name);
    data.writeString(a.key, QStringLiteral("POP3 Server"), a.server);
    data.writeString(a.key, QStringLiteral("POP3 User Name"), a.user);
    if (a.port)
        data.writeInteger(a.key, QStringLiteral("POP3 Port"), *a.port);
}

void flag(RegistryData &data, const QString &key, const QString &realServer, std::optional<quint32> realPort)
{
    data.writeString(key, QStringLiteral("Use Mailmoater"), QStringLiteral("yes"));
    data.writeString(key, QStringLiteral("POP3 Server orig"), realServer);
    if (realPort)
        data.writeInteger(key, QStringLiteral("POP3 Port orig"), *realPort);
}

QString str(const RegistryData &data, const QString &key, const char *name)
{
    return data.readString(key, QString::fromLatin1(name)).value_or(QStringLiteral("<none>"));
}

quint32 num(const RegistryData &data, const QString &key, const char *name)
{
    return data.readInteger(key, QString::fromLatin1(name)).value_or(0xffffffffu);
}

TEST(FindAccounts, ListsEverySourceInOrderWithTheRealValues)
{
    RegistryData data;
    addAccount(data,
        {kOwn + QStringLiteral("00000001"), QStringLiteral("Own"), QStringLiteral("pop.own"), QStringLiteral("me")});
    addAccount(data,
        {kOe + QStringLiteral("b"), QStringLiteral("OE b"), QStringLiteral("pop.b"), QStringLiteral("bob,extra")});
    addAccount(data,
        {kOe + QStringLiteral("A"), QStringLiteral("OE A"), QStringLiteral("localhost"), QStringLiteral("ann,pop.a"),
            1110});
    flag(data, kOe + QStringLiteral("A"), QStringLiteral("pop.a"), 995);
    data.writeString(kOe + QStringLiteral("A"), QStringLiteral("POP3 Password orig"), QStringLiteral("7chars!"));
    addAccount(data,
        {kOutlook + QStringLiteral("x"), QStringLiteral("Outlook x"), QStringLiteral("pop.x"), QStringLiteral("xu"),
            std::nullopt});
    data.writeString(kOutlook + QStringLiteral("x"), QStringLiteral("Use Mailmoater"), QStringLiteral("YES"));
    data.writeString(kOe + QStringLiteral("news"), QStringLiteral("NNTP Server"), QStringLiteral("news.example"));

    const AccountSearch search = findAccounts(data);
    EXPECT_TRUE(search.error.isEmpty());
    const QList<AccountRow> expected{
        {true, QStringLiteral("OE A"), QStringLiteral("pop.a"), QStringLiteral("ann"), QStringLiteral("*******"),
            QStringLiteral("Outlook Express"), kOe + QStringLiteral("A"), QStringLiteral("995")},
        {false, QStringLiteral("OE b"), QStringLiteral("pop.b"), QStringLiteral("bob"), QString(),
            QStringLiteral("Outlook Express"), kOe + QStringLiteral("b"), QStringLiteral("110")},
        {false, QStringLiteral("Outlook x"), QStringLiteral("pop.x"), QStringLiteral("xu"), QString(),
            QStringLiteral("Outlook"), kOutlook + QStringLiteral("x"), QStringLiteral("110")},
        {false, QStringLiteral("Own"), QStringLiteral("pop.own"), QStringLiteral("me"), QString(),
            QStringLiteral("Self"), kOwn + QStringLiteral("00000001"), QStringLiteral("110")},
    };
    ASSERT_EQ(search.rows.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(search.rows[i] == expected[i]) << search.rows[i].name.toStdString();
    }
}

TEST(FindAccounts, CreatesTheOwnKeyAndStopsAtAWrongTypeKeepingEarlierRows)
{
    RegistryData empty;
    EXPECT_TRUE(findAccounts(empty).rows.isEmpty());
    EXPECT_TRUE(empty.keyExists(kOwn));

    RegistryData data;
    addAccount(data, {kOe + QStringLiteral("1"), QStringLiteral("one"), QStringLiteral("s1"), QStringLiteral("u1")});
    addAccount(data, {kOe + QStringLiteral("2"), QStringLiteral("two"), QStringLiteral("s2"), QStringLiteral("u2")});
    data.writeString(kOe + QStringLiteral("2"), QStringLiteral("POP3 Port"), QStringLiteral("110"));
    addAccount(data, {kOe + QStringLiteral("3"), QStringLiteral("three"), QStringLiteral("s3"), QStringLiteral("u3")});
    const AccountSearch search = findAccounts(data);
    ASSERT_EQ(search.rows.size(), 1);
    EXPECT_EQ(search.rows[0].name, QStringLiteral("one"));
    EXPECT_EQ(search.error, QStringLiteral("Invalid data type for 'POP3 Port'"));
}

TEST(Routing, RouteTwiceRestoreAndRouteAgain)
{
    RegistryData data;
    const QString key = kOe + QStringLiteral("1");
    addAccount(data, {key, QStringLiteral("A"), QStringLiteral("pop.a"), QStringLiteral("ann")});
    flag(data, key, QStringLiteral("pop.a"), 110);
    addAccount(
        data, {kOwn + QStringLiteral("00000001"), QStringLiteral("B"), QStringLiteral("pop.b"), QStringLiteral("bob")});

    routeAccounts(data, 1110);
    routeAccounts(data, 1110);
    EXPECT_EQ(str(data, key, "POP3 Server"), QStringLiteral("localhost"));
    EXPECT_EQ(str(data, key, "POP3 User Name"), QStringLiteral("ann,pop.a")) << "one comma, one server";
    EXPECT_EQ(num(data, key, "POP3 Port"), 1110u);
    EXPECT_EQ(str(data, kOwn + QStringLiteral("00000001"), "POP3 Server"), QStringLiteral("pop.b"))
        << "unflagged: untouched";

    restoreAccounts(data);
    EXPECT_EQ(str(data, key, "POP3 Server"), QStringLiteral("pop.a"));
    EXPECT_EQ(str(data, key, "POP3 User Name"), QStringLiteral("ann"));
    EXPECT_EQ(num(data, key, "POP3 Port"), 110u);
    EXPECT_EQ(str(data, key, "Use Mailmoater"), QStringLiteral("yes"));
    EXPECT_EQ(str(data, key, "POP3 Server orig"), QStringLiteral("pop.a"));
    EXPECT_EQ(num(data, key, "POP3 Port orig"), 110u);
}

TEST(Routing, RestoreWithoutSavedPortKeepsThePortAndAnyFlagValueCounts)
{
    RegistryData data;
    const QString key = kOutlook + QStringLiteral("1");
    addAccount(data, {key, QStringLiteral("A"), QStringLiteral("localhost"), QStringLiteral("a,b"), 1110});
    flag(data, key, QStringLiteral("b"), std::nullopt);
    data.writeString(key, QStringLiteral("Use Mailmoater"), QStringLiteral("no"));
    restoreAccounts(data);
    EXPECT_EQ(str(data, key, "POP3 User Name"), QStringLiteral("a"));
    EXPECT_EQ(str(data, key, "POP3 Server"), QStringLiteral("b"));
    EXPECT_EQ(num(data, key, "POP3 Port"), 1110u);
}

TEST(Routing, RestoreGoesOnPastBadAccountsAndNamesThemAll)
{
    RegistryData data;
    const QString keys[] = {kOe + QStringLiteral("1"), kOe + QStringLiteral("2"), kOutlook + QStringLiteral("3"),
        kOwn + QStringLiteral("00000004")};
    const char *names[] = {"A", "B", "", "D"};
    for (int i = 0; i < 4; ++i) {
        addAccount(data,
            {keys[i], QString::fromLatin1(names[i]), QStringLiteral("pop%1").arg(i), QStringLiteral("u%1").arg(i)});
        flag(data, keys[i], QStringLiteral("pop%1").arg(i), 110);
    }
    routeAccounts(data, 1110);
    data.writeString(keys[1], QStringLiteral("POP3 Port orig"), QStringLiteral("110"));
    data.writeInteger(keys[2], QStringLiteral("POP3 User Name"), 7);
    const RegistryData routed = data;

    EXPECT_EQ(restoreAccounts(data),
        (QStringList{QStringLiteral("B: Invalid data type for 'POP3 Port orig'"),
            QStringLiteral("3: Invalid data type for 'POP3 User Name'")}))
        << "a nameless account is named by its key";
    for (int i : {0, 3}) {
        EXPECT_EQ(str(data, keys[i], "POP3 Server"), QStringLiteral("pop%1").arg(i));
        EXPECT_EQ(str(data, keys[i], "POP3 User Name"), QStringLiteral("u%1").arg(i));
        EXPECT_EQ(num(data, keys[i], "POP3 Port"), 110u);
    }
    for (int i : {1, 2}) {
        EXPECT_EQ(str(data, keys[i], "POP3 Server"), QStringLiteral("localhost")) << "left whole, not half restored";
        EXPECT_EQ(num(data, keys[i], "POP3 Port"), 1110u);
    }
    EXPECT_EQ(str(data, keys[1], "POP3 User Name"), str(routed, keys[1], "POP3 User Name"));
}

TEST(Routing, AccountsThatCannotBeRoutedAreLeftAlone)
{
    RegistryData data;
    // Flagged, but its real server was never saved.
    const QString noOrig = kOe + QStringLiteral("1");
    addAccount(data, {noOrig, QStringLiteral("A"), QStringLiteral("pop.a"), QStringLiteral("ann")});
    data.writeString(noOrig, QStringLiteral("Use Mailmoater"), QStringLiteral("yes"));
    // Flagged, with a comma in the real user name.
    const QString comma = kOe + QStringLiteral("2");
    addAccount(data, {comma, QStringLiteral("B"), QStringLiteral("pop.b"), QStringLiteral("smith,john")});
    flag(data, comma, QStringLiteral("pop.b"), 110);

    const RegistryData before = data;
    routeAccounts(data, 1110);
    restoreAccounts(data);
    for (const QString &key : {noOrig, comma}) {
        SCOPED_TRACE(key.toStdString());
        for (const char *name : {"POP3 Server", "POP3 User Name"})
            EXPECT_EQ(str(data, key, name), str(before, key, name));
        EXPECT_EQ(num(data, key, "POP3 Port"), 110u);
    }
}

TEST(SaveRows, WritesTheThreeRowStatesInTableOrder)
{
    RegistryData data;
    const QString key = kOe + QStringLiteral("1");
    addAccount(data, {key, QStringLiteral("old"), QStringLiteral("old.server"), QStringLiteral("old")});
    AccountRow row{true, QStringLiteral("Work"), QStringLiteral("pop.work"), QStringLiteral("ann"), QString(),
        QStringLiteral("Outlook Express"), key, QStringLiteral("995")};

    EXPECT_TRUE(saveAccountRows(data, {row}, QStringLiteral("1110"), true).isEmpty());
    EXPECT_EQ(str(data, key, "Use Mailmoater"), QStringLiteral("yes"));
    EXPECT_EQ(str(data, key, "Account Name"), QStringLiteral("Work"));
    EXPECT_EQ(str(data, key, "POP3 Server orig"), QStringLiteral("pop.work"));
    EXPECT_EQ(num(data, key, "POP3 Port orig"), 995u);
    EXPECT_EQ(str(data, key, "POP3 Server"), QStringLiteral("localhost"));
    EXPECT_EQ(str(data, key, "POP3 User Name"), QStringLiteral("ann,pop.work"));
    EXPECT_EQ(num(data, key, "POP3 Port"), 1110u);
    const QByteArray routed = serializeRegFile(data);
    EXPECT_LT(routed.indexOf("\"Use Mailmoater\""), routed.indexOf("\"POP3 Server orig\""));
    EXPECT_LT(routed.indexOf("\"POP3 Server orig\""), routed.indexOf("\"POP3 Port orig\""));

    saveAccountRows(data, {row}, QStringLiteral("1110"), false);
    EXPECT_EQ(str(data, key, "POP3 Server"), QStringLiteral("pop.work"));
    EXPECT_EQ(str(data, key, "POP3 User Name"), QStringLiteral("ann"));
    EXPECT_EQ(num(data, key, "POP3 Port"), 995u);
    EXPECT_EQ(str(data, key, "Use Mailmoater"), QStringLiteral("yes"))
        << "flag and saved values stay with the filter off";
    routeAccounts(data, 1110);
    EXPECT_EQ(str(data, key, "POP3 User Name"), QStringLiteral("ann,pop.work")) << "switching the filter on routes it";

    row.routed = false;
    saveAccountRows(data, {row}, QStringLiteral("1110"), true);
    EXPECT_EQ(str(data, key, "POP3 Server"), QStringLiteral("pop.work"));
    EXPECT_EQ(str(data, key, "POP3 User Name"), QStringLiteral("ann"));
    EXPECT_EQ(num(data, key, "POP3 Port"), 995u);
    for (const char *gone : {"Use Mailmoater", "POP3 Server orig", "POP3 Port orig"})
        EXPECT_FALSE(data.hasValue(key, QString::fromLatin1(gone))) << gone;
}

TEST(SaveRows, SkipsMissingKeysRefusesCommaUsersAndStopsAtABadNumber)
{
    RegistryData data;
    const QString key = kOe + QStringLiteral("1");
    addAccount(data, {key, QStringLiteral("x"), QStringLiteral("s"), QStringLiteral("u")});
    const AccountRow gone{true, QStringLiteral("gone"), QStringLiteral("s"), QStringLiteral("u"), QString(),
        QStringLiteral("Outlook"), kOutlook + QStringLiteral("9"), QStringLiteral("110")};
    const AccountRow comma{true, QStringLiteral("Smith"), QStringLiteral("pop.s"), QStringLiteral("smith,j"), QString(),
        QStringLiteral("Outlook Express"), key, QStringLiteral("110")};
    EXPECT_EQ(saveAccountRows(data, {gone, comma}, QStringLiteral("1110"), true), QStringList{QStringLiteral("Smith")});
    EXPECT_FALSE(data.keyExists(kOutlook + QStringLiteral("9")));
    EXPECT_EQ(str(data, key, "POP3 Server"), QStringLiteral("pop.s")) << "written in plain form";
    EXPECT_EQ(str(data, key, "POP3 User Name"), QStringLiteral("smith,j"));

    AccountRow badPort = comma;
    badPort.user = QStringLiteral("j");
    badPort.port = QStringLiteral("-1");
    EXPECT_THROW(saveAccountRows(data, {badPort}, QStringLiteral("1110"), true), ConversionError);
}

TEST(OwnAccounts, NumberingAddDeleteAndPassword)
{
    RegistryData data;
    const AccountRow first = addOwnAccount(data);
    EXPECT_EQ(first.key, kOwn + QStringLiteral("00000001"));
    EXPECT_EQ(first.source, QStringLiteral("Self"));
    EXPECT_EQ(first.port, QStringLiteral("110"));
    EXPECT_EQ(num(data, first.key, "POP3 Port"), 110u);
    EXPECT_EQ(str(data, first.key, "POP3 Server"), QString());

    const struct
    {
        const char *last;
        const char *next;
    } cases[] = {{"00000007", "00000008"}, {"00000099", "00000100"}, {"12345678", "12345679"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.last);
        RegistryData numbered;
        numbered.createKey(kOwn + QString::fromLatin1(c.last));
        EXPECT_EQ(addOwnAccount(numbered).key, kOwn + QString::fromLatin1(c.next));
    }

    RegistryData bad;
    bad.createKey(kOwn + QStringLiteral("notanumber"));
    EXPECT_THROW(addOwnAccount(bad), ConversionError);
    EXPECT_EQ(bad.subkeyNames(kOwn), QStringList{QStringLiteral("notanumber")}) << "nothing created";

    setAccountPassword(data, first, QStringLiteral("s3cret"));
    EXPECT_EQ(str(data, first.key, "POP3 Password orig"), QStringLiteral("s3cret"));
    EXPECT_EQ(findAccounts(data).rows.value(0).passwordMask, QStringLiteral("******"));

    data.writeString(first.key + QStringLiteral("\\Sub"), QStringLiteral("x"), QStringLiteral("y"));
    deleteAccount(data, first);
    EXPECT_FALSE(data.keyExists(first.key));
    EXPECT_FALSE(data.keyExists(first.key + QStringLiteral("\\Sub")));
}

TEST(AccountRouting, UsesThePortOfTheSettingsFileAndTheStore)
{
    TempProgramFolder folder;
    writeFile(folder.configPath() + QStringLiteral("main.cfg"), "server_port=2110\r\n");
    MemoryRegistry registry;
    changeRegistry(registry, [](RegistryData &d) {
        addAccount(d, {kOe + QStringLiteral("1"), QStringLiteral("A"), QStringLiteral("pop.a"), QStringLiteral("ann")});
        flag(d, kOe + QStringLiteral("1"), QStringLiteral("pop.a"), 110);
    });
    AccountRouting routing(registry, folder.configPath(), folder.path());
    routing.ConfigureMail();
    EXPECT_EQ(num(registry.load(), kOe + QStringLiteral("1"), "POP3 Port"), 2110u);
    routing.DeConfigureMail();
    EXPECT_EQ(num(registry.load(), kOe + QStringLiteral("1"), "POP3 Port"), 110u);

    QFile::remove(folder.configPath() + QStringLiteral("main.cfg"));
    routing.ConfigureMail();
    EXPECT_EQ(num(registry.load(), kOe + QStringLiteral("1"), "POP3 Port"), 0u) << "no settings file: port 0";

    writeFile(folder.configPath() + QStringLiteral("main.cfg"), "server_port=11 10\r\n");
    EXPECT_THROW(routing.ConfigureMail(), ConversionError);
}

} // namespace
} // namespace jw::test

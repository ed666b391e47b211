// Evolution's and Claws Mail's accounts routed by their own means (the real
// evolution-source-registry on a private session bus, accountrc as Claws
// writes it) and fetched through the real proxy with the values routing
// gave them, as the mail program would.
#include "accounts/clawsmailsource.h"
#include "accounts/evolutionsource.h"
#include "clawsmail/accountrc.h"
#include "evolution/sourceregistry.h"
#include "proxyfixture.h"
#include "support/sessionbus.h"
#include "textfile/keyfiletext.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>

namespace jw::test {
namespace {

const QByteArray kMessage = "From: Carol <carol@friends.example>\r\nTo: ann@example.com\r\nSubject: lunch\r\n"
                            "Date: Mon, 7 Dec 2026 10:00:00 +0000\r\nMessage-ID: <lunch@example.com>\r\n\r\n"
                            "See you at one.\r\n";

class MailProgramsEndToEnd : public ProxyFixture
{
protected:
    void SetUp() override
    {
        ProxyFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // Only the mail program's own files name the account.
        writeFile(folder.file(QStringLiteral("registry.reg")), "Windows Registry Editor Version 5.00\r\n\r\n");
        dovecot->addMessage("ann", kMessage);
    }
    QString home() const { return folder.file(QStringLiteral("home")); }
    ClientPlaces places() const { return {home(), folder.file(QStringLiteral("state"))}; }
    QByteArray realPort() const { return QByteArray::number(dovecot->plainPort()); }
    // Fetches the first message with the user and port routing wrote.
    void expectFetched(const QByteArray &host, const QByteArray &port, const QByteArray &user)
    {
        EXPECT_EQ(host, "localhost");
        EXPECT_EQ(port.toInt(), proxyPort);
        const Fetch fetch = curl(QStringLiteral("1"), {}, user);
        EXPECT_EQ(fetch.exitCode, 0) << fetch.err.constData();
        EXPECT_TRUE(fetch.out.contains("See you at one.")) << fetch.out.constData();
    }
};

// An Evolution account as its source file says it, with `method` its login.
QByteArray evolutionAccount(const char *name, const char *backend, const QByteArray &port, const char *method)
{
    return QByteArray("[Data Source]\nDisplayName=") + name + "\nEnabled=true\nParent=\n\n[Mail Account]\nBackendName="
        + backend + "\nIdentityUid=\nNeedsInitialSetup=false\n\n[Authentication]\nHost=127.0.0.1\nMethod=" + method
        + "\nPort=" + port + "\nProxyUid=system-proxy\nRememberPassword=true\nUser=ann\nCredentialName=\n"
        + "IsExternal=false\n\n[Security]\nMethod=none\n";
}

TEST_F(MailProgramsEndToEnd, EvolutionAccountsChangeLiveThroughItsRegistryAndComeBackAsItHadThem)
{
    if (!QFileInfo::exists(QStringLiteral("/usr/libexec/evolution-source-registry")))
        GTEST_SKIP() << "evolution-data-server is not installed";
    const QString sources = home() + QStringLiteral("/.config/evolution/sources/");
    QDir().mkpath(sources);
    writeFile(sources + QStringLiteral("ann-pop.source"), evolutionAccount("Ann", "pop", realPort(), "none"));
    writeFile(sources + QStringLiteral("ann-google.source"), evolutionAccount("Ann G", "pop", "995", "Google"));
    writeFile(sources + QStringLiteral("ann-imap.source"), evolutionAccount("Ann I", "imapx", "993", "none"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home() + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home() + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home() + QStringLiteral("/.cache"));
    const PrivateSessionBus bus(env);
    if (bus.address().isEmpty())
        GTEST_SKIP() << "no dbus-daemon";
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address());
    startProxy();

    const EvolutionSource evolution(places());
    ASSERT_EQ(evolution.places().size(), 1) << "the registry's name comes from its service file";
    const evolution::SourceRegistry registry(evolution.places().first());
    const auto sourceOf = [&registry](const QString &uid) {
        QString problem;
        for (const evolution::Source &s : registry.sources(&problem).value_or(QList<evolution::Source>())) {
            if (s.uid == uid)
                return s;
        }
        return evolution::Source();
    };
    const auto data = [&sourceOf](const QString &uid) { return KeyFileText(sourceOf(uid).data); };
    const QString uid = QStringLiteral("ann-pop");
    const QByteArray original = data(uid).bytes();
    const QByteArray originalFile = readFile(sources + QStringLiteral("ann-pop.source"));
    ASSERT_FALSE(original.isEmpty());

    QList<AccountRow> rows = evolution.find(proxyPort);
    ASSERT_EQ(rows.size(), 2) << "IMAP is not listed";
    std::sort(rows.begin(), rows.end(), [](const AccountRow &a, const AccountRow &b) { return a.key > b.key; });
    EXPECT_EQ(rows[1].blocked, AccountRow::Blocked::Login) << "OAuth 2.0 inside Evolution cannot pass through";
    ASSERT_EQ(rows[0].key, uid);
    EXPECT_EQ(rows[0].port, QString::fromLatin1(realPort()));
    rows[0].routed = true;
    rows[1].routed = true; // ticked though blocked: left alone
    const ClientChange saved = evolution.save(rows, proxyPort, true);
    EXPECT_TRUE(saved.refused.isEmpty() && saved.unreadable.isEmpty())
        << saved.refused.join(QLatin1Char(' ')).toStdString();
    KeyFileText routed = data(uid);
    EXPECT_EQ(routed.value("Authentication", "User"), QByteArray("ann,127.0.0.1"));
    EXPECT_EQ(data(QStringLiteral("ann-google")).value("Authentication", "Host"), QByteArray("127.0.0.1"));
    expectFetched(*routed.value("Authentication", "Host"), *routed.value("Authentication", "Port"),
        *routed.value("Authentication", "User"));
    for (const AccountRow &row : evolution.find(proxyPort)) {
        EXPECT_EQ(row.routed, row.key == uid) << "listed as routed, the blocked one not";
        EXPECT_EQ(row.server, QStringLiteral("127.0.0.1")) << "with its real server";
    }

    EXPECT_TRUE(evolution.restore(evolution.places()).refused.isEmpty());
    EXPECT_EQ(data(uid).bytes(), original) << "as the registry had it";
    EXPECT_TRUE(waitUntil([&] { return readFile(sources + QStringLiteral("ann-pop.source")) == originalFile; }))
        << readFile(sources + QStringLiteral("ann-pop.source")).constData();

    // Routed again; meanwhile the user turns on STARTTLS: restoring keeps it.
    evolution.route(evolution.places(), proxyPort);
    routed = data(uid);
    routed.set("Security", "Method", evolution::kSecurityStartTls);
    QString problem;
    ASSERT_TRUE(registry.write(sourceOf(uid).objectPath, routed.bytes(), &problem)) << problem.toStdString();
    evolution.restore(evolution.places());
    const KeyFileText restored = data(uid);
    EXPECT_EQ(restored.value("Security", "Method"), QByteArray(evolution::kSecurityStartTls));
    EXPECT_EQ(restored.value("Authentication", "Host"), QByteArray("127.0.0.1"));
    EXPECT_EQ(restored.value("Authentication", "User"), QByteArray("ann"));

    // The program routes it when it starts; killed, its guardian restores it.
    stopProxy();
    QTemporaryDir runtime;
    QProcessEnvironment programEnv = bus.environment();
    programEnv.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    programEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    programEnv.insert(QStringLiteral("JUNKWARDEN_TRAY"), QStringLiteral("present"));
    programEnv.insert(QStringLiteral("JUNKWARDEN_REGISTRY"), folder.file(QStringLiteral("registry.reg")));
    QProcess program;
    program.setProcessEnvironment(programEnv);
    program.start(folder.file(QStringLiteral("junkwarden")), {QStringLiteral("/tray")});
    ASSERT_TRUE(program.waitForStarted(5000));
    EXPECT_TRUE(waitUntil([&] { return data(uid).value("Authentication", "Host") == QByteArray("localhost"); }))
        << "routed at start";
    EXPECT_TRUE(waitUntil([this] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, proxyPort);
        return probe.waitForConnected(200);
    })) << "the program's proxy serves the routed account";
    ::kill(pid_t(program.processId()), SIGKILL);
    program.waitForFinished(5000);
    EXPECT_TRUE(waitUntil([&] { return data(uid).bytes() == restored.bytes(); })) << data(uid).bytes().constData();
}

TEST_F(MailProgramsEndToEnd, ClawsMailAccountsFetchThroughTheProxyWithTheRoutedValues)
{
    const QString claws = clawsmail::configFolder(home());
    QDir().mkpath(claws);
    const QByteArray accountRc = "[Account: 1]\naccount_name=Ann\nprotocol=0\nreceive_server=127.0.0.1\nuser_id=ann\n"
                                 "set_popport=1\npop_port="
        + realPort() + "\nssl_pop=0\n\n";
    writeFile(claws + QStringLiteral("/accountrc"), accountRc);
    startProxy();
    QTemporaryDir runtime;
    const ClawsMailSource source(places(), runtime.path());
    QList<AccountRow> rows = source.find(proxyPort);
    ASSERT_EQ(rows.size(), 1);
    rows[0].routed = true;
    source.save(rows, proxyPort, true);
    const KeyFileText routed(readFile(claws + QStringLiteral("/accountrc")));
    const QByteArray group = clawsmail::accountGroup(1);
    expectFetched(
        *routed.value(group, "receive_server"), *routed.value(group, "pop_port"), *routed.value(group, "user_id"));
    source.restore(source.places());
    EXPECT_EQ(readFile(claws + QStringLiteral("/accountrc")), accountRc);
}

} // namespace
} // namespace jw::test

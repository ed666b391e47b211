// The real Thunderbird from Debian, headless, fetching through the real
// proxy from Dovecot, routed and restored as the settings page does it.
#include "accounts/thunderbirdsource.h"
#include "formats/quarantinestore.h"
#include "proxyfixture.h"

#include <QDir>
#include <QFileInfo>

#include <csignal>

namespace jw::test {
namespace {

const QString kInstalled = QStringLiteral("/usr/lib/thunderbird");

// Thunderbird run from a private copy of its program folder (its own
// program file, the rest linked), whose autoconfig file gives the
// account's password, as an administrator would: a headless Thunderbird
// cannot ask for it.
class HeadlessThunderbird
{
public:
    HeadlessThunderbird(const QString &root, const QString &home)
        : m_app(root + QStringLiteral("/thunderbird-app"))
        , m_home(home)
    {
        QDir().mkpath(m_app + QStringLiteral("/defaults/pref"));
        for (const QFileInfo &entry :
            QDir(kInstalled).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
            if (entry.fileName() == QLatin1String("thunderbird-bin"))
                QFile::copy(entry.absoluteFilePath(), m_app + QStringLiteral("/thunderbird-bin"));
            else if (entry.fileName() != QLatin1String("defaults") && entry.fileName() != QLatin1String("thunderbird"))
                QFile::link(entry.absoluteFilePath(), m_app + QLatin1Char('/') + entry.fileName());
        }
        const QString defaults = QFileInfo(kInstalled + QStringLiteral("/defaults")).canonicalFilePath();
        for (const QFileInfo &entry : QDir(defaults).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
            if (entry.fileName() != QLatin1String("pref"))
                QFile::link(entry.absoluteFilePath(), m_app + QStringLiteral("/defaults/") + entry.fileName());
        }
        for (const QFileInfo &entry : QDir(defaults + QStringLiteral("/pref")).entryInfoList(QDir::Files))
            QFile::link(entry.absoluteFilePath(), m_app + QStringLiteral("/defaults/pref/") + entry.fileName());
        writeFile(m_app + QStringLiteral("/defaults/pref/autoconfig.js"),
            "pref(\"general.config.filename\", \"junkwarden-test.cfg\");\n"
            "pref(\"general.config.obscure_value\", 0);\n"
            "pref(\"general.config.sandbox_enabled\", false);\n");
        // The password for the account as routed and as it is by itself.
        writeFile(m_app + QStringLiteral("/junkwarden-test.cfg"),
            "// the test's own set-up\n"
            "for (const user of [\"ann,localhost\", \"ann\"]) {\n"
            "  const login = Components.classes[\"@mozilla.org/login-manager/loginInfo;1\"]"
            ".createInstance(Components.interfaces.nsILoginInfo);\n"
            "  login.init(\"mailbox://localhost\", null, \"mailbox://localhost\", user, \"secret\", \"\", \"\");\n"
            "  Services.logins.addLoginAsync(login).catch(() => {});\n"
            "}\n");
    }

    static bool installed() { return QFileInfo(kInstalled + QStringLiteral("/thunderbird-bin")).isExecutable(); }

    // Runs it on the profile until `done` holds (at most a minute), then lets
    // it quit. The account fetches when Thunderbird starts (its first new-mail
    // check downloads, as the profile says).
    bool runUntil(const QString &profile, const std::function<bool()> &done)
    {
        QProcess thunderbird;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home);
        env.insert(QStringLiteral("MOZ_HEADLESS"), QStringLiteral("1"));
        thunderbird.setProcessEnvironment(env);
        thunderbird.setProcessChannelMode(QProcess::MergedChannels);
        thunderbird.start(m_app + QStringLiteral("/thunderbird-bin"),
            {QStringLiteral("--headless"), QStringLiteral("-mail"), QStringLiteral("--profile"), profile});
        const bool reached = thunderbird.waitForStarted(10000) && waitUntil(done, 60000);
        ::kill(pid_t(thunderbird.processId()), SIGTERM);
        if (!thunderbird.waitForFinished(20000)) {
            thunderbird.kill();
            thunderbird.waitForFinished(5000);
        }
        if (!reached)
            std::fprintf(stderr, "%s\n", thunderbird.readAll().right(4000).constData());
        return reached;
    }

private:
    QString m_app;
    QString m_home;
};

using ThunderbirdEndToEnd = ProxyFixture;

TEST_F(ThunderbirdEndToEnd, FetchesThroughTheProxyAndStraightAgainAfterRestoringWithoutDownloadingTwice)
{
    if (!HeadlessThunderbird::installed())
        GTEST_SKIP() << "Thunderbird is not installed (Debian package thunderbird)";
    const QByteArray good =
        "From: Carol <carol@friends.example>\r\nTo: ann@example.com\r\nSubject: lunch\r\n"
        "Date: Mon, 7 Dec 2026 10:00:00 +0000\r\nMessage-ID: <lunch@example.com>\r\n\r\nSee you at one.\r\n";
    const QByteArray spam =
        "From: offers@shop.spam.example\r\nTo: ann@example.com\r\nSubject: cheap watches\r\n"
        "Date: Mon, 7 Dec 2026 10:00:00 +0000\r\nMessage-ID: <watches@example.com>\r\n\r\nBuy now.\r\n";
    dovecot->addMessage("ann", good);
    dovecot->addMessage("ann", spam);
    writeFile(configFile("blacklist"), "spam.example\r\n");
    // Only Thunderbird names the account.
    writeFile(folder.file(QStringLiteral("registry.reg")), "Windows Registry Editor Version 5.00\r\n\r\n");

    const QString home = folder.file(QStringLiteral("home"));
    const QString profile = home + QStringLiteral("/.thunderbird/p.default");
    QDir().mkpath(profile);
    writeFile(home + QStringLiteral("/.thunderbird/profiles.ini"),
        "[Profile0]\nName=default\nIsRelative=1\nPath=p.default\nDefault=1\n");
    writeFile(profile + QStringLiteral("/prefs.js"),
        "user_pref(\"mail.account.account1.identities\", \"id1\");\n"
        "user_pref(\"mail.account.account1.server\", \"server1\");\n"
        "user_pref(\"mail.account.account2.server\", \"server2\");\n"
        "user_pref(\"mail.accountmanager.accounts\", \"account1,account2\");\n"
        "user_pref(\"mail.accountmanager.defaultaccount\", \"account1\");\n"
        "user_pref(\"mail.accountmanager.localfoldersserver\", \"server2\");\n"
        "user_pref(\"mail.identity.id1.fullName\", \"Ann\");\n"
        "user_pref(\"mail.identity.id1.useremail\", \"ann@example.com\");\n"
        "user_pref(\"mail.identity.id1.valid\", true);\n"
        "user_pref(\"mail.server.server2.directory-rel\", \"[ProfD]Mail/Local Folders\");\n"
        "user_pref(\"mail.server.server2.hostname\", \"Local Folders\");\n"
        "user_pref(\"mail.server.server2.type\", \"none\");\n"
        "user_pref(\"mail.server.server2.userName\", \"nobody\");\n"
        "user_pref(\"mail.server.server1.check_new_mail\", true);\n"
        "user_pref(\"mail.server.server1.check_time\", 1);\n"
        "user_pref(\"mail.server.server1.download_on_biff\", true);\n"
        "user_pref(\"mail.server.server1.directory-rel\", \"[ProfD]Mail/localhost\");\n"
        "user_pref(\"mail.server.server1.hostname\", \"localhost\");\n"
        "user_pref(\"mail.server.server1.leave_on_server\", true);\n"
        "user_pref(\"mail.server.server1.login_at_startup\", true);\n"
        "user_pref(\"mail.server.server1.port\", "
            + QByteArray::number(dovecot->plainPort())
            + ");\n"
              "user_pref(\"mail.server.server1.type\", \"pop3\");\n"
              "user_pref(\"mail.server.server1.userName\", \"ann\");\n");
    const QString inbox = profile + QStringLiteral("/Mail/localhost/Inbox");
    const auto inboxHas = [&inbox](const char *text) {
        QFile file(inbox);
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count(text)) : 0;
    };

    // Ticked and saved with the filter on, as the settings page does.
    QList<AccountRow> rows = findThunderbirdAccounts(home, proxyPort);
    ASSERT_EQ(rows.size(), 1) << "Local Folders is no POP3 account";
    rows[0].routed = true;
    ASSERT_TRUE(
        saveThunderbirdRows(rows, proxyPort, true, folder.file(QStringLiteral("state/thunderbird"))).waiting.isEmpty());
    startProxy();

    HeadlessThunderbird thunderbird(folder.path(), home);
    ASSERT_TRUE(thunderbird.runUntil(profile, [&] { return inboxHas("See you at one.") > 0; }))
        << "good mail reaches the Inbox through the proxy";
    EXPECT_EQ(inboxHas("Buy now."), 0);
    QuarantineStore store(folder.messagesPath(), folder.configPath(), QStringLiteral("-"), QStringLiteral("-"));
    ASSERT_EQ(store.scan().size(), 1) << "spam waits in the quarantine";
    EXPECT_EQ(store.scan()[0].subject, QStringLiteral("cheap watches"));

    // Unticked: straight from Dovecot again, and nothing comes twice.
    rows[0].routed = false;
    ASSERT_TRUE(
        saveThunderbirdRows(rows, proxyPort, true, folder.file(QStringLiteral("state/thunderbird"))).waiting.isEmpty());
    EXPECT_TRUE(readFile(profile + QStringLiteral("/prefs.js")).contains("\"mail.server.server1.userName\", \"ann\""));
    stopProxy();
    const qsizetype logins = dovecot->log().count("user=<ann>");
    EXPECT_TRUE(thunderbird.runUntil(profile, [&] { return dovecot->log().count("user=<ann>") > logins; }))
        << "Thunderbird logs in to Dovecot itself" << dovecot->log().constData();
    EXPECT_EQ(inboxHas("See you at one."), 1) << "not downloaded twice";
}

} // namespace
} // namespace jw::test

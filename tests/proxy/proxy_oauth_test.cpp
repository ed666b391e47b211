// OAuth 2.0 against a fake authorisation server and a real Dovecot that
// takes tokens only: the sign-in in a "browser", the proxy's XOAUTH2 login,
// refreshing, rotation and a grant the server no longer honours.
#include "oauth/oauthflow.h"
#include "oauth/tokenstore.h"
#include "proxyfixture.h"
#include "support/sessionbus.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace jw::test {
namespace {

// The fake authorisation server of tests/oauth.
class FakeAuthorizationServer
{
public:
    FakeAuthorizationServer()
    {
        m_process.start(QStringLiteral("python3"), {QStringLiteral(JW_FAKE_OAUTH), QStringLiteral("ann")});
        if (m_process.waitForReadyRead(10000))
            m_port = m_process.readLine().trimmed().toInt();
    }
    ~FakeAuthorizationServer()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    QByteArray url(const char *path) const { return "http://127.0.0.1:" + QByteArray::number(m_port) + path; }
    bool up() const { return m_port > 0; }
    QJsonObject post(const char *path, const QByteArray &form = {}) const { return request(path, form, true); }
    QJsonObject get(const char *path) const { return request(path, {}, false); }

private:
    QJsonObject request(const char *path, const QByteArray &form, bool post) const
    {
        QNetworkAccessManager network;
        QNetworkRequest request(QUrl(QString::fromLatin1(url(path))));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
        QNetworkReply *reply = post ? network.post(request, form) : network.get(request);
        QSignalSpy done(reply, &QNetworkReply::finished);
        done.wait(10000);
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        delete reply;
        return answer;
    }
    QProcess m_process;
    int m_port = 0;
};

// The user's browser: asks the authorisation address and follows its
// redirect to the program's listener; returns the page shown at the end.
struct FakeBrowser
{
    QNetworkAccessManager network;
    QByteArray lastPage;
    QByteArray (*tamper)(const QByteArray &location) = nullptr;

    bool open(const QUrl &address)
    {
        QNetworkRequest request(address);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        QNetworkReply *reply = network.get(request);
        QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply] {
            reply->deleteLater();
            QByteArray location = reply->rawHeader("Location");
            if (tamper)
                location = tamper(location);
            QNetworkReply *back = network.get(QNetworkRequest(QUrl(QString::fromLatin1(location))));
            QObject::connect(back, &QNetworkReply::finished, back, [this, back] {
                back->deleteLater();
                lastPage = back->readAll();
            });
        });
        return true;
    }
};

OAuthEndpoints endpointsOf(const FakeAuthorizationServer &server)
{
    OAuthConfig config{QStringLiteral("generic"), QStringLiteral("junkwarden-tests"), QString(),
        QString::fromLatin1(server.url("/authorize")), QString::fromLatin1(server.url("/token")),
        QStringLiteral("mail")};
    QString error;
    return resolveOAuth(config, &error).value_or(OAuthEndpoints());
}

// Runs one sign-in to its end.
std::pair<TokenGrant, QString> signIn(const OAuthEndpoints &endpoints, FakeBrowser &browser)
{
    OAuthSignIn flow(endpoints, QStringLiteral("ann"), [&browser](const QUrl &url) { return browser.open(url); });
    QSignalSpy finished(&flow, &OAuthSignIn::finished);
    flow.start();
    if (!finished.wait(20000))
        return {{}, QStringLiteral("no end")};
    waitUntil([&browser] {
        QCoreApplication::processEvents();
        return !browser.lastPage.isEmpty();
    });
    return {finished.at(0).at(0).value<TokenGrant>(), finished.at(0).at(1).toString()};
}

TEST(OAuthSignIn, CodeWithPkceStateCheckedOnLoopbackOnly)
{
    FakeAuthorizationServer server;
    ASSERT_TRUE(server.up());
    const OAuthEndpoints endpoints = endpointsOf(server);
    ASSERT_FALSE(endpoints.clientId.isEmpty());

    FakeBrowser browser;
    const auto [grant, error] = signIn(endpoints, browser);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_GT(grant.accessToken.size(), 2000);
    EXPECT_TRUE(grant.refreshToken.startsWith("rt-"));
    EXPECT_TRUE(browser.lastPage.contains("Signed in. You may close this page.")) << browser.lastPage.constData();

    // An answer that does not carry this sign-in's state is refused.
    FakeBrowser forged;
    forged.tamper = [](const QByteArray &location) { return QByteArray(location).replace("state=", "state=forged"); };
    const auto [none, refused] = signIn(endpoints, forged);
    EXPECT_TRUE(none.accessToken.isEmpty());
    EXPECT_EQ(refused, QStringLiteral("the sign-in's answer did not carry its state"));
    EXPECT_EQ(server.get("/stats").value(QLatin1String("token_requests")).toInt(), 1) << "the forged code not used";

    // The listener answers on 127.0.0.1 only, and gives up after its time.
    OAuthSignIn waiting(endpoints, QString(), [](const QUrl &) { return true; });
    QSignalSpy finished(&waiting, &OAuthSignIn::finished);
    waiting.start();
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (address.isLoopback() || address.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        QTcpSocket probe;
        probe.connectToHost(address, quint16(waiting.redirectUri().port()));
        EXPECT_FALSE(probe.waitForConnected(1000)) << address.toString().toStdString();
    }
    waiting.timeOut();
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.at(0).at(1).toString(), QStringLiteral("the sign-in was not finished within five minutes"));
}

// The refresh token in a real Secret Service (gnome-keyring in a private
// D-Bus session) where this machine can start one; else in the file, which
// says so. Either way, the file is the user's alone.
TEST(TokenStore, KeptInTheSecretStoreWhereOneAnswersElseInAPrivateFile)
{
    QTemporaryDir home;
    QDir().mkpath(home.filePath(QStringLiteral("run")));
    QFile::setPermissions(
        home.filePath(QStringLiteral("run")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("run")));
    const PrivateSessionBus bus(env);
    const QByteArray address = bus.address();
    QProcess keyring;
    QString reason;
    if (address.isEmpty()) {
        reason = QStringLiteral("no dbus-daemon");
    } else {
        keyring.setProcessEnvironment(bus.environment());
        keyring.start(QStringLiteral("gnome-keyring-daemon"),
            {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
        if (!keyring.waitForStarted(5000)) {
            reason = QStringLiteral("no gnome-keyring-daemon");
        } else {
            keyring.write("junkwarden-tests"); // the new login keyring's password
            keyring.closeWriteChannel();
            waitUntil([&home] {
                return QFile::exists(home.filePath(QStringLiteral(".local/share/keyrings/login.keyring")));
            });
        }
    }
    const QByteArray savedBus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.isEmpty() ? QByteArray("unix:path=/nonexistent") : address);
    const QString state = home.filePath(QStringLiteral("state/"));
    QDir().mkpath(state);
    const std::unique_ptr<TokenStore> store = createTokenStore(state);
    QString problem = QStringLiteral("unanswered");
    store->save(QStringLiteral("ann,pop.example"), "rt-kept", [&problem](const QString &p) { problem = p; });
    waitUntil([&problem] {
        QCoreApplication::processEvents();
        return problem != QLatin1String("unanswered");
    });
    EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
    std::optional<QByteArray> loaded;
    bool answered = false;
    store->load(QStringLiteral("ann,pop.example"), [&](const std::optional<QByteArray> &token) {
        loaded = token;
        answered = true;
    });
    waitUntil([&answered] {
        QCoreApplication::processEvents();
        return answered;
    });
    EXPECT_EQ(loaded.value_or(QByteArray()), "rt-kept");
    const QString file = state + QStringLiteral("oauth-tokens");
    if (reason.isEmpty() && store->fallbackNote().isEmpty()) {
        EXPECT_FALSE(QFile::exists(file)) << "in the secret store, not the file";
    } else {
        std::printf("the secret store is not at hand (%s): the file keeps the token\n",
            qUtf8Printable(reason.isEmpty() ? store->fallbackNote() : reason));
        EXPECT_FALSE(store->fallbackNote().isEmpty()) << "the user is told";
        EXPECT_EQ(QFile::permissions(file) & 0x0fff, QFileDevice::ReadUser | QFileDevice::WriteUser) << "0600";
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", savedBus);
    keyring.kill();
    keyring.waitForFinished(3000);
}

class ProxyOAuth : public ProxyFixture
{
protected:
    void SetUp() override
    {
        ProxyFixture::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(authorization.up());
        // A Dovecot that takes tokens, asking the fake server about them.
        dovecot->stop();
        dovecot = std::make_unique<DovecotServer>();
        dovecot->addUser("ann", "secret");
        dovecot->acceptOAuth(authorization.url("/introspect"));
        QString problem;
        ASSERT_TRUE(dovecot->start(&problem)) << problem.toStdString();
        writeSettings();
        writeAccounts(0, oauthValues()); // the plain port: STLS is required for a token
    }
    QByteArray oauthValues() const
    {
        return "\"OAuth2 Provider\"=\"generic\"\r\n\"OAuth2 Client Id\"=\"junkwarden-tests\"\r\n"
               "\"OAuth2 Authorization URL\"=\""
            + authorization.url("/authorize") + "\"\r\n\"OAuth2 Token URL\"=\"" + authorization.url("/token")
            + "\"\r\n\"OAuth2 Scope\"=\"mail\"\r\n";
    }
    // Signs in as the settings page does and keeps the refresh token where
    // the proxy looks (no secret store in the tests: the file).
    void signInAndStore()
    {
        FakeBrowser browser;
        const auto [grant, error] = signIn(endpointsOf(authorization), browser);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        QDir().mkpath(folder.file(QStringLiteral("state")));
        const std::unique_ptr<TokenStore> store = createFileTokenStore(folder.file(QStringLiteral("state/")));
        bool done = false;
        store->save(tokenAccount(QStringLiteral("ann"), QStringLiteral("localhost")), grant.refreshToken,
            [&done](const QString &) { done = true; });
        waitUntil([&done] {
            QCoreApplication::processEvents();
            return done;
        });
    }
    int tokenRequests() { return authorization.get("/stats").value(QLatin1String("token_requests")).toInt(); }

    FakeAuthorizationServer authorization;
};

TEST_F(ProxyOAuth, FetchesWithATokenRefreshesOnceAndAsksForSignInWhenTheGrantIsGone)
{
    dovecot->addMessage("ann", "From: carol@friends.example\r\nSubject: lunch\r\n\r\nSee you.\r\n");
    writeFile(configFile("whitelist"), "carol@friends.example\r\n");
    captureProxyOutput = true;
    QProcessEnvironment noSecretStore;
    noSecretStore.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));

    // The server takes tokens only.
    Pop3Talk direct(dovecot->plainPort());
    EXPECT_TRUE(direct.say("USER ann").startsWith("+OK"));
    EXPECT_TRUE(direct.say("PASS secret").startsWith("-ERR"));

    // Before any sign-in: told at once, no request made.
    startProxy(noSecretStore);
    Fetch before = curl(QString(), {}, "ann,localhost", "anything");
    EXPECT_NE(before.exitCode, 0);
    EXPECT_EQ(tokenRequests(), 0);
    EXPECT_TRUE(readFile(folder.file(QStringLiteral("state/signin-needed"))).contains("ann,localhost"));

    signInAndStore();
    const int afterSignIn = tokenRequests();
    // The client's password is its own choice, never sent on.
    const Fetch fetched = curl(QStringLiteral("1"), {}, "ann,localhost", "any password at all");
    ASSERT_EQ(fetched.exitCode, 0) << dovecot->log().right(3000).constData();
    EXPECT_TRUE(fetched.out.endsWith("See you.\r\n"));
    EXPECT_EQ(tokenRequests(), afterSignIn + 1) << "one refresh for the first access token";
    EXPECT_FALSE(readFile(folder.file(QStringLiteral("state/signin-needed"))).contains("ann,localhost"));

    // The rotated refresh token was kept: a new proxy refreshes with it,
    // once for ten sessions at once.
    stopProxy();
    startProxy(noSecretStore);
    QList<QProcess *> clients;
    for (int i = 0; i < 10; ++i) {
        auto *client = new QProcess;
        client->start(QStringLiteral("curl"),
            {QStringLiteral("-s"), QStringLiteral("--user"), QStringLiteral("ann,localhost:x"),
                QStringLiteral("pop3://127.0.0.1:%1/").arg(proxyPort)});
        clients.append(client);
    }
    for (QProcess *client : std::as_const(clients)) {
        EXPECT_TRUE(client->waitForFinished(30000));
        EXPECT_EQ(client->exitCode(), 0);
        delete client;
    }
    EXPECT_EQ(tokenRequests(), afterSignIn + 2);
    EXPECT_EQ(curl(QString(), {}, "ann,localhost", "x").exitCode, 0);
    EXPECT_EQ(tokenRequests(), afterSignIn + 2) << "a token good for an hour is used again";

    // A token that ends within five minutes is renewed before it is used.
    authorization.post("/mode", "mode=short");
    stopProxy();
    startProxy(noSecretStore);
    EXPECT_EQ(curl(QString(), {}, "ann,localhost", "x").exitCode, 0);
    EXPECT_EQ(curl(QString(), {}, "ann,localhost", "x").exitCode, 0);
    EXPECT_EQ(tokenRequests(), afterSignIn + 4);
    authorization.post("/mode", "mode=normal");
    EXPECT_EQ(curl(QString(), {}, "ann,localhost", "x").exitCode, 0); // a token for an hour again
    const int beforeRefusals = tokenRequests();

    // A token the server refuses is refreshed once and tried once more.
    authorization.post("/mode", "mode=refuse_access");
    EXPECT_NE(curl(QString(), {}, "ann,localhost", "x").exitCode, 0);
    EXPECT_EQ(tokenRequests(), beforeRefusals + 1);

    // A grant the server no longer honours: one request, then sign-in needed.
    authorization.post("/mode", "mode=invalid_grant");
    stopProxy();
    startProxy(noSecretStore);
    const Fetch refused = curl(QString(), {}, "ann,localhost", "x");
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_EQ(tokenRequests(), beforeRefusals + 2);
    EXPECT_NE(curl(QString(), {}, "ann,localhost", "x").exitCode, 0);
    EXPECT_EQ(tokenRequests(), beforeRefusals + 2) << "no second request for a dead grant";
    EXPECT_TRUE(readFile(folder.file(QStringLiteral("state/signin-needed"))).contains("ann,localhost"));

    // No token in any file but the token store, nor in what the proxy said.
    stopProxy();
    EXPECT_FALSE(QRegularExpression(QStringLiteral("(at-[A-Za-z0-9_-]{100}|rt-[A-Za-z0-9_-]{20})"))
                     .match(QString::fromLatin1(proxyOutput))
                     .hasMatch());
    const QRegularExpression token(QStringLiteral("(at-[A-Za-z0-9_-]{100}|rt-[A-Za-z0-9_-]{20})"));
    EXPECT_TRUE(
        token.match(QString::fromLatin1(readFile(folder.file(QStringLiteral("state/oauth-tokens"))))).hasMatch());
    QDirIterator files(folder.path(), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (!path.endsWith(QLatin1String("oauth-tokens"))) {
            EXPECT_FALSE(token.match(QString::fromLatin1(readFile(path))).hasMatch()) << path.toStdString();
        }
    }
}

// A server that signs in as Microsoft's: XOAUTH2 only after STLS, the
// token in a line of its own, far longer than a command line may be.
TEST_F(ProxyOAuth, SignsInToAMicrosoftLikeServerInTwoLinesAfterStls)
{
    QTemporaryDir scratch;
    const QString log = scratch.filePath(QStringLiteral("commands.log"));
    QProcess server;
    server.start(
        QStringLiteral("python3"), {QStringLiteral(JW_MICROSOFT_POP3), dovecot->caFile(), dovecot->keyFile(), log});
    ASSERT_TRUE(server.waitForReadyRead(10000));
    writeAccounts(quint16(server.readLine().trimmed().toInt()), oauthValues());
    signInAndStore();
    startProxy();
    const Fetch fetched = curl(QString(), {}, "ann,localhost", "pw-of-the-client");
    EXPECT_EQ(fetched.exitCode, 0) << fetched.err.constData();
    const QList<QByteArray> said = readFile(log).split('\n');
    server.kill();
    server.waitForFinished(5000);
    ASSERT_GE(said.size(), 5);
    EXPECT_EQ(said.mid(0, 4), (QList<QByteArray>{"CAPA", "STLS", "CAPA", "AUTH XOAUTH2"}))
        << "asked again after STLS; never the one-line AUTH";
    EXPECT_GT(said[4].size(), 2500) << "the token's line";
    EXPECT_FALSE(readFile(log).contains("pw-of-the-client")) << "the client's password goes nowhere";
    EXPECT_FALSE(readFile(log).contains("PASS"));
}

} // namespace
} // namespace jw::test

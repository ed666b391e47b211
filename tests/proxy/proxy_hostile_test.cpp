// The proxy against hostile servers and clients: nothing deleted that is not
// kept, no freeze, no stranger served.
#include "formats/quarantinestore.h"
#include "proxyfixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>

namespace jw::test {
namespace {

// hostile_pop3.py, started for one test.
class HostileServer
{
public:
    explicit HostileServer(const QJsonObject &script)
    {
        writeFile(m_dir.filePath(QStringLiteral("script.json")), QJsonDocument(script).toJson());
        m_process.start(QStringLiteral("python3"),
            {QStringLiteral(JW_HOSTILE_POP3), m_dir.filePath(QStringLiteral("script.json")),
                m_dir.filePath(QStringLiteral("log")), m_dir.filePath(QStringLiteral("port"))});
        waitUntil([this] { return QFileInfo(m_dir.filePath(QStringLiteral("port"))).size() > 0; });
        m_port = quint16(contentOf(QStringLiteral("port")).toUInt());
    }
    ~HostileServer()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
    quint16 port() const { return m_port; }
    // The commands it received, one a line.
    QList<QByteArray> log() const { return contentOf(QStringLiteral("log")).split('\n'); }

private:
    QByteArray contentOf(const QString &name) const
    {
        QFile file(m_dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};

QByteArray mail(const QByteArray &from, const QByteArray &subject, const QByteArray &body)
{
    return "From: " + from + "\r\nTo: ann@example.com\r\nSubject: " + subject
        + "\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\nMessage-ID: <"
        + QCryptographicHash::hash(QByteArray(subject + body), QCryptographicHash::Md5).toHex()
        + "@example.com>\r\n\r\n" + body;
}

// `listed`: the size LIST gives, when not the real one.
QJsonObject message(const QByteArray &uidl, const QByteArray &source, bool stuff = true, qint64 listed = -1)
{
    QJsonObject m{{QStringLiteral("uidl"), QString::fromUtf8(uidl)},
        {QStringLiteral("data"), QString::fromLatin1(source.toBase64())}, {QStringLiteral("stuff"), stuff}};
    if (listed >= 0)
        m.insert(QStringLiteral("size"), listed);
    return m;
}

QJsonObject mailbox(const QList<QJsonObject> &messages, const QJsonObject &more = {})
{
    QJsonObject script = more;
    QJsonArray list;
    for (const QJsonObject &m : messages)
        list.append(m);
    script.insert(QStringLiteral("messages"), list);
    return script;
}

// The held files of every account folder, by folder.
QMap<QString, QStringList> heldFiles(const TempProgramFolder &folder)
{
    QMap<QString, QStringList> files;
    const QDir messages(folder.messagesPath());
    for (const QString &account : messages.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        files.insert(account, QDir(messages.filePath(account)).entryList(QDir::Files));
    return files;
}

using ProxyUnderAttack = ProxyFixture;

TEST_F(ProxyUnderAttack, MailIsRemovedFromTheServerOnlyOnceItsOwnBytesAreKept)
{
    writeFile(configFile("blacklist"), "spam.example\r\n");
    const QByteArray spamA = mail("x@spam.example", "offer one", "Buy one.\r\n");
    const QByteArray spamB = mail("y@spam.example", "offer two", "Buy two.\r\n");
    const QByteArray good = mail("carol@friends.example", "lunch", "See you.\r\n.\r\nThe rest of it.\r\n");
    const struct
    {
        const char *name;
        QJsonObject script;
        QList<QByteArray> users; // one session each, ended with QUIT
        int held; // files in the quarantine afterwards
        QList<QByteArray> deleted; // what the server was asked to delete, over all sessions
        bool loginFails = false;
    } cases[] = {
        {"UIDLs with blanks are whole", mailbox({message("box 1", spamA), message("box 2", spamB)}), {"ann,localhost"},
            2, {"DELE 1", "DELE 2"}},
        {"the same UIDL twice in a session", mailbox({message("same", spamA), message("same", spamB)}),
            {"ann,localhost"}, 2, {"DELE 1", "DELE 2"}},
        {"the same message fetched again, the name typed otherwise", mailbox({message("u1", spamA)}),
            {"ANN,localhost", "ann,LOCALHOST"}, 1, {"DELE 1", "DELE 1"}},
        {"a lone dot not doubled", mailbox({message("g1", good, false), message("s1", spamA)}), {"ann,localhost"}, 0,
            {}, true},
        {"a message far shorter than listed", mailbox({message("s1", spamA, true, 5000)}), {"ann,localhost"}, 0, {},
            true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folder.messagesPath()).removeRecursively();
        QDir(folder.file(QStringLiteral("state"))).removeRecursively();
        HostileServer server(c.script);
        writeAccounts(server.port());
        startProxy();
        for (const QByteArray &user : c.users) {
            const Fetch fetch = curl(QString(), {}, user);
            EXPECT_EQ(fetch.exitCode != 0, c.loginFails) << fetch.err.constData();
            EXPECT_FALSE(fetch.out.contains("The rest of it")) << "never one message's words as another's";
        }
        stopProxy();
        int files = 0;
        for (const QStringList &list : heldFiles(folder))
            files += int(list.size());
        EXPECT_EQ(files, c.held);
        EXPECT_LE(heldFiles(folder).size(), 1) << "one mailbox, one folder";
        QList<QByteArray> deleted;
        for (const QByteArray &line : server.log()) {
            if (line.startsWith("DELE"))
                deleted.append(line);
        }
        EXPECT_EQ(deleted, c.deleted);
        EXPECT_EQ(server.log().contains("QUIT"), !c.loginFails) << "broken off without QUIT";
    }

    // A session broken off goes on next time where it stopped: what was
    // judged is not fetched again to be judged.
    {
        writeFile(configFile("whitelist"), "friends.example\r\n");
        HostileServer breaking(
            mailbox({message("g1", good), message("g2", mail("carol@friends.example", "two", "2\r\n")),
                        message("g3", mail("carol@friends.example", "three", "3\r\n"))},
                {{QStringLiteral("close_at_retr"), 3}, {QStringLiteral("pause"), 1}}));
        writeAccounts(breaking.port());
        startProxy();
        EXPECT_NE(curl(QString()).exitCode, 0);
        EXPECT_EQ(curl(QString()).exitCode, 0);
        stopProxy();
        EXPECT_EQ(breaking.log().count("RETR 1"), 1);
        EXPECT_EQ(breaking.log().count("RETR 3"), 2);
    }

    // A later message that reuses the UIDL of one held and removed before
    // gets a file of its own; a file left half written by a proxy that was
    // killed goes when the proxy starts.
    const QString partial = folder.messagesPath() + QStringLiteral("ann,localhost/0123.eml.partial-AbC123");
    QDir().mkpath(QFileInfo(partial).path());
    writeFile(partial, "From the middle of a message");
    startProxy();
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(partial); })) << "gone once the proxy has started";
    for (const QByteArray &spam : {spamA, spamB}) {
        HostileServer server(mailbox({message("u1", spam)}));
        writeAccounts(server.port());
        EXPECT_EQ(curl(QString()).exitCode, 0);
        EXPECT_TRUE(server.log().contains("DELE 1"));
    }
    EXPECT_EQ(heldFiles(folder).value(QStringLiteral("ann,localhost")).size(), 2);

    // Held files are private, whatever the folder was made with before.
    const QString account = folder.messagesPath() + QStringLiteral("ann,localhost");
    struct stat info = {};
    ASSERT_EQ(::stat(QFile::encodeName(account).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    for (const QString &file : heldFiles(folder).value(QStringLiteral("ann,localhost"))) {
        ASSERT_EQ(::stat(QFile::encodeName(account + QLatin1Char('/') + file).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << file.toStdString();
    }

    // A quarantine that cannot be written: the message stays on the
    // server, and the failure leaves a trace.
    stopProxy();
    QDir(folder.messagesPath()).removeRecursively();
    writeFile(folder.messagesPath().chopped(1), "a file where the folder should be");
    HostileServer blocked(mailbox({message("b1", spamA)}));
    writeAccounts(blocked.port());
    startProxy();
    EXPECT_EQ(curl(QString()).exitCode, 0);
    EXPECT_FALSE(blocked.log().contains("DELE 1"));
    EXPECT_TRUE(
        readFile(folder.file(QStringLiteral("state/problems.log"))).contains("a held message stays on localhost"));
}

TEST_F(ProxyUnderAttack, NoMessageOrPeerFreezesOrFloodsIt)
{
    // Five messages of 230 KB of HTML with a link that never closes: judged
    // in bounded time, while another client is greeted at once.
    QList<QJsonObject> messages;
    for (int i = 0; i < 5; ++i) {
        const QByteArray html = "<html><body>" + QByteArray("<a href=\"http://a.example/\" x ").repeated(7500);
        messages.append(message("h" + QByteArray::number(i),
            mail("news@shop" + QByteArray::number(i) + ".example", "news " + QByteArray::number(i),
                "Content-Type: text/html\r\n\r\n" + html + "\r\n")
                .replace("\r\n\r\nContent-Type", "\r\nContent-Type")));
    }
    // A LIST line naming message 50,000,000 costs nothing.
    HostileServer server(mailbox(messages, {{QStringLiteral("extra_list"), QStringLiteral("50000000 40")}}));
    writeAccounts(server.port());
    // A sanitizer build keeps freed memory aside for a while; that is not
    // the proxy's.
    QProcessEnvironment small;
    small.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("quarantine_size_mb=1"));
    startProxy(small);
    QElapsedTimer clock;
    clock.start();
    QProcess fetching;
    fetching.start(QStringLiteral("curl"),
        {QStringLiteral("-s"), QStringLiteral("-u"), QStringLiteral("ann,localhost:secret"),
            QStringLiteral("pop3://127.0.0.1:%1/").arg(proxyPort)});
    ASSERT_TRUE(fetching.waitForStarted(5000));
    {
        QElapsedTimer greeting;
        greeting.start();
        Pop3Talk other(proxyPort);
        EXPECT_TRUE(other.connected());
        EXPECT_EQ(other.say("NOOP"), QByteArray("+OK"));
        EXPECT_LT(greeting.elapsed(), 2000) << "greeted and answered while judging";
    }
    ASSERT_TRUE(fetching.waitForFinished(60000));
    EXPECT_EQ(fetching.exitCode(), 0);
    EXPECT_EQ(fetching.readAllStandardOutput().count('\n'), 5);
    EXPECT_LT(clock.elapsed(), 30000);
    EXPECT_LT(proxyPeakKb(), 600 * 1024) << "memory follows the messages listed";

    // A client that sends 12 MB of commands and reads nothing.
    const qint64 before = proxyPeakKb();
    {
        Pop3Talk flood(proxyPort);
        const QByteArray noops = QByteArray("NOOP\r\n").repeated(2 * 1024 * 1024);
        flood.socket().write(noops);
        for (int i = 0; i < 400 && flood.socket().bytesToWrite() > 0; ++i)
            flood.socket().waitForBytesWritten(25);
    }
    EXPECT_LT(proxyPeakKb() - before, 20 * 1024) << "what a client sends waits in the network";

    // A server that accepts and never greets: the client hears within 30 s.
    HostileServer silent(QJsonObject{{QStringLiteral("greet"), false}});
    writeAccounts(silent.port());
    clock.restart();
    EXPECT_NE(curl(QString()).exitCode, 0);
    EXPECT_LT(clock.elapsed(), 30000);
}

TEST_F(ProxyUnderAttack, OnlyItsOwnUserAndOnlyWhatTheClientMeant)
{
    writeFile(configFile("blacklist"), "spam.example\r\n");
    writeFile(configFile("whitelist"), "friends.example\r\n");
    QByteArray big =
        mail("carol@friends.example", "big", QByteArray(QByteArray("body line").repeated(11) + "\r\n").repeated(20000));
    big.insert(big.indexOf("\r\n\r\n") + 2, "X-Long: " + QByteArray(1200 * 1024, 'h') + "\r\n");
    HostileServer server(mailbox({message("g1", big), message("s1", mail("x@spam.example", "offer", "Buy.\r\n"))}));
    writeAccounts(server.port());
    startProxy();

    // Another local user is refused before anything is read.
    QProcess stranger;
    stranger.start(QStringLiteral("setpriv"),
        {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"),
            QStringLiteral("curl"), QStringLiteral("-s"), QStringLiteral("-u"), QStringLiteral("ann,localhost:secret"),
            QStringLiteral("pop3://127.0.0.1:%1/").arg(proxyPort)});
    ASSERT_TRUE(stranger.waitForFinished(30000));
    EXPECT_NE(stranger.exitCode(), 0);
    EXPECT_FALSE(server.log().contains("USER ann")) << "nothing reached the server";

    Pop3Talk client(proxyPort);
    ASSERT_TRUE(client.connected());
    // A line break inside AUTH PLAIN's name never becomes a command.
    const QByteArray injected = QByteArray(1, '\0') + "ann,localhost\r\nDELE 1" + QByteArray(1, '\0') + "pw";
    EXPECT_TRUE(client.say("AUTH PLAIN " + injected.toBase64()).startsWith("-ERR"));
    // PASS is the rest of the line, blanks and all.
    EXPECT_EQ(client.say("USER ann,localhost"), QByteArray("+OK send the password"));
    EXPECT_TRUE(client.say("PASS  two  blanks ").startsWith("+OK 1 messages"));
    EXPECT_TRUE(server.log().contains("PASS  two  blanks "));
    EXPECT_FALSE(server.log().contains("DELE 1"));

    // TOP 0 gives a 1.2 MB header whole; LIST gives the octets RETR gives.
    client.socket().write("TOP 1 0\r\n");
    client.readLine();
    const QList<QByteArray> top = client.readBody();
    ASSERT_FALSE(top.isEmpty());
    EXPECT_TRUE(std::any_of(top.begin(), top.end(), [](const QByteArray &l) { return l.size() > 1200 * 1024; }));
    EXPECT_EQ(top.last(), QByteArray()) << "the header's end and no body";
    const QList<QByteArray> listed = QByteArray(client.say("LIST 1") + " ").split(' ');
    const qint64 size = listed.value(2).toLongLong();
    client.socket().write("RETR 1\r\n");
    EXPECT_EQ(client.readLine(), "+OK " + QByteArray::number(size) + " octets");
    qint64 octets = 0;
    for (const QByteArray &line : client.readBody())
        octets += line.size() + 2;
    EXPECT_EQ(octets, size);
}

TEST_F(ProxyUnderAttack, AServerThatDroppedTlsOrBreaksOffMidMessage)
{
    // Dovecot offers STLS: remembered, and a later plain answer on that
    // server and port is refused.
    dovecot->addMessage("ann", mail("carol@friends.example", "hello", "Hi.\r\n"));
    startProxy();
    ASSERT_EQ(curl(QString()).exitCode, 0);
    const QByteArray remembered = readFile(folder.file(QStringLiteral("state/tls-servers")));
    EXPECT_EQ(remembered, "localhost:" + QByteArray::number(dovecot->plainPort()) + "\r\n");

    HostileServer plain(
        mailbox({message("g1", mail("carol@friends.example", "long", QByteArray("line\r\n").repeated(100000)))},
            {{QStringLiteral("close_at_retr"), 2}}));
    writeAccounts(plain.port());
    writeFile(
        folder.file(QStringLiteral("state/tls-servers")), "localhost:" + QByteArray::number(plain.port()) + "\r\n");
    const Fetch refused = curl(QString());
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_FALSE(plain.log().contains("USER ann")) << "no password in plain text";

    // Closed halfway through a message relayed from the server (it passed
    // in an earlier session): the client's transfer breaks, and no error
    // text lands inside the message.
    QFile::remove(folder.file(QStringLiteral("state/tls-servers")));
    ASSERT_EQ(curl(QString()).exitCode, 0);
    const Fetch broken = curl(QStringLiteral("1"));
    EXPECT_NE(broken.exitCode, 0);
    EXPECT_FALSE(broken.out.contains("-ERR"));
}

} // namespace
} // namespace jw::test

// The proxy's parts on their own: POP3 lines, the list judgement, reading
// messages through GMime, and the upstream side against servers that
// misbehave.
#include "proxy/judgement.h"
#include "proxy/mailfacts.h"
#include "proxy/pop3text.h"
#include "proxy/upstream.h"

#include "support/testfiles.h"

#include <QProcess>
#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace jw::test {
namespace {

TEST(Pop3Text, LinesStuffingAndCommands)
{
    pop3::LineReader reader(10);
    reader.append("USER a\r\nPA");
    EXPECT_EQ(reader.takeLine(), std::optional<QByteArray>("USER a\r\n"));
    EXPECT_EQ(reader.takeLine(), std::nullopt);
    reader.append("SS b\nNOOP");
    EXPECT_EQ(reader.takeLine(), std::optional<QByteArray>("PASS b\n")) << "a bare LF ends a line too";
    EXPECT_FALSE(reader.overflowed());
    reader.append(QByteArray(20, 'x'));
    EXPECT_TRUE(reader.overflowed()) << "an unfinished line past the bound";

    const struct
    {
        QByteArray line, stuffedLine;
    } lines[] = {{".\r\n", "..\r\n"}, {"..x\r\n", "...x\r\n"}, {"a.b\r\n", "a.b\r\n"}, {"\r\n", "\r\n"}};
    for (const auto &l : lines) {
        EXPECT_EQ(pop3::stuffed(l.line), l.stuffedLine);
        EXPECT_EQ(pop3::unstuffed(l.stuffedLine), l.line);
    }
    EXPECT_TRUE(pop3::isTerminator(".\r\n"));
    EXPECT_FALSE(pop3::isTerminator("..\r\n"));
    const pop3::Command command = pop3::parseCommand("top  3 10\r\n");
    EXPECT_EQ(command.verb, QByteArray("TOP"));
    EXPECT_EQ(command.arguments, (QList<QByteArray>{"3", "10"}));
}

TEST(LocalJudgement, AddressesMatchWholeOrByDomain)
{
    const struct
    {
        const char *address, *entry;
        bool matches;
    } cases[] = {
        {"ann@example.com", "ann@example.com", true},
        {"ann@example.com", "ANN@Example.COM", true},
        {"ann@example.com", "example.com", true},
        {"ann@mail.example.com", "example.com", true},
        {"ann@mail.example.com", "@example.com", true},
        {"ann@badexample.com", "example.com", false},
        {"ann@example.com.evil", "example.com", false},
        {"bob@example.com", "ann@example.com", false},
        {"ann@example.com", "", false},
        {"", "example.com", false},
        {"ann@example.com", " example.com ", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.address) + " / " + c.entry);
        EXPECT_EQ(addressMatches(QString::fromLatin1(c.address), QString::fromLatin1(c.entry)), c.matches);
    }
}

TEST(LocalJudgement, ListsDecideInOrderEachSwitchedByItsMethod)
{
    TempProgramFolder folder;
    const QString config = folder.configPath();
    const auto methods = [&](const char *states) {
        QByteArray text;
        for (int i = 0; i < 61; ++i)
            text += "method " + QByteArray::number(i) + "=" + (i < 4 ? QByteArray(1, states[i]) : "0") + "\r\n";
        writeFile(config + QStringLiteral("methods.cfg"), text);
    };
    writeFile(config + QStringLiteral("whitelist"), "friends.example\r\n");
    writeFile(config + QStringLiteral("blacklist"), "spam.example\r\nfriend@friends.example\r\n");
    writeFile(config + QStringLiteral("whitelist_auto"), "released@spam.example\r\n");
    writeFile(config + QStringLiteral("badwords"), "viagra\r\nzegarki\r\nfree money\r\n");
    LocalJudgement judgement(config, {}, 0);
    const auto facts = [](const char *from, const char *subject, const char *text) {
        MailFacts f;
        f.fromAddress = QString::fromUtf8(from);
        f.subject = QString::fromUtf8(subject);
        f.text = QString::fromUtf8(text);
        return f;
    };
    const struct
    {
        const char *methods;
        MailFacts facts;
        bool spam;
        const char *reason;
    } cases[] = {
        {"1111", facts("friend@friends.example", "viagra", ""), false, "white list: friends.example"},
        {"1111", facts("released@spam.example", "hi", ""), false, "automatic white list: released@spam.example"},
        {"1111", facts("x@mail.spam.example", "hi", ""), true, "black list: spam.example"},
        {"1111", facts("x@other.example", "Cheap VIAGRA!", ""), true, "banned words (VIAGRA)"},
        {"1111", facts("x@other.example", "hi", "tanie zegarki tutaj"), true, "banned words (zegarki)"},
        {"1111", facts("x@other.example", "hi", "get free money now"), true, "banned words (free money)"},
        {"1111", facts("x@other.example", "viagrafalls", "zegarkizegarki"), false, ""},
        {"0111", facts("friend@friends.example", "hi", ""), true, "black list: friend@friends.example"},
        {"1011", facts("x@spam.example", "hi", ""), false, ""},
        {"1101", facts("released@spam.example", "hi", ""), true, "black list: spam.example"},
        {"1110", facts("x@other.example", "viagra", ""), false, ""},
        {"2222", facts("x@spam.example", "viagra", ""), false, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.methods) + " " + c.facts.fromAddress.toStdString() + " " + c.facts.subject.toStdString());
        methods(c.methods);
        const Verdict verdict = judgement.judge(c.facts);
        EXPECT_EQ(verdict.spam, c.spam);
        EXPECT_EQ(verdict.reason, QString::fromUtf8(c.reason));
    }
    // A list changed on disk counts from the next message on.
    methods("1111");
    writeFile(config + QStringLiteral("blacklist"), "other.example\r\n");
    EXPECT_TRUE(judgement.judge(facts("x@other.example", "hi", "")).spam);
    QFile::remove(config + QStringLiteral("blacklist"));
    EXPECT_FALSE(judgement.judge(facts("x@other.example", "hi", "")).spam);
}

// Each method that looks at the message alone, read through GMime from a
// real source: on, it decides; in the third state it adds its weight to the
// spam level, which holds the message once above "accepted_spam_level".
TEST(LocalJudgement, MethodsDecideWhenOnAndAddUpInTheThirdState)
{
    TempProgramFolder folder;
    const QString config = folder.configPath();
    const auto methods = [&](const QMap<int, char> &states) {
        QByteArray text;
        for (int i = 0; i < 61; ++i)
            text += "method " + QByteArray::number(i) + "=" + QByteArray(1, states.value(i, '0')) + "\r\n";
        writeFile(config + QStringLiteral("methods.cfg"), text);
    };
    const QByteArray plainHead = "From: Carol <carol@friends.example>\r\nTo: ann@example.com\r\nSubject: hi\r\n";
    const auto html = [&](const QByteArray &body) -> QByteArray {
        return plainHead + "Content-Type: text/html; charset=utf-8\r\n\r\n<html><body>" + body + "</body></html>\r\n";
    };
    const auto attached = [&](const QByteArray &name) -> QByteArray {
        return plainHead + "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
               "Content-Type: text/plain\r\n\r\nSee attached.\r\n--b\r\nContent-Type: application/octet-stream\r\n"
               "Content-Disposition: attachment; filename=\"" + name + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
               "TVqQAAMAAAAEAAAA\r\n--b--\r\n";
    };
    const QByteArray clean = plainHead + "\r\nSee you at one. http://example.com/menu\r\n";
    const struct
    {
        int method;
        QByteArray source;
        int weight;
        const char *reason;
    } cases[] = {
        {7, "From: x@shop.example\r\nTo: a@x.example, b@x.example, c@x.example\r\nSubject: hi\r\n\r\nHi.\r\n", 2,
         "3 recipients in To"},
        {8, "From: \r\nTo: ann@example.com\r\nSubject: hi\r\n\r\nHi.\r\n", 3, "no From address"},
        {19, html("<form action=\"http://x.example/\"><input name=p></form>"), 3, "HTML with a form or a script"},
        {19, html("<SCRIPT>alert(1)</SCRIPT>Hello"), 3, "HTML with a form or a script"},
        {21, html("<a href=\"http://192.168.10.7/login\">your bank</a>"), 3, "link to a numeric IP address"},
        {23, attached("setup.EXE"), 5, "program attachment (setup.EXE)"},
        {24, attached("invoice.pdf.scr"), 5, "attachment with a double extension (invoice.pdf.scr)"},
        {58, plainHead + "X-Spam-Flag: YES\r\n\r\nHi.\r\n", 5, "marked as spam by another filter"},
        {58, plainHead + "X-Spam-Status: Yes, score=9.1\r\n\r\nHi.\r\n", 5, "marked as spam by another filter"},
    };
    JudgementSettings settings;
    settings.checks.maxTo = 2;
    settings.acceptedLevel = 2;
    LocalJudgement judgement(config, settings, 0);
    for (const auto &c : cases) {
        SCOPED_TRACE("method " + std::to_string(c.method) + ": " + c.reason);
        const MailFacts facts = readMailFacts(c.source);
        const QString reason = QString::fromUtf8(c.reason);
        methods({{c.method, '1'}});
        Verdict verdict = judgement.judge(facts);
        EXPECT_TRUE(verdict.spam);
        EXPECT_EQ(verdict.reason, reason);
        EXPECT_EQ(verdict.spamNote(), QStringLiteral("Spam: ") + reason);
        EXPECT_FALSE(judgement.judge(readMailFacts(clean)).spam) << "an ordinary message passes";
        methods({{c.method, '2'}});
        verdict = judgement.judge(facts);
        EXPECT_EQ(verdict.level, c.weight);
        EXPECT_EQ(verdict.spam, c.weight > settings.acceptedLevel);
        EXPECT_EQ(verdict.reason, QStringLiteral("Spam level %1: ").arg(c.weight) + reason);
        methods({});
        verdict = judgement.judge(facts);
        EXPECT_FALSE(verdict.spam);
        EXPECT_EQ(verdict.level, 0);
    }
    // Weights add up: two weak signs together are too many.
    methods({{7, '2'}, {8, '2'}});
    const Verdict both = judgement.judge(
        readMailFacts("From: \r\nTo: a@x.example, b@x.example, c@x.example\r\nSubject: hi\r\n\r\nHi.\r\n"));
    EXPECT_TRUE(both.spam);
    EXPECT_EQ(both.spamNote(), QStringLiteral("Spam level 5: 3 recipients in To, no From address"));
}

// The command-line check judges files with the configuration beside the
// executable and touches nothing.
TEST(CheckCommand, PrintsALinePerFileAndTouchesNothing)
{
    TempProgramFolder folder;
    copyStagedProgram(folder, true);
    writeFile(folder.configPath() + QStringLiteral("blacklist"), "spam.example\r\n");
    writeFile(folder.configPath() + QStringLiteral("main.cfg"), "accepted_spam_level=1\r\nmaxto=1\r\n");
    QByteArray methods;
    for (int i = 0; i < 61; ++i)
        methods += "m=" + QByteArray(i == 1 ? "1" : i == 7 ? "2" : "0") + "\r\n";
    writeFile(folder.configPath() + QStringLiteral("methods.cfg"), methods);
    const QString good = folder.file(QStringLiteral("good.eml"));
    const QString bad = folder.file(QStringLiteral("bad.eml"));
    const QString crowded = folder.file(QStringLiteral("crowded.eml"));
    writeFile(good, "From: carol@friends.example\r\nTo: ann@example.com\r\nSubject: hi\r\n\r\nHello.\r\n");
    writeFile(bad, "From: x@shop.spam.example\r\nTo: ann@example.com\r\nSubject: offer\r\n\r\nBuy.\r\n");
    writeFile(crowded, "From: y@shop.example\r\nTo: a@x.example, b@x.example\r\nSubject: all\r\n\r\nHi.\r\n");
    const QStringList before = QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

    QProcess check;
    check.start(folder.file(QStringLiteral("vexel3")),
                {QStringLiteral("--check"), good, bad, crowded, folder.file(QStringLiteral("missing.eml"))});
    ASSERT_TRUE(check.waitForFinished(20000));
    EXPECT_EQ(check.exitCode(), 2) << "a file could not be read";
    EXPECT_EQ(QString::fromUtf8(check.readAllStandardOutput()),
              good + QStringLiteral("\tgood\t0\t\n") + bad + QStringLiteral("\tspam\t0\tblack list: spam.example\n")
                  + crowded + QStringLiteral("\tspam\t2\tSpam level 2: 2 recipients in To\n"));
    EXPECT_TRUE(check.readAllStandardError().contains("missing.eml"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
}

TEST(MailFacts, DecodedByGMime)
{
    const struct
    {
        const char *name;
        QByteArray source;
        const char *from, *address, *subject, *text;
        bool htmlOnly;
    } cases[] = {
        {"plain", "From: Ann <Ann@Example.COM>\r\nSubject: hi\r\n\r\nhello\r\n", "Ann <Ann@Example.COM>", "ann@example.com",
         "hi", "hello\r\n", false},
        {"encoded words and quoted-printable",
         "From: =?ISO-8859-2?Q?Pawe=B3?= <p@x.pl>\r\nSubject: =?UTF-8?B?WmHFvMOzxYLEhw==?=\r\nMIME-Version: 1.0\r\n"
         "Content-Type: text/plain; charset=iso-8859-2\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\ng=EA=B6l=B1 ja=BC=F1\r\n",
         "Paweł <p@x.pl>", "p@x.pl", "Zażółć", "gęślą jaźń\r\n", false},
        {"base64 html only",
         "From: s@spam.example\r\nSubject: x\r\nMIME-Version: 1.0\r\nContent-Type: text/html; charset=utf-8\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\nPGI+QnV5PC9iPiA8c2NyaXB0PngoKTwvc2NyaXB0Pm5vdw==\r\n",
         "s@spam.example", "s@spam.example", "x", " Buy    now", true},
        {"alternative: the text part is the text",
         "From: a@b.c\r\nSubject: alt\r\nMIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=XX\r\n\r\n"
         "--XX\r\nContent-Type: text/plain\r\n\r\nplain words\r\n--XX\r\nContent-Type: text/html\r\n\r\n<p>html words</p>\r\n--XX--\r\n",
         "a@b.c", "a@b.c", "alt", "plain words", false},
        {"garbage", QByteArray("\x00\xff\xfe garbage\r\n\r\n\x01", 16), "", "", "", "", false},
        {"empty", QByteArray(), "", "", "", "", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const MailFacts facts = readMailFacts(c.source);
        EXPECT_EQ(facts.from, QString::fromUtf8(c.from));
        EXPECT_EQ(facts.fromAddress, QString::fromUtf8(c.address));
        EXPECT_EQ(facts.subject, QString::fromUtf8(c.subject));
        EXPECT_EQ(facts.text.simplified(), QString::fromUtf8(c.text).simplified());
        EXPECT_EQ(facts.htmlOnly, c.htmlOnly);
    }
    EXPECT_EQ(readMailFacts(cases[3].source).content, QByteArray("<p>html words</p>")) << "the quarantine shows the HTML";
}

// A POP3 server that says what the test wants and nothing more.
class ScriptedServer
{
public:
    explicit ScriptedServer(std::function<void(QTcpSocket &, const QByteArray &line)> onLine, QByteArray greeting)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this, onLine, greeting] {
            QTcpSocket *client = m_server.nextPendingConnection();
            client->write(greeting);
            QObject::connect(client, &QTcpSocket::readyRead, client, [client, onLine] {
                while (client->canReadLine())
                    onLine(*client, client->readLine().trimmed());
            });
        });
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    QTcpServer m_server;
};

TEST(Upstream, MisbehavingServersEndInAClearErrorNeverInPlainText)
{
    const auto capaWithout = [](QTcpSocket &s, const QByteArray &line) {
        if (line == "CAPA")
            s.write("+OK\r\nUSER\r\nUIDL\r\n.\r\n");
        else if (line == "LIST")
            s.write("+OK\r\n1 100\r\n"); // and then silence, closed below
        else if (line == "RETR 1")
            s.write("+OK\r\n" + QByteArray(5 * 1024 * 1024, 'x'));
        else if (line == "STAT")
            s.disconnectFromHost();
        else
            s.write("+OK\r\n");
    };
    const struct
    {
        const char *name;
        QByteArray greeting;
        Pop3Upstream::Security security;
        QByteArray command; // sent once open; empty: only the opening counts
        const char *error;
    } cases[] = {
        {"refused greeting", "-ERR too busy\r\n", Pop3Upstream::Security::StartTlsIfOffered, {},
         "127.0.0.1 refused the connection: -ERR too busy"},
        {"no STLS where TLS is required", "+OK hi\r\n", Pop3Upstream::Security::StartTlsRequired, {},
         "127.0.0.1 offers no secure connection (STLS), which this account requires"},
        {"closes mid-answer", "+OK hi\r\n", Pop3Upstream::Security::StartTlsIfOffered, "STAT",
         "127.0.0.1 closed the connection"},
        {"endless line", "+OK hi\r\n", Pop3Upstream::Security::StartTlsIfOffered, "RETR 1",
         "127.0.0.1 sent a line that is too long"},
        {"falls silent mid-answer", "+OK hi\r\n", Pop3Upstream::Security::StartTlsIfOffered, "LIST",
         "127.0.0.1 did not answer in time"},
        {"silent from the start", {}, Pop3Upstream::Security::StartTlsIfOffered, {},
         "127.0.0.1 did not answer in time"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(capaWithout, c.greeting);
        Pop3Upstream upstream(QSslConfiguration::defaultConfiguration(), nullptr, 1500);
        QString error;
        bool opened = false;
        upstream.open(QStringLiteral("127.0.0.1"), server.port(), c.security, [&](const QString &why) {
            opened = true;
            error = why;
        });
        ASSERT_TRUE(waitUntil([&] { return opened; }));
        if (!c.command.isEmpty()) {
            ASSERT_TRUE(error.isEmpty()) << error.toStdString();
            QObject::connect(&upstream, &Pop3Upstream::broken, [&](const QString &why) { error = why; });
            upstream.command(c.command, true, [&](const Pop3Upstream::Reply &) { error = QStringLiteral("answered"); });
            ASSERT_TRUE(waitUntil([&] { return !error.isEmpty(); }, 20000));
        }
        EXPECT_EQ(error, QString::fromLatin1(c.error));
    }
}

} // namespace
} // namespace jw::test

// The real proxy between curl and a real Dovecot: relay, hold, release.
#include "formats/quarantinestore.h"
#include "proxy/wordmodel.h"
#include "proxyfixture.h"
#include "support/dnsserver.h"
#include "support/smtpsink.h"

#include <QDir>
#include <QTcpServer>
#include <QTemporaryDir>

namespace jw::test {
namespace {

QByteArray mail(const QByteArray &from, const QByteArray &subject, const QByteArray &body)
{
    return "From: " + from + "\r\nTo: ann@example.com\r\nSubject: " + subject
        + "\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\nMessage-ID: <" + subject.toHex() + "@example.com>\r\n\r\n"
        + body;
}

QList<QuarantineRow> quarantined(const TempProgramFolder &folder)
{
    QuarantineStore store(
        folder.messagesPath(), folder.configPath(), QStringLiteral("(none)"), QStringLiteral("(none)"));
    return store.scan();
}

using ProxyEndToEnd = ProxyFixture;

TEST_F(ProxyEndToEnd, RelaysByteForByteHoldsSpamAndDeliversReleasedMail)
{
    const QByteArray friendly =
        mail("Carol <carol@friends.example>", "lunch", "See you at one.\r\n.leading dot\r\n..two\r\n");
    const QByteArray spam =
        mail("=?UTF-8?B?U3DDpG1tZXI=?= <offers@shop.spam.example>", "=?UTF-8?Q?cheap_w=C3=A4tches?=", "Buy now.\r\n");
    const QByteArray other = mail("dave@work.example", "report", "Attached.\r\n");
    dovecot->addMessage("ann", friendly);
    dovecot->addMessage("ann", spam);
    dovecot->addMessage("ann", other);
    writeFile(configFile("blacklist"), "spam.example\r\n");
    writeFile(configFile("to_resend"), "C:/elsewhere/x_resend\r\n");
    startProxy();

    // The client sees the two good messages only, byte for byte under the
    // proxy's own header line.
    const Fetch list = curl(QString());
    ASSERT_EQ(list.exitCode, 0) << list.err.constData();
    EXPECT_EQ(list.out.count('\n'), 2) << list.out.constData();
    QList<QByteArray> received;
    for (const QString &n : {QStringLiteral("1"), QStringLiteral("2")})
        received.append(curl(n).out);
    EXPECT_TRUE(received.contains("X-Junkwarden: passed\r\n" + friendly)) << received.value(0).constData();
    EXPECT_TRUE(received.contains("X-Junkwarden: passed\r\n" + other));
    EXPECT_NE(curl(QStringLiteral("3")).exitCode, 0) << "no third message";

    // Held: in the quarantine with its decoded subject, sender and reason,
    // gone from the server since the session ended with QUIT.
    const QList<QuarantineRow> rows = quarantined(folder);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].subject, QStringLiteral("cheap wätches"));
    EXPECT_EQ(rows[0].sender, QStringLiteral("Spämmer <offers@shop.spam.example>"));
    EXPECT_EQ(rows[0].status, QByteArray("New"));
    EXPECT_EQ(rows[0].spamNote, QStringLiteral("Spam: black list: spam.example"));
    EXPECT_EQ(rows[0].account, QStringLiteral("ann,localhost"));
    EXPECT_EQ(QuarantineStore::sourceSection(QuarantineStore::readText(rows[0].path)), "\r\n" + spam);
    EXPECT_EQ(dovecot->messagesOf("ann").size(), 2);
    EXPECT_EQ(readFile(folder.file(QStringLiteral("status.tmp"))), QByteArray("quarantine\r\n"));

    // UIDLs are the server's and stay the same: nothing is fetched twice.
    const QList<QByteArray> first = uidls();
    EXPECT_EQ(first.size(), 2);
    EXPECT_EQ(uidls(), first);

    // Released from the quarantine page: delivered once at the next session,
    // then the copy and its line go, and the sender is trusted.
    const auto learned = [&] {
        QFile file(configFile("learned_words.dat"));
        return WordModel::fromBytes(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    };
    const WordModel before = learned();
    QuarantineStore store(folder.messagesPath(), folder.configPath(), QString(), QString());
    store.requestResend({rows[0].path});
    const QList<QByteArray> withReleased = uidls();
    ASSERT_EQ(withReleased.size(), 3);
    EXPECT_TRUE(withReleased.last().startsWith("jw-released-"));
    EXPECT_EQ(curl(QStringLiteral("3")).out, "X-Junkwarden: released from quarantine\r\n" + spam);
    EXPECT_EQ(uidls(), first) << "delivered once";
    EXPECT_EQ(quarantined(folder).value(0).status, QByteArray("Delivered")) << "the row says it arrived";
    // Released again: a new message to the client, delivered again.
    store.requestResend({rows[0].path});
    const QList<QByteArray> again = uidls();
    ASSERT_EQ(again.size(), 3);
    EXPECT_NE(again.last(), withReleased.last());
    EXPECT_EQ(curl(QStringLiteral("3")).out, "X-Junkwarden: released from quarantine\r\n" + spam);
    EXPECT_EQ(uidls(), first);
    EXPECT_EQ(readFile(configFile("to_resend")), QByteArray("C:/elsewhere/x_resend\r\n")) << "other lines kept";
    EXPECT_FALSE(QFile::exists(QFile::decodeName(rows[0].path + "_resend")));
    EXPECT_EQ(readFile(configFile("whitelist_auto")), QByteArray("offers@shop.spam.example\r\n"));
    EXPECT_EQ(readFile(configFile("whitelist")), QByteArray("offers@shop.spam.example\r\n")) << "in sight";
    // Held by the black list, a sure verdict, it was learned as spam at
    // QUIT; the release takes that back and teaches good mail.
    EXPECT_EQ(before.counts("s:wätches").spam, 1u);
    const WordModel after = learned();
    EXPECT_EQ(after.goodMessages(), before.goodMessages() + 1);
    EXPECT_EQ(after.spamMessages(), before.spamMessages() - 1);
    EXPECT_EQ(after.counts("s:wätches").spam, 0u);
    EXPECT_EQ(after.counts("s:wätches").good, before.counts("s:wätches").good + 1);

    // Deleted from the quarantine by the user: learned as spam by the next
    // session, before its first verdict, and gone.
    // From another sender of that domain: the released one is trusted now.
    dovecot->addMessage("ann", mail("deals@other.spam.example", "cheap clocks", "Buy now.\r\n"));
    EXPECT_EQ(curl(QString()).exitCode, 0);
    const QList<QuarantineRow> held = quarantined(folder);
    const auto clocks = std::find_if(held.begin(), held.end(),
        [](const QuarantineRow &row) { return row.subject == QLatin1String("cheap clocks"); });
    ASSERT_NE(clocks, held.end());
    EXPECT_EQ(learned().spamMessages(), after.spamMessages() + 1) << "sure, learned at QUIT";
    store.removeAsSpam(clocks->path);
    EXPECT_EQ(quarantined(folder).size(), held.size() - 1);
    EXPECT_EQ(curl(QString()).exitCode, 0);
    EXPECT_EQ(learned().spamMessages(), after.spamMessages() + 1) << "not learned twice";
    EXPECT_EQ(learned().counts("s:clocks").spam, 1u);
    EXPECT_TRUE(store.spamToLearn().isEmpty());
}

// The whole judgement in a session: a block list asked of a real name
// server, and weak signs adding up; the quarantine shows each reason and
// the decoded HTML.
TEST_F(ProxyEndToEnd, HoldsByBlockListAndSpamLevelWithTheReasonsInTheQuarantine)
{
    const QString unavailable = DnsServer::unavailableReason();
    if (!unavailable.isEmpty())
        GTEST_SKIP() << unavailable.toStdString();
    DnsServer dns(QStringLiteral("127.0.5.6"), {QStringLiteral("--host-record=9.113.0.203.bl.dnsbl.test,127.0.0.2")});
    QString problem;
    ASSERT_TRUE(dns.start(&problem)) << problem.toStdString();
    writeSettings("dns_server=127.0.5.6\r\naccepted_spam_level=2\r\n");
    writeFile(configFile("rbl"), "bl.dnsbl.test\r\n");
    QFile::remove(configFile("learned_words.dat")); // no statistics: the reasons below are the rules
    const QByteArray relayed =
        "Received: from relay.isp.example (relay.isp.example [198.51.100.30]) by mx.example.com; "
        "Mon, 7 Dec 2026 10:00:06 +0000\r\n"
        "Received: from mx.sender.example (mx.sender.example [203.0.113.9]) by relay.isp.example; "
        "Mon, 7 Dec 2026 10:00:05 +0000\r\n";
    const QByteArray shouting = mail("deals@shop.example", "FREE MONEY WAITING", "")
                                    .replace("\r\n\r\n",
                                        "\r\nMIME-Version: 1.0\r\nContent-Type: text/html; charset=iso-8859-2\r\n"
                                        "Content-Transfer-Encoding: quoted-printable\r\nX-Priority: 1\r\n\r\n")
        + "<html><body><p>Zap=B3a=E6 teraz</p></body></html>\r\n";
    dovecot->addMessage("ann", relayed + mail("x@sender.example", "hello", "Hi.\r\n"));
    dovecot->addMessage("ann", shouting);
    dovecot->addMessage("ann", mail("carol@friends.example", "lunch", "See you at one.\r\n"));
    startProxy();

    const Fetch list = curl(QString());
    ASSERT_EQ(list.exitCode, 0) << list.err.constData();
    EXPECT_EQ(list.out.count('\n'), 1) << list.out.constData();
    QList<QuarantineRow> rows = quarantined(folder);
    ASSERT_EQ(rows.size(), 2);
    std::sort(
        rows.begin(), rows.end(), [](const QuarantineRow &a, const QuarantineRow &b) { return a.subject < b.subject; });
    EXPECT_EQ(rows[0].subject, QStringLiteral("FREE MONEY WAITING"));
    EXPECT_EQ(rows[0].spamNote, QStringLiteral("Spam level 4: subject in capitals, HTML only, highest priority"));
    const QByteArray text = QuarantineStore::readText(rows[0].path);
    EXPECT_TRUE(text.contains("<p>Zap\xc5\x82\x61\xc4\x87 teraz</p>"))
        << "the content section is the decoded HTML, in UTF-8";
    EXPECT_EQ(rows[1].subject, QStringLiteral("hello"));
    EXPECT_EQ(
        rows[1].spamNote, QStringLiteral("Spam: relayed through a blocked server (203.0.113.9 in bl.dnsbl.test)"));
}

// The automatic reply goes out through the account's SMTP server (STARTTLS
// with a verified certificate), once per sender, and never where RFC 3834
// forbids; every decision is noted.
TEST_F(ProxyEndToEnd, AutomaticReplyOncePerSenderThroughTheAccountsSmtpServer)
{
    const QString unavailable = SmtpSink::unavailableReason();
    if (!unavailable.isEmpty())
        GTEST_SKIP() << unavailable.toStdString();
    SmtpSink sink;
    QString problem;
    ASSERT_TRUE(sink.start(&problem, dovecot->caFile(), dovecot->keyFile())) << problem.toStdString();
    writeAccounts(0,
        "\"SMTP Server\"=\"localhost\"\r\n\"SMTP Port\"=dword:"
            + QByteArray::number(sink.port(), 16).rightJustified(8, '0')
            + "\r\n\"SMTP Email Address\"=\"ann@example.com\"\r\n");
    QByteArray methods = readFile(configFile("methods.cfg"));
    methods.replace("held mail=0", "held mail=1");
    writeFile(configFile("methods.cfg"), methods);
    writeFile(configFile("badwords"), "viagra\r\n");
    writeFile(configFile("blacklist"), "black.example\r\n");
    writeFile(configFile("remessage"), "Held: your mail\r\nYour message waits for me.\r\n.A line with a dot.\r\n");

    dovecot->addMessage("ann", mail("Offers <offers@shop.example>", "cheap viagra", "Buy.\r\n"));
    dovecot->addMessage("ann", mail("offers@shop.example", "more viagra", "Buy more.\r\n"));
    dovecot->addMessage(
        "ann", "List-Id: <deals.lists.example>\r\n" + mail("list@lists.example", "viagra news", "News.\r\n"));
    dovecot->addMessage("ann", mail("x@black.example", "hello", "Hi.\r\n"));
    dovecot->addMessage("ann", "Return-Path: <>\r\n" + mail("bounce@shop.example", "viagra", "Failed.\r\n"));
    startProxy();
    ASSERT_EQ(curl(QString()).exitCode, 0);
    ASSERT_EQ(quarantined(folder).size(), 5);

    const QString log = folder.file(QStringLiteral("state/replies.log"));
    ASSERT_TRUE(waitUntil([&] { return readFile(log).count('\n') == 5; })) << readFile(log).constData();
    QList<QByteArray> notes = readFile(log).split('\n');
    notes.removeAll(QByteArray());
    for (QByteArray &note : notes)
        note = note.mid(note.indexOf('\t') + 1);
    // Sending runs alongside the session: its note may come at any place.
    std::sort(notes.begin(), notes.end());
    EXPECT_EQ(notes,
        (QList<QByteArray>{"\tnot sent: no sender to answer",
            "list@lists.example\tnot sent: from a mailing list (list-id)",
            "offers@shop.example\tnot sent: answered within the last 7 days",
            "offers@shop.example\tsent through localhost", "x@black.example\tnot sent: held by the black list"}));
    const QList<QByteArray> sent = sink.messages();
    ASSERT_EQ(sent.size(), 1);
    const QByteArray &reply = sent[0];
    for (const char *line : {"To: offers@shop.example\n", "From: ann@example.com\n", "Subject: Held: your mail\n",
             "Auto-Submitted: auto-replied\n", "In-Reply-To: <636865617020766961677261@example.com>\n",
             "X-MailFrom: <>\n", "X-RcptTo: offers@shop.example\n",
             "\nYour message waits for me.\n.A line with a dot.\n"})
        EXPECT_TRUE(reply.contains(line)) << line << "\n" << reply.constData();
    EXPECT_FALSE(reply.contains("secret")) << "the password goes nowhere but AUTH";

    // A later session: the week is remembered across a restart.
    stopProxy();
    dovecot->addMessage("ann", mail("offers@shop.example", "viagra again", "Again.\r\n"));
    startProxy();
    ASSERT_EQ(curl(QString()).exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return readFile(log).count('\n') == 6; }));
    EXPECT_TRUE(readFile(log).endsWith("offers@shop.example\tnot sent: answered within the last 7 days\n"));
    EXPECT_EQ(sink.messages().size(), 1);
}

TEST_F(ProxyEndToEnd, MailJudgedBeforeIsReadAheadAndAnswersStayConsistent)
{
    QList<QByteArray> sources;
    for (int i = 1; i <= 6; ++i) {
        sources.append(mail("carol@friends.example", "note" + QByteArray::number(i),
            ".dot line " + QByteArray::number(i) + "\r\nplain\r\n"));
        dovecot->addMessage("ann", sources.last());
    }
    writeFile(configFile("whitelist"), "friends.example\r\n");
    startProxy();
    ASSERT_EQ(curl(QString()).exitCode, 0) << "the first session judges them all";

    // The next session relays from the server, reading ahead of the client;
    // deleting, peeking at and asking again for messages that are on their
    // way or already handed over gives the same answers as without. Each
    // keeps the line, and so the size, it had in the first session.
    const QByteArray added = "X-Junkwarden: passed; white list: friends.example\r\n";
    const auto wire = [&](int n, int bodyLines = -1) {
        QByteArray source = added + sources[n - 1];
        if (bodyLines == 0)
            source = source.left(source.indexOf("\r\n\r\n") + 2);
        QList<QByteArray> lines = source.trimmed().split('\n');
        for (QByteArray &line : lines)
            line = (line.startsWith('.') ? "." : "") + line.trimmed();
        if (bodyLines == 0)
            lines.append(QByteArray()); // the empty line that ends the header
        return lines;
    };
    struct Step
    {
        QByteArray command;
        QByteArray status; // how the answer begins
        QList<QByteArray> body; // a multi-line answer's lines
    } steps[] = {
        {"LIST 1", "+OK 1 " + QByteArray::number(added.size() + sources[0].size()), {}},
        {"RETR 1", "+OK", wire(1)},
        {"DELE 3", "+OK", {}},
        {"TOP 2 0", "+OK", wire(2, 0)},
        {"RETR 2", "+OK", wire(2)},
        {"RETR 1", "+OK", wire(1)},
        {"RETR 3", "-ERR", {}},
        {"RSET", "+OK", {}},
        {"RETR 3", "+OK", wire(3)},
        {"RETR 6", "+OK", wire(6)},
        {"DELE 4", "+OK", {}},
        {"STAT", "+OK 5 ", {}},
    };
    Pop3Talk talk(proxyPort);
    ASSERT_TRUE(talk.connected());
    talk.say("USER ann,localhost");
    ASSERT_TRUE(talk.say("PASS secret").startsWith("+OK 6 messages"));
    for (const Step &step : steps) {
        const QByteArray status = talk.say(step.command);
        EXPECT_TRUE(status.startsWith(step.status)) << step.command.constData() << ": " << status.constData();
        if (!step.body.isEmpty()) {
            EXPECT_EQ(talk.readBody(), step.body) << step.command.constData();
        }
    }
    EXPECT_EQ(talk.say("QUIT"), QByteArray("+OK bye"));
    ASSERT_TRUE(waitUntil([&] { return dovecot->messagesOf("ann").size() == 5; }));
    const QList<QByteArray> left = uidls();
    ASSERT_EQ(left.size(), 5);
    EXPECT_EQ(curl(QStringLiteral("4")).out, added + sources[4]) << "only the fourth one went";
}

TEST_F(ProxyEndToEnd, ASessionWithoutQuitRemovesNothingAndHeldMailIsStoredOnce)
{
    dovecot->addMessage("ann", mail("x@spam.example", "offer", "Buy.\r\n"));
    writeFile(configFile("blacklist"), "x@spam.example\r\n");
    startProxy();
    {
        Pop3Talk talk(proxyPort);
        ASSERT_TRUE(talk.connected());
        EXPECT_TRUE(talk.say("USER ann,localhost").startsWith("+OK"));
        EXPECT_EQ(talk.say("PASS secret"), QByteArray("+OK 0 messages (0 octets)"));
        // Gone without QUIT.
    }
    ASSERT_TRUE(waitUntil([&] { return quarantined(folder).size() == 1; }));
    EXPECT_EQ(dovecot->messagesOf("ann").size(), 1) << "still on the server";

    EXPECT_EQ(curl(QString()).exitCode, 0);
    EXPECT_EQ(dovecot->messagesOf("ann").size(), 0) << "removed once the session ended with QUIT";
    EXPECT_EQ(quarantined(folder).size(), 1) << "not stored twice";
}

TEST_F(ProxyEndToEnd, UpstreamSecurityIsVerifiedAndNeverFallsBack)
{
    dovecot->addMessage("ann", mail("carol@friends.example", "hi", "Hello.\r\n"));
    startProxy();
    // STLS, verified against the configured authority.
    EXPECT_EQ(curl(QStringLiteral("1")).exitCode, 0);
    EXPECT_TRUE(dovecot->log().contains("user=<ann>")) << dovecot->log().constData();
    EXPECT_TRUE(dovecot->log().contains(", TLS")) << "the login went over TLS";

    // Without the authority the certificate cannot be verified: the client
    // is told, and the password never leaves.
    stopProxy();
    writeSettings();
    writeFile(configFile("main.cfg"), readFile(configFile("main.cfg")).replace("tls_ca_file=", "unused="));
    startProxy();
    const QByteArray logBefore = dovecot->log();
    Pop3Talk talk(proxyPort);
    talk.say("USER ann,localhost");
    const QByteArray refused = talk.say("PASS secret");
    EXPECT_TRUE(refused.startsWith("-ERR")) << refused.constData();
    EXPECT_TRUE(refused.contains("could not be verified")) << refused.constData();
    EXPECT_EQ(dovecot->log().mid(logBefore.size()).count("user=<ann>"), 0) << dovecot->log().constData();

    // An account saved with port 995 speaks TLS from the first byte: plain
    // text there would get no login at all.
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 995))
            GTEST_SKIP() << "port 995 is taken on this machine";
    }
    stopProxy();
    dovecot->stop();
    QString problem;
    ASSERT_TRUE(dovecot->start(&problem, 995)) << problem.toStdString();
    writeSettings();
    writeAccounts(995);
    startProxy();
    const qsizetype logins = dovecot->log().count("user=<ann>");
    const Fetch overTls = curl(QStringLiteral("1"));
    EXPECT_EQ(overTls.exitCode, 0) << overTls.err.constData();
    EXPECT_TRUE(overTls.out.endsWith("Hello.\r\n"));
    EXPECT_EQ(dovecot->log().count("user=<ann>"), logins + 1) << dovecot->log().constData();
}

// A Thunderbird account is one the proxy may connect to, with the port and
// security of the account itself: STARTTLS (socketType 2) on the plain
// port, TLS from the first byte (3) on the TLS port.
TEST_F(ProxyEndToEnd, ThunderbirdAccountsAreServedWithTheirOwnPortAndSecurity)
{
    dovecot->addMessage("ann", mail("carol@friends.example", "hi", "Hello.\r\n"));
    writeFile(folder.file(QStringLiteral("registry.reg")), "Windows Registry Editor Version 5.00\r\n\r\n");
    QTemporaryDir home;
    QDir().mkpath(home.filePath(QStringLiteral(".thunderbird/p.default")));
    writeFile(home.filePath(QStringLiteral(".thunderbird/profiles.ini")),
        "[Profile0]\nName=default\nIsRelative=1\nPath=p.default\n");
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), home.path());
    for (const auto &[socketType, port] : {std::pair{2, dovecot->plainPort()}, std::pair{3, dovecot->tlsPort()}}) {
        SCOPED_TRACE(socketType);
        writeFile(home.filePath(QStringLiteral(".thunderbird/p.default/prefs.js")),
            "user_pref(\"mail.account.account1.server\", \"server1\");\n"
            "user_pref(\"mail.accountmanager.accounts\", \"account1\");\n"
            "user_pref(\"mail.server.server1.hostname\", \"localhost\");\n"
            "user_pref(\"mail.server.server1.port\", "
                + QByteArray::number(port)
                + ");\n"
                  "user_pref(\"mail.server.server1.socketType\", "
                + QByteArray::number(socketType)
                + ");\n"
                  "user_pref(\"mail.server.server1.type\", \"pop3\");\n"
                  "user_pref(\"mail.server.server1.userName\", \"ann\");\n");
        startProxy(environment);
        const qsizetype logins = dovecot->log().count("user=<ann>");
        const Fetch fetched = curl(QStringLiteral("1"));
        EXPECT_EQ(fetched.exitCode, 0) << fetched.err.constData();
        EXPECT_TRUE(fetched.out.endsWith("Hello.\r\n"));
        EXPECT_EQ(dovecot->log().count("user=<ann>"), logins + 1) << dovecot->log().constData();
        EXPECT_TRUE(dovecot->log().mid(dovecot->log().lastIndexOf("user=<ann>")).contains("TLS"))
            << "the login went over TLS";
        stopProxy();
    }
}

TEST_F(ProxyEndToEnd, RefusesStrangersAndRelaysTheServersRefusal)
{
    startProxy();
    const struct
    {
        const char *user;
        const char *password;
        const char *answer;
    } cases[] = {
        {"ann,evil.example", "secret", "-ERR [AUTH] Junkwarden knows no account on evil.example"},
        {"ann", "secret", "-ERR [AUTH] Junkwarden expects the user name as name,server"},
        {"ann,localhost", "wrong", "-ERR [AUTH] Authentication failed."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.user);
        Pop3Talk talk(proxyPort);
        ASSERT_TRUE(talk.connected());
        talk.say(QByteArray("USER ") + c.user);
        EXPECT_EQ(talk.say(QByteArray("PASS ") + c.password), QByteArray(c.answer));
    }
}

TEST_F(ProxyEndToEnd, MisbehavingClientsGetAnErrorAndOthersAreStillServed)
{
    dovecot->addMessage("ann", mail("carol@friends.example", "hi", "Hello.\r\n"));
    startProxy();
    {
        Pop3Talk talk(proxyPort);
        EXPECT_TRUE(talk.say("HELLO there").startsWith("-ERR"));
        EXPECT_TRUE(talk.say("STAT").startsWith("-ERR")) << "not logged in";
        EXPECT_TRUE(talk.say("USER " + QByteArray(300, 'a')).startsWith("-ERR"));
        EXPECT_TRUE(talk.say(QByteArray(1, '\0') + "\xff\xfe").startsWith("-ERR"));
        talk.socket().write(QByteArray(5000, 'x'));
        EXPECT_EQ(talk.readLine(), QByteArray("-ERR line too long"));
        EXPECT_TRUE(
            talk.socket().state() == QAbstractSocket::UnconnectedState || !talk.socket().waitForReadyRead(2000));
    }
    const Fetch fetch = curl(QStringLiteral("1"));
    EXPECT_EQ(fetch.exitCode, 0);
    EXPECT_TRUE(fetch.out.contains("Hello."));
}

TEST_F(ProxyEndToEnd, ListensOnLoopbackOnly)
{
    startProxy();
    const QByteArray port = QByteArray::number(proxyPort, 16).toUpper().rightJustified(4, '0');
    int listening = 0;
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        for (const QByteArray &line : readFile(QLatin1String(table)).split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 4 || !fields.at(1).endsWith(QByteArray(':' + port)) || fields.at(3) != "0A")
                continue;
            ++listening;
            const QByteArray address = fields.at(1).left(fields.at(1).indexOf(':'));
            EXPECT_TRUE(address == "0100007F" || address == "00000000000000000000000001000000") << address.constData();
        }
    }
    EXPECT_GE(listening, 1);
}

TEST_F(ProxyEndToEnd, AHugeMessagePassesWholeInBoundedMemory)
{
    // 60 MB of text, and a held one as large.
    QByteArray body;
    const QByteArray line = "the quick brown fox jumps over the lazy dog, and on and on and on to the end\r\n";
    while (body.size() < 60 * 1024 * 1024)
        body += line;
    const QByteArray big = mail("carol@friends.example", "big", body);
    dovecot->addMessage("ann", big);
    dovecot->addMessage("ann", mail("x@spam.example", "big spam", body));
    writeFile(configFile("blacklist"), "spam.example\r\n");
    // A sanitizer build keeps freed memory aside for a while; that is not
    // the proxy's.
    QProcessEnvironment small;
    small.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("quarantine_size_mb=1"));
    startProxy(small);
    const qint64 before = proxyPeakKb();
    const Fetch fetch = curl(QStringLiteral("1"));
    EXPECT_EQ(fetch.exitCode, 0);
    EXPECT_EQ(fetch.out.size(), big.size() + 22);
    EXPECT_TRUE(fetch.out == "X-Junkwarden: passed\r\n" + big) << "whole and unchanged";
    const QList<QuarantineRow> rows = quarantined(folder);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_TRUE(QuarantineStore::readText(rows[0].path).endsWith(body)) << "held whole";
    const qint64 grown = proxyPeakKb() - before;
    std::printf("[ measured ] proxy peak memory grew by %lld KB for two 60 MB messages\n", grown);
    EXPECT_LT(grown, 40 * 1024) << "far less than the messages";
}

TEST_F(ProxyEndToEnd, FiftyClientsAtOnce)
{
    for (int i = 0; i < 5; ++i)
        dovecot->addMessage("ann", mail("carol@friends.example", "note " + QByteArray::number(i), "Hello.\r\n"));
    startProxy();
    ASSERT_EQ(curl(QString()).exitCode, 0) << "judged once";
    QList<QProcess *> clients;
    for (int i = 0; i < 50; ++i) {
        auto *client = new QProcess;
        client->start(QStringLiteral("curl"),
            {QStringLiteral("-s"), QStringLiteral("--max-time"), QStringLiteral("60"), QStringLiteral("-u"),
                QStringLiteral("ann,localhost:secret"),
                QStringLiteral("pop3://127.0.0.1:%1/%2").arg(proxyPort).arg(i % 5 + 1)});
        clients.append(client);
    }
    int served = 0;
    for (QProcess *client : clients) {
        client->waitForFinished(70000);
        const bool ok = client->exitCode() == 0 && client->readAllStandardOutput().contains("Hello.");
        served += ok ? 1 : 0;
        if (!ok)
            ADD_FAILURE() << client->readAllStandardError().constData();
        delete client;
    }
    EXPECT_EQ(served, 50);
}

} // namespace
} // namespace jw::test

namespace jw::test {
namespace {

// A session's verdicts are those `vexel3 --check` gave the same files just
// before, whatever the order of the mailbox: nothing the session judges
// teaches the filter anything.
TEST_F(ProxyEndToEnd, ASessionJudgesAsTheCheckBeforeItInAnyOrder)
{
    writeFile(configFile("blacklist"), "spam.example\r\n");
    writeFile(configFile("badwords"), "viagra\r\n");
    // With the shipped model, which what the session holds would tip.
    QFile::copy(stagedProgramPath(QStringLiteral("config/learned_words.dat")), configFile("learned_words.dat"));
    const char *senders[] = {"carol@friends.example", "deals@shop.spam.example", "news@letters.example",
        "a8372615@mail.example", "noreply@travel.example"};
    const char *subjects[] = {"lunch", "FREE MONEY WAITING", "Win!!! now", "cheap viagra", "Your weekly news"};
    const char *bodies[] = {"See you at one.\r\n",
        "<html><body><img src=\"http://t.example/p.gif\">Hi</body></html>\r\n", "Buy viagra here.\r\n",
        "http://a.example/1 http://a.example/2 http://a.example/3 http://a.example/4\r\n",
        "<a href=\"http://evil.example/\">www.bank.example</a>\r\n"};
    QList<QByteArray> messages;
    QStringList files;
    for (int i = 0; i < 300; ++i) {
        const bool html = QByteArray(bodies[(i / 25) % 5]).startsWith('<');
        messages.append("From: " + QByteArray(senders[i % 5])
            + "\r\nTo: ann@example.com\r\nSubject: " + subjects[(i / 5) % 5] + " " + QByteArray::number(i)
            + "\r\nDate: " + QDateTime::currentDateTimeUtc().toString(Qt::RFC2822Date).toLatin1() + "\r\nMessage-ID: <"
            + QByteArray::number(i) + "@x.example>\r\n" + (html ? "Content-Type: text/html\r\n" : "") + "\r\n"
            + bodies[(i / 25) % 5]);
        files.append(folder.file(QStringLiteral("check-%1.eml").arg(i)));
        writeFile(files.last(), messages.last());
    }
    // What the check says of each subject: the quarantine's note, or "" for good mail.
    QProcess check;
    check.start(folder.file(QStringLiteral("vexel3")), QStringList{QStringLiteral("--check")} + files);
    ASSERT_TRUE(check.waitForFinished(120000));
    QMap<QString, QString> expected;
    const QStringList lines =
        QString::fromUtf8(check.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 300);
    for (int i = 0; i < 300; ++i) {
        const QStringList fields = lines[i].split(QLatin1Char('\t'));
        ASSERT_EQ(fields.size(), 5);
        const QString subject = QString::fromLatin1(subjects[(i / 5) % 5]) + QStringLiteral(" %1").arg(i);
        expected[subject] = fields[1] == QLatin1String("good")  ? QString()
            : fields[3].startsWith(QLatin1String("Spam level")) ? fields[3]
                                                                : QStringLiteral("Spam: ") + fields[3];
    }
    ASSERT_GT(std::count(expected.begin(), expected.end(), QString()), 10) << "good mail among them";
    QMap<QString, qsizetype> sure; // "spam" and "good": the verdicts a session learns by itself
    for (const QString &line : lines) {
        if (line.endsWith(QLatin1String("\tsure")))
            ++sure[line.section(QLatin1Char('\t'), 1, 1)];
    }
    ASSERT_GT(sure.value(QStringLiteral("spam")), 10);
    ASSERT_GT(sure.value(QStringLiteral("good")), 10);
    const WordModel shipped = WordModel::fromBytes(readFile(configFile("learned_words.dat")));
    ASSERT_GT(std::count_if(expected.begin(), expected.end(), [](const QString &note) { return !note.isEmpty(); }), 10);

    for (const bool reversed : {false, true}) {
        SCOPED_TRACE(reversed ? "in reverse order" : "in order");
        for (int i = 0; i < 300; ++i)
            dovecot->addMessage("ann", messages[reversed ? 299 - i : i]);
        startProxy();
        const Fetch list = curl(QString());
        ASSERT_EQ(list.exitCode, 0) << list.err.constData();
        QMap<QString, QString> got;
        for (const QString &subject : expected.keys())
            got[subject] = QString();
        for (const QuarantineRow &row : quarantined(folder))
            got[row.subject] = row.spamNote;
        EXPECT_EQ(got, expected);
        EXPECT_EQ(list.out.count('\n'), std::count(expected.begin(), expected.end(), QString()));
        // The sure verdicts, and nothing else, were learned at QUIT.
        const WordModel learned = WordModel::fromBytes(readFile(configFile("learned_words.dat")));
        EXPECT_EQ(learned.spamMessages(), shipped.spamMessages() + sure.value(QStringLiteral("spam")));
        EXPECT_EQ(learned.goodMessages(), shipped.goodMessages() + sure.value(QStringLiteral("good")));
        // Afresh: an empty mailbox, quarantine, memory of what was judged and
        // the shipped model.
        stopProxy();
        dovecot->removeMessagesOf("ann");
        QDir(folder.messagesPath()).removeRecursively();
        QDir(folder.path() + QStringLiteral("state")).removeRecursively();
        QFile::remove(configFile("learned_words.dat"));
        QFile::copy(stagedProgramPath(QStringLiteral("config/learned_words.dat")), configFile("learned_words.dat"));
    }
}

// The mail checker: spam held and gone from the server, good mail left
// there untouched for the mail program, accounts without a known password
// skipped and said so, and a mail program that comes during a check served.
TEST_F(ProxyEndToEnd, TheMailCheckerHoldsSpamAndLeavesGoodMailForTheMailProgram)
{
    dovecot->addUser("bob", "hunter2");
    const QByteArray good = mail("carol@friends.example", "lunch", "See you at one.\r\n");
    const QByteArray spam = mail("offers@shop.spam.example", "cheap watches", "Buy now.\r\n");
    dovecot->addMessage("ann", good);
    dovecot->addMessage("ann", spam);
    dovecot->addMessage("bob", spam);
    writeFile(configFile("blacklist"), "spam.example\r\n");
    // Ann's password is in the store; Bob's only his mail program knows.
    writeAccounts(0,
        "\"POP3 Password orig\"=\"secret\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Brightfold\\Mailmoat\\Accounts\\00000002]\r\n"
        "\"POP3 Server\"=\"localhost\"\r\n\"POP3 User Name\"=\"bob,localhost\"\r\n"
        "\"Use Mailmoater\"=\"yes\"\r\n\"POP3 Server orig\"=\"localhost\"\r\n\"POP3 Port orig\"=dword:"
            + QByteArray::number(dovecot->plainPort(), 16).rightJustified(8, '0') + "\r\n");
    writeFile(folder.file(QStringLiteral("debug2.log")), "");
    startProxy();
    const auto postPing = [&] {
        QProcess checker;
        checker.start(folder.file(QStringLiteral("PostPing")), {});
        EXPECT_TRUE(checker.waitForFinished(60000));
        return std::make_pair(checker.exitCode(), checker.readAllStandardOutput().trimmed());
    };

    const auto [code, said] = postPing();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(said,
        "PostPing: checked 1 account(s); skipped bob,localhost (no password known until the mail program logs in)");
    EXPECT_TRUE(readFile(folder.file(QStringLiteral("debug2.log"))).contains(said)) << "a log line says so";
    EXPECT_EQ(dovecot->messagesOf("ann").size(), 1) << "the spam is gone from the server, the good mail stays";
    EXPECT_EQ(dovecot->messagesOf("bob").size(), 1) << "not checked";
    ASSERT_EQ(quarantined(folder).size(), 1);
    EXPECT_EQ(quarantined(folder).value(0).account, QStringLiteral("ann,localhost"));

    // The mail program then gets the good message once, as it would have.
    const QList<QByteArray> listed = uidls();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(curl(QStringLiteral("1")).out, "X-Junkwarden: passed\r\n" + good);
    EXPECT_EQ(uidls(), listed) << "the same UIDL: nothing downloaded twice";

    // Bob's mail program logs in once; from then on his account is checked.
    EXPECT_EQ(curl(QString(), {}, "bob,localhost", "hunter2").exitCode, 0);
    dovecot->addMessage("bob", mail("deals@spam.example", "offer", "Buy.\r\n"));
    EXPECT_EQ(postPing().second, "PostPing: checked 2 account(s)");
    EXPECT_EQ(dovecot->messagesOf("bob").size(), 0);

    // A mail program that comes during a check is served at once.
    for (int i = 0; i < 400; ++i)
        dovecot->addMessage("ann", mail("carol@friends.example", "note " + QByteArray::number(i), "Hi.\r\n"));
    QFile::remove(folder.file(QStringLiteral("status.tmp"))); // seen by the tray
    QProcess checker;
    checker.start(folder.file(QStringLiteral("PostPing")), {});
    ASSERT_TRUE(waitUntil([&] {
        QFile status(folder.file(QStringLiteral("status.tmp")));
        return status.open(QIODevice::ReadOnly) && status.readAll().startsWith("working");
    }));
    const Fetch during = curl(QString());
    EXPECT_EQ(during.exitCode, 0) << during.err.constData();
    EXPECT_EQ(during.out.count('\n'), 401);
    ASSERT_TRUE(checker.waitForFinished(60000));
    EXPECT_EQ(checker.exitCode(), 0);
    EXPECT_TRUE(checker.readAllStandardOutput().contains("ann,localhost (its mail program came first)"));
    EXPECT_EQ(dovecot->messagesOf("ann").size(), 401) << "good mail stays on the server";
}

} // namespace
} // namespace jw::test

// The proxy's parts on their own: POP3 lines, the list judgement, reading
// messages through GMime, and the upstream side against servers that
// misbehave.
#include "proxy/autoreply.h"
#include "proxy/judgement.h"
#include "proxy/mailfacts.h"
#include "proxy/pop3text.h"
#include "proxy/upstream.h"
#include "proxy/wordmodel.h"
#include "support/dnsserver.h"
#include "support/testfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

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
        {"ann@example.com", "com", true},
        {"ann@exämple.com", "EXÄMPLE.com", true},
        {"ann", "ann", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.address) + " / " + c.entry);
        AddressList list;
        list.setEntries(
            {QStringLiteral("other@example.org"), QString::fromUtf8(c.entry), QStringLiteral("elsewhere.example")});
        EXPECT_EQ(
            list.find(QString::fromUtf8(c.address)), c.matches ? QString::fromUtf8(c.entry).trimmed() : QString());
    }
}

// Banned words as whole words, ignoring case, from lists of any length.
TEST(LocalJudgement, BannedWordsMatchWholeWordsInListsOfAnySize)
{
    QStringList many;
    for (int i = 0; i < 200000; ++i)
        many.append(QStringLiteral("word%1x").arg(i));
    for (int i = 0; i < 5000; ++i)
        many.append(QStringLiteral("two words %1").arg(i));
    many +=
        {QStringLiteral("Free Money"), QStringLiteral("$$$"), QStringLiteral("zegarki"), QStringLiteral("ZA DARMO")};
    BannedWords words;
    words.setEntries(many);
    const struct
    {
        const char *text;
        const char *found;
    } cases[] = {
        {"nothing here", ""},
        {"a word199999x here", "word199999x"},
        {"a WORD7X here and word8x", "WORD7X"},
        {"word7xy and xword7x are other words", ""},
        {"get free   money", ""},
        {"get FREE MONEY now", "FREE MONEY"},
        {"earn $$$ fast", "$$$"},
        {"two words 4999, then word1x", "two words 4999"},
        {"word2x before two words 1", "word2x"},
        {"tanie zegarki tutaj", "zegarki"},
        {"teraz za darmo!", "za darmo"},
        {"zegarkizegarki", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(words.firstIn(QString::fromUtf8(c.text)), QString::fromUtf8(c.found));
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
        SCOPED_TRACE(
            std::string(c.methods) + " " + c.facts.fromAddress.toStdString() + " " + c.facts.subject.toStdString());
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
    // An ordinary message, with fields changed ("" empties a field, {}
    // leaves it out, a name starting with "+" adds one more).
    const auto mail = [](const QList<std::pair<QByteArray, QByteArray>> &changes,
                          const QByteArray &body = "Hi.\r\n") -> QByteArray {
        QList<std::pair<QByteArray, QByteArray>> fields{
            {"Received",
                "from smtp.isp.example (smtp.isp.example [198.51.100.7]) by mx.example.com; "
                "Mon, 7 Dec 2026 10:00:05 +0000"},
            {"From", "Carol <carol@friends.example>"}, {"To", "ann@example.com"}, {"Subject", "hi"},
            {"Date", "Mon, 7 Dec 2026 10:00:00 +0000"}, {"Message-ID", "<1@laptop.example>"},
            {"X-Mailer", "Thunderbird"}};
        for (const auto &[name, value] : changes) {
            const auto at = std::find_if(fields.begin(), fields.end(), [&](const auto &f) { return f.first == name; });
            if (name.startsWith('+') || at == fields.end())
                fields.append({name.startsWith('+') ? name.mid(1) : name, value});
            else
                at->second = value;
        }
        QByteArray source;
        for (const auto &[name, value] : fields) {
            if (!value.isNull())
                source += name + ": " + value + "\r\n";
        }
        return source + "\r\n" + body;
    };
    const QByteArray htmlType = "text/html; charset=utf-8";
    const auto html = [&](const QByteArray &body) -> QByteArray {
        return mail({{"Content-Type", htmlType}}, "<html><body>" + body + "</body></html>\r\n");
    };
    const auto attached = [&](const QByteArray &name) -> QByteArray {
        return mail({{"MIME-Version", "1.0"}, {"Content-Type", "multipart/mixed; boundary=b"}},
            "--b\r\nContent-Type: text/plain\r\n\r\nSee attached.\r\n--b\r\nContent-Type: application/octet-stream\r\n"
            "Content-Disposition: attachment; filename=\""
                + name
                + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                  "TVqQAAMAAAAEAAAA\r\n--b--\r\n");
    };
    const QByteArray clean = mail({}, "See you at one. http://example.com/menu\r\n");
    const auto hop = [](const QByteArray &from) -> QByteArray {
        return "from " + from + " by mx.example.com; Mon, 7 Dec 2026 10:00:04 +0000";
    };
    QByteArray manyHops;
    for (int i = 0; i < 16; ++i)
        manyHops +=
            "Received: " + hop("relay" + QByteArray::number(i) + ".example (relay.example [198.51.100.1])") + "\r\n";
    const struct
    {
        int method;
        QByteArray source;
        int weight;
        const char *reason;
    } cases[] = {
        {4, mail({{"Received", hop("mx (relay.bad.example [203.0.113.9])")}}), 3,
            "sender's server blocked (relay.bad.example)"},
        {5, mail({{"X-Mailer", "BulkBlaster 3.1"}}), 3, "mailer name listed (BulkBlaster)"},
        {6, mail({{"To", "undisclosed-recipients:;"}}), 3, "odd To field (undisclosed-recipients)"},
        {7, mail({{"To", "a@x.example, b@x.example, c@x.example"}}), 2, "3 recipients in To"},
        {8, mail({{"From", ""}}), 3, "no From address"},
        {9, mail({{"To", {}}}), 1, "no To address"},
        {10, mail({{"Subject", " "}}), 1, "empty subject"},
        {11, mail({{"Subject", "FREE MONEY WAITING"}}), 2, "subject in capitals"},
        {12, mail({{"Subject", "Win!!! now!"}}), 1, "exclamation marks in the subject"},
        {13, mail({{"Subject", "Your offer          XK-2231"}}), 2, "subject ending in blanks and a code"},
        {14, mail({{"Subject", "Cheap Viagra"}}), 3, "banned word in the subject (Viagra)"},
        {15, mail({}, "Buy viagra here.\r\n"), 3, "banned word in the text (viagra)"},
        {16, html("Hello"), 1, "HTML only"},
        {17, html("<font color=\"#FFFFFF\">cheap pills</font>Hello"), 1, "HTML with hidden text"},
        {18, html("<img src=\"http://track.example/p.gif\">Hello"), 1, "pictures from remote servers"},
        {19, html("<form action=\"http://x.example/\"><input name=p></form>"), 1, "HTML with a form or a script"},
        {19, html("<SCRIPT>alert(1)</SCRIPT>Hello"), 1, "HTML with a form or a script"},
        {20, html("<a href=\"http://evil.example/login\">www.mybank.example</a>"), 1,
            "link shows another address (mybank.example)"},
        {21, html("<a href=\"http://192.168.10.7/login\">your bank</a>"), 3, "link to a numeric IP address"},
        {22,
            mail({},
                "http://a.example/1 http://a.example/2 http://a.example/3 http://a.example/4 http://a.example/5\r\n"),
            1, "5 links in 20 words"},
        {23, attached("setup.EXE"), 5, "program attachment (setup.EXE)"},
        {24, attached("invoice.pdf.scr"), 5, "attachment with a double extension (invoice.pdf.scr)"},
        {25, mail({{"Date", {}}}), 2, "no Date field"},
        {26, mail({{"Date", "Fri, 1 Jan 2027 10:00:00 +0000"}}), 2, "date 24 days off"},
        {26, mail({{"Date", "Mon, 1 Jan 2001 10:00:00 +0000"}}), 2, "date -9471 days off"},
        {27, mail({{"Message-ID", {}}}), 1, "no Message-ID"},
        {28, mail({{"Message-ID", "<abc>"}}), 1, "malformed Message-ID"},
        {29, mail({{"Return-Path", "<bounce@other.example>"}}), 1, "Return-Path differs (bounce@other.example)"},
        {30, mail({{"Reply-To", "x@other.example"}}), 1, "Reply-To differs (x@other.example)"},
        {31, mail({{"From", "a8372615@mail.example"}}), 1, "sender's address full of digits"},
        {33, mail({}, "caf" + QByteArray(25, '\xe9') + "\r\n"), 2, "25 8-bit characters, no character set"},
        {34, mail({{"Subject", "=?utf-8?Q?hello?="}}), 1, "subject encoded without need"},
        {35, mail({{"+Received", hop("relay (relay [203.0.113.5])")}}), 3,
            "relayed through a blocked server (203.0.113.5)"},
        {36, mail({{"Received", hop("mail.yahoo.com (dsl-1-2.home.example [198.51.100.9])")}}), 2,
            "forged host name (mail.yahoo.com)"},
        {37, manyHops + mail({}), 1, "17 Received fields"},
        {38, mail({{"Received", {}}}), 1, "no Received field"},
        {39, mail({{"X-Mailer", "Group Mail 4.0"}}), 3, "bulk mailer (group mail)"},
        {40, mail({{"X-Mailer", {}}}), 1, "no mailer name"},
        {42, mail({{"To", "a@x.example, b@x.example"}, {"Cc", "c@x.example, d@x.example"}}), 1,
            "recipients in alphabetical order"},
        {43, mail({}, QByteArray("ACT NOW AND GET THE BEST DEAL OF THE YEAR ON ALL OUR PRODUCTS. ").repeated(3)), 2,
            "text mostly in capitals"},
        {44, mail({}, "Win $$$ now!!! Only $9.99!!! Save $$$!!!\r\n"), 1, "16 exclamation marks or currency signs"},
        {45, mail({}, "Pills online, cheap.\r\n"), 3, "statistics: 99 % spam (pills, cheap, online)"},
        {46, mail({}, "Great deal. To be removed from our list, reply.\r\n"), 1, "mass mailing unsubscribe text"},
        {47, html("<img src=\"cid:offer\">"), 1, "mostly one picture"},
        {48, mail({{"Content-Transfer-Encoding", "base64"}}, "SGVsbG8sIHRoaXMgaXMgdGV4dC4=\r\n"), 2, "text in Base64"},
        {49, html("Buy vi<!-- zz -->agra"), 3, "words broken by HTML comments"},
        {50, mail({{"Subject", "hello xkcd7283z"}}), 1, "random characters in the subject (xkcd7283z)"},
        {52, mail({{"From", "ann@example.com"}}), 2, "sender uses the recipient's address"},
        {53, mail({}, "\r\n"), 1, "no text"},
        {54, mail({{"X-Priority", "1 (Highest)"}}), 1, "highest priority"},
        {55, attached("document.pif"), 5, "attachment named like a virus (document.pif)"},
        {56, mail({{"Received", hop("mailhost (mailhost [198.51.100.20])")}}), 1,
            "sender's server name without a domain (mailhost)"},
        {57, mail({{"Received", hop("pc1.example (dsl-198-51-100-9.home.example [198.51.100.9])")}}), 1,
            "sender on a home connection (dsl-198-51-100-9.home.example)"},
        {58, mail({{"X-Spam-Flag", "YES"}}), 5, "marked as spam by another filter"},
        {58, mail({{"X-Spam-Status", "Yes, score=9.1"}}), 5, "marked as spam by another filter"},
        {59, mail({{"From", "noreply@shop.example"}}), 1, "sender's address takes no replies"},
    };
    writeFile(config + QStringLiteral("rbl"), "bad.example\r\n203.0.113.\r\n");
    writeFile(config + QStringLiteral("xmailer"), "BulkBlaster\r\n");
    writeFile(config + QStringLiteral("to"), "undisclosed-recipients\r\n");
    writeFile(config + QStringLiteral("badwords"), "viagra\r\n");
    writeFile(config + QStringLiteral("learned_words.dat"),
        "junkwarden learned words 1\t100\t100\npills\t90\t0\nonline\t80\t2\ncheap\t90\t1\n");
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
        // Learned by the filter itself only when reached without the
        // statistics and far from the threshold (3 at level 2).
        EXPECT_EQ(verdict.sure, c.method != 45);
        EXPECT_FALSE(judgement.judge(readMailFacts(clean)).spam) << "an ordinary message passes";
        methods({{c.method, '2'}});
        verdict = judgement.judge(facts);
        EXPECT_EQ(verdict.level, c.weight);
        EXPECT_EQ(verdict.sure, c.method != 45 && (c.weight >= 5 || c.weight <= 1));
        EXPECT_EQ(verdict.spam, c.weight > settings.acceptedLevel);
        EXPECT_EQ(verdict.reason, QStringLiteral("Spam level %1: ").arg(c.weight) + reason);
        methods({});
        verdict = judgement.judge(facts);
        EXPECT_FALSE(verdict.spam);
        EXPECT_EQ(verdict.level, 0);
    }
    // Weights add up: two weak signs together are too many.
    methods({{7, '2'}, {8, '2'}});
    const Verdict both =
        judgement.judge(readMailFacts(mail({{"From", ""}, {"To", "a@x.example, b@x.example, c@x.example"}})));
    EXPECT_TRUE(both.spam);
    EXPECT_EQ(both.spamNote(), QStringLiteral("Spam level 5: 3 recipients in To, no From address"));
    // Past its processor time a message is judged by what was found so far,
    // and the reason says so.
    settings.cpuBudgetMs = 0;
    LocalJudgement hurried(config, settings, 0);
    EXPECT_EQ(hurried.judge(readMailFacts(mail({{"From", ""}}))).reason,
        QStringLiteral("judged in part (time limit reached at method 7)"));

    // Signs of style (HTML only, remote pictures) add at most 1 together,
    // so they never hold a message alone at the lowest accepted level; each
    // place that names the sender's own domain takes a point off, two at
    // most. Under a public suffix only the same registered domain counts.
    settings.acceptedLevel = 1;
    settings.cpuBudgetMs = 100;
    LocalJudgement lowest(config, settings, 0);
    methods({{16, '2'}, {18, '2'}, {25, '2'}, {54, '2'}});
    const QByteArray signedBy = "v=1; a=rsa-sha256; s=k1; b=abc; d=";
    const QByteArray fromShop =
        "from mta.shop.example.co.uk (mta2.shop.example.co.uk [198.51.100.8]) by mx.example.com";
    const struct
    {
        QList<std::pair<QByteArray, QByteArray>> changes;
        bool spam;
        const char *reason;
    } evidence[] = {
        {{}, true, "Spam level 2: HTML only, pictures from remote servers, highest priority"},
        {{{"X-Priority", {}}}, false, "Spam level 1: HTML only, pictures from remote servers"},
        {{{"+DKIM-Signature", signedBy + "shop.example.co.uk"}}, false,
            "Spam level 1: HTML only, pictures from remote servers, highest priority; genuine sender -1: signed by the "
            "sender's domain (shop.example.co.uk)"},
        {{{"+DKIM-Signature", signedBy + "bulk.example"}}, true, nullptr},
        {{{"+DKIM-Signature", signedBy + "other.co.uk"}}, true, nullptr},
        {{{"+List-Unsubscribe", "<https://news.shop.example.co.uk/u?id=7>, <mailto:leave@shop.example.co.uk>"}}, false,
            "Spam level 1: HTML only, pictures from remote servers, highest priority; genuine sender -1: list fields "
            "of "
            "the sender's domain (example.co.uk)"},
        {{{"+List-Unsubscribe", "<https://shop.example.co.uk/u>, <mailto:u@esp.example>"}}, true, nullptr},
        {{{"Message-ID", "<77@mta.shop.example.co.uk>"}}, false, nullptr},
        {{{"Received", fromShop}}, false,
            "Spam level 1: HTML only, pictures from remote servers, highest priority; genuine sender -1: sent by the "
            "sender's domain's server (mta2.shop.example.co.uk)"},
        {{{"Date", {}}, {"+DKIM-Signature", signedBy + "shop.example.co.uk"}, {"Message-ID", "<7@shop.example.co.uk>"},
             {"Received", fromShop}},
            true,
            "Spam level 2: HTML only, pictures from remote servers, no Date field, highest priority; genuine sender "
            "-2: "
            "signed by the sender's domain (shop.example.co.uk), Message-ID of the sender's domain"},
    };
    for (const auto &c : evidence) {
        QList<std::pair<QByteArray, QByteArray>> changes{
            {"From", "Shop <news@shop.example.co.uk>"}, {"Content-Type", htmlType}, {"X-Priority", "1"}};
        changes.append(c.changes);
        const Verdict verdict =
            lowest.judge(readMailFacts(mail(changes, "<html><img src=\"https://cdn.example/a.png\">Sale</html>")));
        SCOPED_TRACE(verdict.reason.toStdString());
        EXPECT_EQ(verdict.spam, c.spam);
        if (c.reason) {
            EXPECT_EQ(verdict.reason, QString::fromUtf8(c.reason));
        }
    }

    // Methods that need to know whom the message came to.
    const Addressee ann{QStringLiteral("ann,pop.example"), {QStringLiteral("ann@example.com")}};
    const Addressee bob{QStringLiteral("bob,pop.example"), {}};
    methods({{41, '1'}});
    EXPECT_EQ(judgement.judge(readMailFacts(mail({{"To", "bob@example.com"}})), ann).reason,
        QStringLiteral("your address not in To or Cc"));
    EXPECT_FALSE(
        judgement.judge(readMailFacts(mail({{"To", "bob@example.com"}, {"Cc", "Ann@Example.com"}})), ann).spam);
    EXPECT_FALSE(judgement.judge(readMailFacts(mail({{"To", "bob@example.com"}}))).spam)
        << "whom it came to is not known";
    methods({{51, '1'}});
    const MailFacts twice = readMailFacts(mail({{"Message-ID", "<twice@x.example>"}}));
    EXPECT_FALSE(judgement.judge(twice, ann).spam);
    EXPECT_FALSE(judgement.judge(twice, ann).spam) << "fetched again for the same account";
    EXPECT_EQ(judgement.judge(twice, bob).reason, QStringLiteral("also sent to your account (ann,pop.example)"));

    // The help page of the methods gives each method's weight as it is.
    const QString help = QString::fromUtf8(readFile(sourcePath(QStringLiteral("resources/help/4.html"))));
    for (const MethodCheck &check : methodChecks()) {
        const QRegularExpression row(
            QStringLiteral("<tr><td>%1</td>.*?<td>(\\d+)</td><td>(on|off|grey)</td></tr>").arg(check.number));
        EXPECT_EQ(row.match(help).captured(1), QString::number(check.weight)) << "method " << check.number;
    }
}

// The statistical method's memory: what it learns moves its judgement,
// survives its file, and a damaged file never stops the judgement.
TEST(WordModel, LearnsWeighsAndSurvivesDamagedFiles)
{
    const auto words = [](const char *subject, const char *text) {
        MailFacts facts;
        facts.fromAddress = QStringLiteral("someone@example.com");
        facts.subject = QString::fromUtf8(subject);
        facts.text = QString::fromUtf8(text);
        return messageWords(facts);
    };
    const QList<QByteArray> offer = words("Cheap pills", "Buy cheap pills online, best prices, order now!");
    EXPECT_TRUE(offer.contains("s:cheap") && offer.contains("pills") && offer.contains("from:someone@example.com"));
    EXPECT_FALSE(offer.contains("now!")) << "punctuation trimmed";
    EXPECT_EQ(offer.count("cheap"), 1) << "each word once";

    WordModel model;
    EXPECT_EQ(model.spamProbability(offer), 0.5) << "nothing known";
    for (int i = 0; i < 20; ++i) {
        model.learn(words("Cheap pills", "Best prices for pills, order online"), true);
        model.learn(words("Minutes of the meeting", "The agenda for Tuesday and the minutes attached"), false);
    }
    const double spam = model.spamProbability(offer);
    const double good = model.spamProbability(words("meeting agenda", "Tuesday minutes"));
    EXPECT_GT(spam, kStatisticalSpam);
    EXPECT_LT(good, 0.1);
    EXPECT_EQ(model.spamProbability(words("", "unseen words only")), 0.5);

    // Written and read back whole; taking back a lesson undoes it.
    const WordModel copy = WordModel::fromBytes(model.toBytes());
    EXPECT_EQ(copy.toBytes(), model.toBytes());
    EXPECT_EQ(copy.spamMessages(), 20u);
    EXPECT_EQ(copy.counts("pills").spam, 20u);
    WordModel undone = copy;
    undone.learn(offer, false);
    undone.unlearn(offer, false);
    EXPECT_EQ(undone.toBytes(), model.toBytes());

    // Damaged files: what can be read is kept, and the reason is given.
    const struct
    {
        QByteArray bytes;
        quint32 spamMessages;
        qsizetype size;
        bool error;
    } damaged[] = {
        {"", 0, 0, false},
        {"some other file\nword\t1\t2\n", 0, 0, true},
        {"junkwarden learned words 1\tx\t3\nword\t1\t2\n", 0, 0, true},
        {"junkwarden learned words 1\t5\t3\nword\t1\t2\nbroken line\nw2\t9999999999999\t1\nlast\t1\t0", 5, 2, true},
        {QByteArray("junkwarden learned words 1\t5\t3\n") + QByteArray(1000, '\0') + "\n", 5, 0, true},
    };
    for (const auto &d : damaged) {
        SCOPED_TRACE(d.bytes.left(60).toStdString());
        QString error;
        const WordModel read = WordModel::fromBytes(d.bytes, &error);
        EXPECT_EQ(read.spamMessages(), d.spamMessages);
        EXPECT_EQ(read.size(), d.size);
        EXPECT_EQ(!error.isEmpty(), d.error);
        EXPECT_GE(read.spamProbability(offer), 0.0);
    }
    // Counts above the number of messages (a hand-edited file) stay within
    // the bounds of a probability.
    const WordModel odd = WordModel::fromBytes("junkwarden learned words 1\t1\t1\npills\t50\t0\ncheap\t0\t50\n");
    const double p = odd.spamProbability(offer);
    EXPECT_TRUE(p >= 0.0 && p <= 1.0) << p;
}

// Whom the automatic reply may answer (RFC 3834), and what it says.
TEST(AutoReply, AnswersOnlyWhomTheRulesAllowAndSaysWhatTheFileSays)
{
    const QByteArray base = "From: Ann <ann@shop.example>\r\nSubject: hi\r\nMessage-ID: <m1@shop.example>\r\n";
    Verdict black{true, QStringLiteral("black list: shop.example")};
    black.blackList = true;
    const struct
    {
        QByteArray head;
        Verdict verdict;
        const char *recipient;
        const char *reason;
    } cases[] = {
        {base, {true, QStringLiteral("banned words (x)")}, "ann@shop.example", ""},
        {"Return-Path: <Bounce+x@mail.shop.example>\r\n" + base, {true, QString()}, "bounce+x@mail.shop.example", ""},
        {"Return-Path: <>\r\n" + base, {true, QString()}, "", "no sender to answer"},
        {"From: \r\nSubject: hi\r\n", {true, QString()}, "", "no sender to answer"},
        {"Return-Path: a@b.example RCPT TO:<c@d.example>\r\n" + base, {true, QString()}, "", "no sender to answer"},
        {base, black, "ann@shop.example", "held by the black list"},
        {"Auto-Submitted: auto-replied\r\n" + base, {true, QString()}, "ann@shop.example",
            "sent automatically (Auto-Submitted)"},
        {"Auto-Submitted: no\r\n" + base, {true, QString()}, "ann@shop.example", ""},
        {"Precedence: bulk\r\n" + base, {true, QString()}, "ann@shop.example", "sent in bulk (Precedence)"},
        {"Precedence: list\r\n" + base, {true, QString()}, "ann@shop.example", "sent in bulk (Precedence)"},
        {"List-Unsubscribe: <mailto:u@shop.example>\r\n" + base, {true, QString()}, "ann@shop.example",
            "from a mailing list (list-unsubscribe)"},
        {"X-Autoreply: yes\r\n" + base, {true, QString()}, "ann@shop.example", "sent automatically (x-autoreply)"},
        {"From: MAILER-DAEMON@shop.example\r\n", {true, QString()}, "mailer-daemon@shop.example",
            "a system address (mailer-daemon@shop.example)"},
        {"From: deals-request@lists.example\r\n", {true, QString()}, "deals-request@lists.example",
            "a system address (deals-request@lists.example)"},
        {"From: noreply@shop.example\r\n", {true, QString()}, "noreply@shop.example",
            "a system address (noreply@shop.example)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.head.toStdString());
        const MailFacts facts = readMailFacts(c.head + "\r\nHello.\r\n");
        EXPECT_EQ(replyRecipient(facts), QLatin1String(c.recipient));
        EXPECT_EQ(reasonNotToReply(facts, c.verdict), QLatin1String(c.reason));
    }

    ReplyMessage reply;
    reply.body = QStringList{QStringLiteral("Zapłać później."), QString(), QStringLiteral("Bye")};
    const MailFacts original = readMailFacts(base + "\r\nHello.\r\n");
    const QByteArray message = composeReply(reply, original, QStringLiteral("me@example.com"),
        QStringLiteral("ann@shop.example"), QDateTime(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC));
    EXPECT_TRUE(message.startsWith("From: me@example.com\r\nTo: ann@shop.example\r\nSubject: Auto: hi\r\n"
                                   "Date: Mon, 7 Dec 2026 10:00:00 +0000\r\nMessage-ID: <"))
        << message.constData();
    EXPECT_TRUE(message.contains("@example.com>\r\nIn-Reply-To: <m1@shop.example>\r\nReferences: <m1@shop.example>\r\n"
                                 "Auto-Submitted: auto-replied\r\n"));
    EXPECT_TRUE(message.endsWith("\r\n\r\nZap\xc5\x82\x61\xc4\x87 p\xc3\xb3\xc5\xbaniej.\r\n\r\nBye\r\n"));
    reply.subject = QStringLiteral("Wstrzymano: zażółć");
    const MailFacts reread = readMailFacts(composeReply(reply, original, QStringLiteral("me@example.com"),
        QStringLiteral("ann@shop.example"), QDateTime::currentDateTimeUtc()));
    EXPECT_EQ(reread.subject, reply.subject) << "encoded as RFC 2047 words";
    EXPECT_EQ(reread.header("auto-submitted"), QStringLiteral("auto-replied"));
}

// Broken, huge and hostile messages and a list of a million entries: each
// file still gets its verdict, and what the message says is still read.
TEST(CheckCommand, BadInputGetsAVerdictAndNoCrash)
{
    TempProgramFolder folder;
    copyStagedProgram(folder, true);
    QByteArray black;
    for (int i = 0; i < 1000000; ++i)
        black += "sender" + QByteArray::number(i) + "@host" + QByteArray::number(i % 1000) + ".example\r\n";
    writeFile(folder.configPath() + QStringLiteral("blacklist"), black + "spam.example\r\n");
    writeFile(folder.configPath() + QStringLiteral("badwords"), "viagra\r\n");
    QFile::remove(folder.configPath() + QStringLiteral("learned_words.dat"));

    const QByteArray head = "From: x@shop.example\r\nTo: ann@example.com\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\n"
                            "Message-ID: <1@shop.example>\r\n";
    QByteArray manyParts = head + "Subject: parts\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n";
    for (int i = 0; i < 10000; ++i)
        manyParts += "--b\r\nContent-Type: text/plain\r\n\r\npart " + QByteArray::number(i) + "\r\n";
    manyParts += "--b\r\nContent-Type: text/plain\r\n\r\nbuy viagra\r\n--b--\r\n";
    QByteArray nested = head + "Subject: nested\r\n";
    for (int i = 0; i < 2000; ++i)
        nested += "Content-Type: multipart/mixed; boundary=n" + QByteArray::number(i) + "\r\n\r\n--n"
            + QByteArray::number(i) + "\r\n";
    nested += "Content-Type: text/plain\r\n\r\ndeep\r\n";
    QByteArray hostile = head + "Subject: html\r\nContent-Type: text/html\r\n\r\n"
        + QByteArray("<div><table><font>").repeated(10000)
        + "<script>while(1){}</script><a href='javascript:x'>viagra</a>";
    QByteArray garbage(1024 * 1024, '\0');
    for (qsizetype i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919 + i / 13) % 256);
    static const char withNul[] = "From: a\0b@spam.example\r\nSubject: \xff\xfe\0x\r\n\r\nhi\r\n";
    QByteArray huge = head + "Subject: huge\r\n\r\n"
        + QByteArray("all fine here, nothing to see\r\n").repeated(100 * 1024 * 1024 / 31);
    const struct
    {
        const char *name;
        QByteArray source;
        const char *verdict; // "spam" or "good"; the reason's start for spam
        const char *reason;
    } cases[] = {
        {"unterminated multipart",
            head
                + "Subject: a\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                  "Content-Type: text/plain\r\n\r\nhello viagra",
            "spam", "banned words (viagra)"},
        {"wrong length", head + "Subject: b\r\nContent-Length: 999999\r\n\r\nshort\r\n", "good", ""},
        {"bad base64", head + "Subject: c\r\nContent-Transfer-Encoding: base64\r\n\r\n!!!@@@###***\r\n=====\r\n", "",
            ""},
        {"unknown charset", head + "Subject: d\r\nContent-Type: text/plain; charset=x-unknown-42\r\n\r\nh\xe9llo\r\n",
            "good", ""},
        {"10,000 parts", manyParts, "spam", "banned words (viagra)"},
        {"2,000 nested parts", nested, "good", ""},
        {"hostile HTML", hostile, "spam", "banned words (viagra)"},
        {"NUL and 8-bit bytes in headers", QByteArray(withNul, sizeof withNul - 1), "", ""},
        {"binary garbage", garbage, "", ""},
        {"empty", "", "", ""},
        {"100 MB", huge, "good", ""},
        {"a million-entry list", head + "Subject: e\r\n\r\nhi\r\n", "good", ""},
        {"listed among a million",
            QByteArray(head).replace("x@shop.example", "sender999999@host999.example") + "Subject: f\r\n\r\nhi\r\n",
            "spam", "black list: sender999999@host999.example"},
    };
    QStringList files;
    for (const auto &c : cases) {
        files.append(folder.file(QStringLiteral("bad%1.eml").arg(files.size())));
        writeFile(files.last(), c.source);
    }
    QProcess check;
    check.start(folder.file(QStringLiteral("vexel3")), QStringList{QStringLiteral("--check")} + files);
    ASSERT_TRUE(check.waitForFinished(300000));
    EXPECT_EQ(check.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(check.exitCode(), 1) << check.readAllStandardError().constData();
    const QStringList lines =
        QString::fromUtf8(check.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), files.size());
    for (qsizetype i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const QStringList fields = lines.at(i).split(QLatin1Char('\t'));
        ASSERT_EQ(fields.size(), 5) << lines.at(i).toStdString();
        EXPECT_EQ(fields.at(0), files.at(i));
        EXPECT_TRUE(fields.at(1) == QLatin1String("spam") || fields.at(1) == QLatin1String("good"));
        if (*cases[i].verdict) {
            EXPECT_EQ(fields.at(1), QLatin1String(cases[i].verdict)) << fields.at(3).toStdString();
        }
        if (*cases[i].reason) {
            EXPECT_EQ(fields.at(3), QLatin1String(cases[i].reason));
        }
    }
}

// Block lists and the sender's mail servers, asked of a real name server;
// one that never answers delays the check by its bound once, not per file.
TEST(CheckCommand, AsksTheDnsAndNeverWaitsLongerThanItsBound)
{
    const QString unavailable = DnsServer::unavailableReason();
    if (!unavailable.isEmpty())
        GTEST_SKIP() << unavailable.toStdString();
    DnsServer dns(QStringLiteral("127.0.5.3"),
        {QStringLiteral("--mx-host=friends.example,mail.friends.example,10"),
            QStringLiteral("--host-record=mail.friends.example,198.51.100.7"),
            QStringLiteral("--host-record=webonly.example,198.51.100.8"),
            QStringLiteral("--host-record=9.113.0.203.bl.dnsbl.test,127.0.0.2")});
    QString problem;
    ASSERT_TRUE(dns.start(&problem)) << problem.toStdString();

    TempProgramFolder folder;
    copyStagedProgram(folder, true);
    writeFile(folder.configPath() + QStringLiteral("rbl"), "bl.dnsbl.test\r\n");
    QByteArray methods;
    for (int i = 0; i < 61; ++i)
        methods += "m=" + QByteArray(i == 4 || i == 35 ? "1" : i == 32 ? "2" : "0") + "\r\n";
    writeFile(folder.configPath() + QStringLiteral("methods.cfg"), methods);
    const auto received = [](const char *ip) -> QByteArray {
        return "Received: from mx.sender.example (mx.sender.example [" + QByteArray(ip)
            + "]) by mx.example.com; Mon, 7 Dec 2026 10:00:05 +0000\r\n";
    };
    const struct
    {
        QByteArray source;
        const char *verdict;
    } cases[] = {
        {received("203.0.113.9") + "From: x@friends.example\r\n\r\nHi.\r\n",
            "spam\t0\tsender's server blocked (203.0.113.9 in bl.dnsbl.test)"},
        {received("198.51.100.20") + "From: x@friends.example\r\n\r\nHi.\r\n", "good\t0\t"},
        {received("198.51.100.20") + "From: x@webonly.example\r\n\r\nHi.\r\n", "good\t0\t"},
        {received("198.51.100.20") + "From: x@nomail.example\r\n\r\nHi.\r\n",
            "spam\t2\tSpam level 2: sender's domain has no mail server (nomail.example)"},
        {received("198.51.100.20") + received("203.0.113.9") + "From: x@friends.example\r\n\r\nHi.\r\n",
            "spam\t0\trelayed through a blocked server (203.0.113.9 in bl.dnsbl.test)"},
        {received("198.51.100.21") + received("198.51.100.22") + "From: x@friends.example\r\n\r\nHi.\r\n", "good\t0\t"},
    };
    QStringList files;
    for (const auto &c : cases) {
        files.append(folder.file(QStringLiteral("m%1.eml").arg(files.size())));
        writeFile(files.last(), c.source);
    }
    const auto check = [&](const char *server, qint64 *elapsed) {
        writeFile(folder.configPath() + QStringLiteral("main.cfg"),
            "accepted_spam_level=1\r\ndns_server=" + QByteArray(server) + "\r\n");
        QProcess run;
        QElapsedTimer clock;
        clock.start();
        run.start(folder.file(QStringLiteral("vexel3")), QStringList{QStringLiteral("--check")} + files);
        EXPECT_TRUE(run.waitForFinished(60000));
        *elapsed = clock.elapsed();
        return QString::fromUtf8(run.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    };
    qint64 elapsed = 0;
    QStringList lines = check("127.0.5.3", &elapsed);
    ASSERT_EQ(lines.size(), files.size());
    for (qsizetype i = 0; i < files.size(); ++i)
        EXPECT_EQ(lines.at(i).section(QLatin1Char('\t'), 0, 3),
            files.at(i) + QLatin1Char('\t') + QString::fromUtf8(cases[i].verdict));

    // A name server that takes the questions and never answers: every file
    // still gets its line, judged without the DNS, and only the first waits.
    QUdpSocket silent;
    ASSERT_TRUE(silent.bind(QHostAddress(QStringLiteral("127.0.5.4")), 53));
    lines = check("127.0.5.4", &elapsed);
    ASSERT_EQ(lines.size(), files.size());
    for (qsizetype i = 0; i < files.size(); ++i)
        EXPECT_EQ(lines.at(i).section(QLatin1Char('\t'), 0, 3), files.at(i) + QStringLiteral("\tgood\t0\t"));
    EXPECT_LT(elapsed, 6000) << "the 2 s bound once, not once per file";
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
        good + QStringLiteral("\tgood\t0\t\tsure\n") + bad
            + QStringLiteral("\tspam\t0\tblack list: spam.example\tsure\n") + crowded
            + QStringLiteral("\tspam\t2\tSpam level 2: 2 recipients in To\t\n"));
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
        {"plain", "From: Ann <Ann@Example.COM>\r\nSubject: hi\r\n\r\nhello\r\n", "Ann <Ann@Example.COM>",
            "ann@example.com", "hi", "hello\r\n", false},
        {"encoded words and quoted-printable",
            "From: =?ISO-8859-2?Q?Pawe=B3?= <p@x.pl>\r\nSubject: =?UTF-8?B?WmHFvMOzxYLEhw==?=\r\nMIME-Version: 1.0\r\n"
            "Content-Type: text/plain; charset=iso-8859-2\r\nContent-Transfer-Encoding: "
            "quoted-printable\r\n\r\ng=EA=B6l=B1 ja=BC=F1\r\n",
            "Paweł <p@x.pl>", "p@x.pl", "Zażółć", "gęślą jaźń\r\n", false},
        {"base64 html only",
            "From: s@spam.example\r\nSubject: x\r\nMIME-Version: 1.0\r\nContent-Type: text/html; charset=utf-8\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\nPGI+QnV5PC9iPiA8c2NyaXB0PngoKTwvc2NyaXB0Pm5vdw==\r\n",
            "s@spam.example", "s@spam.example", "x", " Buy    now", true},
        {"alternative: the text part is the text",
            "From: a@b.c\r\nSubject: alt\r\nMIME-Version: 1.0\r\nContent-Type: multipart/alternative; "
            "boundary=XX\r\n\r\n"
            "--XX\r\nContent-Type: text/plain\r\n\r\nplain words\r\n--XX\r\nContent-Type: text/html\r\n\r\n<p>html "
            "words</p>\r\n--XX--\r\n",
            "a@b.c", "a@b.c", "alt", "plain words", false},
        {"html entities read as the reader sees them",
            "From: a@b.c\r\nSubject: e\r\nContent-Type: text/html\r\n\r\nFREE&nbsp;MONEY &amp; vi&shy;agra "
            "&#8364;5 &#x41;&bogus; &#0; &\r\n",
            "a@b.c", "a@b.c", "e", "FREE MONEY & viagra \u20ac5 A&bogus; &#0; &", true},
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
    EXPECT_EQ(readMailFacts(cases[3].source).content, QByteArray("<p>html words</p>"))
        << "the quarantine shows the HTML";
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

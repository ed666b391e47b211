#include "mainformfixture.h"
#include "mainwindow/kwarantannapage.h"
#include "mainwindow/safebrowser.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <utime.h>

namespace jw::test {
namespace {

const QByteArray kMarker = "-----!!!!!-----!!!!!-----!!!!!-----!!!!!-----";

QByteArray message(const QByteArray &subject, const QByteArray &sender, const QByteArray &status,
    const QByteArray &content, const QByteArray &source)
{
    return subject + "\r\n" + sender + "\r\n" + status + "\r\nSpam score 7\r\n" + kMarker + "1\r\n" + content + "\r\n"
        + kMarker + "2\r\n" + source + "\r\n";
}

class QuarantinePageTest : public MainFormFixture
{
protected:
    // Stores a message received `minutesAgo` minutes before a fixed time.
    QString store(
        const QString &name, const QByteArray &content, int minutesAgo, const QString &account = QStringLiteral("acct"))
    {
        QDir(folder.messagesPath()).mkpath(account);
        const QString path = folder.messagesPath() + account + QLatin1Char('/') + name;
        writeFile(path, content);
        const qint64 when = QDateTime(QDate(2026, 11, 20), QTime(12, 0)).addSecs(-60 * minutesAgo).toSecsSinceEpoch();
        utimbuf times{when, when};
        utime(QFile::encodeName(path).constData(), &times);
        return path;
    }
    QString plain(const QString &name, int minutesAgo, const QByteArray &subject = "Subject",
        const QByteArray &sender = "spammer@example.com", const QByteArray &status = "Readed")
    {
        return store(name, message(subject, sender, status, "plain content " + subject, "To: me@home\r\n\r\nsource"),
            minutesAgo);
    }
    KwarantannaPage &page()
    {
        if (!form) {
            open();
            switchPage(TMainForm::PageKwarantanna);
        }
        return *form->TabKwarantanna;
    }
    QStringList subjects()
    {
        QStringList out;
        for (int i = 0; i < page().model().size(); ++i)
            out.append(page().model().row(i).subject);
        return out;
    }
    void select(const QList<int> &rows)
    {
        page().KwarantannaMemo->selectionModel()->clearSelection();
        for (int row : rows)
            page().KwarantannaMemo->selectionModel()->select(
                page().model().index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

TEST_F(QuarantinePageTest, TableSortsByReceivedDescendingAndToggles)
{
    plain(QStringLiteral("a"), 30, "older");
    plain(QStringLiteral("b"), 10, "newer");
    plain(QStringLiteral("c"), 20, "middle");
    EXPECT_EQ(page().SortState, 2);
    EXPECT_EQ(subjects(), (QStringList{QStringLiteral("newer"), QStringLiteral("middle"), QStringLiteral("older")}));
    page().KwarantannaMemoColumnClick(2);
    EXPECT_EQ(page().SortState, 12);
    EXPECT_EQ(subjects(), (QStringList{QStringLiteral("older"), QStringLiteral("middle"), QStringLiteral("newer")}));
    page().KwarantannaMemoColumnClick(1);
    EXPECT_EQ(page().SortState, 1) << "a new column sorts descending first";
    EXPECT_EQ(subjects(), (QStringList{QStringLiteral("older"), QStringLiteral("newer"), QStringLiteral("middle")}));
}

TEST_F(QuarantinePageTest, SortIgnoresCaseOfAToZOnly)
{
    plain(QStringLiteral("a"), 1, "beta");
    plain(QStringLiteral("b"), 2, "Alpha");
    plain(QStringLiteral("c"), 3,
        "\xc5\xbb"
        "ebra"); // Ż, above every ASCII letter
    page().KwarantannaMemoColumnClick(1);
    page().KwarantannaMemoColumnClick(1);
    EXPECT_EQ(subjects(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("beta"), QStringLiteral(u"Żebra")}));
}

TEST_F(QuarantinePageTest, NewRowsAreBoldUntilShownAloneReleasedRowsBlueThenGreen)
{
    const QString path = plain(QStringLiteral("n"), 1, "fresh", "x@y", "New");
    plain(QStringLiteral("r"), 2, "again", "x@y", "Resend");
    plain(QStringLiteral("d"), 3, "arrived", "x@y", "Delivered");
    QuarantineModel &model = page().model();
    EXPECT_TRUE(model.data(model.index(0, 0), Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(model.data(model.index(1, 1), Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 255));
    EXPECT_EQ(model.data(model.index(2, 1), Qt::ForegroundRole).value<QColor>(), QColor(0, 128, 0));
    EXPECT_EQ(model.data(model.index(2, 0), Qt::ToolTipRole).toString(),
        QStringLiteral("Released: your mail program has received it"));
    select({0});
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(readFile(path).split('\n').value(2), QByteArray("Readed\r"));
}

TEST_F(QuarantinePageTest, PreviewFollowsTheSingleSelectedRow)
{
    store(QStringLiteral("h"),
        message("Html one", "a@x", "Readed", "<p>Hi <b>there</b></p>",
            "To: me@home\r\nCc: boss@home\r\nContent-Type: text/html\r\n\r\n<p>raw</p>"),
        1);
    // Text with angle brackets and blank lines is still text.
    const QByteArray text = "Hi,\r\n\r\nsee <http://example.com/x> & <b>this</b>.\r\n-- \r\nAnn";
    store(QStringLiteral("p"),
        message("Plain one", "b@x", "Readed", text,
            "Content-Type: multipart/alternative; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n"),
        2);
    select({0});
    EXPECT_TRUE(page().previewIsHtml());
    EXPECT_TRUE(page().previewText().contains(QStringLiteral("<b>there</b>")));
    EXPECT_EQ(page().KwarantannaOd->text(), QStringLiteral("a@x"));
    EXPECT_EQ(page().KwarantannaTemat->text(), QStringLiteral("Html one"));
    EXPECT_EQ(page().KwarantannaDo->text(), QStringLiteral("me@home"));
    EXPECT_EQ(page().KwarantannaDw->text(), QStringLiteral("boss@home"));
    EXPECT_EQ(page().KwarantannaSpam->text(), QStringLiteral("Spam score 7"));

    // A second row joins: the preview stays; one leaves: it clears.
    page().KwarantannaMemo->selectionModel()->select(
        page().model().index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(page().KwarantannaTemat->text(), QStringLiteral("Html one"));
    page().KwarantannaMemo->selectionModel()->select(
        page().model().index(0, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    EXPECT_EQ(page().previewText(), QStringLiteral("<html></html>"));
    EXPECT_TRUE(page().KwarantannaOd->text().isEmpty());

    select({1});
    EXPECT_EQ(page().KwarantannaMemoPodglad->toPlainText(),
        QString::fromLatin1(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_TRUE(page().previewText().contains(QStringLiteral("<a href=\"http://example.com/x\">")));

    // Left and entered again, the page shows no message that no row selects.
    switchPage(TMainForm::PageMetody);
    switchPage(TMainForm::PageKwarantanna);
    EXPECT_TRUE(page().KwarantannaMemo->selectionModel()->selectedRows().isEmpty());
    EXPECT_EQ(page().previewText(), QStringLiteral("<html></html>"));
    select({1});

    // The source is always plain text.
    select({0});
    page().KwarantannaTabPodglad->setCurrentIndex(KwarantannaPage::SourceView);
    EXPECT_FALSE(page().previewIsHtml());
    EXPECT_TRUE(page().previewText().contains(QStringLiteral("<p>raw</p>")));
}

TEST_F(QuarantinePageTest, SourceTabWithNothingSelectedShowsTheTopRow)
{
    plain(QStringLiteral("a"), 1, "top");
    plain(QStringLiteral("b"), 2, "second");
    page().KwarantannaTabPodglad->setCurrentIndex(KwarantannaPage::SourceView);
    EXPECT_EQ(page().selectedRows(), QList<int>{0});
    EXPECT_TRUE(page().previewText().contains(QStringLiteral("source")));
}

// The list and the preview share the page; the divider the user moves is
// where the page opens next time; the columns fill the list's width; the
// To line's tip names every recipient.
TEST_F(QuarantinePageTest, LayoutUsesThePageAndKeepsTheDivider)
{
    store(QStringLiteral("m"),
        message("s", "a@x", "Readed", "text", "To: " + QByteArray("someone@far.example, ").repeated(30) + "ann@x\r\n"),
        1);
    page();
    form->resize(900, 700);
    QApplication::processEvents();
    QTableView *list = page().KwarantannaMemo;
    EXPECT_GT(list->height(), 5 * 19) << "more than a few rows";
    EXPECT_EQ(list->horizontalHeader()->length(), list->viewport()->width()) << "no empty band";
    select({0});
    EXPECT_TRUE(page().KwarantannaDo->toolTip().endsWith(QStringLiteral("someone@far.example, ann@x")));

    page().Splitter->setSizes({400, 150});
    Q_EMIT page().Splitter->splitterMoved(400, 1);
    const QList<int> moved = page().Splitter->sizes();
    closeWindow();
    const QByteArray stored = "quarantine_split=" + QByteArray::number(moved[0]) + ',' + QByteArray::number(moved[1]);
    EXPECT_TRUE(configFile("main.cfg").contains(stored));
    open().resize(900, 700);
    switchPage(TMainForm::PageKwarantanna);
    QApplication::processEvents();
    const QList<int> again = page().Splitter->sizes();
    EXPECT_NEAR(double(again[0]) / (again[0] + again[1]), double(moved[0]) / (moved[0] + moved[1]), 0.05);
}

TEST_F(QuarantinePageTest, ToAndCcRules)
{
    const struct
    {
        QByteArray text;
        const char *to;
    } cases[] = {
        {"x\r\nTo: ann@x\r\n", "ann@x"},
        {"x\r\nTO:ann@x\r\n", "nn@x"}, // one character after the colon is skipped
        {"x\r\nfrom: a\r\n", ""},
        {"To: first line is not after a line feed\r\nx", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.constData());
        const QByteArray value = QuarantineStore::headerValue(c.text, "to:");
        EXPECT_EQ(value.left(value.indexOf('\r') < 0 ? value.size() : value.indexOf('\r')), QByteArray(c.to));
    }
}

TEST_F(QuarantinePageTest, DeleteLeavesTheMessageToBeLearnedAsSpamAndSelectsTheNextRowOrThePreviousOne)
{
    const QString a = plain(QStringLiteral("a"), 1, "one");
    plain(QStringLiteral("b"), 2, "two");
    const QString c = plain(QStringLiteral("c"), 3, "three");
    page().KwarantannaButtonUsunClick();
    EXPECT_EQ(prompts.informations, QStringList{QStringLiteral("First select the messages to delete.")});

    select({0});
    page().KwarantannaButtonUsunClick();
    EXPECT_FALSE(QFile::exists(a));
    // Deleting says it is spam: it waits for the proxy to learn it.
    EXPECT_EQ(QuarantineStore::sourceOfFile(
                  nativePath(folder.messagesPath() + QStringLiteral(".learn-spam/") + QFileInfo(a).fileName())),
        QByteArray("To: me@home\r\n\r\nsource\r\n"));
    EXPECT_EQ(subjects(), (QStringList{QStringLiteral("two"), QStringLiteral("three")}));
    EXPECT_EQ(page().selectedRows(), QList<int>{0});
    EXPECT_EQ(page().KwarantannaTemat->text(), QStringLiteral("two"));

    select({1});
    page().KwarantannaButtonUsunClick();
    EXPECT_FALSE(QFile::exists(c));
    EXPECT_EQ(page().selectedRows(), QList<int>{0}) << "the last row went: the one above";

    page().KwarantannaButtonUsunClick();
    EXPECT_EQ(page().model().size(), 0);
    EXPECT_EQ(page().previewText(), QStringLiteral("<html></html>"));
}

TEST_F(QuarantinePageTest, SearchStepsThroughSenderAndSubject)
{
    plain(QStringLiteral("a"), 1, "Cheap pills", "x@y");
    plain(QStringLiteral("b"), 2, "hello", "pills@shop");
    plain(QStringLiteral("c"), 3, "Pills", "x@y");
    page().KwarantannaEdit->setText(QStringLiteral("pills"));
    QList<int> hits;
    for (int i = 0; i < 4; ++i) {
        // The button and Enter in the field search alike.
        if (i % 2 == 0)
            page().KwarantannaButtonSzukajClick();
        else
            QTest::keyClick(page().KwarantannaEdit, Qt::Key_Return);
        hits.append(page().selectedRows().value(0, -1));
    }
    EXPECT_EQ(hits, (QList<int>{0, 1, -1, 0}));
    EXPECT_EQ(prompts.informations, QStringList{QStringLiteral("Nothing found.")});
}

TEST_F(QuarantinePageTest, SendToSelfMarksRowsAndQueuesThemInRowOrder)
{
    const QString a = plain(QStringLiteral("a"), 1, "one");
    const QString b = plain(QStringLiteral("b"), 2, "two");
    select({0, 1});
    page().KwarantannaPopupWyslijdosiebieClick();
    EXPECT_EQ(readFile(config(QStringLiteral("to_resend"))),
        QFile::encodeName(a) + "_resend\r\n" + QFile::encodeName(b) + "_resend\r\n");
    EXPECT_TRUE(page().selectedRows().isEmpty());
    EXPECT_EQ(page().model().row(0).status, QByteArray("Resend"));
    EXPECT_TRUE(QFile::exists(b + QStringLiteral("_resend")));
}

TEST_F(QuarantinePageTest, AddingSendersAndWordsToTheLists)
{
    writeFile(config(QStringLiteral("whitelist")), "Friend@Example.com");
    writeFile(config(QStringLiteral("blacklist")), "");
    plain(QStringLiteral("a"), 1, "s", "friend@example.COM");
    select({0});
    page().KwarantannaPopupBialaClick();
    EXPECT_EQ(configFile("whitelist"), QByteArray("Friend@Example.com")) << "present in other case: nothing written";
    page().KwarantannaPopupCzarnaClick();
    EXPECT_EQ(configFile("blacklist"), QByteArray("friend@example.COM\r\n"));

    QFile::remove(config(QStringLiteral("badwords")));
    page().KwarantannaMemoPodglad->selectAll();
    page().KwarantannaPodgladPopupPopup();
    EXPECT_TRUE(page().KwarantannaPopupDodajdozakazanych->isEnabled());
    page().KwarantannaPopupDodajdozakazanychClick();
    EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Cannot open file ") + config(QStringLiteral("badwords"))});
    writeFile(config(QStringLiteral("badwords")), "old\r\n");
    page().KwarantannaPopupDodajdozakazanychClick();
    EXPECT_EQ(configFile("badwords"), QByteArray("old\r\nplain content s\r\n"));

    page().KwarantannaMemoPodglad->setTextCursor(QTextCursor(page().KwarantannaMemoPodglad->document()));
    page().KwarantannaPodgladPopupPopup();
    EXPECT_FALSE(page().KwarantannaPopupDodajdozakazanych->isEnabled());
}

TEST_F(QuarantinePageTest, LinkClicksAndHoversAreReducedToTheirAddress)
{
    page();
    const struct
    {
        const char *target;
        const char *opened; // empty: nothing opened
    } clicks[] = {
        {"3D\"MailTo:win@prize.example\" onclick=x", "MailTo:win@prize.example"},
        {"http://a.example/x\"y", "http://a.example/x"},
        {"javascript:alert(1)", ""},
        {"file:///etc/passwd", ""},
        {"https://secure.example/", "https://secure.example/"},
    };
    for (const auto &c : clicks) {
        SCOPED_TRACE(c.target);
        shell.opened.clear();
        page().KwarantannaMemoPodgladHotSpotClick(QString::fromLatin1(c.target));
        if (*c.opened) {
            ASSERT_EQ(shell.opened.size(), 1);
            EXPECT_EQ(shell.opened[0], QUrl(QString::fromLatin1(c.opened)));
            EXPECT_EQ(form->StatusPanels[0]->text(), QString::fromLatin1(c.opened));
        } else {
            EXPECT_TRUE(shell.opened.isEmpty());
        }
    }
    page().KwarantannaMemoPodgladHotSpotCovered(QStringLiteral("3D\"http://x.example/?a=1\""));
    EXPECT_EQ(form->StatusPanels[0]->text(), QStringLiteral("http://x.example/?a=1"));
    page().KwarantannaMemoPodgladHotSpotCovered(QString());
    EXPECT_TRUE(form->StatusPanels[0]->text().isEmpty());
}

int frameDepth(const QTextFrame *frame)
{
    int deepest = 0;
    for (const QTextFrame *child : frame->childFrames())
        deepest = std::max(deepest, frameDepth(child));
    return deepest + (qobject_cast<const QTextTable *>(frame) ? 1 : 0);
}

// Whatever a message holds, the preview gets a bounded document: nothing is
// fetched, deep structure is flattened, a huge body is shown in part with a
// note. (How quickly is measured in the quarantine benchmark.)
TEST_F(QuarantinePageTest, HostileMessagesGetABoundedPreview)
{
    const QByteArray hostile =
        "<html><head><style>@import url(\"/etc/passwd\"); body{background:url(file:///dev/zero)}</style>"
        "<link rel=stylesheet href=\"/dev/zero\"><script src=\"http://evil.example/x.js\"></script>"
        "<script>while(1){}</script></head><body>"
        "<img src=\"/dev/zero\"><img src=\"http://evil.example/track.gif\"><img src=\"file:///etc/shadow\">"
        "<iframe src=\"/dev/urandom\"></iframe><p>Buy now</p></body></html>";
    auto tables = [](int depth) -> QByteArray {
        return QByteArray("<table><tr><td>cell").repeated(depth) + QByteArray("</td></tr></table>").repeated(depth);
    };
    const QByteArray body50 = QByteArray("0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz\r\n")
                                  .repeated(50 * 1024 * 1024 / 74);
    const struct
    {
        const char *name;
        QByteArray content;
        bool html;
        QString shows;
        int maxTableDepth;
        bool inPart;
    } cases[] = {
        {"resources, scripts, frames", hostile, true, QStringLiteral("Buy now"), 0, false},
        {"16 nested tables", tables(16), true, QStringLiteral("cell"), 3, false},
        {"64 nested tables", tables(64), true, QStringLiteral("cell"), 3, false},
        {"nested lists, tens of KB", QByteArray("<ul><li>x").repeated(2500) + "end", true, QStringLiteral("x"), 0,
            true},
        {"a flood of tags", QByteArray("<div><b>x").repeated(100000), true, QStringLiteral("x"), 0, true},
        {"a 50 MB body", body50, false, QStringLiteral("0123456789"), 0, true},
    };
    int n = 0;
    for (const auto &c : cases) {
        ++n;
        store(QStringLiteral("m%1").arg(n),
            message(
                "hostile", "e@x", "Readed", c.content, c.html ? "Content-Type: text/html\r\n\r\n" : "To: me\r\n\r\n"),
            n);
    }
    page();
    for (int row = 0; row < int(std::size(cases)); ++row) {
        const auto &c = cases[row];
        SCOPED_TRACE(c.name);
        select({row});
        EXPECT_EQ(page().previewIsHtml(), c.html);
        QTextDocument *document = page().KwarantannaMemoPodglad->document();
        EXPECT_TRUE(document->toPlainText().contains(c.shows));
        EXPECT_LE(frameDepth(document->rootFrame()), c.maxTableDepth);
        EXPECT_EQ(document->toPlainText().startsWith(QStringLiteral("Only the first ")), c.inPart);
        EXPECT_LT(document->characterCount(), 300 * 1024);
    }
    EXPECT_EQ(page().KwarantannaMemoPodglad->refusedResources(), 0) << "nothing was even asked for";
    EXPECT_TRUE(shell.opened.isEmpty());
}

TEST_F(QuarantinePageTest, DeclaredCharsetsDecideTheDecoding)
{
    EXPECT_EQ(QuarantineStore::declaredCharset(
                  "<meta http-equiv=Content-Type content=\"text/html; charset=ISO-8859-2\">", ""),
        QByteArray("iso-8859-2"));
    EXPECT_EQ(
        QuarantineStore::declaredCharset("<p>x</p>", "\r\nContent-Type: text/plain;\r\n charset=\"utf-8\"\r\n\r\nbody"),
        QByteArray("utf-8"));
    EXPECT_EQ(QuarantineStore::declaredCharset("<p>x</p>", "\r\nSubject: charset=koi8\r\n\r\n"), QByteArray());

    // Windows-1257 unless declared: 0xE0 is "ą" there.
    store(QStringLiteral("baltic"), message("b", "b@x", "Readed", "<p>\xe0</p>", "To: me\r\n\r\n"), 1);
    store(QStringLiteral("utf8"),
        message("u", "u@x", "Readed", "<meta charset=utf-8><p>\xc5\xbc</p>", "To: me\r\n\r\n"), 2);
    page();
    select({0});
    EXPECT_TRUE(page().KwarantannaMemoPodglad->toPlainText().contains(QStringLiteral(u"ą")));
    select({1});
    EXPECT_TRUE(page().KwarantannaMemoPodglad->toPlainText().contains(QStringLiteral(u"ż")));
}

} // namespace
} // namespace jw::test

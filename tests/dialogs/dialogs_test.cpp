#include "dialogs/aboutform.h"
#include "dialogs/clicklabel.h"
#include "dialogs/helpwindow.h"
#include "dialogs/mnemonics.h"
#include "dialogs/potwierdzform.h"
#include "settings/languagetable.h"
#include "support/fakes.h"
#include "support/testfiles.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

namespace jw::test {
namespace {

LanguageTable englishTable()
{
    LanguageTable table;
    table.setLines({"tak=Yes", "nie=No", "o programie=About", "about prawa=All rights reserved.",
        "about autorzy=Authors:", "about grafika=Graphics:", "about testy=Testing:", "about angielska=English version:",
        "about pomoc=Support:"});
    return table;
}

// Runs `action` on the dialog once its modal loop is running.
void whenModal(std::function<void(QWidget *)> action)
{
    QTimer::singleShot(0, [action] {
        QWidget *modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        action(modal);
    });
}

TEST(PotwierdzForm, TakesCaptionsFromTheTableAndTheAskersTitle)
{
    const LanguageTable table = englishTable();
    TPotwierdzForm form(table, QStringLiteral("Junkwarden"));
    EXPECT_EQ(form.Tak->text(), QStringLiteral("&Yes"));
    EXPECT_EQ(form.Nie->text(), QStringLiteral("&No"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Junkwarden"));
    EXPECT_EQ(form.size(), QSize(392, 98));
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form.Image->pixmap().isNull());
    EXPECT_EQ(form.Image->pixmap().toImage(),
        form.style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32).toImage())
        << "a question shows the question icon";
    EXPECT_NE(form.Image->pixmap().toImage(),
        form.style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32).toImage());
    // Keys missing from the language file blank the buttons; they still answer.
    const LanguageTable empty;
    TPotwierdzForm blank(empty, QString());
    EXPECT_EQ(blank.Tak->text(), QString());
    QTimer::singleShot(0, [&blank] { blank.Tak->click(); });
    EXPECT_EQ(blank.exec(), TPotwierdzForm::kYes);
}

TEST(PotwierdzForm, AnswersYesNoAndAnythingElseCountsAsNo)
{
    const LanguageTable table = englishTable();
    const struct
    {
        const char *name;
        std::function<void(QWidget *)> action;
        bool yes;
    } cases[] = {
        {"Enter at once", [](QWidget *w) { QTest::keyClick(w, Qt::Key_Return); }, true},
        {"yes button", [](QWidget *w) { w->findChild<QPushButton *>(QStringLiteral("Tak"))->click(); }, true},
        {"no button", [](QWidget *w) { w->findChild<QPushButton *>(QStringLiteral("Nie"))->click(); }, false},
        {"Escape", [](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); }, false},
        {"closed", [](QWidget *w) { w->close(); }, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        whenModal(c.action);
        EXPECT_EQ(TPotwierdzForm::ask(table, QStringLiteral("Junkwarden"), QStringLiteral("Save?")), c.yes);
    }
}

TEST(PotwierdzForm, LongQuestionIsCutNotWrapped)
{
    const LanguageTable table = englishTable();
    TPotwierdzForm form(table, QString());
    form.PotwierdzeniePanel->setText(QString(300, QLatin1Char('w')));
    form.show();
    EXPECT_EQ(form.PotwierdzeniePanel->width(), 321);
    EXPECT_FALSE(form.PotwierdzeniePanel->wordWrap());
    EXPECT_EQ(form.size(), QSize(392, 98));
}

TEST(AboutForm, ShowsNameBuildAndHeadings)
{
    const LanguageTable table = englishTable();
    FakeShell shell;
    TAboutForm about(table, shell, QStringLiteral("Junkwarden"));
    EXPECT_EQ(about.ProgramName->text(), QStringLiteral("Junkwarden 1.0 Build 252"))
        << "version 1.0.252, as the updater counts";
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(about.Prawa->text(), QStringLiteral("All rights reserved."));
    EXPECT_EQ(about.Autorzy->text(), QStringLiteral("Authors:"));
    EXPECT_EQ(about.Grafika->text(), QStringLiteral("Graphics:"));
    EXPECT_EQ(about.Testy->text(), QStringLiteral("Testing:"));
    EXPECT_EQ(about.Angielska->text(), QStringLiteral("English version:"));
    EXPECT_EQ(about.Pomoc->text(), QStringLiteral("Support:"));
    about.show();
    EXPECT_EQ(about.width(), 318);
    EXPECT_GE(about.height(), 388);
    // Nothing is cut off: every line's text fits its label, inside the panel, above the button.
    for (const QLabel *label : about.Panel3->findChildren<QLabel *>()) {
        const QRect needed = label->fontMetrics().boundingRect(
            QRect(0, 0, label->width(), 1000), label->wordWrap() ? Qt::TextWordWrap : 0, label->text());
        EXPECT_TRUE(label->contentsRect().size().expandedTo(needed.size()) == label->contentsRect().size()
            && label->geometry().bottom() <= about.Panel3->height())
            << label->objectName().toStdString();
    }
    EXPECT_GE(about.OKButton->geometry().top(), about.Panel3->height());

    const LanguageTable empty;
    TAboutForm blank(empty, shell, QStringLiteral("Junkwarden"));
    EXPECT_EQ(blank.windowTitle(), QString());
    EXPECT_EQ(blank.Pomoc->text(), QString());
}

TEST(AboutForm, LinksOpenTheirOwnTextAndTurnRedTheHiddenOneOnlyWithShiftCtrlAlt)
{
    const LanguageTable table = englishTable();
    FakeShell shell;
    TAboutForm about(table, shell, QStringLiteral("Junkwarden"));
    about.show();
    EXPECT_EQ(about.Label28->palette().color(QPalette::WindowText), QColor(Qt::blue));

    QTest::mouseClick(about.Label28, Qt::LeftButton);
    QTest::mouseClick(about.Label2, Qt::LeftButton);
    ASSERT_EQ(shell.opened.size(), 2);
    EXPECT_EQ(shell.opened[0], QUrl(about.Label28->text()));
    EXPECT_EQ(shell.opened[1], QUrl(QStringLiteral("mailto:") + about.Label2->text()));
    EXPECT_EQ(about.Label28->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(about.Label2->palette().color(QPalette::WindowText), QColor(Qt::red));

    TAboutForm again(table, shell, QStringLiteral("Junkwarden"));
    EXPECT_EQ(again.Label28->palette().color(QPalette::WindowText), QColor(Qt::blue));

    // One credit line opens a hidden link with Shift+Ctrl+Alt and the left button only.
    shell.opened.clear();
    QTest::mouseClick(about.Label32, Qt::LeftButton);
    QTest::mouseClick(about.Label32, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier);
    QTest::mouseClick(about.Label32, Qt::RightButton, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(shell.opened.isEmpty());
    EXPECT_FALSE(about.Label32->font().underline());

    QTest::mouseClick(about.Label32, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(shell.opened, QList<QUrl>{QUrl(QLatin1String(TAboutForm::kHiddenAddress))});
    EXPECT_EQ(about.Label32->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_TRUE(about.Label32->font().underline());
}

// The help window: a contents list of every topic, links between topics,
// Back and Close.
TEST(HelpWindow, ContentsLinksBackAndClose)
{
    TempProgramFolder folder;
    const QString help = folder.file(QStringLiteral("help/"));
    QDir().mkpath(help);
    writeFile(help + QStringLiteral("0.html"),
        "<html><head><title>Setting up</title></head><body>See <a href=\"2.html\">the quarantine</a>.</body></html>");
    writeFile(
        help + QStringLiteral("2.html"), "<html><head><title>Quarantine</title></head><body>Held mail.</body></html>");
    writeFile(
        help + QStringLiteral("10.html"), "<html><head><title>Any mail program</title></head><body>x</body></html>");
    writeFile(help + QStringLiteral("notes.html"), "<html><head><title>Not a topic</title></head></html>");
    const std::unique_ptr<HelpViewer> viewer = createHelpWindowViewer(help);
    viewer->showTopic(2);
    QWidget *window = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("HelpWindow") && w->isVisible())
            window = w;
    }
    ASSERT_NE(window, nullptr);
    auto *contents = window->findChild<QListWidget *>(QStringLiteral("HelpContents"));
    auto *browser = window->findChild<QTextBrowser *>(QStringLiteral("HelpBrowser"));
    auto *back = window->findChild<QPushButton *>(QStringLiteral("HelpBack"));
    auto *close = window->findChild<QPushButton *>(QStringLiteral("HelpClose"));
    ASSERT_TRUE(contents && browser && back && close);
    QStringList titles;
    for (int i = 0; i < contents->count(); ++i)
        titles.append(contents->item(i)->text());
    EXPECT_EQ(titles,
        (QStringList{QStringLiteral("Setting up"), QStringLiteral("Quarantine"), QStringLiteral("Any mail program")}));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quarantine"));
    EXPECT_EQ(contents->currentRow(), 1);
    EXPECT_FALSE(back->isEnabled());

    // From the contents, then along a link, then back.
    contents->itemClicked(contents->item(0));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Setting up"));
    browser->setSource(QUrl(QStringLiteral("2.html"))); // what following the link does
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quarantine"));
    EXPECT_EQ(contents->currentRow(), 1);
    EXPECT_TRUE(back->isEnabled());
    back->click();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Setting up"));
    EXPECT_EQ(contents->currentRow(), 0);
    EXPECT_EQ(back->text(), QStringLiteral("&Back"));

    viewer->showTopic(7);
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("topic 7 is missing"))) << "a missing topic says so";
    close->click();
    EXPECT_FALSE(window->isVisible());
}

// Every button seen together gets its own Alt key from its caption.
TEST(Mnemonics, EachButtonGetsAFreeLetterOfItsCaption)
{
    const struct
    {
        std::vector<const char *> captions;
        std::vector<const char *> marked;
    } cases[] = {
        {{"Save", "Search", "Delete"}, {"&Save", "S&earch", "&Delete"}},
        {{"Update now", "Undo now"}, {"&Update now", "Undo &now"}}, // another word's first letter before others
        {{"Zapisz", "Aktualizuj teraz", "Uruchamiaj po zalogowaniu"},
            {"&Zapisz", "&Aktualizuj teraz", "&Uruchamiaj po zalogowaniu"}},
        {{"ab", "ba", "ąb"}, {"&ab", "&ba", "&ąb"}}, // a plain letter first, then any letter
        {{"Q&A", "A"}, {"&Q&&A", "&A"}}, // an "&" of the caption stays one
        {{"x", "x"}, {"&x", "x"}}, // nothing left: shown as it is
    };
    for (const auto &c : cases) {
        QList<QPushButton *> owned;
        QList<QAbstractButton *> buttons;
        QStringList wanted;
        for (const char *caption : c.captions) {
            owned.append(new QPushButton(QString::fromUtf8(caption)));
            buttons.append(owned.last());
        }
        giveMnemonics(buttons);
        QStringList marked;
        for (QPushButton *button : owned)
            marked.append(button->text());
        for (const char *text : c.marked)
            wanted.append(QString::fromUtf8(text));
        EXPECT_EQ(marked, wanted) << c.captions.front();
        qDeleteAll(owned);
    }
}

} // namespace
} // namespace jw::test

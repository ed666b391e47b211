#include "mainformfixture.h"
#include "mainwindow/filterlistmodel.h"
#include "mainwindow/inplaceeditor.h"
#include "support/smalldisk.h"

#include <QDir>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

namespace jw::test {
namespace {

class FiltersPageTest : public MainFormFixture
{
protected:
    FiltersPage &page()
    {
        if (!form) {
            open();
            // Use up the window's free first change, as a user would have.
            switchPage(TMainForm::PageKwarantanna);
            switchPage(TMainForm::PageBiala);
        }
        return *form->TabBiala;
    }
    QStringList shown()
    {
        QStringList texts;
        for (int i = 0; i < page().model().size(); ++i)
            texts.append(page().model().text(i));
        return texts;
    }
    void type(const QString &text) { page().BialaEdit->setText(text); }
    void select(const QList<int> &rows)
    {
        QListView *view = page().BialaMemo;
        view->selectionModel()->clear();
        for (int row : rows)
            view->selectionModel()->select(page().model().index(row), QItemSelectionModel::Select);
        if (!rows.isEmpty())
            view->selectionModel()->setCurrentIndex(page().model().index(rows.first()), QItemSelectionModel::NoUpdate);
    }
    void switchList(int list) { page().BialaTabControl->setCurrentIndex(list); }
};

TEST_F(FiltersPageTest, LoadsSortedAndSavesWithCrLfWhenTheListIsLeftAMissingListOnItsFirstAdd)
{
    writeFile(config(QStringLiteral("blacklist")), "zeta\nAlpha\nbeta\n\nalpha");
    switchList(kBlackList);
    EXPECT_EQ(shown(),
        (QStringList{QString(), QStringLiteral("Alpha"), QStringLiteral("alpha"), QStringLiteral("beta"),
            QStringLiteral("zeta")}));
    type(QStringLiteral("gamma"));
    QTest::keyClick(page().BialaEdit, Qt::Key_Return); // Enter adds, as the button does
    EXPECT_TRUE(form->UnsavedChanges);
    EXPECT_TRUE(page().BialaEdit->text().isEmpty());
    switchList(kBadWords);
    EXPECT_TRUE(prompts.questions.isEmpty()) << "a list is saved without a question";
    EXPECT_EQ(configFile("blacklist"), QByteArray("\r\nAlpha\r\nalpha\r\nbeta\r\ngamma\r\nzeta\r\n"));
    EXPECT_FALSE(form->UnsavedChanges);

    // A missing list shows empty; the first add creates it.
    switchList(4);
    EXPECT_EQ(page().model().size(), 0);
    type(QStringLiteral("Mass Mailer 3.0"));
    page().BialaButtonDodaj->click();
    switchList(0);
    EXPECT_EQ(configFile("xmailer"), QByteArray("Mass Mailer 3.0\r\n"));
}

TEST_F(FiltersPageTest, AddRefusesEmptyTextAndDuplicatesInTheShownListOnly)
{
    writeFile(config(QStringLiteral("whitelist")), "Friend@Example.org\r\n");
    page();
    type(QString());
    page().BialaButtonDodaj->click();
    type(QStringLiteral("friend@example.ORG"));
    page().BialaButtonDodaj->click();
    EXPECT_EQ(prompts.informations,
        (QStringList{
            QStringLiteral("First type the entry to add."), QStringLiteral("This entry is already in the list.")}));
    EXPECT_EQ(page().BialaEdit->text(), QStringLiteral("friend@example.ORG")) << "a refusal changes nothing";
    EXPECT_FALSE(form->UnsavedChanges);

    switchList(kBlackList);
    type(QStringLiteral("friend@example.ORG"));
    page().BialaButtonDodaj->click();
    EXPECT_EQ(shown(), QStringList{QStringLiteral("friend@example.ORG")});
}

TEST_F(FiltersPageTest, DeleteByTextAsksNothingAndLogsNothing)
{
    writeFile(config(QStringLiteral("blacklist")), "a\r\nB\r\nc\r\n");
    switchList(kBlackList);
    select({0, 2});
    type(QStringLiteral("b"));
    QTest::keyClick(page().BialaMemo, Qt::Key_Delete);
    EXPECT_EQ(shown(), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_FALSE(QFile::exists(config(QStringLiteral("forget"))));

    type(QStringLiteral("nothing like it"));
    page().BialaButtonUsun->click();
    EXPECT_EQ(shown().size(), 2);
    EXPECT_TRUE(page().BialaEdit->text().isEmpty());
    EXPECT_TRUE(form->UnsavedChanges);
}

TEST_F(FiltersPageTest, DeleteSelectionAsksLogsInOrderAndUpdatesTheAutoCopy)
{
    writeFile(config(QStringLiteral("whitelist")), "ann@a.org\r\nbob@b.org\r\ncarl@c.org\r\n");
    writeFile(config(QStringLiteral("whitelist_auto")), "x@x.org\r\nBOB@B.ORG\r\ny@y.org");
    writeFile(config(QStringLiteral("forget")), "-rbl::old\r\n");
    EXPECT_TRUE(page().model().isHighlighted(1)) << "bob is in the auto list";
    EXPECT_FALSE(page().model().isHighlighted(0));

    select({0, 1});
    prompts.answers = {false};
    page().BialaButtonUsun->click();
    EXPECT_EQ(shown().size(), 3) << "no: nothing changes";
    EXPECT_FALSE(form->UnsavedChanges);

    prompts.answers = {true};
    page().BialaButtonUsun->click();
    EXPECT_EQ(prompts.questions.last(), QStringLiteral("Are you sure you want to delete it?"));
    EXPECT_EQ(shown(), QStringList{QStringLiteral("carl@c.org")});
    EXPECT_EQ(configFile("forget"), QByteArray("-rbl::old\r\n-whitelist::ann@a.org\r\n-whitelist::bob@b.org\r\n"))
        << "logged at once, in order";
    EXPECT_EQ(configFile("whitelist"), QByteArray("ann@a.org\r\nbob@b.org\r\ncarl@c.org\r\n"))
        << "saved only on leaving";
    EXPECT_EQ(page().selectedRows(), QList<int>{0}) << "the entry now at the caret's place";

    // The proxy adds a released message's sender to both lists meanwhile;
    // that entry survives the save, and shows blue next time.
    writeFile(config(QStringLiteral("whitelist_auto")), "x@x.org\r\nBOB@B.ORG\r\ny@y.org\r\nnew@proxy.org");
    writeFile(config(QStringLiteral("whitelist")), "ann@a.org\r\nbob@b.org\r\ncarl@c.org\r\nnew@proxy.org\r\n");
    switchList(kBlackList);
    EXPECT_EQ(configFile("whitelist"), QByteArray("carl@c.org\r\nnew@proxy.org\r\n"));
    EXPECT_EQ(configFile("whitelist_auto"), QByteArray("x@x.org\r\ny@y.org\r\nnew@proxy.org"));
    switchList(kWhiteList);
    EXPECT_TRUE(page().model().isHighlighted(page().model().findIgnoringCase(QStringLiteral("new@proxy.org"))));
}

TEST_F(FiltersPageTest, DeleteWithNothingSelectedIsRefused)
{
    writeFile(config(QStringLiteral("whitelist")), "a\r\n");
    page();
    select({});
    page().BialaButtonUsun->click();
    EXPECT_EQ(prompts.informations, QStringList{QStringLiteral("First type or select the entry to delete.")});
    EXPECT_EQ(shown().size(), 1);
}

TEST_F(FiltersPageTest, SearchStepsThroughCaseSensitiveMatchesAndWraps)
{
    writeFile(config(QStringLiteral("badwords")), "Viagra\r\ncheap viagra\r\nfree\r\nviagra now\r\n");
    switchList(kBadWords);
    type(QStringLiteral("viagra"));
    QList<int> hits;
    for (int i = 0; i < 4; ++i) {
        page().BialaButtonSzukaj->click();
        hits.append(page().selectedRows().value(0, -1));
    }
    // "cheap viagra" (0), "viagra now" (3), then nothing, then from the top.
    EXPECT_EQ(hits, (QList<int>{0, 3, -1, 0}));
    EXPECT_EQ(prompts.informations, QStringList{QStringLiteral("Nothing found.")});
    EXPECT_EQ(page().caretRow(), 0);

    type(QString());
    page().BialaButtonSzukaj->click();
    EXPECT_EQ(prompts.informations.last(), QStringLiteral("First type the text to search for."));
}

TEST_F(FiltersPageTest, InPlaceEditStaysInPlaceAndKeepsEmptyEntries)
{
    writeFile(config(QStringLiteral("rbl")), "aaa.example\r\nmmm.example\r\n");
    switchList(3);
    select({0});
    page().BialaMemoDblClick();
    EXPECT_FALSE(page().BialaTempEdit->isHidden());
    EXPECT_TRUE(form->UnsavedChanges);
    page().BialaTempEdit->setText(QStringLiteral("zzz.example"));
    QTest::keyClick(page().BialaTempEdit, Qt::Key_Return);
    EXPECT_TRUE(page().BialaTempEdit->isHidden());
    EXPECT_EQ(shown(), (QStringList{QStringLiteral("zzz.example"), QStringLiteral("mmm.example")})) << "not re-sorted";

    select({1});
    page().BialaMemoDblClick();
    page().BialaTempEdit->clear();
    page().BialaButtonZapiszClick(); // the guard's save commits an open editor
    EXPECT_EQ(configFile("rbl"), QByteArray("zzz.example\r\n\r\n"));
}

TEST_F(FiltersPageTest, UntouchedEntriesKeepTheirBytesAndLongOnesStayWhole)
{
    const QByteArray longEntry(5000, 'q');
    // Windows-1250 entries, and one longer than any line the proxy expects.
    writeFile(config(QStringLiteral("badwords")), "\xbf\xf3\xb3w\r\n" + longEntry + "\r\nb\xb9k\r\n");
    switchList(kBadWords);
    EXPECT_EQ(page().model().text(0), QStringLiteral(u"bąk"));
    type(QStringLiteral(u"żaba"));
    page().BialaButtonDodaj->click();
    switchList(0);
    EXPECT_EQ(configFile("badwords"),
        "b\xb9k\r\n" + longEntry
            + "\r\n\xbf"
              "aba\r\n\xbf\xf3\xb3w\r\n")
        << "typed text joins the file in its code page";
}

TEST_F(FiltersPageTest, AListThatCannotBeReadIsNeverWrittenOver)
{
    QDir().mkdir(config(QStringLiteral("blacklist"))); // exists, cannot be read as a file
    switchList(kBlackList);
    EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Cannot open file ") + config(QStringLiteral("blacklist"))});
    type(QStringLiteral("x"));
    page().BialaButtonDodaj->click();
    switchList(kBadWords);
    EXPECT_TRUE(QFileInfo(config(QStringLiteral("blacklist"))).isDir());
    EXPECT_EQ(prompts.errors.size(), 2) << "the user is told the list was not saved";
}

// A list that cannot be written stays on screen with its edits, unsaved:
// switching lists keeps it shown, leaving the page and coming back finds it
// as it was, and the next save once there is room writes it.
TEST_F(FiltersPageTest, AFailedSaveKeepsTheEditsUntilASaveSucceeds)
{
    writeFile(config(QStringLiteral("whitelist")), "ann@a.org\r\n");
    SmallDisk disk(folder.configPath());
    if (!disk.available())
        GTEST_SKIP() << disk.whyNot().toStdString();
    page();
    disk.fill();
    type(QStringLiteral("new@b.org"));
    page().BialaButtonDodaj->click();
    const QStringList edited{QStringLiteral("ann@a.org"), QStringLiteral("new@b.org")};
    const QString error = QStringLiteral("Cannot create file ") + config(QStringLiteral("whitelist"));

    switchList(kBlackList);
    EXPECT_EQ(prompts.errors, QStringList{error});
    EXPECT_EQ(page().BialaTabControl->currentIndex(), kWhiteList) << "the list that could not be saved stays shown";
    EXPECT_EQ(shown(), edited);
    EXPECT_TRUE(form->UnsavedChanges);

    switchPage(TMainForm::PageOdpowiedz);
    EXPECT_EQ(prompts.errors.size(), 2);
    EXPECT_TRUE(prompts.questions.isEmpty()) << "the reply page was not edited";
    switchPage(TMainForm::PageBiala);
    EXPECT_EQ(shown(), edited) << "coming back does not reload over the edits";
    EXPECT_TRUE(form->UnsavedChanges);
    EXPECT_EQ(configFile("whitelist"), QByteArray("ann@a.org\r\n"));

    disk.release();
    switchList(kBlackList);
    EXPECT_EQ(prompts.errors.size(), 2);
    EXPECT_EQ(configFile("whitelist"), QByteArray("ann@a.org\r\nnew@b.org\r\n"));
    EXPECT_EQ(page().BialaTabControl->currentIndex(), kBlackList);
    EXPECT_FALSE(form->UnsavedChanges);
}

TEST_F(FiltersPageTest, TheShellReloadsTheListWhenThePageIsEntered)
{
    writeFile(config(QStringLiteral("whitelist")), "a\r\n");
    page();
    writeFile(config(QStringLiteral("whitelist")), "a\r\nb\r\n");
    switchPage(TMainForm::PageOdpowiedz);
    switchPage(TMainForm::PageBiala);
    EXPECT_EQ(shown().size(), 2);
}

} // namespace
} // namespace jw::test

namespace jw::test {
namespace {

TEST(InPlaceEditor, LeavingCommitsOnceAndEnterSaysSo)
{
    QWidget host;
    InPlaceEditor editor(&host);
    QList<std::pair<QString, bool>> commits;
    QObject::connect(&editor, &InPlaceEditor::committed, [&commits](const QString &text, bool byEnter) {
        commits.append({text, byEnter});
    });
    editor.open(QRect(0, 0, 100, 20), QStringLiteral("old"));
    editor.setText(QStringLiteral("typed"));
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(&editor, &out);
    QApplication::sendEvent(&editor, &out);
    QTest::keyClick(&editor, Qt::Key_Escape);
    ASSERT_EQ(commits.size(), 1) << "Escape is no cancel and a closed editor commits nothing";
    EXPECT_EQ(commits[0], std::make_pair(QStringLiteral("typed"), false));
    EXPECT_TRUE(editor.isHidden());

    editor.open(QRect(0, 0, 100, 20), QStringLiteral("again"));
    QTest::keyClick(&editor, Qt::Key_Return);
    ASSERT_EQ(commits.size(), 2);
    EXPECT_EQ(commits[1], std::make_pair(QStringLiteral("again"), true));
}

} // namespace
} // namespace jw::test

#include "formats/methodsfile.h"
#include "mainformfixture.h"
#include "mainwindow/konfiguracjapage.h"
#include "mainwindow/metodypage.h"

#include <QLineEdit>
#include <QListWidget>

namespace jw::test {
namespace {

TEST(MethodFile, OnlyTheCharacterAfterTheFirstEqualsCounts)
{
    const MethodStates read = readMethodStates(
        {"anything=1", "x=12", "1 no equals sign", "2", "0 no equals", "ends=", "", "seven=7", "=0", "two=2x", "a=b=1"},
        11);
    EXPECT_EQ(read.states, (QList<int>{1, 1, 1, 2, 0, 0, 0, 0, 0, 2}));
    EXPECT_EQ(read.error, QStringLiteral("'0b' is not a valid integer value"))
        << "only the character after the first =";

    const MethodStates shortFile = readMethodStates({"a=1", "b=2"}, 4);
    EXPECT_EQ(shortFile.states, (QList<int>{1, 2}));
    EXPECT_EQ(shortFile.error, QStringLiteral("List index out of bounds (2)"));

    const MethodStates letter = readMethodStates({"a=1", "b=x", "c=1"}, 3);
    EXPECT_EQ(letter.states, QList<int>{1});
    EXPECT_EQ(letter.error, QStringLiteral("'0x' is not a valid integer value"));

    EXPECT_EQ(methodText(QStringLiteral("More than ##ILOSC in To, ##ILOSC"), QStringLiteral("5")),
        QStringLiteral("More than 5 in To, ##ILOSC"));
}

class MethodsPageTest : public MainFormFixture
{
protected:
    MetodyPage &page() { return *form->TabMetody; }
    Lines methodsFile() { return splitLines(configFile("methods.cfg"), LineRule::AnyBreak); }
};

TEST_F(MethodsPageTest, LoadsTextsAndStatesAndSavesSixtyOneLines)
{
    Lines lines;
    for (int i = 0; i < 61; ++i)
        lines.append("old text=" + QByteArray(i == 2 || i == 10 ? "2" : i % 3 == 0 ? "1" : "0"));
    writeLines(config(QStringLiteral("methods.cfg")), lines);
    writeFile(config(QStringLiteral("main.cfg")), "my_pin=1\r\nmaxto=12\r\n");
    open();
    ASSERT_EQ(page().MetodyCheckListBox->count(), 61);
    EXPECT_EQ(page().GrayedCount, 2);
    EXPECT_EQ(page().state(2), kMethodThird);
    EXPECT_EQ(page().state(3), kMethodOn);
    EXPECT_EQ(page().MetodyCheckListBox->item(7)->text(), QStringLiteral("More than 12 recipients in the To field"));

    tray->Filtraktywny->trigger(); // filter off: no restart
    const int starts = processes.started.count(QStringLiteral("vexel3"));
    ASSERT_TRUE(page().MetodyButtonZapiszClick());
    const Lines saved = methodsFile();
    ASSERT_EQ(saved.size(), 61);
    EXPECT_EQ(saved[0], QByteArray("Use the white list: mail from its senders always passes=1"));
    EXPECT_EQ(saved[2], QByteArray("Use the automatic white list: senders of mail you released from the quarantine=2"));
    EXPECT_EQ(saved[7], QByteArray("More than 12 recipients in the To field=0"));
    EXPECT_TRUE(configFile("methods.cfg").endsWith("\r\n"));
    EXPECT_EQ(processes.started.count(QStringLiteral("vexel3")), starts);

    tray->Filtraktywny->trigger(); // on again (starts the proxy)
    const int before = processes.started.count(QStringLiteral("vexel3"));
    page().MetodyButtonZapiszClick();
    EXPECT_EQ(processes.started.count(QStringLiteral("vexel3")), before + 1) << "restarted once";
    EXPECT_EQ(methodsFile(), saved) << "saving twice writes the same lines";
}

TEST_F(MethodsPageTest, ClicksCycleAndKeepTheFirstFourTwoState)
{
    open();
    switchPage(TMainForm::PageMetody); // uses up the window's first change
    QListWidget *list = page().MetodyCheckListBox;
    auto toggle = [list](int row) {
        QListWidgetItem *item = list->item(row);
        // What a click on the box does: off, third state, on, off.
        const Qt::CheckState next = item->checkState() == Qt::Unchecked ? Qt::PartiallyChecked
            : item->checkState() == Qt::PartiallyChecked                ? Qt::Checked
                                                                        : Qt::Unchecked;
        item->setCheckState(next);
    };
    list->item(20)->setCheckState(Qt::Unchecked);
    form->UnsavedChanges = false;
    QList<int> seen;
    for (int i = 0; i < 3; ++i) {
        toggle(20);
        seen.append(page().state(20));
    }
    EXPECT_EQ(seen, (QList<int>{kMethodThird, kMethodOn, kMethodOff}));
    EXPECT_TRUE(form->UnsavedChanges);

    list->item(1)->setCheckState(Qt::Unchecked);
    toggle(1);
    EXPECT_EQ(page().state(1), kMethodOn) << "methods 0 to 3 skip the third state";
    toggle(1);
    toggle(1);
    EXPECT_EQ(page().state(1), kMethodOn);
}

TEST_F(MethodsPageTest, AGreyTwoStateMethodTurnsOnAtTheFirstClick)
{
    Lines lines;
    for (int i = 0; i < 61; ++i)
        lines.append(i == 2 ? "x=2" : "x=0");
    writeLines(config(QStringLiteral("methods.cfg")), lines);
    open();
    switchPage(TMainForm::PageMetody);
    EXPECT_EQ(page().state(2), kMethodThird);
    EXPECT_FALSE(form->UnsavedChanges);
    Q_EMIT page().MetodyCheckListBox->itemClicked(page().MetodyCheckListBox->item(40));
    EXPECT_EQ(page().state(2), kMethodOn);
    EXPECT_TRUE(form->UnsavedChanges);
}

TEST_F(MethodsPageTest, AFileThatStopsEarlyIsReportedAndNeverSavedShort)
{
    writeFile(config(QStringLiteral("methods.cfg")), "a=1\r\nb=2\r\nc=q\r\n");
    TMainForm &w = open();
    EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("'0q' is not a valid integer value")});
    EXPECT_EQ(w.MainPageControl->currentIndex(), TMainForm::PageKwarantanna) << "the creation steps stopped";
    ASSERT_EQ(page().MetodyCheckListBox->count(), 61);
    EXPECT_EQ(page().state(0), kMethodOn);
    EXPECT_EQ(page().state(1), kMethodThird) << "as loaded, until the first click";
    page().MetodyButtonZapiszClick();
    const Lines saved = methodsFile();
    ASSERT_EQ(saved.size(), 61);
    EXPECT_TRUE(saved[60].endsWith("=0"));
}

} // namespace
} // namespace jw::test

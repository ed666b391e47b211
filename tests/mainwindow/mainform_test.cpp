#include "mainformfixture.h"
#include "mainwindow/metodypage.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace jw::test {
namespace {

using MainFormTest = MainFormFixture;

TEST_F(MainFormTest, BuildsTheShell)
{
    TMainForm &w = open();
    EXPECT_EQ(w.objectName(), QStringLiteral("MainForm"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Junkwarden"));
    // 809 by 569 (at least 809 by 480) where the screen has room; never
    // larger than the screen's free area, with the title bar inside it.
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(free.contains(w.geometry().adjusted(0, -30, 0, 0))) << free.width() << "x" << free.height();
    if (free.width() >= 809 + 16 && free.height() >= 569 + 44) {
        EXPECT_EQ(w.size(), QSize(809, 569));
        EXPECT_EQ(w.minimumSize(), QSize(809, 480));
    } else {
        EXPECT_LE(w.width(), 809);
        EXPECT_LE(w.minimumWidth(), w.width());
        EXPECT_LE(w.minimumHeight(), w.height());
    }
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    ASSERT_EQ(w.MainPageControl->count(), 5);
    const QStringList texts{QStringLiteral("Filters"), QStringLiteral("Quarantine"), QStringLiteral("Reply"),
        QStringLiteral("Methods"), QStringLiteral("Settings")};
    const QStringList names{QStringLiteral("TabBiala"), QStringLiteral("TabKwarantanna"),
        QStringLiteral("TabOdpowiedz"), QStringLiteral("TabMetody"), QStringLiteral("TabKonfiguracja")};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(w.MainPageControl->tabText(i), texts[i]);
        // Each page in its own scroll area, for screens smaller than the page.
        const auto *scroll = qobject_cast<QScrollArea *>(w.MainPageControl->widget(i));
        ASSERT_NE(scroll, nullptr);
        EXPECT_EQ(scroll->widget()->objectName(), names[i]);
        EXPECT_FALSE(w.MainPageControl->tabIcon(i).pixmap(80, 55).isNull());
    }
    EXPECT_FALSE(w.Banerpanel->isVisible()) << "no banner host in this build";
    EXPECT_EQ(w.StatusPanels[0]->width(), 400);
    EXPECT_EQ(w.StatusPanels[1]->width(), 150);
    EXPECT_EQ(w.StatusPanels[2]->width(), 50);
    EXPECT_EQ(w.HelpPanel->geometry().topRight(), QPoint(w.width() - 1, 0));
    EXPECT_FALSE(w.UnsavedChanges);
}

TEST_F(MainFormTest, RemembersTheLastPage)
{
    const struct
    {
        const char *name;
        std::optional<QByteArray> mainCfg;
        int page;
    } cases[] = {
        {"no key", QByteArray("my_pin=1\r\n"), TMainForm::PageBiala},
        {"methods", QByteArray("my_pin=1\r\nlast_tab_seen=3\r\n"), TMainForm::PageMetody},
        {"outside 0 to 4", QByteArray("my_pin=1\r\nlast_tab_seen=7\r\n"), TMainForm::PageBiala},
        {"not a number", QByteArray("my_pin=1\r\nlast_tab_seen=x\r\n"), TMainForm::PageKwarantanna},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(config(QStringLiteral("main.cfg")));
        if (c.mainCfg)
            writeFile(config(QStringLiteral("main.cfg")), *c.mainCfg);
        TMainForm &w = open();
        EXPECT_EQ(w.MainPageControl->currentIndex(), c.page);
        EXPECT_TRUE(prompts.errors.isEmpty());
        closeWindow();
    }
}

TEST_F(MainFormTest, WithoutASettingsFileTheSettingsPageReportsItAndTheQuarantinePageShows)
{
    QFile::remove(config(QStringLiteral("main.cfg")));
    TMainForm &w = open();
    EXPECT_EQ(w.MainPageControl->currentIndex(), TMainForm::PageKwarantanna);
    EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Cannot open file ") + config(QStringLiteral("main.cfg"))});
    EXPECT_EQ(w.TabMetody->MetodyCheckListBox->count(), 0) << "creation stopped at the failing load";
}

TEST_F(MainFormTest, ClosingStoresThePageAndReopeningAcknowledgesTheQuarantine)
{
    writeFile(config(QStringLiteral("main.cfg")), "# note\r\nmy_pin=1\r\nlast_tab_seen=0\r\n");
    open();
    switchPage(TMainForm::PageKwarantanna);
    closeWindow();
    EXPECT_EQ(configFile("main.cfg"), QByteArray("# note\r\nmy_pin=1\r\nlast_tab_seen=1\r\n"));
    EXPECT_EQ(help.quits, 1) << "the help window closes with the configuration window";

    writeFile(folder.file(QStringLiteral("status.tmp")), "quarantine\r\n");
    tray->CheckTimerTimer();
    ASSERT_EQ(tray->trayState(), TTrayForm::Quarantine);
    TMainForm &w = open();
    EXPECT_EQ(w.MainPageControl->currentIndex(), TMainForm::PageKwarantanna);
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("status.tmp"))));
    EXPECT_EQ(tray->trayState(), TTrayForm::Waiting);
}

TEST_F(MainFormTest, HelpContextFollowsThePage)
{
    TMainForm &w = open();
    const int expected[] = {1, 2, 5, 4, 3};
    for (int page : {1, 2, 3, 4, 0}) {
        switchPage(page);
        EXPECT_EQ(w.helpContext(), expected[page]) << page;
        w.HelpImageClick();
        EXPECT_EQ(help.topics.last(), expected[page]);
    }
}

// The window always opens with its title bar on screen: at scale 2 a
// 1280 by 800 screen is 640 by 400 logical pixels, less the panels.
TEST(WindowPlace, TheTitleBarAndTabsAreAlwaysOnScreen)
{
    const struct
    {
        QRect available;
        QSize wanted;
        QRect place;
    } cases[] = {
        {{0, 0, 1920, 1050}, {809, 569}, {555, 254, 809, 569}}, // room enough: centred
        {{0, 27, 640, 373}, {809, 569}, {8, 63, 624, 329}}, // scale 2 on 1280 x 800, top panel
        {{1280, 0, 640, 400}, {809, 569}, {1288, 36, 624, 356}}, // a second screen to the right
        {{0, 0, 300, 200}, {809, 569}, {8, 36, 284, 156}},
    };
    for (const auto &c : cases) {
        const QRect place = windowPlace(c.available, c.wanted);
        EXPECT_EQ(place, c.place) << place.x() << "," << place.y() << " " << place.width() << "x" << place.height();
        EXPECT_TRUE(c.available.contains(place.adjusted(0, -36, 0, 0))) << "title bar inside the free area";
    }
}

// F1 and the page keys work from every page, wherever the focus is.
TEST_F(MainFormTest, KeysOpenHelpAndChangePageFromEveryPage)
{
    TMainForm &w = open();
    w.show();
    QApplication::setActiveWindow(&w);
    const int topics[] = {1, 2, 5, 4, 3};
    const struct
    {
        QKeyCombination keys;
        int step;
    } moves[] = {{Qt::CTRL | Qt::Key_PageDown, 1}, {Qt::CTRL | Qt::Key_PageUp, -1}, {Qt::CTRL | Qt::Key_Tab, 1},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, -1}};
    for (int page = 0; page < 5; ++page) {
        for (const auto &move : moves) {
            switchPage(page);
            // The focus deep inside the page, as a user leaves it.
            QWidget *inside = w.MainPageControl->widget(page);
            const QList<QWidget *> children = inside->findChildren<QWidget *>();
            for (QWidget *child : children) {
                if (child->focusPolicy() != Qt::NoFocus && child->isVisible()) {
                    inside = child;
                    break;
                }
            }
            inside->setFocus();
            QTest::keyClick(inside, move.keys.key(), move.keys.keyboardModifiers());
            EXPECT_EQ(w.MainPageControl->currentIndex(), (page + move.step + 5) % 5)
                << "page " << page << " from " << inside->objectName().toStdString();
        }
        switchPage(page);
        QTest::keyClick(w.MainPageControl->widget(page), Qt::Key_F1);
        ASSERT_FALSE(help.topics.isEmpty());
        EXPECT_EQ(help.topics.last(), topics[page]) << "page " << page;
    }
}

TEST_F(MainFormTest, HelpButtonHighlightsWhileThePointerIsNear)
{
    TMainForm &w = open();
    QPoint pointer;
    w.cursorPosition = [&pointer] { return pointer; };
    EXPECT_TRUE(w.HelpImage->isVisible());
    w.HelpImageMouseMove(10, 10);
    EXPECT_TRUE(w.HelpImage1->isVisible());
    EXPECT_FALSE(w.HelpImage->isVisible());
    EXPECT_TRUE(w.HelpTimer->isActive());

    pointer = w.HelpImage->mapToGlobal(QPoint(20, 20));
    w.HelpTimerTimer();
    EXPECT_TRUE(w.HelpImage1->isVisible()) << "still over the help area";
    pointer = w.mapToGlobal(QPoint(10, 300));
    w.HelpTimerTimer();
    EXPECT_TRUE(w.HelpImage->isVisible());
    EXPECT_FALSE(w.HelpTimer->isActive());
}

// Loading the pages asks nothing; from the first page change on, the user's
// edits are saved (lists) or asked about (other pages) every time.
TEST_F(MainFormTest, EveryPageChangeGuardsTheUsersEdits)
{
    writeFile(config(QStringLiteral("remessage")), "Subject\r\nBody\r\n");
    open();
    switchPage(TMainForm::PageOdpowiedz);
    EXPECT_TRUE(prompts.questions.isEmpty()) << "the flags raised by loading cause no question";
    switchPage(TMainForm::PageBiala);
    EXPECT_FALSE(QFile::exists(config(QStringLiteral("whitelist")))) << "nothing to save, nothing written";
    delete form.data();

    // Three entries added right after opening are saved by the first switch,
    // and the auto white list that was missing is made.
    open();
    for (const char *entry : {"c@x.org", "a@x.org", "b@x.org"}) {
        form->TabBiala->BialaEdit->setText(QLatin1String(entry));
        form->TabBiala->BialaButtonDodaj->click();
    }
    switchPage(TMainForm::PageMetody);
    EXPECT_EQ(configFile("whitelist"), QByteArray("a@x.org\r\nb@x.org\r\nc@x.org\r\n"));
    EXPECT_EQ(configFile("whitelist_auto"), QByteArray());
    EXPECT_TRUE(prompts.questions.isEmpty());
    delete form.data();

    writeFile(config(QStringLiteral("main.cfg")), "my_pin=1\r\nlast_tab_seen=2\r\n");
    TMainForm &again = open();
    ASSERT_EQ(again.MainPageControl->currentIndex(), TMainForm::PageOdpowiedz);
    again.TabOdpowiedz->OdpowiedzTematEdit->setText(QStringLiteral("Edited"));
    prompts.answers = {false};
    switchPage(TMainForm::PageMetody);
    EXPECT_EQ(prompts.questions, QStringList{QStringLiteral("Do you want to save your changes?")});
    EXPECT_EQ(prompts.questionCaptions, QStringList{QStringLiteral("Junkwarden")});
    EXPECT_EQ(again.TabOdpowiedz->OdpowiedzTematEdit->text(), QStringLiteral("Subject"))
        << "no: reloaded from the file";
    EXPECT_FALSE(again.UnsavedChanges);

    switchPage(TMainForm::PageOdpowiedz);
    again.TabOdpowiedz->OdpowiedzTematEdit->setText(QStringLiteral("Saved"));
    prompts.answers = {true};
    switchPage(TMainForm::PageBiala);
    EXPECT_EQ(configFile("remessage"), QByteArray("Saved\r\nBody\r\n"));
    EXPECT_EQ(prompts.questions.size(), 2);
}

TEST_F(MainFormTest, ClosingWithChangesAsksAndYesSaves)
{
    writeFile(config(QStringLiteral("remessage")), "Subject\r\n");
    TMainForm &w = open();
    switchPage(TMainForm::PageOdpowiedz);
    EXPECT_TRUE(prompts.questions.isEmpty());
    w.TabOdpowiedz->OdpowiedzMemo->setPlainText(QStringLiteral("line"));
    prompts.answers = {true};
    closeWindow();
    EXPECT_EQ(prompts.questions.size(), 1);
    EXPECT_EQ(configFile("remessage"), QByteArray("Subject\r\nline\r\n"));
    EXPECT_EQ(configFile("main.cfg"), QByteArray(kMainCfg).replace("last_tab_seen=0", "last_tab_seen=2"));
}

TEST_F(MainFormTest, ExitWhileOpenAsksNothing)
{
    TMainForm &w = open();
    switchPage(TMainForm::PageOdpowiedz);
    w.TabOdpowiedz->OdpowiedzTematEdit->setText(QStringLiteral("Edited"));
    delete form.data(); // as the program's exit destroys it
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_EQ(configFile("main.cfg"), QByteArray(kMainCfg));
}

// On every page each visible button answers its own Alt key, in both
// languages, and the key presses the button.
TEST_F(MainFormTest, EveryButtonOfAPageHasItsOwnAltKey)
{
    for (const char *language : {"english", "polish"}) {
        ASSERT_TRUE(tray->LanguageMemo.load(
            sourcePath(QStringLiteral("resources/language/%1.lng").arg(QLatin1String(language)))));
        TMainForm &w = open();
        QApplication::setActiveWindow(&w);
        for (int page = 0; page < 5; ++page) {
            switchPage(page);
            QStringList keys;
            for (QAbstractButton *button : w.MainPageControl->widget(page)->findChildren<QAbstractButton *>()) {
                if (!button->isVisible() || qobject_cast<QToolButton *>(button))
                    continue;
                const QString key = QKeySequence::mnemonic(button->text()).toString();
                EXPECT_FALSE(key.isEmpty()) << language << ": " << button->objectName().toStdString();
                EXPECT_FALSE(keys.contains(key)) << language << ": " << key.toStdString() << " twice on page " << page;
                keys.append(key);
            }
        }
        switchPage(TMainForm::PageMetody);
        QSignalSpy saved(w.TabMetody->MetodyButtonZapisz, &QAbstractButton::clicked);
        const QKeySequence key = QKeySequence::mnemonic(w.TabMetody->MetodyButtonZapisz->text());
        QTest::keyClick(&w, key[0].key(), key[0].keyboardModifiers());
        // The button shows itself pressed for a moment before it clicks.
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 2000);
        closeWindow();
    }
}

} // namespace
} // namespace jw::test

#include "mainformfixture.h"
#include "mainwindow/inplaceeditor.h"
#include "mainwindow/konfiguracjapage.h"
#include "settings/textkeys.h"
#include "support/profilelock.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrlQuery>

namespace jw::test {
namespace {

const QString kOe = QStringLiteral("\\Software\\Microsoft\\Internet Account Manager\\Accounts\\");
const QString kOwn = QStringLiteral("\\Software\\Brightfold\\Mailmoat\\Accounts\\");

const QByteArray kFullSettings = "; settings\r\n"
                                 "server_port=2110\r\n"
                                 "my_pin=4711\r\n"
                                 "accepted_spam_level=4\r\n"
                                 "maxto=30\r\n"
                                 "what_with_spam=lowprio\r\n"
                                 "auto_remove_spam=1\r\n"
                                 "auto_remove_spam_time=7\r\n"
                                 "update=weekly\r\n"
                                 "update_version=1.2\r\n"
                                 "last_tab_seen=4\r\n"
                                 "companion_key=kept\r\n";

class SettingsPageTest : public MainFormFixture
{
protected:
    KonfiguracjaPage &page() { return *form->TabKonfiguracja; }
    void seedAccount(const QString &key, const QString &server, const QString &user)
    {
        changeRegistry(registry, [&](RegistryData &d) {
            d.writeString(key, QStringLiteral("Account Name"), QStringLiteral("Home"));
            d.writeString(key, QStringLiteral("POP3 Server"), server);
            d.writeString(key, QStringLiteral("POP3 User Name"), user);
            d.writeInteger(key, QStringLiteral("POP3 Port"), 110);
        });
    }
    QString reg(const QString &key, const char *name)
    {
        return registry.load().readString(key, QLatin1String(name)).value_or(QStringLiteral("<none>"));
    }
};

TEST_F(SettingsPageTest, LoadsAndSavesEverySettingInPlace)
{
    writeFile(config(QStringLiteral("main.cfg")), kFullSettings);
    TMainForm &w = open();
    EXPECT_EQ(w.MainPageControl->currentIndex(), TMainForm::PageKonfiguracja);
    EXPECT_EQ(page().KonfiguracjaPort->text(), QStringLiteral("2110"));
    EXPECT_EQ(page().KonfiguracjaPin->text(), QStringLiteral("4711"));
    EXPECT_EQ(page().KonfiguracjaSpamLevel->value(), 4);
    EXPECT_EQ(page().KonfiguracjaMaxTo->text(), QStringLiteral("30"));
    EXPECT_EQ(page().KonfiguracjaMaxToPos->value(), 30);
    EXPECT_EQ(page().KonfiguracjaWhatWithSpam->currentText(), QStringLiteral("Lower its priority"));
    EXPECT_FALSE(page().KonfiguracjaWhatWithSpam->isEnabled());
    EXPECT_TRUE(page().KonfiguracjaCheckMailCheckBox->isChecked());
    EXPECT_EQ(page().KonfiguracjaCheckMail->text(), QStringLiteral("7"));
    EXPECT_EQ(page().KonfiguracjaEditAktualizacja->currentText(), QStringLiteral("Weekly"));
    EXPECT_FALSE(page().KonfiguracjaJezyk->isVisible());
    EXPECT_EQ(page().KonfiguracjaJezyk->currentText(), QStringLiteral("English"));
    EXPECT_TRUE(tray->CheckMailTimer->isActive());
    EXPECT_EQ(tray->CheckMailTimer->interval(), 7 * 60000);
    EXPECT_FALSE(w.UnsavedChanges);

    page().KonfiguracjaButtonZapiszClick();
    EXPECT_EQ(configFile("main.cfg"), kFullSettings) << "every value written back where it stood";
    EXPECT_TRUE(prompts.errors.isEmpty());
}

TEST_F(SettingsPageTest, EmptyFieldsAndUnknownChoicesRemoveTheirKeys)
{
    writeFile(config(QStringLiteral("main.cfg")), kFullSettings);
    open();
    page().KonfiguracjaPort->clear();
    page().KonfiguracjaMaxTo->clear();
    page().KonfiguracjaEditAktualizacja->setCurrentIndex(-1); // no choice: a plain drop-down takes no typing
    page().KonfiguracjaButtonZapiszClick();
    const QByteArray saved = configFile("main.cfg");
    EXPECT_FALSE(saved.contains("server_port="));
    EXPECT_FALSE(saved.contains("maxto="));
    EXPECT_FALSE(saved.contains("update="));
    EXPECT_TRUE(saved.contains("update_version=1.2"));
    EXPECT_TRUE(saved.contains("what_with_spam=lowprio\r\n"));
}

TEST_F(SettingsPageTest, MissingKeysShowDefaultsAndAMissingChoiceStaysMissing)
{
    writeFile(config(QStringLiteral("main.cfg")), "my_pin=1\r\n");
    open();
    EXPECT_EQ(page().KonfiguracjaSpamLevel->value(), 1);
    EXPECT_EQ(page().KonfiguracjaCheckMailPos->value(), 1);
    EXPECT_FALSE(page().KonfiguracjaCheckMailCheckBox->isChecked());
    EXPECT_FALSE(page().KonfiguracjaCheckMail->isEnabled());
    EXPECT_EQ(page().KonfiguracjaWhatWithSpam->currentIndex(), -1);
    page().KonfiguracjaButtonZapiszClick();
    EXPECT_EQ(configFile("main.cfg"),
        QByteArray("my_pin=1\r\naccepted_spam_level=1\r\nauto_remove_spam_time=1\r\nauto_remove_spam=0\r\n"));
}

TEST_F(SettingsPageTest, ANumberThatIsNotOneStopsTheLoad)
{
    writeFile(config(QStringLiteral("main.cfg")), "my_pin=1\r\naccepted_spam_level=-3\r\n");
    seedAccount(kOe + QStringLiteral("1"), QStringLiteral("pop.a"), QStringLiteral("ann"));
    open();
    EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("'0-3' is not a valid integer value")});
    EXPECT_EQ(page().KonfiguracjaKonta->topLevelItemCount(), 0) << "the accounts were not searched";
}

TEST_F(SettingsPageTest, FirstOpeningWithoutAPinMakesOneAndSavesAtOnce)
{
    writeFile(config(QStringLiteral("main.cfg")), "server_port=1110\r\n");
    TMainForm &w = open();
    const QString pin = page().KonfiguracjaPin->text();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9]{4}$")).match(pin).hasMatch()) << pin.toStdString();
    const QByteArray pinLine = "my_pin=" + pin.toLatin1() + "\r\n";
    EXPECT_TRUE(configFile("main.cfg").contains(pinLine));
    EXPECT_EQ(w.MainPageControl->currentIndex(), TMainForm::PageBiala) << "the remembered page still follows";
    EXPECT_FALSE(w.UnsavedChanges);
}

TEST_F(SettingsPageTest, StartWithTheSessionFollowsTheBox)
{
    open();
    EXPECT_FALSE(page().KonfiguracjaCheckBox->isChecked());
    page().KonfiguracjaCheckBox->setChecked(true);
    EXPECT_TRUE(form->UnsavedChanges);
    page().KonfiguracjaButtonZapiszClick();
    EXPECT_EQ(autostart.executable, QCoreApplication::applicationFilePath());
    closeWindow();
    open();
    EXPECT_TRUE(page().KonfiguracjaCheckBox->isChecked());
    page().KonfiguracjaCheckBox->setChecked(false);
    page().KonfiguracjaButtonZapiszClick();
    EXPECT_TRUE(autostart.executable.isEmpty());
}

TEST_F(SettingsPageTest, MailCheckActsOnTheTrayAtOnce)
{
    writeFile(config(QStringLiteral("main.cfg")), "my_pin=1\r\nauto_remove_spam=1\r\nauto_remove_spam_time=5\r\n");
    open();
    ASSERT_TRUE(tray->CheckMailTimer->isActive());
    page().KonfiguracjaCheckMailCheckBox->click();
    EXPECT_FALSE(tray->CheckMailTimer->isActive());
    EXPECT_FALSE(page().KonfiguracjaCheckMailPos->isEnabled());
    EXPECT_TRUE(form->UnsavedChanges);
    page().KonfiguracjaCheckMailCheckBox->click();
    form->UnsavedChanges = false;
    page().KonfiguracjaCheckMailPos->setValue(9);
    EXPECT_EQ(tray->CheckMailTimer->interval(), 9 * 60000);
    EXPECT_FALSE(form->UnsavedChanges) << "the minutes alone do not count as a change";
    EXPECT_EQ(configFile("main.cfg"), QByteArray("my_pin=1\r\nauto_remove_spam=1\r\nauto_remove_spam_time=5\r\n"));
}

TEST_F(SettingsPageTest, SpamLevelAboveTheLowestIsWarnedAboutOnLeaving)
{
    open();
    auto leave = [this] {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(page().KonfiguracjaSpamLevel, &out);
    };
    page().KonfiguracjaSpamLevel->setValue(1);
    leave();
    EXPECT_TRUE(prompts.informations.isEmpty());
    page().KonfiguracjaSpamLevel->setValue(2);
    EXPECT_EQ(page().KonfiguracjaSpamLevel->toolTip(),
        QStringLiteral("Step 2 of 15 (the 0 % end is the strictest): mail of spam level 3 or more is held."));
    leave();
    EXPECT_EQ(prompts.informations.size(), 1);
    EXPECT_TRUE(prompts.informations.value(0).startsWith(QStringLiteral("A higher accepted spam level")));
}

TEST_F(SettingsPageTest, DigitsOnlyInThePortAndToLimitFields)
{
    open();
    page().KonfiguracjaPort->clear();
    QTest::keyClicks(page().KonfiguracjaPort, QStringLiteral("1a 1-10999"));
    EXPECT_EQ(page().KonfiguracjaPort->text(), QStringLiteral("11109"));
    page().KonfiguracjaMaxTo->clear();
    QTest::keyClicks(page().KonfiguracjaMaxTo, QStringLiteral("x12345"));
    EXPECT_EQ(page().KonfiguracjaMaxTo->text(), QStringLiteral("123"));
}

// Tab walks the page as it reads: the list, then the groups from left to
// right and top to bottom, then save.
TEST_F(SettingsPageTest, TabOrderFollowsTheVisualOrder)
{
    writeFile(config(QStringLiteral("main.cfg")), kFullSettings);
    TMainForm &w = open();
    w.show();
    QApplication::setActiveWindow(&w);
    switchPage(4);
    QList<QWidget *> expected{page().KonfiguracjaKonta, page().KonfiguracjaPort, page().KonfiguracjaPin,
        page().KonfiguracjaCheckBox, page().KonfiguracjaSpamLevel, page().KonfiguracjaMaxToPos,
        page().KonfiguracjaWhatWithSpam, page().KonfiguracjaCheckMailCheckBox, page().KonfiguracjaCheckMailPos,
        page().KonfiguracjaEditAktualizacja, page().KonfiguracjaButtonAktualizacja, page().KonfiguracjaButtonZapisz};
    // A control that is switched off (the spam action here) is passed over.
    expected.removeIf([](const QWidget *widget) { return !widget->isEnabled(); });
    page().KonfiguracjaKonta->setFocus();
    QList<QWidget *> visited{page().KonfiguracjaKonta};
    for (int step = 0; step < 40 && visited.size() < expected.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        // A spin box's own text field has the focus for it.
        for (QWidget *widget = QApplication::focusWidget(); widget; widget = widget->parentWidget()) {
            if (expected.contains(widget)) {
                if (visited.last() != widget)
                    visited.append(widget);
                break;
            }
        }
    }
    QStringList names;
    for (QWidget *widget : std::as_const(visited))
        names.append(widget->objectName());
    QStringList wanted;
    for (QWidget *widget : expected)
        wanted.append(widget->objectName());
    EXPECT_EQ(names, wanted);
}

// The To-limit and the minutes are each one number field with arrows: the
// spin box is what shows, and what is typed there is what is saved.
TEST_F(SettingsPageTest, NumberFieldsAreSingleSpinBoxes)
{
    writeFile(config(QStringLiteral("main.cfg")), kFullSettings);
    TMainForm &w = open();
    w.show();
    switchPage(4);
    EXPECT_TRUE(page().KonfiguracjaMaxTo->isHidden());
    EXPECT_TRUE(page().KonfiguracjaCheckMail->isHidden());
    EXPECT_TRUE(page().KonfiguracjaMaxToPos->isVisible());
    EXPECT_TRUE(page().KonfiguracjaCheckMailPos->isVisible());
    EXPECT_FALSE(page().KonfiguracjaEditAktualizacja->isEditable()) << "the updates choice is a plain drop-down";
    QLineEdit *typed = page().KonfiguracjaMaxToPos->findChild<QLineEdit *>();
    ASSERT_NE(typed, nullptr);
    typed->selectAll();
    QTest::keyClicks(typed, QStringLiteral("42"));
    EXPECT_EQ(page().KonfiguracjaMaxTo->text(), QStringLiteral("42"));
    typed->selectAll();
    QTest::keyClick(typed, Qt::Key_Backspace);
    EXPECT_EQ(page().KonfiguracjaMaxTo->text(), QString()) << "an emptied field removes the key";
    QTest::keyClicks(typed, QStringLiteral("7"));
    QTest::keyClick(page().KonfiguracjaMaxToPos, Qt::Key_Up);
    EXPECT_EQ(page().KonfiguracjaMaxTo->text(), QStringLiteral("8"));
    page().KonfiguracjaButtonZapiszClick();
    EXPECT_TRUE(readFile(config(QStringLiteral("main.cfg"))).contains("maxto=8\r\n"));
}

TEST_F(SettingsPageTest, AccountsAreListedEditedAndSavedThroughTheStore)
{
    seedAccount(kOe + QStringLiteral("1"), QStringLiteral("pop.old"), QStringLiteral("ann"));
    open();
    QTreeWidget *list = page().KonfiguracjaKonta;
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(KonfiguracjaPage::ColumnServer), QStringLiteral("pop.old"));
    EXPECT_FALSE(page().KonfiguracjaKontaPanel->isVisible());
    EXPECT_EQ(list->columnWidth(1), 250);

    list->setCurrentItem(list->topLevelItem(0));
    page().KonfiguracjaKontaDblClick(KonfiguracjaPage::ColumnServer);
    EXPECT_FALSE(page().KonfiguracjaTempEdit->isHidden());
    EXPECT_EQ(page().KonfiguracjaTempEdit->text(), QStringLiteral("pop.old"));
    page().KonfiguracjaTempEdit->setText(QStringLiteral("pop.new"));
    QTest::keyClick(page().KonfiguracjaTempEdit, Qt::Key_Return);
    list->topLevelItem(0)->setCheckState(0, Qt::Checked);
    EXPECT_TRUE(form->UnsavedChanges);
    EXPECT_EQ(reg(kOe + QStringLiteral("1"), "POP3 Server"), QStringLiteral("pop.old")) << "written by the save";

    page().KonfiguracjaButtonZapiszClick();
    EXPECT_EQ(reg(kOe + QStringLiteral("1"), "POP3 Server orig"), QStringLiteral("pop.new"));
    EXPECT_EQ(reg(kOe + QStringLiteral("1"), "POP3 Server"), QStringLiteral("localhost")) << "the filter is on";
    EXPECT_EQ(reg(kOe + QStringLiteral("1"), "POP3 User Name"), QStringLiteral("ann,pop.new"));
    EXPECT_EQ(processes.started.count(QStringLiteral("vexel3")), 2) << "the save restarted the proxy";
}

TEST_F(SettingsPageTest, PasswordIsWrittenAtOnceAndMasked)
{
    seedAccount(kOe + QStringLiteral("1"), QStringLiteral("pop.a"), QStringLiteral("ann"));
    open();
    QTreeWidget *list = page().KonfiguracjaKonta;
    page().KonfiguracjaPopupUstawhasloClick();
    EXPECT_FALSE(page().KonfiguracjaTempEdit->isVisible()) << "no row selected: nothing happens";
    list->setCurrentItem(list->topLevelItem(0));
    page().KonfiguracjaPopupUstawhasloClick();
    EXPECT_EQ(page().KonfiguracjaTempEdit->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(page().KonfiguracjaTempEdit->text().isEmpty());
    QTest::keyClicks(page().KonfiguracjaTempEdit, QStringLiteral("s3cret!"));
    QTest::keyClick(page().KonfiguracjaTempEdit, Qt::Key_Return);
    EXPECT_EQ(reg(kOe + QStringLiteral("1"), "POP3 Password orig"), QStringLiteral("s3cret!"));
    EXPECT_EQ(list->topLevelItem(0)->text(KonfiguracjaPage::ColumnPassword), QStringLiteral("*******"));

    // OAuth 2.0 instead: without a client id in this build nor the account,
    // it says so and opens nothing; with one, the browser gets the sign-in.
    const QString key = kOe + QStringLiteral("1");
    page().KonfiguracjaPopupZalogujMicrosoft->trigger();
    EXPECT_EQ(reg(key, "OAuth2 Provider"), QStringLiteral("microsoft"));
    EXPECT_TRUE(prompts.informations.last().contains(QStringLiteral("this build has no client id")));
    EXPECT_TRUE(shell.opened.isEmpty());
    changeRegistry(registry,
        [&](RegistryData &d) { d.writeString(key, QStringLiteral("OAuth2 Client Id"), QStringLiteral("c1")); });
    page().KonfiguracjaPopupZalogujMicrosoft->trigger();
    ASSERT_EQ(shell.opened.size(), 1);
    const QUrlQuery asked(shell.opened.first());
    EXPECT_TRUE(shell.opened.first().toString().startsWith(
        QStringLiteral("https://login.microsoftonline.com/common/oauth2/v2.0/authorize?")));
    EXPECT_EQ(asked.queryItemValue(QStringLiteral("code_challenge_method")), QStringLiteral("S256"));
    EXPECT_EQ(asked.queryItemValue(QStringLiteral("client_id")), QStringLiteral("c1"));
    EXPECT_TRUE(asked.queryItemValue(QStringLiteral("redirect_uri")).startsWith(QStringLiteral("http://127.0.0.1:")));
    closeWindow(); // the sign-in ends with the window
    open();
    EXPECT_EQ(
        page().KonfiguracjaKonta->topLevelItem(0)->text(KonfiguracjaPage::ColumnPassword), QStringLiteral("OAuth 2.0"));
    page().KonfiguracjaKonta->setCurrentItem(page().KonfiguracjaKonta->topLevelItem(0));
    // Another provider: its addresses and registration asked first, kept with the account.
    closeWindow();
    open();
    page().KonfiguracjaKonta->setCurrentItem(page().KonfiguracjaKonta->topLevelItem(0));
    QTimer::singleShot(0, [] {
        auto *ask = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(ask, nullptr);
        ask->findChild<QLineEdit *>(QStringLiteral("authorizeEdit"))
            ->setText(QStringLiteral("https://id.example/authorize"));
        ask->findChild<QLineEdit *>(QStringLiteral("tokenEdit"))->setText(QStringLiteral("https://id.example/token"));
        ask->findChild<QLineEdit *>(QStringLiteral("scopeEdit"))->setText(QStringLiteral("pop"));
        ask->accept();
    });
    page().KonfiguracjaPopupZalogujInny->trigger();
    EXPECT_EQ(reg(key, "OAuth2 Provider"), QStringLiteral("generic"));
    EXPECT_EQ(reg(key, "OAuth2 Token URL"), QStringLiteral("https://id.example/token"));
    ASSERT_EQ(shell.opened.size(), 2);
    EXPECT_TRUE(shell.opened.last().toString().startsWith(QStringLiteral("https://id.example/authorize?")));
    EXPECT_EQ(QUrlQuery(shell.opened.last()).queryItemValue(QStringLiteral("client_id")), QStringLiteral("c1"))
        << "the account's own registration, kept";
    closeWindow();
    open();
    page().KonfiguracjaKonta->setCurrentItem(page().KonfiguracjaKonta->topLevelItem(0));
    page().KonfiguracjaPopupHaslo->trigger();
    EXPECT_EQ(reg(key, "OAuth2 Provider"), QStringLiteral("<none>"));
    EXPECT_EQ(reg(key, "OAuth2 Client Id"), QStringLiteral("<none>")) << "the password again, all OAuth values gone";
}

TEST_F(SettingsPageTest, OwnAccountsCanBeAddedAndDeletedMailClientAccountsNot)
{
    open();
    EXPECT_TRUE(page().KonfiguracjaKontaPanel->isVisibleTo(&page())) << "no accounts anywhere";
    EXPECT_EQ(page().KonfiguracjaKontaNieMa1->text(), QStringLiteral("No POP3 mail account was found."));
    page().KonfiguracjaKontaNieMa3Click();
    EXPECT_EQ(help.topics, QList<int>{0});

    page().KonfiguracjaPopupDodajkontoClick();
    EXPECT_FALSE(page().KonfiguracjaKontaPanel->isVisibleTo(&page()));
    EXPECT_FALSE(form->UnsavedChanges);
    EXPECT_TRUE(registry.load().keyExists(kOwn + QStringLiteral("00000001")));

    seedAccount(kOe + QStringLiteral("9"), QStringLiteral("pop.x"), QStringLiteral("x"));
    closeWindow();
    open();
    QTreeWidget *list = page().KonfiguracjaKonta;
    ASSERT_EQ(list->topLevelItemCount(), 2);
    list->setCurrentItem(list->topLevelItem(0)); // the mail client's account
    page().KonfiguracjaPopupMenuPopup();
    EXPECT_FALSE(page().KonfiguracjaPopupUsunkonto->isEnabled());
    list->setCurrentItem(list->topLevelItem(1)); // the own account
    page().KonfiguracjaPopupMenuPopup();
    EXPECT_TRUE(page().KonfiguracjaPopupUsunkonto->isEnabled());

    prompts.answers = {false, true};
    page().KonfiguracjaPopupUsunkontoClick();
    EXPECT_EQ(list->topLevelItemCount(), 2);
    page().KonfiguracjaPopupUsunkontoClick();
    EXPECT_EQ(list->topLevelItemCount(), 1);
    EXPECT_FALSE(registry.load().keyExists(kOwn + QStringLiteral("00000001")));
    EXPECT_EQ(prompts.questions.value(0), QStringLiteral("Are you sure you want to delete it?"));
}

TEST_F(SettingsPageTest, ACommaInAUserNameIsExplained)
{
    seedAccount(kOe + QStringLiteral("1"), QStringLiteral("pop.a"), QStringLiteral("ann"));
    open();
    QTreeWidget *list = page().KonfiguracjaKonta;
    list->setCurrentItem(list->topLevelItem(0));
    page().KonfiguracjaKontaDblClick(KonfiguracjaPage::ColumnUser);
    page().KonfiguracjaTempEdit->setText(QStringLiteral("smith,john"));
    QTest::keyClick(page().KonfiguracjaTempEdit, Qt::Key_Return);
    ASSERT_EQ(prompts.informations.size(), 1);
    EXPECT_TRUE(prompts.informations[0].contains(QStringLiteral("Home")));
    list->topLevelItem(0)->setCheckState(0, Qt::Checked);
    page().KonfiguracjaButtonZapiszClick();
    EXPECT_EQ(prompts.informations.size(), 2) << "and again when it is saved";
    EXPECT_EQ(reg(kOe + QStringLiteral("1"), "POP3 Server"), QStringLiteral("pop.a")) << "not routed";
}

TEST_F(SettingsPageTest, SaveWithTheFilterOffDoesNotRestartTheProxy)
{
    tray->Filtraktywny->trigger();
    open();
    const int starts = processes.started.count(QStringLiteral("vexel3"));
    page().KonfiguracjaButtonZapiszClick();
    EXPECT_EQ(processes.started.count(QStringLiteral("vexel3")), starts);
}

TEST_F(SettingsPageTest, UpdateNowStartsTheUpdaterAndOpensTheWindow)
{
    // Without a release feed, nothing pretends: the button is off and says why.
    open();
    EXPECT_FALSE(page().KonfiguracjaButtonAktualizacja->isEnabled());
    EXPECT_EQ(page().KonfiguracjaButtonAktualizacja->toolTip(),
        QStringLiteral("This build of Junkwarden is not set up to update itself."));
    closeWindow();
    tray->setUpdateFeed(QStringLiteral("https://updates.example/feed.json"));
    open();
    EXPECT_TRUE(page().KonfiguracjaButtonAktualizacja->isEnabled());
    EXPECT_TRUE(page().KonfiguracjaButtonAktualizacja->toolTip().isEmpty());
    bool sawWindow = false;
    QTimer::singleShot(0, [&sawWindow] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            sawWindow = modal->objectName() == QStringLiteral("UpdateForm");
            QPushButton *button = modal->findChild<QPushButton *>(QStringLiteral("button"));
            button->click(); // stops the updater
            button->click(); // closes
        }
    });
    page().KonfiguracjaButtonAktualizacjaClick();
    EXPECT_TRUE(sawWindow);
    EXPECT_EQ(processes.started.count(QStringLiteral("update")), 1);
}

// Every caption of the page shows whole, in both languages, at the window's
// first size and at its smallest: a label is given at least the width its
// text needs (a wrapping one the height its lines need at its width).
TEST_F(SettingsPageTest, EveryCaptionFitsInBothLanguagesAtEverySize)
{
    for (const char *language : {"english", "polish"}) {
        ASSERT_TRUE(tray->LanguageMemo.load(
            sourcePath(QStringLiteral("resources/language/%1.lng").arg(QLatin1String(language)))));
        writeFile(config(QStringLiteral("main.cfg")), kFullSettings);
        TMainForm &w = open();
        switchPage(4);
        const QSize first = w.size();
        for (const QSize size : {first, w.minimumSize()}) {
            w.resize(size);
            QApplication::processEvents();
            auto *scroll = w.findChild<QScrollArea *>(QStringLiteral("TabKonfiguracjaScroll"));
            ASSERT_NE(scroll, nullptr);
            EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible() || scroll->verticalScrollBar()->isVisible())
                << language << ": the page scrolls at " << size.width() << "x" << size.height();
            QStringList cut;
            for (QWidget *widget : page().findChildren<QWidget *>()) {
                if (!widget->isVisible())
                    continue;
                const auto *label = qobject_cast<QLabel *>(widget);
                const bool caption =
                    label || qobject_cast<QAbstractButton *>(widget) || qobject_cast<QComboBox *>(widget);
                if (!caption)
                    continue;
                const bool wide = label && label->wordWrap() ? label->height() >= label->heightForWidth(label->width())
                                                             : widget->width() >= widget->sizeHint().width();
                // Nor cut off by what holds it.
                const bool fits = wide && widget->visibleRegion().boundingRect() == widget->rect();
                if (!fits)
                    cut.append(
                        QStringLiteral("%1 \"%2\" %3 < %4")
                            .arg(widget->objectName(), label ? label->text() : widget->property("text").toString(),
                                QString::number(widget->width()), QString::number(widget->sizeHint().width())));
            }
            EXPECT_TRUE(cut.isEmpty()) << language << " at " << size.width() << "x" << size.height() << ":\n"
                                       << cut.join(QLatin1Char('\n')).toStdString();
        }
        closeWindow();
    }
}

// Thunderbird's accounts are listed after the store's: filterable ones can
// be ticked and the save routes them in the profile; the others are greyed
// with the reason as their tip; none can be edited here.
TEST_F(SettingsPageTest, ThunderbirdAccountsAreListedTickedAndSavedInTheirProfile)
{
    const QString root = QDir::homePath() + QStringLiteral("/.thunderbird");
    QDir(root).removeRecursively();
    QDir().mkpath(root + QStringLiteral("/p.default"));
    writeFile(root + QStringLiteral("/profiles.ini"), "[Profile0]\nName=default\nPath=p.default\n");
    const QString prefs = root + QStringLiteral("/p.default/prefs.js");
    writeFile(prefs,
        "user_pref(\"mail.account.account1.server\", \"server1\");\n"
        "user_pref(\"mail.account.account2.server\", \"server2\");\n"
        "user_pref(\"mail.accountmanager.accounts\", \"account1,account2\");\n"
        "user_pref(\"mail.server.server1.hostname\", \"pop.example.com\");\n"
        "user_pref(\"mail.server.server1.type\", \"pop3\");\n"
        "user_pref(\"mail.server.server1.userName\", \"ann\");\n"
        "user_pref(\"mail.server.server2.authMethod\", 6);\n"
        "user_pref(\"mail.server.server2.hostname\", \"pop.gmail.com\");\n"
        "user_pref(\"mail.server.server2.type\", \"pop3\");\n"
        "user_pref(\"mail.server.server2.userName\", \"bob\");\n");
    // Claws Mail's accounts come after Thunderbird's: one plain, one with APOP.
    const QString accountRc = QDir::homePath() + QStringLiteral("/.claws-mail/accountrc");
    const QByteArray clawsPlain = "[Account: 1]\naccount_name=Dora\nprotocol=0\nreceive_server=pop.dora.example\n"
                                  "user_id=dora\n\n[Account: 2]\naccount_name=Ed\nprotocol=0\n"
                                  "receive_server=pop.ed.example\nuser_id=ed\nuse_apop_auth=1\n\n";
    writeFile(accountRc, clawsPlain);
    writeFile(config(QStringLiteral("main.cfg")), kFullSettings);
    seedAccount(kOe + QStringLiteral("1"), QStringLiteral("pop.home.example"), QStringLiteral("carl"));
    open();
    switchPage(4);
    QTreeWidget *list = page().KonfiguracjaKonta;
    ASSERT_EQ(list->topLevelItemCount(), 5);
    QTreeWidgetItem *ann = list->topLevelItem(1);
    QTreeWidgetItem *bob = list->topLevelItem(2);
    QTreeWidgetItem *dora = list->topLevelItem(3);
    QTreeWidgetItem *ed = list->topLevelItem(4);
    EXPECT_EQ(ann->text(1), QStringLiteral("ann@pop.example.com"));
    EXPECT_EQ(ann->text(2), QStringLiteral("pop.example.com"));
    EXPECT_TRUE(ann->flags() & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(bob->flags() & Qt::ItemIsEnabled) << "greyed";
    EXPECT_EQ(bob->toolTip(2), tray->LanguageMemo.text(keys::tbLogowanie));
    EXPECT_EQ(dora->text(1), QStringLiteral("Dora"));
    EXPECT_EQ(dora->text(5), QStringLiteral("Claws Mail"));
    EXPECT_NE(dora->icon(0).pixmap(16).toImage(), ann->icon(0).pixmap(16).toImage()) << "an icon of its own";
    EXPECT_FALSE(ed->flags() & Qt::ItemIsEnabled);
    EXPECT_EQ(ed->toolTip(1), tray->LanguageMemo.text(keys::klientLogowanie));
    dora->setCheckState(0, Qt::Checked);

    list->setCurrentItem(ann);
    page().KonfiguracjaKontaDblClick(2);
    EXPECT_FALSE(page().KonfiguracjaTempEdit->isVisible()) << "Thunderbird keeps its accounts itself";

    ann->setCheckState(0, Qt::Checked);
    page().KonfiguracjaButtonZapiszClick();
    EXPECT_TRUE(readFile(prefs).contains("user_pref(\"mail.server.server1.junkwarden.route\", true);"));
    EXPECT_TRUE(readFile(prefs).contains("user_pref(\"mail.server.server1.userName\", \"ann,pop.example.com\");"))
        << "the filter is on: routed at once";
    EXPECT_EQ(form->StatusPanels[0]->text(),
        QStringLiteral("Now fetched through the filter: ann@pop.example.com, Dora. Thunderbird will ask once for the "
                       "password of \"ann,pop.example.com\"."));
    EXPECT_EQ(reg(kOe + QStringLiteral("1"), "POP3 Server"), QStringLiteral("pop.home.example"))
        << "the store as before";
    EXPECT_TRUE(readFile(accountRc).contains("receive_server=localhost\nuser_id=dora,pop.dora.example\n"));
    dora->setCheckState(0, Qt::Unchecked);

    // Saved while Thunderbird runs: nothing written, the change waits for it to close.
    const QByteArray routed = readFile(prefs);
    RunningThunderbird thunderbird(root + QStringLiteral("/p.default"));
    ASSERT_TRUE(thunderbird.holdsLock());
    ann->setCheckState(0, Qt::Unchecked);
    prompts.informations.clear();
    page().KonfiguracjaButtonZapiszClick();
    EXPECT_EQ(readFile(prefs), routed);
    EXPECT_EQ(prompts.informations, QStringList{tray->LanguageMemo.text(keys::tbDziala)});
    ASSERT_EQ(routing.deferred.size(), 1);
    EXPECT_EQ(routing.deferred[0].profile, root + QStringLiteral("/p.default"));
    EXPECT_EQ(routing.deferred[0].wanted, MailRouting::Waiting::ToRestore);
    EXPECT_FALSE(routing.deferred[0].change()) << "still running";
    thunderbird.close();
    EXPECT_TRUE(routing.deferred[0].change());
    EXPECT_FALSE(readFile(prefs).contains("junkwarden")) << "unticked once it closed: as it was";
    EXPECT_EQ(readFile(accountRc), clawsPlain);
    QDir(root).removeRecursively();
    QDir(QDir::homePath() + QStringLiteral("/.claws-mail")).removeRecursively();
}

} // namespace
} // namespace jw::test

#include "dialogs/aboutform.h"
#include "dialogs/clicklabel.h"
#include "dialogs/potwierdzform.h"
#include "settings/languagetable.h"

#include "support/fakes.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace jw::test {
namespace {

LanguageTable englishTable()
{
    LanguageTable table;
    table.setLines({"tak=Yes", "nie=No", "o programie=About", "about prawa=All rights reserved.",
                    "about autorzy=Authors:", "about grafika=Graphics:", "about testy=Testing:",
                    "about angielska=English version:", "about pomoc=Support:"});
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
    EXPECT_EQ(form.Tak->text(), QStringLiteral("Yes"));
    EXPECT_EQ(form.Nie->text(), QStringLiteral("No"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Junkwarden"));
    EXPECT_EQ(form.size(), QSize(392, 98));
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form.Image->pixmap().isNull());
    EXPECT_EQ(form.Image->pixmap().toImage(), form.style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32).toImage())
        << "a question shows the question icon";
    EXPECT_NE(form.Image->pixmap().toImage(), form.style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32).toImage());
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

TEST(PotwierdzForm, MissingKeysBlankTheButtonsWhichStillAnswer)
{
    const LanguageTable empty;
    TPotwierdzForm form(empty, QString());
    EXPECT_EQ(form.Tak->text(), QString());
    QTimer::singleShot(0, [&form] { form.Nie->click(); });
    EXPECT_EQ(form.exec(), TPotwierdzForm::kNo);
    QTimer::singleShot(0, [&form] { form.Tak->click(); });
    EXPECT_EQ(form.exec(), TPotwierdzForm::kYes);
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
    EXPECT_EQ(about.ProgramName->text(), QStringLiteral("Junkwarden 1.0 Build 252")) << "version 1.0.252, as the updater counts";
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(about.Prawa->text(), QStringLiteral("All rights reserved."));
    EXPECT_EQ(about.Autorzy->text(), QStringLiteral("Authors:"));
    EXPECT_EQ(about.Grafika->text(), QStringLiteral("Graphics:"));
    EXPECT_EQ(about.Testy->text(), QStringLiteral("Testing:"));
    EXPECT_EQ(about.Angielska->text(), QStringLiteral("English version:"));
    EXPECT_EQ(about.Pomoc->text(), QStringLiteral("Support:"));
    EXPECT_EQ(about.width(), 318);
    EXPECT_GE(about.height(), 388);
    // Nothing is cut off: every line lies inside the panel, above the button.
    for (const QLabel *label : about.Panel3->findChildren<QLabel *>())
        EXPECT_LE(label->geometry().bottom(), about.Panel3->height()) << label->objectName().toStdString();
    EXPECT_GE(about.OKButton->geometry().top(), about.Panel3->height());

    const LanguageTable empty;
    TAboutForm blank(empty, shell, QStringLiteral("Junkwarden"));
    EXPECT_EQ(blank.windowTitle(), QString());
    EXPECT_EQ(blank.Pomoc->text(), QString());
}

TEST(AboutForm, LinksOpenTheirOwnTextAndTurnRed)
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
}

TEST(AboutForm, HiddenLinkNeedsShiftCtrlAltWithTheLeftButton)
{
    const LanguageTable table = englishTable();
    FakeShell shell;
    TAboutForm about(table, shell, QStringLiteral("Junkwarden"));
    about.show();
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

} // namespace
} // namespace jw::test

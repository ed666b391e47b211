#include "dialogs/potwierdzform.h"

#include "dialogs/mnemonics.h"
#include "settings/languagetable.h"
#include "ui_potwierdzform.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace jw {

TPotwierdzForm::TPotwierdzForm(const LanguageTable &language, const QString &caption, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
{
    Ui::TPotwierdzForm layout;
    layout.setupUi(this);
    Image = layout.Image;
    PotwierdzeniePanel = layout.PotwierdzeniePanel;
    Tak = layout.Tak;
    Nie = layout.Nie;
    connect(Tak, &QPushButton::clicked, this, [this] { done(kYes); });
    connect(Nie, &QPushButton::clicked, this, [this] { done(kNo); });
    Tak->setFocus();

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    FormCreate(language, caption);
}

void TPotwierdzForm::FormCreate(const LanguageTable &language, const QString &caption)
{
    Tak->setText(language.text(keys::tak));
    Nie->setText(language.text(keys::nie));
    giveMnemonics({Tak, Nie});
    setWindowTitle(caption);
    // A question, not an error: the question icon.
    Image->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
}

bool TPotwierdzForm::ask(const LanguageTable &language, const QString &caption, const QString &question)
{
    TPotwierdzForm form(language, caption);
    form.PotwierdzeniePanel->setText(question);
    return form.exec() == kYes;
}

} // namespace jw

#include "dialogs/potwierdzform.h"

#include "dialogs/mnemonics.h"
#include "settings/languagetable.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace jw {

TPotwierdzForm::TPotwierdzForm(const LanguageTable &language, const QString &caption, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("PotwierdzForm"));
    setFixedSize(392, 98);

    Image = new QLabel(this);
    Image->setObjectName(QStringLiteral("Image"));
    Image->setGeometry(8, 8, 41, 41);
    Image->setAlignment(Qt::AlignCenter);

    PotwierdzeniePanel = new QLabel(QStringLiteral("PotwierdzeniePanel"), this);
    PotwierdzeniePanel->setObjectName(QStringLiteral("PotwierdzeniePanel"));
    PotwierdzeniePanel->setGeometry(60, 8, 321, 49);
    PotwierdzeniePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PotwierdzeniePanel->setAlignment(Qt::AlignCenter);
    PotwierdzeniePanel->setWordWrap(false);
    PotwierdzeniePanel->setTextFormat(Qt::PlainText);

    Tak = new QPushButton(QStringLiteral("Tak"), this);
    Tak->setObjectName(QStringLiteral("Tak"));
    Tak->setGeometry(224, 64, 75, 25);
    Tak->setDefault(true);
    Tak->setAutoDefault(true);
    connect(Tak, &QPushButton::clicked, this, [this] { done(kYes); });

    Nie = new QPushButton(QStringLiteral("Nie"), this);
    Nie->setObjectName(QStringLiteral("Nie"));
    Nie->setGeometry(306, 64, 75, 25);
    connect(Nie, &QPushButton::clicked, this, [this] { done(kNo); });

    setTabOrder(Tak, Nie);
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

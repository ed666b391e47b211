#include "dialogs/aboutform.h"

#include "dialogs/clicklabel.h"
#include "platform/shell.h"
#include "settings/languagetable.h"
#include "ui_aboutform.h"

#include <QGuiApplication>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

namespace jw {

TAboutForm::TAboutForm(const LanguageTable &language, Shell &shell, const QString &applicationTitle, QWidget *parent)
    : QDialog(parent)
    , m_shell(shell)
{
    Ui::TAboutForm form;
    form.setupUi(this);
    Panel3 = form.Panel3;
    Image3 = form.Image3;
    ProgramName = form.ProgramName;
    Label27 = form.Label27;
    Label28 = form.Label28;
    Prawa = form.Prawa;
    Pomoc = form.Pomoc;
    Label2 = form.Label2;
    Label4 = form.Label4;
    Label3 = form.Label3;
    Autorzy = form.Autorzy;
    Label32 = form.Label32;
    Label1 = form.Label1;
    Label30 = form.Label30;
    Grafika = form.Grafika;
    Label34 = form.Label34;
    Testy = form.Testy;
    Label36 = form.Label36;
    Label37 = form.Label37;
    Label38 = form.Label38;
    Angielska = form.Angielska;
    Label44 = form.Label44;
    Label45 = form.Label45;
    OKButton = form.OKButton;

    // Half as large again as the system's font, whatever that is.
    QFont nameFont = ProgramName->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.5);
    ProgramName->setFont(nameFont);

    styleAsLink(Label28);
    styleAsLink(Label2);
    connect(Label28, &ClickLabel::clicked, this, &TAboutForm::Label28Click);
    connect(Label2, &ClickLabel::clicked, this, &TAboutForm::Label2Click);
    connect(Label32, &ClickLabel::pressed, this, &TAboutForm::Label32MouseDown);
    connect(OKButton, &QPushButton::clicked, this, [this] { done(1); });

    FormCreate(language, applicationTitle);
    // The box keeps its size unless the system's font needs more room.
    layout()->activate();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}
void TAboutForm::FormCreate(const LanguageTable &language, const QString &applicationTitle)
{
    // "Junkwarden 1.0 Build 252": version 1.0.252, as the updater records it.
    ProgramName->setText(applicationTitle + QStringLiteral(" %1.%2 Build %3").arg(kMajor).arg(kMinor).arg(kBuild));
    Image3->setPixmap(windowIcon().pixmap(41, 41));
    setWindowTitle(language.text(keys::oProgramie));
    Prawa->setText(language.text(keys::aboutPrawa));
    Autorzy->setText(language.text(keys::aboutAutorzy));
    Grafika->setText(language.text(keys::aboutGrafika));
    Testy->setText(language.text(keys::aboutTesty));
    Angielska->setText(language.text(keys::aboutAngielska));
    Pomoc->setText(language.text(keys::aboutPomoc));
}

void TAboutForm::Label28Click()
{
    m_shell.open(QUrl(Label28->text()));
    setLabelColor(Label28, Qt::red);
}

void TAboutForm::Label2Click()
{
    m_shell.open(QUrl(QStringLiteral("mailto:") + Label2->text()));
    setLabelColor(Label2, Qt::red);
}

void TAboutForm::Label32MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers all = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
    if (button != Qt::LeftButton || (modifiers & all) != all)
        return;
    m_shell.open(QUrl(QLatin1String(kHiddenAddress)));
    setLabelColor(Label32, Qt::red);
    QFont font = Label32->font();
    font.setUnderline(true);
    Label32->setFont(font);
}

} // namespace jw

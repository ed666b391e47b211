#include "dialogs/aboutform.h"

#include "dialogs/clicklabel.h"
#include "platform/shell.h"
#include "settings/languagetable.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include <algorithm>

namespace jw {

namespace {

constexpr int kLeft = 12;
constexpr int kIndent = 24;
constexpr int kLineStep = 12;
constexpr int kSectionGap = 20;
constexpr int kWidth = 318;

} // namespace

TAboutForm::TAboutForm(const LanguageTable &language, Shell &shell, const QString &applicationTitle, QWidget *parent)
    : QDialog(parent)
    , m_shell(shell)
{
    setObjectName(QStringLiteral("AboutForm"));
    setFixedSize(kWidth, 388);

    Panel3 = new QWidget(this);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setGeometry(0, 0, kWidth, 346);

    int y = 10;
    const int lineStep = std::max(kLineStep, fontMetrics().height());
    auto place = [this, &y, lineStep](auto *label, const char *name, const QString &text, int x) {
        label->setParent(Panel3);
        label->setObjectName(QLatin1String(name));
        label->setTextFormat(Qt::PlainText);
        label->setText(text);
        label->setGeometry(x, y, kWidth - x - 8, lineStep);
        y += lineStep;
        return label;
    };
    auto line = [&](QLabel *&member, const char *name, const QString &text, int x) {
        member = place(new QLabel, name, text, x);
    };
    auto gap = [&y] { y += kSectionGap - kLineStep; };

    Image3 = new QLabel(Panel3);
    Image3->setObjectName(QStringLiteral("Image3"));
    Image3->setGeometry(kLeft, y, 41, 57);
    Image3->setAlignment(Qt::AlignCenter);
    ProgramName = new QLabel(Panel3);
    ProgramName->setObjectName(QStringLiteral("ProgramName"));
    ProgramName->setTextFormat(Qt::PlainText);
    QFont nameFont = ProgramName->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.5);
    ProgramName->setFont(nameFont);
    ProgramName->setGeometry(kLeft + 50, y + 16, kWidth - kLeft - 58, 26);
    y += 60;

    line(Label27, "Label27", QStringLiteral("Junkwarden is made by the Junkwarden team."), kLeft);
    Label28 = place(new ClickLabel, "Label28", QStringLiteral("http://www.junkwarden.example"), kLeft);
    line(Prawa, "Prawa", QStringLiteral("Wszelkie prawa zastrzezone"), kLeft);
    gap();
    line(Pomoc, "Pomoc", QStringLiteral("Pomoc techniczna:"), kLeft);
    Label2 = place(new ClickLabel, "Label2", QStringLiteral("support@junkwarden.example"), kIndent + 6);
    line(Label4, "Label4", QStringLiteral("  tel. +48 12 555 01 20"), kIndent);
    line(Label3, "Label3", QStringLiteral("  fax. +48 12 555 01 21"), kIndent);
    gap();
    line(Autorzy, "Autorzy", QStringLiteral("Autorzy:"), kLeft);
    Label32 = place(new ClickLabel, "Label32", QStringLiteral("Marek Zawadzki"), kIndent + 6);
    line(Label1, "Label1", QStringLiteral("  Anna Wierzbicka"), kIndent);
    line(Label30, "Label30", QStringLiteral("  Tomasz Lis"), kIndent);
    gap();
    line(Grafika, "Grafika", QStringLiteral("Grafika:"), kLeft);
    line(Label34, "Label34", QStringLiteral("  Ewa Jaworska"), kIndent);
    gap();
    line(Testy, "Testy", QStringLiteral("Testy:"), kLeft);
    line(Label36, "Label36", QStringLiteral("  Piotr Sowa, Kasia Mrozek"), kIndent);
    line(Label37, "Label37", QStringLiteral("  Jan Olszewski, Ola Kruk"), kIndent);
    line(Label38, "Label38", QStringLiteral("  Bartek Ziemba"), kIndent);
    gap();
    line(Angielska, "Angielska", QStringLiteral("Wersja angielska:"), kLeft);
    line(Label44, "Label44", QStringLiteral("  Helen Carter"), kIndent);
    line(Label45, "Label45", QStringLiteral("  David Moore"), kIndent);

    styleAsLink(Label28);
    styleAsLink(Label2);
    connect(Label28, &ClickLabel::clicked, this, &TAboutForm::Label28Click);
    connect(Label2, &ClickLabel::clicked, this, &TAboutForm::Label2Click);
    connect(Label32, &ClickLabel::pressed, this, &TAboutForm::Label32MouseDown);

    // The box keeps its size unless the system's font needs more room.
    const int panelHeight = std::max(346, y + 8);
    Panel3->resize(kWidth, panelHeight);
    setFixedSize(kWidth, panelHeight + 42);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry((kWidth - 75) / 2, panelHeight + 8, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] { done(1); });

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    FormCreate(language, applicationTitle);
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

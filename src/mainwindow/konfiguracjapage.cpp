#include "mainwindow/konfiguracjapage.h"

#include "accounts/accounts.h"
#include "accounts/mailrouting.h"
#include "accounts/thunderbirdsource.h"
#include "dialogs/clicklabel.h"
#include "dialogs/mnemonics.h"
#include "dialogs/paintedicon.h"
#include "mainwindow/inplaceeditor.h"
#include "mainwindow/mainform.h"
#include "mainwindow/pageicons.h"
#include "platform/autostart.h"
#include "platform/helpviewer.h"
#include "platform/prompts.h"
#include "platform/registry.h"
#include "settings/keyvaluefile.h"
#include "settings/languagetable.h"
#include "settings/settingsfile.h"
#include "settings/settingskeys.h"
#include "textfile/errors.h"
#include "tray/trayicons.h"
#include "update/updateform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace jw {

namespace sk = settingskeys;

namespace {

const char *const kSpamWords[] = {"quarantine", "drop", "lowprio", "nothing"};
const char *const kUpdateWords[] = {"none", "daily", "weekly", "monthly"};

QLineEdit *digitsField(const char *name, int digits, QWidget *parent)
{
    auto *field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(name));
    field->setMaxLength(digits);
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(digits)), field));
    return field;
}

// The word of a choice: the first item whose text equals the shown text.
QByteArray choiceWord(const QComboBox *choice, const char *const words[])
{
    for (int i = 0; i < 4; ++i) {
        if (choice->currentText() == choice->itemText(i))
            return words[i];
    }
    return QByteArray();
}

void selectChoice(QComboBox *choice, const QByteArray &value, const char *const words[])
{
    for (int i = 0; i < 4; ++i) {
        if (value == words[i]) {
            choice->setCurrentIndex(i);
            return;
        }
    }
}

} // namespace

KonfiguracjaPage::KonfiguracjaPage(TMainForm &main)
    : MainFormPage(main, "TabKonfiguracja")
{
    KonfiguracjaLabelZnalezione = new QLabel(QStringLiteral("Znalezione konta"), this);
    KonfiguracjaLabelZnalezione->setObjectName(QStringLiteral("KonfiguracjaLabelZnalezione"));
    buildAccountList();
    QWidget *groups = buildSettingsGroups();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(KonfiguracjaLabelZnalezione);
    layout->addWidget(KonfiguracjaKonta, 1);
    layout->addWidget(groups);

    // Focus follows what the eye reads: the account list above, then the
    // groups below from left to right and top to bottom, then save. The
    // text fields behind the number fields are hidden and take no focus.
    const QList<QWidget *> order{KonfiguracjaKonta, KonfiguracjaPort, KonfiguracjaPin, KonfiguracjaCheckBox,
        KonfiguracjaSpamLevel, KonfiguracjaMaxToPos, KonfiguracjaWhatWithSpam, KonfiguracjaCheckMailCheckBox,
        KonfiguracjaCheckMailPos, KonfiguracjaEditAktualizacja, KonfiguracjaButtonAktualizacja,
        KonfiguracjaButtonZapisz};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
}

QWidget *KonfiguracjaPage::buildSettingsGroups()
{
    auto *bottom = new QWidget(this);
    auto label = [bottom](const char *name, const char *caption) {
        auto *l = new QLabel(QLatin1String(caption), bottom);
        l->setObjectName(QLatin1String(name));
        return l;
    };

    // Port, PIN, start with the session.
    auto *first = new QGroupBox(bottom);
    KonfiguracjaLabelPort = label("KonfiguracjaLabelPort", "Port");
    KonfiguracjaPort = digitsField("KonfiguracjaPort", 5, bottom);
    KonfiguracjaLabelPin = label("KonfiguracjaLabelPin", "PIN");
    KonfiguracjaPin = new QLineEdit(bottom);
    KonfiguracjaPin->setObjectName(QStringLiteral("KonfiguracjaPin"));
    KonfiguracjaCheckBox = new QCheckBox(QStringLiteral("Uruchamiaj"), bottom);
    KonfiguracjaCheckBox->setObjectName(QStringLiteral("KonfiguracjaCheckBox"));
    KonfiguracjaLabelJezyk = label("KonfiguracjaLabelJezyk", "Jezyk");
    KonfiguracjaJezyk = new QComboBox(bottom);
    KonfiguracjaJezyk->setObjectName(QStringLiteral("KonfiguracjaJezyk"));
    KonfiguracjaJezyk->addItems({QStringLiteral("Polski"), QStringLiteral("Angielski")});
    KonfiguracjaLabelJezyk->hide();
    KonfiguracjaJezyk->hide();
    auto *firstLayout = new QGridLayout(first);
    firstLayout->addWidget(KonfiguracjaLabelPort, 0, 0);
    firstLayout->addWidget(KonfiguracjaPort, 0, 1);
    firstLayout->addWidget(KonfiguracjaLabelPin, 1, 0);
    firstLayout->addWidget(KonfiguracjaPin, 1, 1);
    firstLayout->addWidget(KonfiguracjaCheckBox, 2, 0, 1, 2);

    // Spam level, To limit, spam action.
    auto *second = new QGroupBox(bottom);
    KonfiguracjaLabelPoziomSpamu = label("KonfiguracjaLabelPoziomSpamu", "Poziom spamu");
    KonfiguracjaSpamLevel = new QSlider(Qt::Horizontal, bottom);
    KonfiguracjaSpamLevel->setObjectName(QStringLiteral("KonfiguracjaSpamLevel"));
    KonfiguracjaSpamLevel->setRange(1, 15);
    KonfiguracjaSpamLevel->setValue(1);
    KonfiguracjaSpamLevel->setTickPosition(QSlider::TicksBelow);
    KonfiguracjaSpamLevel->setTickInterval(1);
    KonfiguracjaSpamLevel->installEventFilter(this);
    KonfiguracjaLabelMaxto = label("KonfiguracjaLabelMaxto", "Maxymalna liczba");
    KonfiguracjaMaxTo = digitsField("KonfiguracjaMaxTo", 3, bottom);
    KonfiguracjaMaxTo->setText(QStringLiteral("5"));
    KonfiguracjaMaxTo->setMaximumWidth(48);
    KonfiguracjaMaxToPos = new QSpinBox(bottom);
    KonfiguracjaMaxToPos->setObjectName(QStringLiteral("KonfiguracjaMaxToPos"));
    KonfiguracjaMaxToPos->setRange(0, 100);
    KonfiguracjaMaxToPos->setValue(5);
    KonfiguracjaLabelSpam = label("KonfiguracjaLabelSpam", "Co robic ze spamem");
    KonfiguracjaWhatWithSpam = new QComboBox(bottom);
    KonfiguracjaWhatWithSpam->setObjectName(QStringLiteral("KonfiguracjaWhatWithSpam"));
    KonfiguracjaWhatWithSpam->addItems({QStringLiteral("Kwarantanna"), QStringLiteral("Usun"),
        QStringLiteral("Nizszy priorytet"), QStringLiteral("Przyjmij")});
    KonfiguracjaWhatWithSpam->setCurrentIndex(-1);
    KonfiguracjaWhatWithSpam->setEnabled(false);
    auto *secondLayout = new QGridLayout(second);
    auto *scale = new QHBoxLayout;
    scale->addWidget(new QLabel(QStringLiteral("0 %"), bottom));
    scale->addWidget(KonfiguracjaSpamLevel, 1);
    scale->addWidget(new QLabel(QStringLiteral("100 %"), bottom));
    // One number field with arrows: the spin box shows and edits the number;
    // the text field behind it keeps the text the settings file gets.
    KonfiguracjaMaxTo->hide();
    KonfiguracjaMaxToPos->setMinimumWidth(64);
    auto *maxTo = new QHBoxLayout;
    maxTo->addWidget(KonfiguracjaMaxToPos);
    maxTo->addStretch(1);
    // Labels above their controls: the texts are long in some languages.
    secondLayout->addWidget(KonfiguracjaLabelPoziomSpamu, 0, 0, 1, 2);
    secondLayout->addLayout(scale, 1, 0, 1, 2);
    secondLayout->addWidget(KonfiguracjaLabelMaxto, 2, 0, 1, 2);
    secondLayout->addLayout(maxTo, 3, 0, 1, 2);
    secondLayout->addWidget(KonfiguracjaLabelSpam, 4, 0, 1, 2);
    secondLayout->addWidget(KonfiguracjaWhatWithSpam, 5, 0, 1, 2);

    // Mail check.
    auto *mail = new QGroupBox(bottom);
    KonfiguracjaCheckMailCheckBox = new QCheckBox(QStringLiteral("Automatycznie usuwaj spam"), bottom);
    KonfiguracjaCheckMailCheckBox->setObjectName(QStringLiteral("KonfiguracjaCheckMailCheckBox"));
    KonfiguracjaCheckMail = digitsField("KonfiguracjaCheckMail", 3, bottom);
    KonfiguracjaCheckMail->setText(QStringLiteral("5"));
    KonfiguracjaCheckMail->setReadOnly(true);
    KonfiguracjaCheckMail->setMaximumWidth(48);
    KonfiguracjaCheckMailPos = new QSpinBox(bottom);
    KonfiguracjaCheckMailPos->setObjectName(QStringLiteral("KonfiguracjaCheckMailPos"));
    KonfiguracjaCheckMailPos->setRange(1, 100);
    KonfiguracjaCheckMailPos->setValue(5);
    KonfiguracjaCheckMailText = label("KonfiguracjaCheckMailText", "min");
    auto *mailLayout = new QVBoxLayout(mail);
    auto *minutes = new QHBoxLayout;
    KonfiguracjaCheckMail->hide(); // the spin box shows the minutes
    KonfiguracjaCheckMailPos->setMinimumWidth(64);
    minutes->addWidget(KonfiguracjaCheckMailPos);
    minutes->addWidget(KonfiguracjaCheckMailText, 1);
    mailLayout->addWidget(KonfiguracjaCheckMailCheckBox);
    mailLayout->addLayout(minutes);

    // Updates.
    auto *update = new QGroupBox(bottom);
    KonfiguracjaLabelAktualizacja = label("KonfiguracjaLabelAktualizacja", "Aktualizacja");
    KonfiguracjaEditAktualizacja = new QComboBox(bottom);
    KonfiguracjaEditAktualizacja->setObjectName(QStringLiteral("KonfiguracjaEditAktualizacja"));
    // A plain drop-down: only its four choices mean anything.
    KonfiguracjaEditAktualizacja->setEditable(false);
    KonfiguracjaEditAktualizacja->addItems({QStringLiteral("Recznie"), QStringLiteral("Codziennie"),
        QStringLiteral("Co tydzien"), QStringLiteral("Co miesiac")});
    KonfiguracjaEditAktualizacja->setCurrentIndex(-1);
    KonfiguracjaButtonAktualizacja = new QPushButton(QStringLiteral("Aktualizuj teraz"), bottom);
    KonfiguracjaButtonAktualizacja->setObjectName(QStringLiteral("KonfiguracjaButtonAktualizacja"));
    auto *updateLayout = new QGridLayout(update);
    updateLayout->addWidget(KonfiguracjaLabelAktualizacja, 0, 0, 1, 2);
    updateLayout->addWidget(KonfiguracjaEditAktualizacja, 1, 0);
    updateLayout->addWidget(KonfiguracjaButtonAktualizacja, 1, 1);

    KonfiguracjaButtonZapisz = new QPushButton(QStringLiteral("Zapisz"), bottom);
    KonfiguracjaButtonZapisz->setObjectName(QStringLiteral("KonfiguracjaButtonZapisz"));
    KonfiguracjaButtonZapisz->setIcon(standardIcon(QStyle::SP_DialogSaveButton));

    // Save sits under the last group, where the eye ends, and leaves the
    // groups the whole width.
    auto *right = new QVBoxLayout;
    right->addWidget(mail);
    right->addWidget(update);
    right->addWidget(KonfiguracjaButtonZapisz, 0, Qt::AlignRight);
    auto *layout = new QHBoxLayout(bottom);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(first);
    layout->addWidget(second);
    layout->addLayout(right);

    connect(KonfiguracjaPin, &QLineEdit::textChanged, this, &KonfiguracjaPage::KonfiguracjaOnChange);
    connect(KonfiguracjaPort, &QLineEdit::textChanged, this, &KonfiguracjaPage::KonfiguracjaOnChange);
    connect(KonfiguracjaCheckBox, &QCheckBox::toggled, this, &KonfiguracjaPage::KonfiguracjaOnChange);
    connect(KonfiguracjaSpamLevel, &QSlider::valueChanged, this, &KonfiguracjaPage::KonfiguracjaOnChange);
    connect(KonfiguracjaWhatWithSpam, &QComboBox::currentTextChanged, this, &KonfiguracjaPage::KonfiguracjaOnChange);
    connect(
        KonfiguracjaEditAktualizacja, &QComboBox::currentTextChanged, this, &KonfiguracjaPage::KonfiguracjaOnChange);
    connect(KonfiguracjaMaxTo, &QLineEdit::textChanged, this, &KonfiguracjaPage::KonfiguracjaMaxToChange);
    // What is typed into the spin box is the field's text, an empty one too.
    if (auto *typed = KonfiguracjaMaxToPos->findChild<QLineEdit *>()) {
        connect(typed, &QLineEdit::textEdited, this, [this](const QString &text) {
            if (KonfiguracjaMaxTo->text() != text.trimmed().left(3))
                KonfiguracjaMaxTo->setText(text.trimmed().left(3));
        });
    }
    connect(KonfiguracjaMaxToPos, &QSpinBox::valueChanged, this, [this](int value) {
        if (KonfiguracjaMaxTo->text() != QString::number(value))
            KonfiguracjaMaxTo->setText(QString::number(value));
    });
    connect(KonfiguracjaCheckMailCheckBox, &QCheckBox::clicked, this,
        &KonfiguracjaPage::KonfiguracjaCheckMailCheckBoxClick);
    connect(KonfiguracjaCheckMailPos, &QSpinBox::valueChanged, this, [this](int value) {
        KonfiguracjaCheckMail->setText(QString::number(value));
        KonfiguracjaCheckMailChange();
    });
    connect(KonfiguracjaButtonAktualizacja, &QPushButton::clicked, this,
        &KonfiguracjaPage::KonfiguracjaButtonAktualizacjaClick);
    connect(KonfiguracjaButtonZapisz, &QPushButton::clicked, this,
        [this] { guarded([this] { KonfiguracjaButtonZapiszClick(); }); });
    return bottom;
}

void KonfiguracjaPage::SetLanguage()
{
    const LanguageTable &t = m_main.language();
    KonfiguracjaLabelZnalezione->setText(t.text(keys::znalezioneKonta));
    KonfiguracjaKonta->setHeaderLabels({QString(), t.text(keys::nazwa), t.text(keys::konto), t.text(keys::uzytkownik),
        t.text(keys::haslo), QString()});
    KonfiguracjaLabelPort->setText(t.text(keys::port));
    KonfiguracjaLabelPin->setText(t.text(keys::pin));
    KonfiguracjaLabelJezyk->setText(t.text(keys::jezyk));
    KonfiguracjaJezyk->setItemText(0, t.text(keys::confJezykPolski));
    KonfiguracjaJezyk->setItemText(1, t.text(keys::confJezykAngielski));
    KonfiguracjaJezyk->setCurrentIndex(1);
    KonfiguracjaCheckBox->setText(t.text(keys::uruchamiaj));
    KonfiguracjaLabelPoziomSpamu->setText(t.text(keys::poziomSpamu));
    KonfiguracjaLabelMaxto->setText(t.text(keys::maxymalnaLiczba));
    KonfiguracjaLabelSpam->setText(t.text(keys::coRobicZeSpamem));
    const TextKey spam[] = {keys::confCoKwarantanna, keys::confCoUsun, keys::confCoLowprio, keys::confCoPrzyjac};
    const TextKey update[] = {
        keys::aktualizujRecznie, keys::aktualizujDzien, keys::aktualizujTydzien, keys::aktualizujMiesiac};
    for (int i = 0; i < 4; ++i) {
        KonfiguracjaWhatWithSpam->setItemText(i, t.text(spam[i]));
        KonfiguracjaEditAktualizacja->setItemText(i, t.text(update[i]));
    }
    KonfiguracjaEditAktualizacja->setEditText(QString());
    KonfiguracjaButtonZapisz->setText(t.text(keys::zapisz));
    KonfiguracjaLabelAktualizacja->setText(t.text(keys::aktualizujLabel));
    KonfiguracjaButtonAktualizacja->setText(t.text(keys::aktualizujTeraz));
    KonfiguracjaPopupDodajkonto->setText(t.text(keys::dodajKonto));
    KonfiguracjaPopupUstawhaslo->setText(t.text(keys::ustawHaslo));
    KonfiguracjaCheckMailCheckBox->setText(t.text(keys::automatycznieUsuwajSpam));
    KonfiguracjaCheckMailText->setText(t.text(keys::automatycznieUsuwajSpam2));
    giveMnemonics({KonfiguracjaButtonZapisz, KonfiguracjaButtonAktualizacja, KonfiguracjaCheckBox,
        KonfiguracjaCheckMailCheckBox});
}

void KonfiguracjaPage::guarded(const std::function<void()> &handler)
{
    reportErrors(m_main.prompts(), handler);
}

bool KonfiguracjaPage::pinIsEmpty() const
{
    return KonfiguracjaPin->text().isEmpty();
}

void KonfiguracjaPage::setPin(const QString &pin)
{
    KonfiguracjaPin->setText(pin);
}

void KonfiguracjaPage::KonfiguracjaOnCreate()
{
    const KeyValueFile settings = settingsfile::load(m_main.configFolder());
    KonfiguracjaPort->setText(settings.text(sk::kServerPort));
    KonfiguracjaPin->setText(settings.text(sk::kMyPin));
    KonfiguracjaSpamLevel->setValue(qBound(1, settings.number(sk::kAcceptedSpamLevel), 15));
    KonfiguracjaMaxTo->setText(settings.text(sk::kMaxTo));
    selectChoice(KonfiguracjaWhatWithSpam, settings.value(sk::kWhatWithSpam), kSpamWords);
    KonfiguracjaCheckMailPos->setValue(qBound(1, settings.number(sk::kAutoRemoveSpamTime), 100));
    KonfiguracjaCheckMail->setText(QString::number(KonfiguracjaCheckMailPos->value()));
    const bool mailCheck = settings.number(sk::kAutoRemoveSpam) >= 1;
    KonfiguracjaCheckMailCheckBox->setChecked(mailCheck);
    KonfiguracjaCheckMail->setEnabled(mailCheck);
    KonfiguracjaCheckMailPos->setEnabled(mailCheck);
    m_main.control().setMailCheck(mailCheck, KonfiguracjaCheckMailPos->value());
    selectChoice(KonfiguracjaEditAktualizacja, settings.value(sk::kUpdate), kUpdateWords);
    KonfiguracjaButtonSzukajClick();
    KonfiguracjaCheckBox->setChecked(m_main.autostart().isEnabled());
    KonfiguracjaWhatWithSpam->setEnabled(false);
    m_main.UnsavedChanges = false;
}

void KonfiguracjaPage::KonfiguracjaButtonZapiszClick()
{
    KeyValueFile settings = settingsfile::load(m_main.configFolder());
    settings.setText(sk::kServerPort, KonfiguracjaPort->text());
    settings.setText(sk::kMyPin, KonfiguracjaPin->text());
    settings.set(sk::kAcceptedSpamLevel, QByteArray::number(KonfiguracjaSpamLevel->value()));
    settings.setText(sk::kMaxTo, KonfiguracjaMaxTo->text());
    settings.set(sk::kAutoRemoveSpamTime, QByteArray::number(KonfiguracjaCheckMailPos->value()));
    settings.set(sk::kAutoRemoveSpam, KonfiguracjaCheckMailCheckBox->isChecked() ? "1" : "0");
    settings.set(sk::kWhatWithSpam, choiceWord(KonfiguracjaWhatWithSpam, kSpamWords));
    settings.set(sk::kUpdate, choiceWord(KonfiguracjaEditAktualizacja, kUpdateWords));
    settingsfile::save(m_main.configFolder(), settings);

    if (KonfiguracjaCheckBox->isChecked())
        m_main.autostart().enable(QCoreApplication::applicationFilePath());
    else
        m_main.autostart().disable();

    saveAccounts();
    m_main.control().restartProxy();
}

void KonfiguracjaPage::KonfiguracjaOnChange()
{
    m_main.UnsavedChanges = true;
}

void KonfiguracjaPage::KonfiguracjaMaxToChange()
{
    const int value = KonfiguracjaMaxTo->text().toInt();
    {
        const QSignalBlocker blocker(KonfiguracjaMaxToPos);
        KonfiguracjaMaxToPos->setValue(value);
        // An empty field shows empty, not as 0.
        if (KonfiguracjaMaxTo->text().isEmpty()) {
            if (auto *shown = KonfiguracjaMaxToPos->findChild<QLineEdit *>())
                shown->clear();
        }
    }
    if (KonfiguracjaMaxToPos->value() != m_lastMaxTo) {
        m_lastMaxTo = KonfiguracjaMaxToPos->value();
        m_main.UnsavedChanges = true;
    }
}

void KonfiguracjaPage::KonfiguracjaSpamLevelExit()
{
    if (KonfiguracjaSpamLevel->value() > 1)
        m_main.prompts().information(m_main.language().text(keys::zbytWysokiPoziomSpamu));
}

void KonfiguracjaPage::KonfiguracjaCheckMailCheckBoxClick()
{
    const bool on = KonfiguracjaCheckMailCheckBox->isChecked();
    KonfiguracjaCheckMail->setEnabled(on);
    KonfiguracjaCheckMailPos->setEnabled(on);
    m_main.control().setMailCheck(on, KonfiguracjaCheckMailPos->value());
    m_main.UnsavedChanges = true;
}

void KonfiguracjaPage::KonfiguracjaCheckMailChange()
{
    m_main.control().setMailCheck(m_main.control().mailCheckEnabled(), KonfiguracjaCheckMailPos->value());
}

void KonfiguracjaPage::KonfiguracjaButtonAktualizacjaClick()
{
    m_main.control().StartUpdate();
    TUpdateForm update(m_main.windowContext(), m_main.windowTitle(), &m_main);
    update.exec();
}

} // namespace jw

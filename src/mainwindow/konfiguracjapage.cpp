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
#include "ui_konfiguracjapage.h"
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

// The word of a choice: the first item whose text equals the shown text.
QByteArray choiceWord(const QComboBox *choice, const SettingKey &key)
{
    for (int i = 0; i < int(key.words.size()); ++i) {
        if (choice->currentText() == choice->itemText(i))
            return key.words[i];
    }
    return QByteArray();
}

void selectChoice(QComboBox *choice, const QByteArray &value, const SettingKey &key)
{
    for (int i = 0; i < int(key.words.size()); ++i) {
        if (value == key.words[i]) {
            choice->setCurrentIndex(i);
            return;
        }
    }
}

} // namespace

KonfiguracjaPage::KonfiguracjaPage(TMainForm &main)
    : MainFormPage(main, "TabKonfiguracja")
{
    Ui::KonfiguracjaPage layout;
    layout.setupUi(this);
    KonfiguracjaLabelZnalezione = layout.KonfiguracjaLabelZnalezione;
    KonfiguracjaKonta = layout.KonfiguracjaKonta;
    KonfiguracjaLabelPort = layout.KonfiguracjaLabelPort;
    KonfiguracjaPort = layout.KonfiguracjaPort;
    KonfiguracjaLabelPin = layout.KonfiguracjaLabelPin;
    KonfiguracjaPin = layout.KonfiguracjaPin;
    KonfiguracjaCheckBox = layout.KonfiguracjaCheckBox;
    KonfiguracjaLabelJezyk = layout.KonfiguracjaLabelJezyk;
    KonfiguracjaJezyk = layout.KonfiguracjaJezyk;
    KonfiguracjaLabelPoziomSpamu = layout.KonfiguracjaLabelPoziomSpamu;
    KonfiguracjaSpamLevel = layout.KonfiguracjaSpamLevel;
    KonfiguracjaLabelMaxto = layout.KonfiguracjaLabelMaxto;
    KonfiguracjaMaxTo = layout.KonfiguracjaMaxTo;
    KonfiguracjaMaxToPos = layout.KonfiguracjaMaxToPos;
    KonfiguracjaLabelSpam = layout.KonfiguracjaLabelSpam;
    KonfiguracjaWhatWithSpam = layout.KonfiguracjaWhatWithSpam;
    KonfiguracjaCheckMailCheckBox = layout.KonfiguracjaCheckMailCheckBox;
    KonfiguracjaCheckMail = layout.KonfiguracjaCheckMail;
    KonfiguracjaCheckMailPos = layout.KonfiguracjaCheckMailPos;
    KonfiguracjaCheckMailText = layout.KonfiguracjaCheckMailText;
    KonfiguracjaLabelAktualizacja = layout.KonfiguracjaLabelAktualizacja;
    KonfiguracjaEditAktualizacja = layout.KonfiguracjaEditAktualizacja;
    KonfiguracjaButtonAktualizacja = layout.KonfiguracjaButtonAktualizacja;
    KonfiguracjaButtonZapisz = layout.KonfiguracjaButtonZapisz;
    // The layout is in the Designer file, with the focus order that follows
    // what the eye reads: the account list, the groups from left to right
    // and top to bottom, then save. The text fields behind the number fields
    // are hidden there and take no focus.
    buildAccountList();
    connectSettings();
}

void KonfiguracjaPage::connectSettings()
{
    for (const auto &[field, digits] :
        {std::pair{KonfiguracjaPort, 5}, {KonfiguracjaMaxTo, 3}, {KonfiguracjaCheckMail, 3}})
        field->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(digits)), field));
    KonfiguracjaSpamLevel->installEventFilter(this);
    KonfiguracjaButtonZapisz->setIcon(standardIcon(QStyle::SP_DialogSaveButton));

    connect(KonfiguracjaPin, &QLineEdit::textChanged, this, &KonfiguracjaPage::KonfiguracjaOnChange);
    connect(KonfiguracjaPort, &QLineEdit::textChanged, this, &KonfiguracjaPage::KonfiguracjaOnChange);
    connect(KonfiguracjaCheckBox, &QCheckBox::toggled, this, &KonfiguracjaPage::KonfiguracjaOnChange);
    connect(KonfiguracjaSpamLevel, &QSlider::valueChanged, this, &KonfiguracjaPage::KonfiguracjaOnChange);
    connect(KonfiguracjaSpamLevel, &QSlider::valueChanged, this, &KonfiguracjaPage::showSpamLevelTip);
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
    // Held mail always goes to the quarantine: the choice stays disabled,
    // and says why.
    KonfiguracjaWhatWithSpam->setToolTip(t.text(keys::coZeSpamemTip));
    showSpamLevelTip();
    KonfiguracjaButtonZapisz->setText(t.text(keys::zapisz));
    KonfiguracjaLabelAktualizacja->setText(t.text(keys::aktualizujLabel));
    KonfiguracjaButtonAktualizacja->setText(t.text(keys::aktualizujTeraz));
    // Nothing pretends to update: where updates come from elsewhere, the
    // button says so and does nothing.
    const UpdateSource source = m_main.control().updateSource();
    const QString elsewhere = source == UpdateSource::PackageManager ? t.text(keys::aktualizujPakiet)
        : source == UpdateSource::NotConfigured                      ? t.text(keys::aktualizujBrakZrodla)
                                                                     : QString();
    KonfiguracjaButtonAktualizacja->setEnabled(elsewhere.isEmpty());
    KonfiguracjaButtonAktualizacja->setToolTip(elsewhere);
    KonfiguracjaLabelAktualizacja->setToolTip(elsewhere);
    KonfiguracjaPopupDodajkonto->setText(t.text(keys::dodajKonto));
    KonfiguracjaPopupUstawhaslo->setText(t.text(keys::ustawHaslo));
    KonfiguracjaPopupZalogujMicrosoft->setText(t.text(keys::zalogujMicrosoft));
    KonfiguracjaPopupZalogujGoogle->setText(t.text(keys::zalogujGoogle));
    KonfiguracjaPopupZalogujInny->setText(t.text(keys::zalogujInny));
    KonfiguracjaPopupHaslo->setText(t.text(keys::logujHaslem));
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

QList<KonfiguracjaPage::SettingBinding> KonfiguracjaPage::settingBindings()
{
    // Each key of the settings file bound to its widget once: how the page
    // shows it and how it goes back into the file, in the order it is
    // written.
    // Numbers are shown within the key's range; one that is not a number
    // stops the loading with the conversion message.
    const auto text = [](const SettingKey &key, QLineEdit *field) {
        return SettingBinding{[&key, field](const KeyValueFile &s) { field->setText(s.text(key)); },
            [&key, field](KeyValueFile &s) { s.setText(key, field->text()); }};
    };
    const auto number = [](const SettingKey &key, auto *widget) {
        return SettingBinding{
            [&key, widget](const KeyValueFile &s) { widget->setValue(qBound(key.low, s.number(key), key.high)); },
            [&key, widget](KeyValueFile &s) { s.set(key, QByteArray::number(widget->value())); }};
    };
    const auto choice = [](const SettingKey &key, QComboBox *box) {
        return SettingBinding{[&key, box](const KeyValueFile &s) { selectChoice(box, s.value(key), key); },
            [&key, box](KeyValueFile &s) { s.set(key, choiceWord(box, key)); }};
    };
    return {
        text(sk::kServerPort, KonfiguracjaPort),
        text(sk::kMyPin, KonfiguracjaPin),
        number(sk::kAcceptedSpamLevel, KonfiguracjaSpamLevel),
        text(sk::kMaxTo, KonfiguracjaMaxTo),
        number(sk::kAutoRemoveSpamTime, KonfiguracjaCheckMailPos),
        {[this](
             const KeyValueFile &s) { KonfiguracjaCheckMailCheckBox->setChecked(s.number(sk::kAutoRemoveSpam) >= 1); },
            [this](KeyValueFile &s) {
                s.set(sk::kAutoRemoveSpam, KonfiguracjaCheckMailCheckBox->isChecked() ? "1" : "0");
            }},
        choice(sk::kWhatWithSpam, KonfiguracjaWhatWithSpam),
        choice(sk::kUpdate, KonfiguracjaEditAktualizacja),
    };
}

void KonfiguracjaPage::KonfiguracjaOnCreate()
{
    const KeyValueFile settings = settingsfile::load(m_main.configFolder());
    for (const SettingBinding &binding : settingBindings())
        binding.load(settings);
    const bool mailCheck = KonfiguracjaCheckMailCheckBox->isChecked();
    KonfiguracjaCheckMail->setEnabled(mailCheck);
    KonfiguracjaCheckMailPos->setEnabled(mailCheck);
    m_main.control().setMailCheck(mailCheck, KonfiguracjaCheckMailPos->value());
    KonfiguracjaButtonSzukajClick();
    KonfiguracjaCheckBox->setChecked(m_main.autostart().isEnabled());
    KonfiguracjaWhatWithSpam->setEnabled(false);
    m_main.UnsavedChanges = false;
}

void KonfiguracjaPage::KonfiguracjaButtonZapiszClick()
{
    KeyValueFile settings = settingsfile::load(m_main.configFolder());
    for (const SettingBinding &binding : settingBindings())
        binding.save(settings);
    settingsfile::save(m_main.configFolder(), settings);

    if (KonfiguracjaCheckBox->isChecked())
        m_main.autostart().enable(QCoreApplication::applicationFilePath());
    else
        m_main.autostart().disable();

    saveAccounts();
    m_main.control().restartProxy();
}

void KonfiguracjaPage::showSpamLevelTip()
{
    // The slider's step and the spam level it holds from, in the words of
    // the methods page.
    const int step = KonfiguracjaSpamLevel->value();
    KonfiguracjaSpamLevel->setToolTip(m_main.language()
                                          .text(keys::poziomSpamuTip)
                                          .replace(QStringLiteral("%1"), QString::number(step))
                                          .replace(QStringLiteral("%2"), QString::number(step + 1)));
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

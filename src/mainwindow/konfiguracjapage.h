#pragma once

#include "accounts/accounts.h"
#include "accounts/mailclientsource.h"
#include "mainwindow/page.h"
#include "settings/keyvaluefile.h"

#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSlider;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace jw {

class ClickLabel;
class InPlaceEditor;

// The settings page: the mail accounts and the general settings of
// "main.cfg", start with the session, the mail check and updates.
class KonfiguracjaPage : public MainFormPage
{
    Q_OBJECT
public:
    enum Column { ColumnCheck = 0, ColumnName, ColumnServer, ColumnUser, ColumnPassword, ColumnSource };

    explicit KonfiguracjaPage(TMainForm &main);

    QLabel *KonfiguracjaLabelZnalezione = nullptr;
    QTreeWidget *KonfiguracjaKonta = nullptr;
    QWidget *KonfiguracjaKontaPanel = nullptr;
    QLabel *KonfiguracjaKontaNieMa1 = nullptr;
    QLabel *KonfiguracjaKontaNieMa2 = nullptr;
    ClickLabel *KonfiguracjaKontaNieMa3 = nullptr;
    InPlaceEditor *KonfiguracjaTempEdit = nullptr;
    QMenu *KonfiguracjaPopupMenu = nullptr;
    QAction *KonfiguracjaPopupDodajkonto = nullptr;
    QAction *KonfiguracjaPopupUsunkonto = nullptr;
    QAction *KonfiguracjaPopupUstawhaslo = nullptr;
    // Signing the selected account in with OAuth 2.0, or back to its password.
    QAction *KonfiguracjaPopupZalogujMicrosoft = nullptr;
    QAction *KonfiguracjaPopupZalogujGoogle = nullptr;
    QAction *KonfiguracjaPopupZalogujInny = nullptr;
    QAction *KonfiguracjaPopupHaslo = nullptr;

    QLabel *KonfiguracjaLabelPort = nullptr;
    QLineEdit *KonfiguracjaPort = nullptr;
    QLabel *KonfiguracjaLabelPin = nullptr;
    QLineEdit *KonfiguracjaPin = nullptr;
    QCheckBox *KonfiguracjaCheckBox = nullptr;
    QLabel *KonfiguracjaLabelPoziomSpamu = nullptr;
    QSlider *KonfiguracjaSpamLevel = nullptr;
    QLabel *KonfiguracjaLabelMaxto = nullptr;
    QLineEdit *KonfiguracjaMaxTo = nullptr;
    QSpinBox *KonfiguracjaMaxToPos = nullptr;
    QLabel *KonfiguracjaLabelSpam = nullptr;
    QComboBox *KonfiguracjaWhatWithSpam = nullptr;
    QCheckBox *KonfiguracjaCheckMailCheckBox = nullptr;
    QLineEdit *KonfiguracjaCheckMail = nullptr;
    QSpinBox *KonfiguracjaCheckMailPos = nullptr;
    QLabel *KonfiguracjaCheckMailText = nullptr;
    QLabel *KonfiguracjaLabelAktualizacja = nullptr;
    QComboBox *KonfiguracjaEditAktualizacja = nullptr;
    QPushButton *KonfiguracjaButtonAktualizacja = nullptr;
    QPushButton *KonfiguracjaButtonZapisz = nullptr;
    QLabel *KonfiguracjaLabelJezyk = nullptr;
    QComboBox *KonfiguracjaJezyk = nullptr;

    // Handlers. Load and save throw the program's errors to their caller.
    void KonfiguracjaOnCreate();
    void KonfiguracjaButtonZapiszClick();
    void KonfiguracjaButtonSzukajClick();
    void KonfiguracjaOnChange();
    void KonfiguracjaMaxToChange();
    void KonfiguracjaSpamLevelExit();
    void KonfiguracjaCheckMailCheckBoxClick();
    void KonfiguracjaCheckMailChange();
    void KonfiguracjaButtonAktualizacjaClick();
    void KonfiguracjaKontaChange(QTreeWidgetItem *item, int column);
    void KonfiguracjaKontaClick();
    void KonfiguracjaKontaDblClick(int column);
    void KonfiguracjaPopupMenuPopup();
    void KonfiguracjaPopupDodajkontoClick();
    void KonfiguracjaPopupUsunkontoClick();
    void KonfiguracjaPopupUstawhasloClick();
    // `provider` "microsoft", "google" or "generic" (whose addresses are
    // asked first); empty: the password again.
    void signInSelected(const QString &provider);
    void KonfiguracjaKontaNieMa3Click();
    void SetLanguage() override;
    int helpTopic() const override { return 3; }
    void load() override { KonfiguracjaOnCreate(); }
    void save() override { KonfiguracjaButtonZapiszClick(); }

    bool pinIsEmpty() const;
    void setPin(const QString &pin);
    const QList<AccountRow> &accountRows() const { return m_rows; }
    int selectedRow() const;
    int editedColumn() const { return m_editColumn; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildAccountList();
    // The rows to the account store and the mail programs' files, saying
    // what could not be done or waits for a program to close.
    void saveAccounts();
    // Where the mail programs whose accounts the list shows are found.
    ClientPlaces clientPlaces() const;
    void tellRoutingChanges(bool filterOn);
    void showSpamLevelTip();
    void connectSettings();
    struct SettingBinding
    {
        std::function<void(const KeyValueFile &)> load;
        std::function<void(KeyValueFile &)> save;
    };
    QList<SettingBinding> settingBindings();
    void addRowItem(const AccountRow &row);
    void showNoAccountsPanel();
    void openEditor(int row, int column);
    void onEditCommitted(const QString &text);
    void placeNoAccountsPanel();
    // Runs a handler the user started, showing the program's errors.
    void guarded(const std::function<void()> &handler);

    bool editableRow(int row) const;

    QList<AccountRow> m_rows;
    QPointer<QObject> m_signIn; // the sign-in under way
    QSet<QString> m_routedSaved; // keys of the rows routed as last loaded or saved
    int m_editRow = -1;
    int m_editColumn = -1;
    int m_lastMaxTo = 5;
    bool m_loading = false;
};

} // namespace jw

#pragma once

#include "formats/filterlistfiles.h"
#include "mainwindow/page.h"

#include <QSet>

class QLineEdit;
class QListView;
class QPushButton;
class QTabBar;

namespace jw {

class FilterListModel;
class InPlaceEditor;

// The filter lists page: six lists on tabs at the bottom, one shown at a
// time, sorted; add, delete, search and edit in place. The shown list is
// written back when the user leaves it (the window's guard).
class FiltersPage : public MainFormPage
{
    Q_OBJECT
public:
    explicit FiltersPage(TMainForm &main);

    QTabBar *BialaTabControl = nullptr;
    QListView *BialaMemo = nullptr;
    QLineEdit *BialaEdit = nullptr;
    QPushButton *BialaButtonDodaj = nullptr;
    QPushButton *BialaButtonUsun = nullptr;
    QPushButton *BialaButtonSzukaj = nullptr;
    InPlaceEditor *BialaTempEdit = nullptr;

    void BialaTabControlChange();
    void BialaButtonDodajClick();
    void BialaButtonUsunClick();
    void BialaButtonSzukajClick();
    void BialaMemoDblClick();
    void BialaTempEditExit();
    // Saves the shown list (leaving a list or the page does, there is no
    // button). False when the list could not be written: the page then keeps the
    // user's edits and stays unsaved, so that a later save can succeed.
    bool BialaButtonZapiszClick();
    // Edits whose save failed, kept until a save succeeds.
    bool hasPendingEdits() const { return m_pendingEdits; }
    void SetLanguage() override;
    int helpTopic() const override { return 1; }
    void load() override { BialaTabControlChange(); }
    // A failed save keeps its edits on the page, which raises the flag
    // again when the user comes back to it.
    void save() override { BialaButtonZapiszClick(); }
    bool savesWithoutAsking() const override { return true; }
    void shown() override { BialaTabControlChange(); }

    FilterListModel &model() const { return *m_model; }
    int shownList() const { return m_shownList; }
    // The auto white list as the page holds it.
    const Lines &autoCopy() const { return m_autoCopy; }
    // The rows now selected, top to bottom.
    QList<int> selectedRows() const;
    int caretRow() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onListTabSwitched(int index);
    void onEditCommitted(const QString &text, bool byEnter);
    void selectOnly(int row);
    void refreshHighlight();
    QString listPath(int list) const;

    FilterListModel *m_model = nullptr;
    int m_shownList = 0;
    // False when the shown list's file exists but could not be read: such a
    // list is never saved, so its file cannot be overwritten with nothing.
    bool m_shownListRead = true;
    Lines m_autoCopy;
    QSet<QString> m_entriesAtLoad; // the white list file's entries as loaded, in lower case
    QList<QString> m_autoRemoved;
    int m_editedRow = -1;
    bool m_pendingEdits = false;
};

} // namespace jw

#include "mainwindow/filterspage.h"

#include "dialogs/mnemonics.h"
#include "mainwindow/filterlistmodel.h"
#include "mainwindow/inplaceeditor.h"
#include "mainwindow/mainform.h"
#include "platform/prompts.h"
#include "settings/languagetable.h"
#include "textfile/errors.h"
#include "ui_filterspage.h"

#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QVBoxLayout>

namespace jw {

namespace {

// Draws the entries of the auto white list in blue.
class AutoEntryDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(FilterListModel::HighlightRole).toBool()) {
            option->palette.setColor(QPalette::Text, QColor(0, 0, 255));
            option->palette.setColor(QPalette::HighlightedText, QColor(0, 0, 255));
        }
    }
};

} // namespace

FiltersPage::FiltersPage(TMainForm &main)
    : MainFormPage(main, "TabBiala")
    , m_model(new FilterListModel(this))
{
    Ui::FiltersPage layout;
    layout.setupUi(this);
    BialaTabControl = layout.BialaTabControl;
    BialaMemo = layout.BialaMemo;
    BialaEdit = layout.BialaEdit;
    BialaButtonDodaj = layout.BialaButtonDodaj;
    BialaButtonUsun = layout.BialaButtonUsun;
    BialaButtonSzukaj = layout.BialaButtonSzukaj;
    for (const FilterListInfo &list : filterLists())
        BialaTabControl->addTab(QLatin1String(list.builtInCaption));
    BialaMemo->setModel(m_model);
    BialaMemo->setItemDelegate(new AutoEntryDelegate(BialaMemo));
    BialaMemo->installEventFilter(this);

    BialaTempEdit = new InPlaceEditor(BialaMemo->viewport());
    BialaTempEdit->setObjectName(QStringLiteral("BialaTempEdit"));
    connect(BialaTempEdit, &InPlaceEditor::committed, this, &FiltersPage::onEditCommitted);

    connect(BialaButtonDodaj, &QPushButton::clicked, this, &FiltersPage::BialaButtonDodajClick);
    // Enter in the field adds what it holds, as the add button does.
    connect(BialaEdit, &QLineEdit::returnPressed, this, &FiltersPage::BialaButtonDodajClick);
    connect(BialaButtonUsun, &QPushButton::clicked, this, &FiltersPage::BialaButtonUsunClick);
    connect(BialaButtonSzukaj, &QPushButton::clicked, this, &FiltersPage::BialaButtonSzukajClick);
    connect(BialaMemo, &QListView::doubleClicked, this, &FiltersPage::BialaMemoDblClick);
    connect(BialaTabControl, &QTabBar::currentChanged, this, &FiltersPage::onListTabSwitched);
}

void FiltersPage::SetLanguage()
{
    const LanguageTable &language = m_main.language();
    for (int i = 0; i < kFilterListCount; ++i)
        BialaTabControl->setTabText(i, language.text(filterLists()[size_t(i)].caption));
    BialaButtonDodaj->setText(language.text(keys::dodaj));
    BialaButtonUsun->setText(language.text(keys::usun));
    BialaButtonSzukaj->setText(language.text(keys::szukaj));
    giveMnemonics({BialaButtonDodaj, BialaButtonUsun, BialaButtonSzukaj});
}

QString FiltersPage::listPath(int list) const
{
    return m_main.configFolder() + QLatin1String(filterLists()[size_t(list)].fileName);
}

void FiltersPage::onListTabSwitched(int index)
{
    // The list being left is saved (to its own file) before the new one loads.
    m_main.MainPageControlChanging();
    if (m_pendingEdits) {
        // It could not be written: stay on it rather than lose the edits.
        const QSignalBlocker quiet(BialaTabControl);
        BialaTabControl->setCurrentIndex(m_shownList);
        m_main.UnsavedChanges = true;
        return;
    }
    m_shownList = index;
    BialaTabControlChange();
}

void FiltersPage::BialaTabControlChange()
{
    if (m_pendingEdits) {
        // Back on a list whose save failed: its edits are still the news.
        m_main.UnsavedChanges = true;
        return;
    }
    m_shownList = BialaTabControl->currentIndex();
    BialaTempEdit->hide();
    m_editedRow = -1;
    const QString path = listPath(m_shownList);
    const ListFile file = readListContent(path);
    m_shownListRead = file.state != ListFile::State::Unreadable;
    m_model->setContent(file.content, file.encoding);
    m_entriesAtLoad.clear();
    if (m_shownList == kWhiteList) {
        // What the file held, so that a save keeps what the proxy adds
        // meanwhile (the senders of released mail).
        for (int row = 0; row < m_model->size(); ++row)
            m_entriesAtLoad.insert(m_model->text(row).trimmed().toLower());
        const ListFile autoList = readListFile(m_main.configFolder() + QLatin1String(kAutoWhiteListFile));
        if (autoList.state == ListFile::State::Read) {
            m_autoCopy = autoList.lines;
            m_autoRemoved.clear();
        }
    }
    refreshHighlight();
    if (!m_shownListRead)
        m_main.showError(FileError::cannotOpen(path).message());
}

void FiltersPage::refreshHighlight()
{
    m_model->setHighlighted(m_shownList == kWhiteList ? m_autoCopy : Lines());
}

QList<int> FiltersPage::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : BialaMemo->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int FiltersPage::caretRow() const
{
    const QModelIndex current = BialaMemo->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void FiltersPage::selectOnly(int row)
{
    if (row < 0) {
        BialaMemo->selectionModel()->clearSelection();
        return;
    }
    const QModelIndex index = m_model->index(row);
    BialaMemo->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    BialaMemo->scrollTo(index);
}

void FiltersPage::BialaButtonDodajClick()
{
    const QString text = BialaEdit->text();
    if (text.isEmpty()) {
        m_main.prompts().information(m_main.language().text(keys::potrzebujeTextDodaj));
        return;
    }
    if (m_model->findIgnoringCase(text) >= 0) {
        m_main.prompts().information(m_main.language().text(keys::juzIstnieje));
        return;
    }
    m_main.UnsavedChanges = true;
    BialaEdit->clear();
    m_model->insertSorted(text);
}

void FiltersPage::BialaButtonUsunClick()
{
    const QString text = BialaEdit->text();
    if (!text.isEmpty()) {
        // By text: no question, no log, the auto copy stays.
        m_main.UnsavedChanges = true;
        BialaEdit->clear();
        const int row = m_model->findIgnoringCase(text);
        if (row >= 0)
            m_model->removeEntry(row);
        return;
    }
    const QList<int> rows = selectedRows();
    const int caret = caretRow();
    if (caret < 0 || rows.isEmpty()) {
        m_main.prompts().information(m_main.language().text(keys::potrzebujeTextUsun));
        return;
    }
    if (!m_main.prompts().question(m_main.language().text(keys::potwierdzUsun), m_main.windowTitle()))
        return;
    m_main.UnsavedChanges = true;

    Lines deleted;
    for (const int row : rows) {
        const QString entry = m_model->text(row);
        if (m_shownList == kWhiteList) {
            for (qsizetype i = 0; i < m_autoCopy.size(); ++i) {
                if (decodeDisplay(m_autoCopy[i]).compare(entry, Qt::CaseInsensitive) == 0) {
                    m_autoCopy.removeAt(i);
                    m_autoRemoved.append(entry);
                    break;
                }
            }
        }
        deleted.append(m_model->raw(row));
    }
    // Bottom to top, so the rows still to remove keep their numbers.
    for (auto it = rows.crbegin(); it != rows.crend(); ++it)
        m_model->removeEntry(*it);
    refreshHighlight();
    try {
        appendToDeletionLog(m_main.configFolder(), filterLists()[size_t(m_shownList)].fileName, deleted);
    } catch (const FileError &e) {
        m_main.showError(e.message());
        return;
    }
    selectOnly(m_model->size() == 0 ? -1 : std::min(caret, m_model->size() - 1));
}

void FiltersPage::BialaButtonSzukajClick()
{
    const QString text = BialaEdit->text();
    if (text.isEmpty()) {
        m_main.prompts().information(m_main.language().text(keys::potrzebujeTextSzukaj));
        return;
    }
    const int start = BialaMemo->selectionModel()->hasSelection() ? caretRow() : -1;
    const int found = m_model->findContaining(text, start);
    selectOnly(found);
    if (found < 0)
        m_main.prompts().information(m_main.language().text(keys::nieZnaleziono));
}

void FiltersPage::BialaMemoDblClick()
{
    const int row = caretRow();
    if (row < 0)
        return;
    m_editedRow = row;
    QRect cell = BialaMemo->visualRect(m_model->index(row));
    cell.setHeight(std::max(cell.height() + 3, BialaTempEdit->sizeHint().height()));
    BialaTempEdit->open(cell, m_model->text(row));
    BialaTempEdit->selectAll();
    m_main.UnsavedChanges = true;
}

void FiltersPage::BialaTempEditExit()
{
    BialaTempEdit->commit();
}

void FiltersPage::onEditCommitted(const QString &text, bool byEnter)
{
    const int row = m_editedRow;
    m_editedRow = -1;
    if (row < 0 || row >= m_model->size())
        return;
    // The entry keeps its place until the list is loaded again.
    m_model->setText(row, text);
    if (byEnter) {
        selectOnly(row);
        BialaMemo->setFocus();
    }
}

bool FiltersPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == BialaMemo && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        BialaButtonUsunClick();
        return true;
    }
    return MainFormPage::eventFilter(watched, event);
}

bool FiltersPage::BialaButtonZapiszClick()
{
    BialaTempEditExit();
    if (!m_shownListRead) {
        // Its file could not be read: writing what is shown would lose it.
        m_main.UnsavedChanges = false;
        m_main.showError(FileError::cannotOpen(listPath(m_shownList)).message());
        return true;
    }
    try {
        if (m_shownList == kWhiteList) {
            // Entries another program added to the file since it was loaded
            // stay.
            for (const QByteArray &line : readListFile(listPath(m_shownList)).lines) {
                const QString entry = decodeDisplay(line).trimmed();
                if (!entry.isEmpty() && !m_entriesAtLoad.contains(entry.toLower())
                    && m_model->findIgnoringCase(entry) < 0) {
                    m_model->insertSorted(entry);
                    m_entriesAtLoad.insert(entry.toLower());
                }
            }
        }
        writeFileAtomically(listPath(m_shownList), m_model->content());
        if (m_shownList == kWhiteList) {
            const QString autoPath = m_main.configFolder() + QLatin1String(kAutoWhiteListFile);
            if (QFile::exists(autoPath)) {
                // Entries the proxy added meanwhile stay; only deletions go.
                removeFromAutoWhiteList(m_main.configFolder(), m_autoRemoved);
            } else {
                writeLines(autoPath, m_autoCopy);
            }
            m_autoRemoved.clear();
        }
    } catch (const FileError &e) {
        m_pendingEdits = true;
        m_main.UnsavedChanges = true;
        m_main.showError(e.message());
        return false;
    }
    m_pendingEdits = false;
    m_main.UnsavedChanges = false;
    return true;
}

} // namespace jw

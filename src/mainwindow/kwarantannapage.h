#pragma once

#include "formats/quarantinestore.h"
#include "mainwindow/page.h"

#include <QAbstractTableModel>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSplitter;
class QTabBar;
class QTableView;
class QItemSelection;

namespace jw {

class SafeTextBrowser;

// The quarantine table's rows, sortable by any column.
class QuarantineModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void setRows(QList<QuarantineRow> rows);
    // Sort state: below 10 the column sorted descending, from 10 on the
    // column (state - 10) sorted ascending.
    void sortBy(int state);
    void removeRowAt(int row);
    QuarantineRow &row(int index) { return m_rows[index]; }
    const QuarantineRow &row(int index) const { return m_rows[index]; }
    int size() const { return int(m_rows.size()); }
    void rowChanged(int index);
    void setHeaders(const QStringList &headers);

    static const QString &cell(const QuarantineRow &row, int column);

private:
    QList<QuarantineRow> m_rows;
    QStringList m_headers;
};

// The quarantine page: held-back messages in a table, a preview of the
// selected one, and what can be done with them.
class KwarantannaPage : public MainFormPage
{
    Q_OBJECT
public:
    enum View { ContentView = 0, SourceView = 1 };

    explicit KwarantannaPage(TMainForm &main);

    QTabBar *KwarantannaTabPodglad = nullptr;
    QTableView *KwarantannaMemo = nullptr;
    QSplitter *Splitter = nullptr;
    QLabel *KwarantannaSpam = nullptr;
    QLabel *KwarantannaOdLabel = nullptr;
    QLabel *KwarantannaOd = nullptr;
    QLabel *KwarantannaTematLabel = nullptr;
    QLabel *KwarantannaTemat = nullptr;
    QLabel *KwarantannaDoLabel = nullptr;
    QLabel *KwarantannaDo = nullptr;
    QLabel *KwarantannaDwLabel = nullptr;
    QLabel *KwarantannaDw = nullptr;
    SafeTextBrowser *KwarantannaMemoPodglad = nullptr;
    QLineEdit *KwarantannaEdit = nullptr;
    QPushButton *KwarantannaButtonUsun = nullptr;
    QPushButton *KwarantannaButtonSzukaj = nullptr;
    QMenu *KwarantannaPopup = nullptr;
    QAction *KwarantannaPopupWyslijdosiebie = nullptr;
    QAction *KwarantannaPopupBiala = nullptr;
    QAction *KwarantannaPopupCzarna = nullptr;
    QAction *KwarantannaPopupZaznaczWszystkie = nullptr;
    QAction *KwarantannaPopupUsun = nullptr;
    QMenu *KwarantannaPodgladPopup = nullptr;
    QAction *KwarantannaPopupZaznacz = nullptr;
    QAction *KwarantannaPopupKopiuj = nullptr;
    QAction *KwarantannaPopupDodajdozakazanych = nullptr;

    // Larger HTML is shown as plain text.
    static constexpr qsizetype kMaxHtmlBytes = 1024 * 1024;
    // Longer text is shown in part, with a note: a view laid out over tens
    // of megabytes would freeze the program.
    static constexpr qsizetype kMaxShownBytes = 64 * 1024;
    // The note above a message shown in part.
    QString shownInPart(qsizetype characters) const;

    int SortState = 2;

    void KwarantannaPokaz();
    void KwarantannaTabPodgladChange();
    void KwarantannaMemoColumnClick(int column);
    void KwarantannaButtonUsunClick();
    void KwarantannaButtonSzukajClick();
    void KwarantannaPopupWyslijdosiebieClick();
    void KwarantannaPopupBialaClick();
    void KwarantannaPopupCzarnaClick();
    void KwarantannaPopupZaznaczWszystkieClick();
    void KwarantannaPopupZaznaczClick();
    void KwarantannaPopupKopiujClick();
    void KwarantannaPopupDodajdozakazanychClick();
    void KwarantannaPodgladPopupPopup();
    void KwarantannaMemoPodgladHotSpotClick(const QString &target);
    void KwarantannaMemoPodgladHotSpotCovered(const QString &target);
    void SetLanguage();

    QuarantineModel &model() const { return *m_model; }
    QList<int> selectedRows() const;
    void selectRow(int row);
    // What the preview shows: the text it was given, and whether as HTML.
    const QString &previewText() const { return m_previewText; }
    bool previewIsHtml() const { return m_previewHtml; }

    // To and Cc values of a message text ("to:" or "cc:").
    static QByteArray headerValue(const QByteArray &text, const char *name);
    // The charset a message declares, in its content or its source header.
    static QByteArray declaredCharset(const QByteArray &content, const QByteArray &source);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void onSelectionChanged(const QItemSelection &selected, const QItemSelection &deselected);
    void showMessage(int row);
    void clearPreview();
    void setPreview(const QString &text, bool html);
    void addSenderTo(const char *list);
    QuarantineStore store() const;

    QuarantineModel *m_model = nullptr;
    QString m_previewText;
    bool m_previewHtml = true;
};

} // namespace jw

#pragma once

#include "formats/quarantinestore.h"
#include "mainwindow/page.h"
#include "mainwindow/quarantinemodel.h"

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

// The quarantine page: held-back messages in a table, a preview of the
// selected one, and what can be done with them.
class KwarantannaPage : public MainFormPage
{
    Q_OBJECT
public:
    // The divider between the list and the preview, as "list,preview"
    // heights once the user has moved it (else empty); a stored one is
    // taken in proportion.
    QString split() const;
    void setSplit(const QString &stored);
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
    void SetLanguage() override;
    int helpTopic() const override { return 2; }
    // The page rebuilds its table itself whenever it is shown; showing it
    // acknowledges what the proxy held.
    void shown() override;

    QuarantineModel &model() const { return *m_model; }
    QList<int> selectedRows() const;
    void selectRow(int row);
    // What the preview shows: the text it was given, and whether as HTML.
    const QString &previewText() const { return m_previewText; }
    bool previewIsHtml() const { return m_previewHtml; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool m_splitMoved = false;
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

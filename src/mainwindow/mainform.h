#pragma once

#include "tray/programcontrol.h"

#include <QMainWindow>
#include <QRect>
#include <QUrl>

#include <functional>

class QLabel;
class QTabWidget;
class QTimer;
class QWidget;

namespace jw {

// Where a window of `wanted` size goes in a screen's free area: centred,
// no larger than the area less room for the window's title bar and border,
// and never starting above or left of it, so the title bar can always be
// reached (a large scale factor makes the screen small in logical pixels).
QRect windowPlace(const QRect &available, const QSize &wanted);

class Autostart;
class MainFormPage;
class ProgramControl;
class Shell;
class BannerView;
class FiltersPage;
class HelpViewer;
class KonfiguracjaPage;
class KwarantannaPage;
class LanguageTable;
class MetodyPage;
class OdpowiedzPage;
class Prompts;
class Registry;
class TTrayForm;

// What the configuration window needs beyond the tray controller.
struct MainWindowServices
{
    HelpViewer &help;
    Registry &registry;
    Autostart &autostart;
    // The banner page; an empty address hides the banner.
    QUrl bannerAddress;
};

// The configuration window: five pages, the help button, the banner and the
// status bar. One flag, UnsavedChanges, covers all pages; a guard offers to
// save when a page is left or the window is closed.
class TMainForm : public QMainWindow
{
    Q_OBJECT
public:
    enum Page { PageBiala = 0, PageKwarantanna = 1, PageOdpowiedz = 2, PageMetody = 3, PageKonfiguracja = 4 };

    TMainForm(TTrayForm &tray, const MainWindowServices &services, QWidget *parent = nullptr);
    ~TMainForm() override;

    QTabWidget *MainPageControl = nullptr;
    // The pages in the order of their tabs.
    QList<MainFormPage *> pages() const;
    FiltersPage *TabBiala = nullptr;
    KwarantannaPage *TabKwarantanna = nullptr;
    OdpowiedzPage *TabOdpowiedz = nullptr;
    MetodyPage *TabMetody = nullptr;
    KonfiguracjaPage *TabKonfiguracja = nullptr;
    QWidget *Banerpanel = nullptr;
    BannerView *BannerBrowser = nullptr;
    QWidget *HelpPanel = nullptr;
    QLabel *HelpImage = nullptr;
    QLabel *HelpImage1 = nullptr;
    QTimer *HelpTimer = nullptr;
    QTimer *BanerTimer = nullptr;
    QLabel *StatusPanels[3] = {nullptr, nullptr, nullptr};

    // Window state.
    bool UnsavedChanges = false;
    int helpContext() const { return m_helpContext; }

    // Handlers.
    void MainPageControlChanging();
    void MainPageControlChange();
    void HelpImageMouseMove(int x, int y);
    void HelpPanelMouseMove();
    void HelpTimerTimer();
    void HelpImageClick();
    void BanerTimerTimer();
    // True when the banner view may load `target` itself.
    bool BannerBrowserBeforeNavigate2(const QUrl &target);
    void SetLanguage();

    // Shows a page as the program does (not the user): no guard, no
    // page-entered work.
    void selectPageQuietly(int index);
    int shownPage() const { return m_shownPage; }

    // For the pages.
    // What the pages may ask of the running program.
    ProgramControl &control() const;
    WindowContext windowContext() const;
    Shell &shell() const;
    HelpViewer &help() const { return m_help; }
    Registry &registry() const { return m_registry; }
    Autostart &autostart() const { return m_autostart; }
    const LanguageTable &language() const;
    Prompts &prompts() const;
    QString configFolder() const;
    QString messagesFolder() const;
    // Shows one of the program's errors (file, number, registry).
    void showError(const QString &message);
    void setStatusText(const QString &text);

    // Where the help highlight reads the mouse pointer (tests replace it).
    std::function<QPoint()> cursorPosition;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void FormClose();
    void buildHelpPanel();
    void buildKeys();
    void buildBanner();
    void onPageSwitched(int index);
    // Runs a creation step; false when it failed (the error is shown).
    bool creationStep(const std::function<void()> &step);

    TTrayForm &m_tray;
    HelpViewer &m_help;
    Registry &m_registry;
    Autostart &m_autostart;
    QUrl m_bannerAddress;
    int m_helpContext = 1;
    int m_shownPage = PageKwarantanna;
};

} // namespace jw

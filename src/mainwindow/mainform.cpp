#include "mainwindow/mainform.h"

#include "mainwindow/bannerview.h"
#include "mainwindow/filterspage.h"
#include "mainwindow/konfiguracjapage.h"
#include "mainwindow/kwarantannapage.h"
#include "mainwindow/metodypage.h"
#include "mainwindow/odpowiedzpage.h"
#include "mainwindow/page.h"
#include "mainwindow/pageicons.h"
#include "platform/helpviewer.h"
#include "platform/prompts.h"
#include "platform/shell.h"
#include "settings/keyvaluefile.h"
#include "settings/settingsfile.h"
#include "settings/settingskeys.h"
#include "textfile/errors.h"
#include "tray/trayform.h"
#include "ui_mainform.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

namespace jw {

namespace {

constexpr int kHelpTimerMs = 500;
constexpr int kBannerReloadMs = 180000;

} // namespace

QRect windowPlace(const QRect &available, const QSize &wanted)
{
    // Room the window manager's frame takes: a title bar above, a border
    // around (the frame is not known before the window is shown).
    constexpr int kTitle = 36;
    constexpr int kBorder = 8;
    const QRect room = available.adjusted(kBorder, kTitle, -kBorder, -kBorder);
    QRect place(QPoint(), wanted.boundedTo(room.size()).expandedTo(QSize(1, 1)));
    place.moveCenter(room.center());
    place.moveLeft(std::max(place.left(), room.left()));
    place.moveTop(std::max(place.top(), room.top()));
    return place;
}

TMainForm::TMainForm(TTrayForm &tray, const MainWindowServices &services, QWidget *parent)
    : QMainWindow(parent,
        Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint
            | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
    , cursorPosition([] { return QCursor::pos(); })
    , m_tray(tray)
    , m_help(services.help)
    , m_registry(services.registry)
    , m_autostart(services.autostart)
    , m_bannerAddress(services.bannerAddress)
{
    Ui::TMainForm form;
    form.setupUi(this);
    MainPageControl = form.MainPageControl;
    Banerpanel = form.Banerpanel;
    BannerBrowser = form.BannerBrowser;
    HelpPanel = form.HelpPanel;
    HelpImage = form.HelpImage;
    HelpImage1 = form.HelpImage1;
    setAttribute(Qt::WA_DeleteOnClose);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect place = windowPlace(screen->availableGeometry(), size());
        setMinimumSize(minimumSize().boundedTo(place.size()));
        setGeometry(place);
    }

    // On the tab bar alone: a style sheet slows down every widget below it.
    MainPageControl->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { min-width: 81px; min-height: 70px; }"));
    TabBiala = new FiltersPage(*this);
    TabKwarantanna = new KwarantannaPage(*this);
    TabOdpowiedz = new OdpowiedzPage(*this);
    TabMetody = new MetodyPage(*this);
    TabKonfiguracja = new KonfiguracjaPage(*this);
    // On a small screen (or a large scale) a page smaller than its
    // controls scrolls rather than cutting them.
    QScrollArea *const scrolls[] = {form.TabBialaScroll, form.TabKwarantannaScroll, form.TabOdpowiedzScroll,
        form.TabMetodyScroll, form.TabKonfiguracjaScroll};
    for (int page = 0; page < pages().size(); ++page)
        scrolls[page]->setWidget(pages()[page]);

    buildBanner();
    for (int i = 0; i < 3; ++i) {
        StatusPanels[i] = new QLabel(this);
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanels[i]->setTextFormat(Qt::PlainText);
        StatusPanels[i]->setFixedWidth(i == 0 ? 400 : i == 1 ? 150 : 50);
        statusBar()->addWidget(StatusPanels[i]);
    }

    buildHelpPanel();
    buildKeys();
    connect(MainPageControl, &QTabWidget::currentChanged, this, &TMainForm::onPageSwitched);

    FormCreate();
}

TMainForm::~TMainForm() = default;

const LanguageTable &TMainForm::language() const
{
    return m_tray.LanguageMemo;
}

Prompts &TMainForm::prompts() const
{
    return m_tray.prompts();
}

QString TMainForm::messagesFolder() const
{
    return m_tray.folders().messages;
}

QString TMainForm::configFolder() const
{
    return m_tray.folders().config;
}

void TMainForm::showError(const QString &message)
{
    prompts().error(message);
}

void TMainForm::setStatusText(const QString &text)
{
    StatusPanels[0]->setText(text);
}

void TMainForm::buildBanner()
{
    BannerBrowser->beforeNavigate = [this](const QUrl &url) { return BannerBrowserBeforeNavigate2(url); };
    BanerTimer = new QTimer(this);
    BanerTimer->setObjectName(QStringLiteral("BanerTimer"));
    BanerTimer->setInterval(kBannerReloadMs);
    connect(BanerTimer, &QTimer::timeout, this, &TMainForm::BanerTimerTimer);
    // A build without a banner host shows no banner.
    Banerpanel->setVisible(!m_bannerAddress.isEmpty());
}

void TMainForm::buildKeys()
{
    // Keys that work on every page, wherever the focus is: F1 opens the
    // page's help; Ctrl+Tab and Ctrl+PgDn go to the next page, Ctrl+Shift+Tab
    // and Ctrl+PgUp to the one before, round the end.
    const auto key = [this](const QKeySequence &sequence, std::function<void()> action) {
        auto *shortcut = new QShortcut(sequence, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, std::move(action));
    };
    const auto step = [this](int by) {
        const int count = MainPageControl->count();
        MainPageControl->setCurrentIndex((MainPageControl->currentIndex() + by + count) % count);
    };
    key(QKeySequence(Qt::Key_F1), [this] { HelpImageClick(); });
    for (const QKeySequence &next : {QKeySequence(QKeySequence::NextChild), QKeySequence(Qt::CTRL | Qt::Key_PageDown)})
        key(next, [step] { step(1); });
    for (const QKeySequence &previous : {QKeySequence(QKeySequence::PreviousChild),
             QKeySequence(Qt::CTRL | Qt::Key_PageUp), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab)})
        key(previous, [step] { step(-1); });
}

void TMainForm::buildHelpPanel()
{
    HelpPanel->installEventFilter(this);
    for (QLabel *picture : {HelpImage, HelpImage1}) {
        picture->setPixmap(helpIcon(picture == HelpImage1).pixmap(42, 42));
        picture->installEventFilter(this);
    }
    HelpImage1->hide();
    HelpTimer = new QTimer(this);
    HelpTimer->setObjectName(QStringLiteral("HelpTimer"));
    HelpTimer->setInterval(kHelpTimerMs);
    connect(HelpTimer, &QTimer::timeout, this, &TMainForm::HelpTimerTimer);
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == HelpImage || watched == HelpImage1) {
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
            HelpImageMouseMove(0, 0);
        } else if (event->type() == QEvent::MouseButtonRelease) {
            HelpImageClick();
            return true;
        }
    } else if (watched == HelpPanel && event->type() == QEvent::MouseMove) {
        HelpPanelMouseMove();
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TMainForm::creationStep(const std::function<void()> &step)
{
    return reportErrors(prompts(), step);
}

void TMainForm::FormCreate()
{
    // 1-4.
    TabKwarantanna->SortState = 2;
    setWindowTitle(m_tray.applicationTitle());
    for (int page = 0; page < MainPageControl->count(); ++page)
        MainPageControl->setTabIcon(page, pageIcon(page));
    // 5.
    if (!m_bannerAddress.isEmpty()) {
        BannerBrowser->navigate(m_bannerAddress);
        BanerTimer->start();
    }
    // 6-12; a failing load ends the creation steps, the window still opens.
    MainFormPage *const loadOrder[] = {TabBiala, TabKonfiguracja, TabOdpowiedz, TabMetody};
    const bool loaded = creationStep([this] { SetLanguage(); })
        && std::all_of(std::begin(loadOrder), std::end(loadOrder),
            [this](MainFormPage *page) { return creationStep([page] { page->load(); }); })
        && creationStep([this] { HelpImageMouseMove(-1, -1); }) && creationStep([this] {
               if (!TabKonfiguracja->pinIsEmpty())
                   return;
               QString pin;
               for (int digit = 0; digit < 4; ++digit)
                   pin += QChar(u'0' + QRandomGenerator::global()->bounded(10));
               TabKonfiguracja->setPin(pin);
               selectPageQuietly(PageKonfiguracja);
               TabKonfiguracja->KonfiguracjaButtonZapiszClick();
           });
    // 13.
    if (loaded) {
        try {
            const KeyValueFile settings = settingsfile::load(configFolder());
            TabKwarantanna->setSplit(QString::fromLatin1(settings.value(settingskeys::kQuarantineSplit)));
            int page = settings.number(settingskeys::kLastTabSeen);
            // The program never stores another value; the first page is shown.
            if (page < 0 || page >= MainPageControl->count())
                page = PageBiala;
            selectPageQuietly(page);
            MainPageControlChange();
        } catch (const Error &) {
        }
    }
    // 14.
    UnsavedChanges = false;
}

ProgramControl &TMainForm::control() const
{
    return m_tray;
}

WindowContext TMainForm::windowContext() const
{
    return {m_tray, language(), prompts(), configFolder()};
}

Shell &TMainForm::shell() const
{
    return m_tray.shell();
}

QList<MainFormPage *> TMainForm::pages() const
{
    return {TabBiala, TabKwarantanna, TabOdpowiedz, TabMetody, TabKonfiguracja};
}

void TMainForm::SetLanguage()
{
    const LanguageTable &table = language();
    const TextKey tabKeys[] = {keys::filtry, keys::kwarantanna, keys::odpowiedz, keys::metody, keys::konfiguracja};
    for (int page = 0; page < MainPageControl->count(); ++page)
        MainPageControl->setTabText(page, table.text(tabKeys[page]));
    for (MainFormPage *page : pages())
        page->SetLanguage();
}

void TMainForm::selectPageQuietly(int index)
{
    const QSignalBlocker blocker(MainPageControl);
    MainPageControl->setCurrentIndex(index);
    m_shownPage = index;
}

void TMainForm::onPageSwitched(int index)
{
    MainPageControlChanging();
    m_shownPage = index;
    MainPageControlChange();
}

void TMainForm::MainPageControlChanging()
{
    // The flags that loading the pages raised were wiped at the end of
    // creation, so from the first run on a set flag is the user's edit.
    if (UnsavedChanges) {
        MainFormPage *page = pages().value(m_shownPage);
        if (page && page->savesWithoutAsking())
            creationStep([page] { page->save(); });
        else if (page && prompts().question(language().text(keys::potwierdzZapisz), windowTitle()))
            creationStep([page] { page->save(); });
        else if (page)
            creationStep([page] { page->discardEdits(); });
    }
    UnsavedChanges = false;
}

void TMainForm::MainPageControlChange()
{
    if (MainFormPage *page = pages().value(m_shownPage)) {
        page->shown();
        m_helpContext = page->helpTopic();
    }
}

void TMainForm::HelpImageMouseMove(int x, int y)
{
    if (x == -1 || y == -1) {
        HelpTimer->stop();
        HelpImage->show();
        HelpImage1->hide();
        return;
    }
    HelpTimer->start();
    HelpImage->hide();
    HelpImage1->show();
}

void TMainForm::HelpPanelMouseMove()
{
    HelpImageMouseMove(-1, -1);
}

void TMainForm::HelpTimerTimer()
{
    const QPoint pointer = cursorPosition();
    const QRect frame = frameGeometry();
    const QPoint panel = HelpPanel->mapTo(this, QPoint(0, 0)) + (geometry().topLeft() - frame.topLeft());
    const int left = frame.left() + panel.x();
    const int top = frame.top() + panel.y();
    const bool inside = pointer.y() >= top + 15 && pointer.y() <= top + HelpPanel->height() + 25 && pointer.x() >= left
        && pointer.x() <= left + HelpPanel->width();
    if (!inside)
        HelpImageMouseMove(-1, -1);
}

void TMainForm::HelpImageClick()
{
    m_help.showTopic(m_helpContext);
}

void TMainForm::BanerTimerTimer()
{
    if (!BannerBrowser->isBusy())
        BannerBrowser->reload();
}

bool TMainForm::BannerBrowserBeforeNavigate2(const QUrl &target)
{
    if (target.toString() == m_bannerAddress.toString())
        return true;
    m_tray.shell().open(target);
    return false;
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}

void TMainForm::FormClose()
{
    MainPageControlChanging();
    // List edits that could not be written when their page was left get one
    // more try before the window goes.
    if (m_shownPage != PageBiala && TabBiala->hasPendingEdits())
        TabBiala->BialaButtonZapiszClick();
    try {
        KeyValueFile settings = settingsfile::load(configFolder());
        // Written only when it changed: a durable write costs more than the
        // rest of closing.
        const QByteArray page = QByteArray::number(m_shownPage);
        const QByteArray split = TabKwarantanna->split().toLatin1();
        const bool splitMoved = !split.isEmpty() && settings.value(settingskeys::kQuarantineSplit) != split;
        if (settings.value(settingskeys::kLastTabSeen) != page || splitMoved) {
            settings.set(settingskeys::kLastTabSeen, page);
            if (splitMoved)
                settings.set(settingskeys::kQuarantineSplit, split);
            settingsfile::save(configFolder(), settings);
        }
    } catch (const Error &) {
    }
    m_help.quit();
}

} // namespace jw

// The quarantine scan, the quarantine page's rebuild, a big filter list and
// the configuration window, each measured against the least that work can
// cost, in the same run: medians of alternated runs, the ratio, the target.
//
//   floor_bench            the full table and the growth tables (some minutes)
//   floor_bench --quick    smaller sizes and fewer runs (about a minute)
//   floor_bench scan page list window growth    only those parts
//
// Messages are files of 20 KB whose first 6 KB are written and the rest left
// as a hole: a scan reads only the first 4 KB of each, and 100,000 written
// files would need 2 GB of disk. Every file is in the page cache for both
// the work and its reference.
#include "formats/filterlistfiles.h"
#include "formats/quarantinestore.h"
#include "mainwindow/filterspage.h"
#include "mainwindow/kwarantannapage.h"
#include "mainwindow/mainform.h"
#include "platform/registry.h"
#include "quietservices.h"
#include "tray/trayform.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStringListModel>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const QByteArray kMarker = "-----!!!!!-----!!!!!-----!!!!!-----!!!!!-----";

bool g_quick = false;
int runs()
{
    return g_quick ? 3 : 7;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double timeMs(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

// Medians of `runs()` alternated runs of the work and its reference, after
// one unmeasured run of each. `work` returns its own time, so that it can
// leave out what it must undo between runs.
std::pair<double, double> alternate(const std::function<double()> &work, const std::function<void()> &reference)
{
    work();
    reference();
    std::vector<double> w, r;
    for (int i = 0; i < runs(); ++i) {
        w.push_back(work());
        r.push_back(timeMs(reference));
    }
    return {median(w), median(r)};
}

std::function<double()> timed(const std::function<void()> &work)
{
    return [work] { return timeMs(work); };
}

void printRow(const char *work, double now, const char *unit, const char *reference, double ref, double target)
{
    const double ratio = now / ref;
    std::printf("| %-58s | %9.1f %-2s | %-44s | %9.1f %-2s | %5.2f | %5.2f | %-4s |\n", work, now, unit, reference, ref,
        unit, ratio, target, ratio <= target ? "met" : "NOT");
    std::fflush(stdout);
}

void printHeader()
{
    std::printf("| %-58s | %12s | %-44s | %12s | %5s | %5s | %-4s |\n", "Work", "Now", "Reference (same run)",
        "Reference", "Ratio", "Target", "");
    std::printf("|%s|%s|%s|%s|%s|%s|%s|\n", QByteArray(60, '-').constData(), QByteArray(14, '-').constData(),
        QByteArray(46, '-').constData(), QByteArray(14, '-').constData(), QByteArray(7, '-').constData(),
        QByteArray(7, '-').constData(), QByteArray(6, '-').constData());
}

// ---- the quarantine ----

QByteArray message(std::mt19937 &random, int i)
{
    QByteArray m = "Offer number " + QByteArray::number(random() % 100000) + "\r\nsender" + QByteArray::number(i)
        + "@spam" + QByteArray::number(random() % 50) + ".example\r\n" + (i % 3 ? "Readed" : "New")
        + "\r\nSpam level 8: subject in capitals\r\n" + kMarker + "1\r\n<html><body><p>";
    while (m.size() < 3000)
        m += "Buy cheap watches today, limited offer. ";
    m += "</p></body></html>\r\n" + kMarker + "2\r\nTo: user@home.example\r\nSubject: offer\r\n\r\n";
    while (m.size() < 6 * 1024)
        m += "Buy cheap watches today, limited offer.\r\n";
    return m;
}

// A program folder whose quarantine holds `count` messages in 10 account
// folders, with the default settings and the English texts.
struct ProgramFolder
{
    explicit ProgramFolder(int count)
    {
        QDir root(dir.path());
        root.mkpath(QStringLiteral("config"));
        root.mkpath(QStringLiteral("messages"));
        for (const char *file : {"config/methods.cfg", "config/remessage"})
            QFile::copy(
                QStringLiteral(JW_SOURCE_DIR "/resources/") + QLatin1String(file), dir.filePath(QLatin1String(file)));
        QFile::copy(QStringLiteral(JW_SOURCE_DIR "/resources/language/english.lng"),
            dir.filePath(QStringLiteral("config/language.lng")));
        QFile settings(dir.filePath(QStringLiteral("config/main.cfg")));
        settings.open(QIODevice::WriteOnly);
        settings.write("server_port=1110\r\nmy_pin=1234\r\nlast_tab_seen=1\r\n");
        settings.close();
        std::mt19937 random(11);
        for (int a = 0; a < 10; ++a) {
            const QString account = QStringLiteral("messages/user%1,pop%1.example").arg(a);
            root.mkpath(account);
            for (int i = a; i < count; i += 10) {
                const QByteArray path = QFile::encodeName(dir.filePath(account + QStringLiteral("/%1.eml").arg(i)));
                const QByteArray content = message(random, i);
                const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                if (fd < 0 || ::write(fd, content.constData(), size_t(content.size())) != content.size()
                    || ::ftruncate(fd, 20 * 1024) != 0) {
                    std::fprintf(stderr, "cannot write %s\n", path.constData());
                    std::exit(1);
                }
                // Spread over a year of received times, as a real quarantine.
                const struct timespec times[2] = {{1767225600 + i * 317, 0}, {1767225600 + i * 317, 0}};
                ::futimens(fd, times);
                ::close(fd);
            }
        }
        folders = jw::ProgramFolders::at(dir.path());
    }
    QTemporaryDir dir;
    jw::ProgramFolders folders;
};

// The least a scan can do: list the folders, and for every file stat it,
// open it, read its first 4 KB and close it.
void cLoop(const QByteArray &messages)
{
    int lines = 0;
    DIR *top = ::opendir(messages.constData());
    while (dirent *account = ::readdir(top)) {
        if (account->d_name[0] == '.')
            continue;
        const std::string folder = messages.toStdString() + account->d_name + "/";
        DIR *files = ::opendir(folder.c_str());
        while (dirent *file = ::readdir(files)) {
            if (file->d_name[0] == '.')
                continue;
            const std::string path = folder + file->d_name;
            struct stat info;
            if (::stat(path.c_str(), &info) != 0)
                continue;
            const int fd = ::open(path.c_str(), O_RDONLY);
            char buffer[4096];
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            for (ssize_t i = 0; i < got; ++i)
                lines += buffer[i] == '\r';
            ::close(fd);
        }
        ::closedir(files);
    }
    ::closedir(top);
    volatile int sink = lines;
    (void)sink;
}

QByteArray messagesOf(const ProgramFolder &folder)
{
    return QFile::encodeName(folder.folders.messages);
}

double scanOnce(const ProgramFolder &folder)
{
    const jw::QuarantineStore store(
        folder.folders.messages, folder.folders.config, QStringLiteral("-"), QStringLiteral("-"));
    return timeMs([&] {
        volatile qsizetype sink = store.scan().size();
        (void)sink;
    });
}

// The configuration window over a quiet tray, on the program folder.
struct Window
{
    explicit Window(const jw::ProgramFolders &folders, int accounts = 0)
    {
        if (accounts > 0)
            jw::changeRegistry(registry, [accounts](jw::RegistryData &data) { seedAccounts(data, accounts, false); });
        tray = std::make_unique<jw::TTrayForm>(folders, quiet.trayServices());
        tray->CheckTimer->stop();
    }
    jw::TMainForm *open()
    {
        form = new jw::TMainForm(*tray, jw::MainWindowServices{quiet, registry, quiet, QUrl()});
        form->show();
        QCoreApplication::processEvents();
        return form;
    }
    void close()
    {
        form->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        form = nullptr;
    }
    QuietServices quiet;
    jw::MemoryRegistry registry;
    std::unique_ptr<jw::TTrayForm> tray;
    jw::TMainForm *form = nullptr;
};

// The page as the user sees it come back: scanned, listed, sorted, painted.
void rebuildPage(jw::TMainForm &form)
{
    form.TabKwarantanna->KwarantannaPokaz();
    QCoreApplication::processEvents();
    form.TabKwarantanna->repaint();
}

// ---- the filter list ----

// `count` addresses in random order, about 28 bytes a line with CR LF, some
// with capitals and Central European letters.
QByteArray bigList(int count)
{
    std::mt19937 random(7);
    static const char *const names[] = {"anna", "Łukasz", "zoë", "Żaneta", "piotr", "ŚWIATOWID", "eva", "Ola"};
    QByteArray content;
    content.reserve(qsizetype(count) * 29);
    for (int i = 0; i < count; ++i) {
        content += names[random() % 8];
        content +=
            QByteArray::number(random() % 10000000) + "@host" + QByteArray::number(random() % 997) + ".example\r\n";
    }
    return content;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(content);
}

void showList(jw::TMainForm &form)
{
    form.TabBiala->BialaTabControl->setCurrentIndex(jw::kBlackList);
    QCoreApplication::processEvents();
    form.TabBiala->repaint();
}

void hideList(jw::TMainForm &form)
{
    form.TabBiala->BialaTabControl->setCurrentIndex(jw::kWhiteList);
    QCoreApplication::processEvents();
}

void sortCommand(const QString &path)
{
    QProcess sort;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    sort.setProcessEnvironment(env);
    sort.setStandardOutputFile(QProcess::nullDevice());
    sort.start(QStringLiteral("sort"), {QStringLiteral("-f"), path});
    sort.waitForFinished(-1);
}

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

// In a process of its own, so that nothing else measured has touched the
// heap: the resident memory that showing the list adds, in KB.
int listMemoryChild(const QString &programFolder)
{
    Window window(jw::ProgramFolders::at(programFolder));
    jw::TMainForm *form = window.open();
    form->MainPageControl->setCurrentIndex(jw::TMainForm::PageBiala);
    QCoreApplication::processEvents();
    const qint64 before = residentKb();
    showList(*form);
    std::printf("%lld\n", residentKb() - before);
    return 0;
}

// ---- a bare form of the configuration window's shape ----

// The window's widgets, class by class and page by page as the program's
// window has them (five pages in scroll areas, a status bar of three panels),
// with their texts and items but without reading a file or doing anything.
QPushButton *button(QWidget *parent, QLayout *layout)
{
    auto *b = new QPushButton(QStringLiteral("Button"), parent);
    layout->addWidget(b);
    return b;
}

QWidget *scrolled(QTabWidget *tabs, QWidget *page, const char *caption)
{
    auto *scroll = new QScrollArea(tabs);
    scroll->setWidgetResizable(true);
    scroll->setWidget(page);
    tabs->addTab(scroll, QLatin1String(caption));
    return scroll;
}

void bareForm()
{
    auto *window = new QMainWindow;
    auto *tabs = new QTabWidget(window);
    // Filters: six list tabs, a list, a field, four buttons.
    auto *filters = new QWidget;
    auto *fl = new QVBoxLayout(filters);
    auto *bar = new QTabBar(filters);
    for (int i = 0; i < 6; ++i)
        bar->addTab(QStringLiteral("List %1").arg(i));
    fl->addWidget(bar);
    auto *list = new QListView(filters);
    list->setUniformItemSizes(true);
    list->setModel(new QStringListModel(list));
    fl->addWidget(list);
    fl->addWidget(new QLineEdit(filters));
    for (int i = 0; i < 4; ++i)
        button(filters, fl);
    fl->addWidget(new QLineEdit(filters));
    scrolled(tabs, filters, "Filters");
    // Quarantine: a table of four columns, a field and two buttons, a
    // splitter over a preview with two tabs, ten labels, two menus.
    auto *quarantine = new QWidget;
    auto *ql = new QVBoxLayout(quarantine);
    auto *splitter = new QSplitter(Qt::Vertical, quarantine);
    auto *table = new QTableView(splitter);
    auto *rows = new QStandardItemModel(0, 4, table);
    rows->setHorizontalHeaderLabels(
        {QStringLiteral("From"), QStringLiteral("Subject"), QStringLiteral("Received"), QStringLiteral("Account")});
    table->setModel(rows);
    auto *preview = new QWidget(splitter);
    auto *pl = new QVBoxLayout(preview);
    for (int i = 0; i < 10; ++i)
        pl->addWidget(new QLabel(QStringLiteral("Label %1").arg(i), preview));
    auto *views = new QTabBar(preview);
    views->addTab(QStringLiteral("Content"));
    views->addTab(QStringLiteral("Source"));
    pl->addWidget(views);
    pl->addWidget(new QTextBrowser(preview));
    ql->addWidget(splitter);
    ql->addWidget(new QLineEdit(quarantine));
    button(quarantine, ql);
    button(quarantine, ql);
    for (int i = 0; i < 2; ++i) {
        auto *menu = new QMenu(quarantine);
        for (int a = 0; a < 4; ++a)
            menu->addAction(QStringLiteral("Action %1").arg(a));
    }
    scrolled(tabs, quarantine, "Quarantine");
    // Reply: a group with a caption, a field, a text and a button.
    auto *reply = new QWidget;
    auto *rl = new QVBoxLayout(reply);
    auto *replyGroup = new QGroupBox(reply);
    auto *rgl = new QVBoxLayout(replyGroup);
    rgl->addWidget(new QLabel(QStringLiteral("Subject:"), replyGroup));
    rgl->addWidget(new QLineEdit(replyGroup));
    rgl->addWidget(new QPlainTextEdit(replyGroup));
    rl->addWidget(replyGroup);
    button(reply, rl);
    scrolled(tabs, reply, "Reply");
    // Methods: a group with a list of 61 lines with tri-state boxes, a button.
    auto *methods = new QWidget;
    auto *ml = new QVBoxLayout(methods);
    auto *methodGroup = new QGroupBox(methods);
    auto *mgl = new QVBoxLayout(methodGroup);
    auto *methodList = new QListWidget(methodGroup);
    for (int i = 0; i < 61; ++i) {
        auto *item = new QListWidgetItem(QStringLiteral("Method number %1 of the filter").arg(i), methodList);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsUserTristate);
        item->setCheckState(Qt::PartiallyChecked);
    }
    mgl->addWidget(methodList);
    ml->addWidget(methodGroup);
    button(methods, ml);
    scrolled(tabs, methods, "Methods");
    // Settings: 50 accounts in a tree of six columns, four groups of
    // labels, fields, boxes, choices, a slider and number fields.
    auto *settings = new QWidget;
    auto *sl = new QVBoxLayout(settings);
    sl->addWidget(new QLabel(QStringLiteral("Mail accounts found:"), settings));
    auto *tree = new QTreeWidget(settings);
    tree->setHeaderLabels({QString(), QStringLiteral("Name"), QStringLiteral("Server"), QStringLiteral("User"),
        QStringLiteral("Password"), QString()});
    for (int i = 0; i < 50; ++i) {
        auto *item = new QTreeWidgetItem(tree,
            {QString(), QStringLiteral("Account %1").arg(i), QStringLiteral("pop%1.example.org").arg(i),
                QStringLiteral("user%1").arg(i), QString(), QStringLiteral("Mail")});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
    }
    sl->addWidget(tree);
    auto *groups = new QHBoxLayout;
    for (int g = 0; g < 4; ++g) {
        auto *group = new QGroupBox(settings);
        auto *gl = new QVBoxLayout(group);
        for (int i = 0; i < 3; ++i)
            gl->addWidget(new QLabel(QStringLiteral("Setting %1").arg(i), group));
        if (g < 2) {
            gl->addWidget(new QCheckBox(QStringLiteral("Box"), group));
            gl->addWidget(new QSpinBox(group));
        }
        for (int i = 0; i < 3; ++i)
            gl->addWidget(new QLineEdit(group));
        groups->addWidget(group);
    }
    for (int c = 0; c < 3; ++c) {
        auto *choice = new QComboBox(settings);
        choice->addItems(
            {QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three"), QStringLiteral("Four")});
        groups->addWidget(choice);
    }
    groups->addWidget(new QSlider(Qt::Horizontal, settings));
    sl->addLayout(groups);
    button(settings, sl);
    button(settings, sl);
    auto *menu = new QMenu(settings);
    for (int a = 0; a < 3; ++a)
        menu->addAction(QStringLiteral("Action %1").arg(a));
    scrolled(tabs, settings, "Settings");

    auto *central = new QWidget(window);
    auto *cl = new QVBoxLayout(central);
    cl->addWidget(tabs, 1);
    cl->addWidget(new QLabel(QStringLiteral("banner"), central));
    window->setCentralWidget(central);
    for (int i = 0; i < 3; ++i)
        window->statusBar()->addWidget(new QLabel(QStringLiteral("Panel %1").arg(i), window));
    window->resize(809, 569);
    tabs->setCurrentIndex(1);
    window->show();
    QCoreApplication::processEvents();
    window->close();
    delete window;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--list-memory"))
        return listMemoryChild(args[2]);
    g_quick = args.contains(QLatin1String("--quick"));
    QStringList parts = args.mid(1);
    parts.removeAll(QStringLiteral("--quick"));
    auto wanted = [&parts](const char *part) { return parts.isEmpty() || parts.contains(QLatin1String(part)); };

    const int scanCount = g_quick ? 2000 : 10000;
    const int pageCount = g_quick ? 10000 : 100000;
    const int listCount = g_quick ? 100000 : 1000000;
    std::printf("floor_bench%s: medians of %d alternated runs\n\n", g_quick ? " --quick" : "", runs());
    printHeader();

    if (wanted("scan")) {
        ProgramFolder folder(scanCount);
        const QByteArray messages = messagesOf(folder);
        const jw::QuarantineStore store(
            folder.folders.messages, folder.folders.config, QStringLiteral("-"), QStringLiteral("-"));
        const auto [now, ref] = alternate(timed([&] { store.scan(); }), [&] { cLoop(messages); });
        printRow(qPrintable(QStringLiteral("Quarantine scan, %1 messages of 20 KB in 10 folders").arg(scanCount)), now,
            "ms", "C loop: stat, open, read 4 KB, close each", ref, 1.5);
    }
    if (wanted("page")) {
        ProgramFolder folder(pageCount);
        const QByteArray messages = messagesOf(folder);
        Window window(folder.folders);
        jw::TMainForm *form = window.open();
        form->MainPageControl->setCurrentIndex(jw::TMainForm::PageKwarantanna);
        const auto [now, ref] = alternate(timed([&] { rebuildPage(*form); }), [&] { cLoop(messages); });
        printRow(qPrintable(QStringLiteral("Page rebuild (scan, rows, sort, paint), %1 messages").arg(pageCount)), now,
            "ms", "same C loop", ref, 1.6);
        window.close();
    }
    ProgramFolder lists(0);
    const QString listPath = lists.folders.config + QStringLiteral("blacklist");
    writeFile(listPath, bigList(listCount));
    const double fileMb = double(QFileInfo(listPath).size()) / 1e6;
    if (wanted("list")) {
        Window window(lists.folders);
        jw::TMainForm *form = window.open();
        form->MainPageControl->setCurrentIndex(jw::TMainForm::PageBiala);
        const auto [now, ref] = alternate(
            [&] {
                const double ms = timeMs([&] { showList(*form); });
                hideList(*form);
                return ms;
            },
            [&] { sortCommand(listPath); });
        printRow(qPrintable(QStringLiteral("Filter list of %1 entries (%2 MB): load and show")
                                .arg(listCount)
                                .arg(fileMb, 0, 'f', 0)),
            now, "ms", "LC_ALL=C sort -f of the same file", ref, 2.0);
        window.close();
    }
    if (wanted("list")) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--list-memory"), lists.dir.path()});
        child.waitForFinished(-1);
        const double addedMb = child.readAllStandardOutput().trimmed().toDouble() * 1024.0 / 1e6;
        printRow("Same list: resident memory added", addedMb, "MB", "the file", fileMb, 5.0);
    }
    if (wanted("window")) {
        ProgramFolder folder(0);
        Window window(folder.folders, 50);
        const auto [now, ref] = alternate(timed([&] {
            window.open();
            window.close();
        }),
            [] { bareForm(); });
        printRow("Configuration window: create, show, close; 50 accounts", now, "ms",
            "a bare Qt form of the same shape", ref, 2.5);
    }
    if (wanted("list")) {
        Window window(lists.folders);
        std::vector<double> closes;
        for (int i = 0; i < runs(); ++i) {
            jw::TMainForm *form = window.open();
            form->MainPageControl->setCurrentIndex(jw::TMainForm::PageBiala);
            showList(*form);
            form->TabBiala->BialaButtonZapiszClick(); // nothing left to save on closing
            closes.push_back(timeMs([&] { window.close(); }));
        }
        std::printf("\nClosing the window with the %d-entry list shown: %.1f ms (target at most 200 ms)\n", listCount,
            median(closes));
    }

    if (!wanted("growth"))
        return 0;
    // Growth: time per item should stay flat (or grow as log n for sorting).
    std::printf(
        "\n| Messages | Scan ms | us per message | C loop ms | C loop us per message |\n|---|---|---|---|---|\n");
    for (int count : g_quick ? std::vector<int>{1000, 10000} : std::vector<int>{1000, 10000, 100000}) {
        ProgramFolder folder(count);
        std::vector<double> t, c;
        for (int i = 0; i < runs(); ++i) {
            t.push_back(scanOnce(folder));
            c.push_back(timeMs([&] { cLoop(messagesOf(folder)); }));
        }
        std::printf("| %d | %.1f | %.2f | %.1f | %.2f |\n", count, median(t), median(t) * 1000.0 / count, median(c),
            median(c) * 1000.0 / count);
    }
    std::printf(
        "\n| Entries | Load and show ms | us per entry | sort -f ms | sort -f us per entry |\n|---|---|---|---|---|\n");
    for (int count : g_quick ? std::vector<int>{1000, 10000, 100000} : std::vector<int>{1000, 10000, 100000, 1000000}) {
        writeFile(listPath, bigList(count));
        Window window(lists.folders);
        jw::TMainForm *form = window.open();
        form->MainPageControl->setCurrentIndex(jw::TMainForm::PageBiala);
        std::vector<double> t, r;
        for (int i = 0; i < runs(); ++i) {
            t.push_back(timeMs([&] { showList(*form); }));
            hideList(*form);
            r.push_back(timeMs([&] { sortCommand(listPath); }));
        }
        std::printf("| %d | %.1f | %.2f | %.1f | %.2f |\n", count, median(t), median(t) * 1000.0 / count, median(r),
            median(r) * 1000.0 / count);
        window.close();
    }
    return 0;
}

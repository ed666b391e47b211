// The quarantine with 10,000 messages of about 20 KB in 10 account folders:
// the store's scan, the page's rebuild, a sort by another column, and the
// preview of a 1 MB message and of hostile ones (deeply nested tables and
// lists, a flood of tags, a 50 MB body), each to be shown within 0.5 s, with
// an ordinary 20 KB message as their reference. The baseline is the least any scan must do:
// list the folders and read the first five lines of every file.
#include "formats/quarantinestore.h"
#include "mainwindow/kwarantannapage.h"
#include "mainwindow/mainform.h"
#include "platform/registry.h"
#include "quietservices.h"
#include "tray/trayform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

const QByteArray kMarker = "-----!!!!!-----!!!!!-----!!!!!-----!!!!!-----";

QByteArray message(std::mt19937 &random, int i, qsizetype size)
{
    QByteArray m = "Offer number " + QByteArray::number(random() % 100000) + "\r\nsender" + QByteArray::number(i)
        + "@spam" + QByteArray::number(random() % 50) + ".example\r\nNew\r\nscore 8\r\n" + kMarker
        + "1\r\n<html><body><p>";
    while (m.size() < size / 2)
        m += "Buy cheap watches today, limited offer. ";
    m += "</p></body></html>\r\n" + kMarker + "2\r\nTo: user@home.example\r\nSubject: offer\r\n\r\n";
    while (m.size() < size)
        m += "Buy cheap watches today, limited offer.\r\n";
    return m;
}

struct Quarantine
{
    Quarantine()
    {
        QDir root(dir.path());
        root.mkpath(QStringLiteral("config"));
        root.mkpath(QStringLiteral("messages"));
        QFile::copy(QStringLiteral(JW_SOURCE_DIR "/resources/config/methods.cfg"),
            dir.filePath(QStringLiteral("config/methods.cfg")));
        QFile settings(dir.filePath(QStringLiteral("config/main.cfg")));
        settings.open(QIODevice::WriteOnly);
        settings.write("my_pin=1234\r\nlast_tab_seen=0\r\n");
        settings.close();
        std::mt19937 random(11);
        for (int a = 0; a < 10; ++a) {
            const QString account = QStringLiteral("messages/account%1@pop.example").arg(a);
            root.mkpath(account);
            for (int i = 0; i < 1000; ++i) {
                QFile file(dir.filePath(account + QStringLiteral("/msg%1.eml").arg(i)));
                file.open(QIODevice::WriteOnly);
                file.write(message(random, a * 1000 + i, 20 * 1024));
            }
        }
        QFile big(dir.filePath(QStringLiteral("messages/account0@pop.example/big.eml")));
        big.open(QIODevice::WriteOnly);
        big.write(message(random, 99999, 1024 * 1024));
        big.close();
        root.mkpath(QStringLiteral("messages/hostile"));
        auto hostile = [&root](const char *name, const QByteArray &content) {
            QFile file(root.filePath(QStringLiteral("messages/hostile/") + QLatin1String(name)));
            file.open(QIODevice::WriteOnly);
            file.write("Hostile\r\nh@x\r\nReaded\r\nnote\r\n" + kMarker + "1\r\n" + content + "\r\n" + kMarker
                + "2\r\nTo: me\r\n\r\n");
        };
        auto tables = [](int depth) -> QByteArray {
            return QByteArray("<table><tr><td>cell").repeated(depth) + QByteArray("</td></tr></table>").repeated(depth);
        };
        hostile("tables16.eml", tables(16));
        hostile("tables64.eml", tables(64));
        hostile("lists.eml", QByteArray("<ul><li><blockquote>x").repeated(2000));
        hostile("flood.eml", QByteArray("<div><b>x").repeated(120000));
        hostile("body50mb.eml",
            QByteArray("0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz\r\n")
                .repeated(50 * 1024 * 1024 / 74));
        folders = jw::ProgramFolders::at(dir.path());
    }
    QTemporaryDir dir;
    jw::ProgramFolders folders;
};

Quarantine &quarantine()
{
    static Quarantine q;
    return q;
}

void baselineFiveLines(benchmark::State &state)
{
    const QByteArray root = QFile::encodeName(quarantine().folders.messages);
    for (auto _ : state) {
        int lines = 0;
        DIR *top = opendir(root.constData());
        while (dirent *account = readdir(top)) {
            if (account->d_name[0] == '.')
                continue;
            const std::string folder = root.toStdString() + account->d_name + "/";
            DIR *files = opendir(folder.c_str());
            while (dirent *file = readdir(files)) {
                if (file->d_name[0] == '.')
                    continue;
                const int fd = open((folder + file->d_name).c_str(), O_RDONLY);
                char buffer[4096];
                const ssize_t got = read(fd, buffer, sizeof buffer);
                for (ssize_t i = 0, seen = 0; i < got && seen < 5; ++i)
                    seen += buffer[i] == '\r' ? 1 : 0, lines += buffer[i] == '\r' ? 1 : 0;
                close(fd);
            }
            closedir(files);
        }
        closedir(top);
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(baselineFiveLines)->Unit(benchmark::kMillisecond);

void scan(benchmark::State &state)
{
    const jw::QuarantineStore store(
        quarantine().folders.messages, quarantine().folders.config, QStringLiteral("-"), QStringLiteral("-"));
    for (auto _ : state)
        benchmark::DoNotOptimize(store.scan());
}
BENCHMARK(scan)->Unit(benchmark::kMillisecond);

struct Page
{
    Page()
        : tray(quarantine().folders, quiet.trayServices())
    {
        tray.CheckTimer->stop();
        form = std::make_unique<jw::TMainForm>(tray, jw::MainWindowServices{quiet, registry, quiet, QUrl()});
        form->show();
        page = form->TabKwarantanna;
    }
    QuietServices quiet;
    jw::MemoryRegistry registry;
    jw::TTrayForm tray;
    std::unique_ptr<jw::TMainForm> form;
    jw::KwarantannaPage *page = nullptr;
};

void rebuildPage(benchmark::State &state)
{
    Page p;
    for (auto _ : state) {
        p.page->KwarantannaPokaz();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(rebuildPage)->Unit(benchmark::kMillisecond);

void sortByAnotherColumn(benchmark::State &state)
{
    Page p;
    p.page->KwarantannaPokaz();
    int column = 0;
    for (auto _ : state) {
        p.page->KwarantannaMemoColumnClick(column);
        QCoreApplication::processEvents();
        column = (column + 1) % 4;
    }
}
BENCHMARK(sortByAnotherColumn)->Unit(benchmark::kMillisecond);

void previewOneMegabyte(benchmark::State &state)
{
    Page p;
    p.page->KwarantannaPokaz();
    int big = -1;
    for (int i = 0; i < p.page->model().size(); ++i) {
        if (p.page->model().row(i).path.endsWith("big.eml"))
            big = i;
    }
    for (auto _ : state) {
        p.page->selectRow(big);
        QCoreApplication::processEvents();
        state.PauseTiming();
        p.page->selectRow(-1);
        state.ResumeTiming();
    }
}
BENCHMARK(previewOneMegabyte)->Unit(benchmark::kMillisecond);

// The message whose file name ends in `name`, shown from nothing selected.
const char *const kPreviewed[] = {
    "account0@pop.example/msg1.eml", "tables16.eml", "tables64.eml", "lists.eml", "flood.eml", "body50mb.eml"};

void previewMessage(benchmark::State &state)
{
    Page p;
    p.page->KwarantannaPokaz();
    const char *name = kPreviewed[state.range(0)];
    int row = -1;
    for (int i = 0; i < p.page->model().size(); ++i) {
        if (p.page->model().row(i).path.endsWith(name))
            row = i;
    }
    state.SetLabel(name);
    for (auto _ : state) {
        p.page->selectRow(row);
        QCoreApplication::processEvents();
        state.PauseTiming();
        p.page->selectRow(-1);
        state.ResumeTiming();
    }
}
BENCHMARK(previewMessage)->DenseRange(0, 5)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

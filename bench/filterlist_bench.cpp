// The filter lists page with a list of 100,000 entries (about 2 MB): load
// into the page, add, one search step, save.
#include "mainwindow/filterlistmodel.h"
#include "mainwindow/filterspage.h"
#include "mainwindow/mainform.h"
#include "platform/registry.h"
#include "quietservices.h"
#include "tray/trayform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <random>

namespace {

// 100,000 addresses of about 20 bytes, in random order.
QByteArray bigList()
{
    std::mt19937 random(7);
    QByteArray content;
    for (int i = 0; i < 100000; ++i) {
        content += "user" + QByteArray::number(random() % 10000000) + "@host" + QByteArray::number(random() % 997)
            + ".example\r\n";
    }
    return content;
}

struct Page
{
    Page()
    {
        QDir(dir.path()).mkpath(QStringLiteral("config"));
        QFile file(dir.filePath(QStringLiteral("config/blacklist")));
        file.open(QIODevice::WriteOnly);
        file.write(bigList());
        file.close();
        tray = std::make_unique<jw::TTrayForm>(jw::ProgramFolders::at(dir.path()), quiet.trayServices());
        tray->CheckTimer->stop();
        form = std::make_unique<jw::TMainForm>(*tray, jw::MainWindowServices{quiet, registry, quiet, QUrl()});
        form->show();
        form->FirstChangeRequest = false;
        page = form->TabBiala;
    }
    // Shows the big list as the user gets it: by choosing its tab.
    void showBigList()
    {
        page->BialaTabControl->setCurrentIndex(jw::kBlackList);
        QCoreApplication::processEvents();
    }
    QTemporaryDir dir;
    QuietServices quiet;
    jw::MemoryRegistry registry;
    std::unique_ptr<jw::TTrayForm> tray;
    std::unique_ptr<jw::TMainForm> form;
    jw::FiltersPage *page = nullptr;
};

void loadIntoPage(benchmark::State &state)
{
    Page p;
    for (auto _ : state) {
        p.showBigList();
        state.PauseTiming();
        p.page->BialaTabControl->setCurrentIndex(jw::kWhiteList);
        state.ResumeTiming();
    }
}
BENCHMARK(loadIntoPage)->Unit(benchmark::kMillisecond);

void addEntry(benchmark::State &state)
{
    Page p;
    p.showBigList();
    int n = 0;
    for (auto _ : state) {
        p.page->BialaEdit->setText(QStringLiteral("new%1@added.example").arg(n++));
        p.page->BialaButtonDodajClick();
    }
}
BENCHMARK(addEntry)->Unit(benchmark::kMillisecond);

void searchStep(benchmark::State &state)
{
    Page p;
    p.showBigList();
    p.page->BialaEdit->setText(QStringLiteral("@host996."));
    for (auto _ : state)
        p.page->BialaButtonSzukajClick();
}
BENCHMARK(searchStep)->Unit(benchmark::kMillisecond);

void save(benchmark::State &state)
{
    Page p;
    p.showBigList();
    for (auto _ : state)
        p.page->BialaButtonZapiszClick();
}
BENCHMARK(save)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "--write-list") {
        // For comparisons with other tools: the same list, to stdout.
        QFile out;
        out.open(stdout, QIODevice::WriteOnly);
        out.write(bigList());
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// One status poll of the tray controller, with and without a status file.
#include "quietservices.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

struct TrayBench
{
    TrayBench()
    {
        QDir(dir.path()).mkdir(QStringLiteral("config"));
        QFile::copy(QStringLiteral(JW_SOURCE_DIR "/resources/language/english.lng"),
            dir.filePath(QStringLiteral("config/language.lng")));
        tray = std::make_unique<jw::TTrayForm>(jw::ProgramFolders::at(dir.path()), quiet.trayServices());
        tray->CheckTimer->stop();
    }
    QTemporaryDir dir;
    QuietServices quiet;
    std::unique_ptr<jw::TTrayForm> tray;
};

void pollWithoutStatusFile(benchmark::State &state)
{
    TrayBench bench;
    for (auto _ : state)
        bench.tray->CheckTimerTimer();
}
BENCHMARK(pollWithoutStatusFile);

void pollWithTwoLineStatusFile(benchmark::State &state)
{
    TrayBench bench;
    QFile status(bench.tray->statusFilePath());
    status.open(QIODevice::WriteOnly);
    status.write("working\r\nmail 12 of 40\r\n");
    status.close();
    for (auto _ : state)
        bench.tray->CheckTimerTimer();
}
BENCHMARK(pollWithTwoLineStatusFile);

} // namespace

// One status poll of the tray controller, with and without a status file.
#include "platform/clock.h"
#include "platform/processes.h"
#include "platform/prompts.h"
#include "platform/shell.h"
#include "tray/mailrouting.h"
#include "tray/trayform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

struct QuietProcesses final : jw::Processes
{
    jw::StartResult start(const QString &) override { return {true, 1, 0, false}; }
    bool isAlive(qint64) override { return false; }
    int kill(qint64) override { return -1; }
    void release(qint64) override {}
};
struct QuietPrompts final : jw::Prompts
{
    void information(const QString &) override {}
    void error(const QString &) override {}
    bool question(const QString &, const QString &) override { return false; }
};
struct QuietShell final : jw::Shell
{
    bool open(const QUrl &) override { return false; }
};
struct QuietRouting final : jw::MailRouting
{
    void ConfigureMail() override {}
    void DeConfigureMail() override {}
};
struct FixedClock final : jw::MonotonicClock
{
    qint64 nowMs() const override { return 0; }
};

struct TrayBench
{
    TrayBench()
    {
        QDir(dir.path()).mkdir(QStringLiteral("config"));
        QFile::copy(QStringLiteral(JW_SOURCE_DIR "/resources/language/english.lng"),
                    dir.filePath(QStringLiteral("config/language.lng")));
        tray = std::make_unique<jw::TTrayForm>(jw::ProgramFolders::at(dir.path()),
                                               jw::TrayServices{processes, prompts, shell, clock, routing});
        tray->CheckTimer->stop();
    }
    QTemporaryDir dir;
    QuietProcesses processes;
    QuietPrompts prompts;
    QuietShell shell;
    FixedClock clock;
    QuietRouting routing;
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

// Opening the configuration window with 50 mail accounts in the store, the
// 61 methods and the default files, until it is shown.
#include "accounts/accounts.h"
#include "mainwindow/mainform.h"
#include "platform/registry.h"
#include "quietservices.h"
#include "tray/trayform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

void openWindow(benchmark::State &state)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("config"));
    for (const char *file : {"config/main.cfg", "config/methods.cfg", "config/remessage"})
        QFile::copy(
            QStringLiteral(JW_SOURCE_DIR "/resources/") + QLatin1String(file), dir.filePath(QLatin1String(file)));
    QFile::copy(QStringLiteral(JW_SOURCE_DIR "/resources/language/english.lng"),
        dir.filePath(QStringLiteral("config/language.lng")));
    QFile settings(dir.filePath(QStringLiteral("config/main.cfg")));
    settings.open(QIODevice::ReadOnly);
    const QByteArray withPin = settings.readAll().replace("my_pin=\r\n", "my_pin=1234\r\n");
    settings.close();
    settings.open(QIODevice::WriteOnly | QIODevice::Truncate);
    settings.write(withPin);
    settings.close();

    QuietServices quiet;
    jw::MemoryRegistry registry;
    jw::changeRegistry(registry, [](jw::RegistryData &data) { seedAccounts(data, 50, false); });
    jw::TTrayForm tray(jw::ProgramFolders::at(dir.path()), quiet.trayServices());
    tray.CheckTimer->stop();
    for (auto _ : state) {
        auto *form = new jw::TMainForm(tray, jw::MainWindowServices{quiet, registry, quiet, QUrl()});
        form->show();
        QCoreApplication::processEvents();
        state.PauseTiming();
        delete form;
        state.ResumeTiming();
    }
}
BENCHMARK(openWindow)->Unit(benchmark::kMillisecond);

} // namespace

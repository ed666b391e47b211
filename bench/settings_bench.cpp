// Look-ups in the settings file and the language table, as every window
// does them, and the load of each file.
#include "settings/keyvaluefile.h"
#include "settings/languagetable.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QString shippedFile(const char *relative)
{
    return QStringLiteral(JW_SOURCE_DIR "/resources/") + QString::fromLatin1(relative);
}

void settingsLoad(benchmark::State &state)
{
    const QString path = shippedFile("config/main.cfg");
    for (auto _ : state)
        benchmark::DoNotOptimize(jw::KeyValueFile::load(path));
}
BENCHMARK(settingsLoad);

void settingsLookupLastKey(benchmark::State &state)
{
    const jw::KeyValueFile file = jw::KeyValueFile::load(shippedFile("config/main.cfg"));
    for (auto _ : state)
        benchmark::DoNotOptimize(file.value("last_tab_seen"));
}
BENCHMARK(settingsLookupLastKey);

void settingsSetAndSave(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("main.cfg"));
    QFile::copy(shippedFile("config/main.cfg"), path);
    for (auto _ : state) {
        jw::KeyValueFile file = jw::KeyValueFile::load(path);
        file.set("last_tab_seen", "3");
        file.save(path);
    }
}
BENCHMARK(settingsSetAndSave);

void languageLoad(benchmark::State &state)
{
    const QString path = shippedFile("language/polish.lng");
    for (auto _ : state) {
        jw::LanguageTable table;
        benchmark::DoNotOptimize(table.load(path));
    }
}
BENCHMARK(languageLoad);

void languageLookup(benchmark::State &state)
{
    jw::LanguageTable table;
    table.load(shippedFile("language/polish.lng"));
    const auto &keys = jw::keys::all();
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(table.text(keys[i]));
        i = (i + 1) % keys.size();
    }
}
BENCHMARK(languageLookup);

} // namespace

// Routing and restoring 200 flagged accounts spread over the three sources,
// through the registry file (read, change, atomic save).
#include "accounts/accountrouting.h"
#include "accounts/accounts.h"
#include "platform/registry.h"
#include "quietservices.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

struct Store
{
    Store()
    {
        QDir(dir.path()).mkdir(QStringLiteral("config"));
        QFile cfg(dir.filePath(QStringLiteral("config/main.cfg")));
        cfg.open(QIODevice::WriteOnly);
        cfg.write("server_port=1110\r\n");
        cfg.close();
        registry = jw::createFileRegistry(dir.filePath(QStringLiteral("registry.reg")));
        jw::changeRegistry(*registry, [](jw::RegistryData &data) { seedAccounts(data, 200, true); });
        routing = std::make_unique<jw::AccountRouting>(*registry, dir.filePath(QStringLiteral("config/")));
    }
    QTemporaryDir dir;
    std::unique_ptr<jw::Registry> registry;
    std::unique_ptr<jw::AccountRouting> routing;
};

void route200(benchmark::State &state)
{
    Store store;
    for (auto _ : state) {
        store.routing->ConfigureMail();
        state.PauseTiming();
        store.routing->DeConfigureMail();
        state.ResumeTiming();
    }
}
BENCHMARK(route200)->Unit(benchmark::kMillisecond);

void restore200(benchmark::State &state)
{
    Store store;
    for (auto _ : state) {
        state.PauseTiming();
        store.routing->ConfigureMail();
        state.ResumeTiming();
        store.routing->DeConfigureMail();
    }
}
BENCHMARK(restore200)->Unit(benchmark::kMillisecond);

void findAccounts200(benchmark::State &state)
{
    Store store;
    for (auto _ : state) {
        jw::RegistryData data = store.registry->load();
        benchmark::DoNotOptimize(jw::findAccounts(data));
    }
}
BENCHMARK(findAccounts200)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

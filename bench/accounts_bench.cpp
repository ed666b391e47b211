// Routing and restoring 200 flagged accounts spread over the three sources,
// through the registry file (read, change, atomic save).
#include "accounts/accountrouting.h"
#include "accounts/accounts.h"
#include "platform/registry.h"

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
        jw::changeRegistry(*registry, [](jw::RegistryData &data) {
            for (int i = 0; i < 200; ++i) {
                const jw::AccountSource &source = jw::accountSources()[i % 3];
                const QString key = source.key + QStringLiteral("%1").arg(i + 1, 8, 10, QLatin1Char('0'));
                const QString server = QStringLiteral("pop%1.example.org").arg(i);
                data.writeString(key, QStringLiteral("Account Name"), QStringLiteral("Account %1").arg(i));
                data.writeString(key, QStringLiteral("POP3 Server"), server);
                data.writeString(key, QStringLiteral("POP3 User Name"), QStringLiteral("user%1").arg(i));
                data.writeInteger(key, QStringLiteral("POP3 Port"), 110);
                data.writeString(key, QStringLiteral("Use Mailmoater"), QStringLiteral("yes"));
                data.writeString(key, QStringLiteral("POP3 Server orig"), server);
                data.writeInteger(key, QStringLiteral("POP3 Port orig"), 110);
                data.writeString(key, QStringLiteral("SMTP Server"), QStringLiteral("smtp.example.org"));
            }
        });
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

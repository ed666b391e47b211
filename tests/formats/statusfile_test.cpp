#include "formats/statusfile.h"
#include "support/testfiles.h"

#include <QFile>

#include <functional>
#include <gtest/gtest.h>

namespace jw::test {
namespace {

// What the tray reads after each step of a proxy's life: held mail stays
// told until the tray deletes the file, also across a restart of the proxy.
TEST(StatusFile, TellsProgressAndKeepsHeldMailUntilAcknowledged)
{
    TempProgramFolder folder;
    const QString path = folder.file(QStringLiteral("status.tmp"));
    auto status = std::make_unique<StatusFile>(folder.path());
    const QByteArray absent = "(absent)";
    const struct
    {
        const char *step;
        std::function<void()> act;
        QByteArray expected;
    } steps[] = {
        {"progress", [&] { status->working(QStringLiteral("Reading message 1 of 2 from pop.example.com")); },
            "working\r\nReading message 1 of 2 from pop.example.com\r\n"},
        {"idle", [&] { status->idle(); }, absent},
        {"a line break in the text", [&] { status->working(QStringLiteral("a\r\nb")); }, "working\r\na  b\r\n"},
        {"held", [&] { status->quarantine(); }, "quarantine\r\n"},
        {"progress after holding", [&] { status->working(QStringLiteral("Delivering mail")); }, "quarantine\r\n"},
        {"idle after holding", [&] { status->idle(); }, "quarantine\r\n"},
        {"restarted proxy",
            [&] {
                status = std::make_unique<StatusFile>(folder.path());
                status->working(QStringLiteral("Connecting"));
            },
            "quarantine\r\n"},
        {"tray acknowledges", [&] { QFile::remove(path); }, absent},
        {"progress again", [&] { status->working(QStringLiteral("Connecting to pop.example.com")); },
            "working\r\nConnecting to pop.example.com\r\n"},
        {"idle again", [&] { status->idle(); }, absent},
    };
    for (const auto &step : steps) {
        step.act();
        EXPECT_EQ(QFile::exists(path) ? readFile(path) : absent, step.expected) << step.step;
    }
}

} // namespace
} // namespace jw::test

#include "support/trayfixture.h"
#include "tray/guardian.h"
#include "tray/trayform.h"

namespace jw::test {
namespace {

using CompanionTest = TrayFixture;

TEST_F(CompanionTest, MailCheckTimerFollowsTheSettingsFileAtStart)
{
    const struct
    {
        const char *name;
        std::optional<QByteArray> mainCfg;
        bool enabled;
        bool active;
        int intervalMs;
    } cases[] = {
        {"on, 3 minutes", QByteArray("auto_remove_spam=1\r\nauto_remove_spam_time=3\r\n"), true, true, 180000},
        {"any number above 0 is on", QByteArray("AUTO_REMOVE_SPAM=2\r\nauto_remove_spam_time=10\r\n"), true, true,
            600000},
        {"on with no time never fires", QByteArray("auto_remove_spam=1\r\n"), true, false, 0},
        {"off", QByteArray("auto_remove_spam=0\r\nauto_remove_spam_time=3\r\n"), false, false, 600000},
        {"empty is off", QByteArray("auto_remove_spam=\r\n"), false, false, 600000},
        {"not a number stays off", QByteArray("auto_remove_spam=yes\r\nauto_remove_spam_time=3\r\n"), false, false,
            600000},
        {"bad time stays off", QByteArray("auto_remove_spam=1\r\nauto_remove_spam_time=-3\r\n"), false, false, 600000},
        {"no settings file", std::nullopt, false, false, 600000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = folder.configPath() + QStringLiteral("main.cfg");
        QFile::remove(path);
        if (c.mainCfg)
            writeFile(path, *c.mainCfg);
        TTrayForm &t = makeTray();
        EXPECT_EQ(t.mailCheckEnabled(), c.enabled);
        EXPECT_EQ(t.CheckMailTimer->isActive(), c.active);
        EXPECT_EQ(t.mailCheckIntervalMs(), c.intervalMs);
        if (c.active) {
            EXPECT_EQ(t.CheckMailTimer->interval(), c.intervalMs);
        }
        EXPECT_TRUE(prompts.informations.isEmpty());
        EXPECT_TRUE(prompts.errors.isEmpty());
        tray.reset();
    }
}

TEST_F(CompanionTest, MailCheckerStartsOnlyWhileWaitingAndIsNotTracked)
{
    writeFile(folder.file(QStringLiteral("debug2.log")), "");
    TTrayForm &t = makeTray();
    t.CheckTimerTimer();
    t.CheckMailTimerTimer();
    EXPECT_EQ(processes.started.count(QStringLiteral("PostPing")), 1);
    EXPECT_EQ(processes.released, QList<qint64>{processes.lastPid()});
    EXPECT_EQ(readFile(folder.file(QStringLiteral("debug2.log"))), QByteArray("startuje ze sprawdzaniem (parent)\r\n"));

    for (const QByteArray &status : {QByteArray("working\r\nx\r\n"), QByteArray("quarantine\r\n")}) {
        writeStatus(status);
        t.CheckTimerTimer();
        t.CheckMailTimerTimer();
    }
    QFile::remove(statusFile());
    t.Filtraktywny->trigger();
    t.CheckTimerTimer();
    ASSERT_EQ(t.trayState(), TTrayForm::Disabled);
    t.CheckMailTimerTimer();
    EXPECT_EQ(processes.started.count(QStringLiteral("PostPing")), 1);
}

TEST_F(CompanionTest, StartFailuresAreReportedByProgramAndReason)
{
    const struct
    {
        const char *program;
        StartResult failure;
        const char *message;
    } cases[] = {
        {"vexel3", {false, 0, 2, true}, "Vexel3 cant start with message: File Not Found"},
        {"vexel3", {false, 0, 3, true}, "Vexel3 cant start with message: Path Not Found"},
        {"vexel3", {false, 0, 5, true}, "Vexel3 cant start with message: Acess Denied"},
        {"vexel3", {false, 0, 8, true}, "Vexel3 cant start with message: Out Of Memory"},
        {"vexel3", {false, 0, 26, true}, "Vexel3 cant start with message: Share Violation"},
        // A system error that happens to share a number with a listed
        // reason is still reported as unknown.
        {"vexel3", {false, 0, 27, false}, "Vexel3 cant start with message: Unknown Error - 27"},
        {"update", {false, 0, 2, true}, "Update cant start with message: File Not Found"},
        {"PostPing", {false, 0, 13, false}, "PostPing cant start with message: Unknown Error - 13"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        processes.failures.clear();
        processes.failures.insert(QString::fromLatin1(c.program), c.failure);
        prompts.informations.clear();
        TTrayForm &t = makeTray();
        t.StartUpdate();
        t.StartCheckMail();
        EXPECT_EQ(prompts.informations, QStringList{QString::fromLatin1(c.message)});
        if (QByteArray(c.program) == "vexel3") {
            EXPECT_TRUE(t.vexelRecord().isEmpty());
        }
        tray.reset();
    }
}

TEST_F(CompanionTest, StopsOnlyARunningProxyAndOnlyOnce)
{
    TTrayForm &t = makeTray();
    const qint64 proxy = t.vexelRecord().pid;
    t.StopVexel();
    t.StopVexel();
    EXPECT_EQ(processes.killed, QList<qint64>{proxy});
    EXPECT_TRUE(t.vexelRecord().isEmpty());

    // A proxy that ended by itself: the restart's stop half does nothing.
    t.StartVexel();
    processes.end(t.vexelRecord().pid);
    t.StopVexel();
    t.StartVexel();
    EXPECT_EQ(processes.killed.size(), 1);
    EXPECT_EQ(processes.started.count(QStringLiteral("vexel3")), 3);
}

TEST_F(CompanionTest, AProxyThatEndsByItselfIsStartedAgainOrGivenUpOn)
{
    const qint64 quick = TTrayForm::kQuickEndMs - 1;
    const qint64 slow = TTrayForm::kQuickEndMs;
    const struct
    {
        const char *name;
        QList<qint64> lifetimes; // of each proxy before it ends by itself
        std::optional<ProcessEnd> lastEnd;
        int starts; // proxies started in all
        const char *box; // what the user is told when it gives up
    } cases[] = {
        {"once", {quick}, std::nullopt, 2, nullptr},
        {"now and then", {slow, quick, quick, slow, quick, quick, slow}, std::nullopt, 8, nullptr},
        {"three quick ends in a row", {quick, quick, quick}, ProcessEnd{false, 3}, 3,
            "Vexel3 cant start with message: Ended with exit code 3, 3 times in a row within a minute of its start"},
        {"after a long run, three quick ends", {slow, quick, quick, quick}, ProcessEnd{true, 11}, 4,
            "Vexel3 cant start with message: Ended by signal 11, 3 times in a row within a minute of its start"},
        {"status unknown", {quick, quick, quick}, std::nullopt, 3,
            "Vexel3 cant start with message: Ended by itself, 3 times in a row within a minute of its start"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        processes.started.clear();
        prompts.informations.clear();
        TTrayForm &t = makeTray();
        log.calls.clear();
        for (int i = 0; i < c.lifetimes.size(); ++i) {
            clock.now += c.lifetimes[i];
            processes.end(t.vexelRecord().pid, i + 1 == c.lifetimes.size() ? c.lastEnd : std::nullopt);
            t.CheckTimerTimer();
        }
        EXPECT_EQ(processes.started.count(QStringLiteral("vexel3")), c.starts);
        if (!c.box) {
            EXPECT_TRUE(processes.isAlive(t.vexelRecord().pid)) << "a proxy runs";
            EXPECT_TRUE(t.filterActive());
            EXPECT_FALSE(log.calls.contains(QStringLiteral("DeConfigureMail")));
            EXPECT_EQ(guard.state().proxy, processes.identify(t.vexelRecord().pid));
            EXPECT_TRUE(prompts.informations.isEmpty());
        } else {
            EXPECT_EQ(log.calls.last(), QStringLiteral("DeConfigureMail")) << "mail goes straight to the servers";
            EXPECT_FALSE(t.filterActive());
            EXPECT_FALSE(t.Filtraktywny->isChecked());
            EXPECT_EQ(t.trayState(), TTrayForm::Disabled);
            EXPECT_EQ(prompts.informations, QStringList{QString::fromLatin1(c.box)});
            EXPECT_TRUE(guard.state().isClean());
            // Later polls leave it so; switching on tries afresh.
            t.CheckTimerTimer();
            EXPECT_EQ(prompts.informations.size(), 1);
            t.Filtraktywny->trigger();
            processes.end(t.vexelRecord().pid);
            t.CheckTimerTimer();
            EXPECT_TRUE(t.filterActive()) << "the count started again";
            EXPECT_EQ(processes.started.count(QStringLiteral("vexel3")), c.starts + 2);
        }
        tray.reset();
    }

    // A proxy that cannot even be started again: its start box says why,
    // and the accounts are restored.
    processes.started.clear();
    prompts.informations.clear();
    TTrayForm &t = makeTray();
    processes.failures.insert(QStringLiteral("vexel3"), StartResult{false, 0, 2, true});
    processes.end(t.vexelRecord().pid);
    t.CheckTimerTimer();
    EXPECT_EQ(prompts.informations, QStringList{QStringLiteral("Vexel3 cant start with message: File Not Found")});
    EXPECT_FALSE(t.filterActive());
    EXPECT_FALSE(guard.state().accountsRouted);
}

TEST_F(CompanionTest, UpdaterIsNeverStartedTwiceAndOldStatusIsRemoved)
{
    TTrayForm &t = makeTray();
    const QString status = folder.file(QStringLiteral("status-update"));
    writeFile(status, "ACT\r\n");
    t.StartUpdate();
    EXPECT_FALSE(QFile::exists(status));
    EXPECT_TRUE(t.updaterRunning());

    writeFile(status, "40\r\n");
    t.StartUpdate();
    EXPECT_EQ(processes.started.count(QStringLiteral("update")), 1);
    EXPECT_TRUE(QFile::exists(status)) << "a running updater's status stays";

    processes.end(t.updateRecord().pid);
    t.StartUpdate();
    EXPECT_EQ(processes.started.count(QStringLiteral("update")), 2);

    t.StopUpdate();
    EXPECT_FALSE(t.updaterRunning());
    t.StartCheckMail();
    EXPECT_EQ(processes.tiedToProgram, QStringList{QStringLiteral("vexel3")})
        << "only the proxy ends with the program; the updater and the mail checker run on";
    tray.reset();
    EXPECT_EQ(processes.killed.size(), 2) << "the updater and, at exit, the proxy";
}

} // namespace
} // namespace jw::test

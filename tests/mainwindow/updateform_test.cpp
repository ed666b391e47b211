#include "mainformfixture.h"
#include "platform/processes.h"
#include "update/updateform.h"
#include "update/updatestatus.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace jw::test {
namespace {

class UpdateFormTest : public MainFormFixture
{
protected:
    void SetUp() override
    {
        MainFormFixture::SetUp();
        tray->StartUpdate();
        window = std::make_unique<TUpdateForm>(tray->windowContext(), QStringLiteral("Junkwarden"));
        window->Timer1->stop(); // the tests tick it themselves
        window->Timer1->start();
    }
    void status(const QByteArray &content) { writeFile(tray->updateStatusFilePath(), content); }
    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            window->Timer1Timer();
    }
    std::unique_ptr<TUpdateForm> window;
};

TEST_F(UpdateFormTest, ShowsProgressWithoutMessages)
{
    EXPECT_EQ(window->button->text(), QStringLiteral("&Stop"));
    EXPECT_EQ(window->LabelUpdate->text(), QStringLiteral("Update progress:"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Junkwarden \u2013 Update progress"));
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint) << "cannot be maximised";
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    for (const int percent : {10, 55, 100}) {
        status(QByteArray::number(percent) + "\r\n");
        tick();
        EXPECT_EQ(window->ProgressBar->value(), percent);
    }
    status("250\r\n");
    tick();
    EXPECT_EQ(window->ProgressBar->value(), 100);
    EXPECT_TRUE(prompts.informations.isEmpty());
    EXPECT_TRUE(window->Timer1->isActive());
}

TEST_F(UpdateFormTest, FinalLinesReportTheirOutcome)
{
    const struct
    {
        const char *line;
        const char *message;
        int bar;
        const char *version; // what main.cfg then holds
    } cases[] = {
        {"ACT", "The update finished successfully.", 100, "update_version=1.0"},
        {"CONNERR", "Could not connect to the update server. Please try again later.", 40, "update_version=1.0"},
        {"AUTHERR", "The update server refused authorisation. Please check your licence.", 40, "update_version=1.0"},
        {"N2.5.1", "The update finished successfully.", 100, "update_version=2.5.1"},
        {"N1234567890ABC", "The update finished successfully.", 100, "update_version=1234567890\r\n"},
        {"N", "The update finished successfully.", 100, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        writeFile(config(QStringLiteral("main.cfg")), "my_pin=1\r\nupdate_version=1.0\r\n");
        prompts.informations.clear();
        window = std::make_unique<TUpdateForm>(tray->windowContext(), QStringLiteral("Junkwarden"));
        status("40\r\n");
        tick();
        status(QByteArray(c.line) + "\r\n");
        tick();
        EXPECT_EQ(prompts.informations, QStringList{QString::fromLatin1(c.message)});
        EXPECT_EQ(window->ProgressBar->value(), c.bar);
        EXPECT_FALSE(window->Timer1->isActive());
        EXPECT_FALSE(window->stopMode());
        EXPECT_EQ(window->button->text(), QStringLiteral("&Close"));
        if (c.version)
            EXPECT_TRUE(configFile("main.cfg").contains(c.version)) << configFile("main.cfg").constData();
        else
            EXPECT_FALSE(configFile("main.cfg").contains("update_version")) << "an empty version removes the key";
    }
}

TEST_F(UpdateFormTest, OtherLinesAreNotFinal)
{
    for (const char *line : {"act", "connerr", "x", "12abc", ""}) {
        SCOPED_TRACE(line);
        status(QByteArray(line) + "\r\n");
        tick();
        EXPECT_TRUE(window->Timer1->isActive());
    }
    EXPECT_TRUE(prompts.informations.isEmpty());
    EXPECT_EQ(UpdateStatus::parse("Nope").kind, UpdateStatus::NewVersion) << "any line starting with N";
}

TEST_F(UpdateFormTest, TimesOutOnPoll51OnlyWhenTheUpdaterHasEnded)
{
    processes.end(tray->updateRecord().pid);
    tick(50);
    EXPECT_TRUE(prompts.informations.isEmpty());
    EXPECT_TRUE(window->Timer1->isActive());
    tick();
    EXPECT_EQ(prompts.informations,
        QStringList{QStringLiteral("Could not connect to the update server. Please try again later.")});
    EXPECT_FALSE(window->Timer1->isActive());
}

TEST_F(UpdateFormTest, NoTimeOutWhileTheUpdaterRunsOrWhileTheLineIsEmpty)
{
    tick(80);
    EXPECT_TRUE(prompts.informations.isEmpty()) << "the updater still runs";
    processes.end(tray->updateRecord().pid);
    status("\r\n");
    tick(5);
    EXPECT_TRUE(prompts.informations.isEmpty()) << "an empty first line skips the check";
    QFile::remove(tray->updateStatusFilePath());
    tick();
    EXPECT_EQ(prompts.informations.size(), 1);
}

TEST_F(UpdateFormTest, StopKillsTheUpdaterSilentlyThenCloses)
{
    status("40\r\n");
    tick();
    const qint64 updater = tray->updateRecord().pid;
    window->show();
    window->button->click();
    EXPECT_TRUE(processes.killed.contains(updater));
    EXPECT_TRUE(prompts.informations.isEmpty());
    EXPECT_FALSE(window->Timer1->isActive());
    EXPECT_EQ(window->button->text(), QStringLiteral("&Close"));
    EXPECT_TRUE(window->isVisible());
    window->button->click();
    EXPECT_FALSE(window->isVisible());
}

} // namespace
} // namespace jw::test

namespace jw::test {
namespace {

// The shipped updater of a build without a release feed: the window hears
// that no update could be had, and no version is recorded.
TEST(UpdateWithTheShippedUpdater, WithoutAFeedNothingIsReportedInstalled)
{
    TempProgramFolder folder;
    copyStagedProgram(folder);
    installLanguage(folder);
    writeFile(folder.configPath() + QStringLiteral("main.cfg"), "my_pin=1\r\n");
    const std::unique_ptr<Processes> processes = createSystemProcesses();
    RecordingPrompts prompts;
    FakeShell shell;
    FakeClock clock;
    CallLog log;
    RecordingMailRouting routing(&log);
    ProgramGuard guard(*processes, folder.file(QStringLiteral("vexel3.pid")), nullptr);
    TTrayForm tray(ProgramFolders::at(folder.path()), TrayServices{*processes, prompts, shell, clock, routing, guard});
    tray.StartUpdate();
    TUpdateForm window(tray.windowContext(), QStringLiteral("Junkwarden"));
    window.Timer1->stop();
    ASSERT_TRUE(waitUntil(
        [&] {
            window.Timer1Timer();
            return !window.stopMode();
        },
        20000));
    EXPECT_EQ(prompts.informations,
        QStringList{QStringLiteral("Could not connect to the update server. Please try again later.")});
    EXPECT_EQ(readFile(folder.configPath() + QStringLiteral("main.cfg")), "my_pin=1\r\n");
}

} // namespace
} // namespace jw::test

namespace jw::test {
namespace {

// The update window following the real updater stand-in to its end.
} // namespace
} // namespace jw::test

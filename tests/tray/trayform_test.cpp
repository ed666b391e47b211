#include "formats/quarantinestore.h"
#include "support/trayfixture.h"
#include "tray/guardian.h"
#include "tray/startup.h"
#include "tray/trayform.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QTemporaryDir>
#include <QWidget>

namespace jw::test {
namespace {

using TrayTest = TrayFixture;

TEST_F(TrayTest, ConstructionBringsTheProgramUpInOrder)
{
    TTrayForm &t = makeTray();
    EXPECT_EQ(log.calls, (QStringList{QStringLiteral("ConfigureMail"), QStringLiteral("start vexel3")}));
    EXPECT_EQ(t.trayState(), TTrayForm::Waiting);
    // The first poll ran before the language table was loaded; the timer's
    // next tick shows the real text.
    EXPECT_EQ(t.tip(), QStringLiteral("Junkwarden - "));
    EXPECT_TRUE(t.CheckTimer->isActive());
    EXPECT_EQ(t.CheckTimer->interval(), 500);
    EXPECT_EQ(t.Wyjdz->text(), QStringLiteral("Exit"));
    EXPECT_EQ(t.Filtraktywny->text(), QStringLiteral("Filter active"));
    EXPECT_TRUE(t.Filtraktywny->isChecked());
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("Junkwarden"));
    const auto actions = t.PopupMenu->actions();
    ASSERT_EQ(actions.size(), 6);
    EXPECT_EQ(actions[0], t.Oprogramie);
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2], t.Pokazkonfiguracje);
    EXPECT_EQ(actions[3], t.Filtraktywny);
    EXPECT_TRUE(actions[4]->isSeparator());
    EXPECT_EQ(actions[5], t.Wyjdz);

    t.CheckTimerTimer();
    EXPECT_EQ(t.tip(), QStringLiteral("Junkwarden - Waiting for mail"));
    // A change that waits for a mail client to close is in the tip.
    for (const auto &[waiting, tip] :
        {std::pair{MailRouting::Waiting::ToRoute, "Junkwarden - Close Thunderbird to start filtering its accounts"},
            std::pair{MailRouting::Waiting::ToRestore, "Junkwarden - Close Thunderbird to stop filtering its accounts"},
            std::pair{MailRouting::Waiting::Nothing, "Junkwarden - Waiting for mail"}}) {
        routing.waitingFor = waiting;
        t.CheckTimerTimer();
        EXPECT_EQ(t.tip().toStdString(), std::string(tip));
    }
    // What must be undone if the program cannot undo it itself.
    EXPECT_TRUE(guard.state().accountsRouted);
    EXPECT_EQ(guard.state().proxy, processes.identify(t.vexelRecord().pid));
    EXPECT_EQ(decodeIdentity(readFile(folder.file(QStringLiteral("vexel3.pid")))), guard.state().proxy);

    log.calls.clear();
    const qint64 proxy = t.vexelRecord().pid;
    tray.reset();
    EXPECT_EQ(
        log.calls, (QStringList{QStringLiteral("DeConfigureMail"), QStringLiteral("kill ") + QString::number(proxy)}));
    EXPECT_TRUE(guard.state().isClean());
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("vexel3.pid"))));
}

TEST_F(TrayTest, AccountsThatCannotBeRestoredAreToldOnceAfterTheRestAndNeverHoldTheExit)
{
    routing.restoreProblems = QStringList{QStringLiteral("B: Invalid data type for 'POP3 Port orig'"),
        QStringLiteral("C: Invalid data type for 'POP3 Server orig'")};
    const QString told = routing.restoreProblems.join(QLatin1Char('\n'));
    TTrayForm &t = makeTray();
    log.calls.clear();
    // Switched off: one error box, once the proxy is stopped too.
    t.Filtraktywny->trigger();
    EXPECT_EQ(log.calls.size(), 2) << "restored, then the proxy stopped";
    EXPECT_EQ(prompts.errors, QStringList{told});
    EXPECT_FALSE(guard.state().accountsRouted) << "the rest were restored; the bad ones cannot be helped";

    // At exit: told without a box.
    t.Filtraktywny->trigger();
    prompts.errors.clear();
    tray.reset();
    EXPECT_TRUE(prompts.errors.isEmpty());
    EXPECT_EQ(prompts.notifications, QStringList{told});

    // A store that cannot be written at all: still routed as far as the
    // guardian knows, so it tries once the program is gone.
    routing.failRestore = true;
    prompts.notifications.clear();
    makeTray();
    tray.reset();
    EXPECT_EQ(prompts.notifications, QStringList{QStringLiteral("Failed to set data for 'POP3 Server'")});
    EXPECT_TRUE(guard.state().accountsRouted);
    EXPECT_TRUE(guard.state().proxy.isEmpty());
}

TEST_F(TrayTest, MissingLanguageFileKeepsBuiltInMenuCaptionsAnEmptyOneBlanksThem)
{
    QFile::remove(folder.configPath() + QStringLiteral("language.lng"));
    TTrayForm &t = makeTray();
    EXPECT_EQ(t.Wyjdz->text(), QStringLiteral("Wyjdz"));
    EXPECT_EQ(t.Filtraktywny->text(), QStringLiteral("Filtr aktywny"));
    EXPECT_EQ(t.Pokazkonfiguracje->text(), QStringLiteral("Pokaz konfiguracje"));
    EXPECT_EQ(t.Oprogramie->text(), QStringLiteral("O programie"));
    writeStatus("working\r\nmail 2\r\n");
    t.CheckTimerTimer();
    EXPECT_EQ(t.tip(), QStringLiteral("Junkwarden -  (mail 2)"));
    EXPECT_TRUE(prompts.informations.isEmpty());
    tray.reset();

    // An empty one blanks them.
    writeFile(folder.configPath() + QStringLiteral("language.lng"), "");
    TTrayForm &blank = makeTray();
    EXPECT_EQ(blank.Wyjdz->text(), QString());
    EXPECT_EQ(blank.Oprogramie->text(), QString());
}

struct PollCase
{
    const char *name;
    std::optional<QByteArray> content; // nullopt: no file
    int startState;
    int state;
    const char *statusText;
    bool fileKept;
};

TEST_F(TrayTest, StatusPollFollowsTheStatusFile)
{
    const PollCase cases[] = {
        {"no file", std::nullopt, TTrayForm::Running, TTrayForm::Waiting, "Waiting for mail", false},
        {"working, one line", QByteArray("working\r\n"), TTrayForm::Waiting, TTrayForm::Running, "Filtering mail ()",
            true},
        {"working, two lines", QByteArray("working\r\nmail 3 of 9\r\n"), TTrayForm::Waiting, TTrayForm::Running,
            "Filtering mail (mail 3 of 9)", true},
        {"working, no final break", QByteArray("working\r\nmail 3"), TTrayForm::Waiting, TTrayForm::Running,
            "Filtering mail (mail 3)", true},
        {"quarantine", QByteArray("quarantine\r\n"), TTrayForm::Waiting, TTrayForm::Quarantine,
            "A message was held in the quarantine", true},
        {"unknown word", QByteArray("Working\r\n"), TTrayForm::Quarantine, TTrayForm::Quarantine, "kept", true},
        {"empty file", QByteArray(""), TTrayForm::Running, TTrayForm::Running, "kept", true},
        {"lone LF stays in the line", QByteArray("working\nmail\r\n"), TTrayForm::Waiting, TTrayForm::Waiting, "kept",
            true},
        {"0x1A ends the file", QByteArray("quarantine\x1a\r\n"), TTrayForm::Waiting, TTrayForm::Quarantine,
            "A message was held in the quarantine", true},
        {"0x1A cuts the progress",
            QByteArray("working\r\nab\x1a"
                       "cd\r\n"),
            TTrayForm::Waiting, TTrayForm::Running, "Filtering mail (ab)", true},
    };
    TTrayForm &t = makeTray();
    for (const PollCase &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(statusFile());
        // Bring the tray into the case's starting state with a known text.
        if (c.startState == TTrayForm::Running)
            writeStatus("working\r\nkept\r\n");
        else if (c.startState == TTrayForm::Quarantine)
            writeStatus("quarantine\r\n");
        t.CheckTimerTimer();
        const QString before = t.statusText();
        QFile::remove(statusFile());
        if (c.content)
            writeStatus(*c.content);
        t.CheckTimerTimer();
        EXPECT_EQ(t.trayState(), c.state);
        const QString expected = QByteArray(c.statusText) == "kept" ? before : QString::fromUtf8(c.statusText);
        EXPECT_EQ(t.statusText(), expected);
        EXPECT_EQ(t.lastShownState(), c.state);
        EXPECT_EQ(QFile::exists(statusFile()), c.fileKept);
    }
}

TEST_F(TrayTest, UnreadableStatusFileChangesNothing)
{
    TTrayForm &t = makeTray();
    writeStatus("quarantine\r\n");
    t.CheckTimerTimer();
    QFile::remove(statusFile());
    QDir().mkdir(statusFile()); // exists, but cannot be read as a file
    t.CheckTimerTimer();
    EXPECT_EQ(t.trayState(), TTrayForm::Quarantine);
}

TEST_F(TrayTest, TipIsCutTo63CharactersAndTheIconOnlyChangesWhenNeeded)
{
    TTrayForm &t = makeTray();
    t.CheckTimerTimer();
    const int updates = t.iconUpdates();
    t.CheckTimerTimer();
    EXPECT_EQ(t.iconUpdates(), updates) << "nothing changed, the icon is left alone";

    writeStatus("working\r\n" + QByteArray(200, 'x') + "\r\n");
    t.CheckTimerTimer();
    EXPECT_EQ(t.tip().size(), 63);
    EXPECT_TRUE(t.tip().startsWith(QStringLiteral("Junkwarden - Filtering mail (xxx")));
    EXPECT_EQ(t.notificationIcon()->toolTip(), t.tip());
    EXPECT_EQ(t.iconUpdates(), updates + 1);

    // Several held messages not yet shown: the tip says how many, in the
    // language of the language file.
    QDir().mkpath(folder.messagesPath() + QStringLiteral("ann,pop.example"));
    int n = 0;
    for (const char *status : {"New", "Readed", "New", "New"}) {
        writeFile(folder.messagesPath() + QStringLiteral("ann,pop.example/m%1").arg(++n),
            "offer\r\nx@spam.example\r\n" + QByteArray(status) + "\r\nnote\r\n" + QuarantineStore::kMarker + "1\r\n");
    }
    for (const auto &[language, tip] : {std::pair{"english.lng", "Junkwarden - Unread in the quarantine: 3"},
             std::pair{"polish.lng", "Junkwarden - Nieprzeczytane w kwarantannie: 3"}}) {
        QFile::remove(folder.configPath() + QStringLiteral("language.lng"));
        QFile::copy(sourcePath(QStringLiteral("resources/language/") + QLatin1String(language)),
            folder.configPath() + QStringLiteral("language.lng"));
        TTrayForm &again = makeTray();
        writeStatus("quarantine\r\n");
        again.CheckTimerTimer();
        EXPECT_EQ(again.tip(), QString::fromUtf8(tip));
    }

    // An account whose OAuth 2.0 sign-in is gone is named until it is back.
    QDir().mkpath(folder.file(QStringLiteral("state")));
    writeFile(folder.file(QStringLiteral("state/signin-needed")), "ann,pop.example\r\n");
    TTrayForm &signIn = makeTray();
    signIn.CheckTimerTimer();
    EXPECT_TRUE(signIn.tip().startsWith(QStringLiteral("Junkwarden - Wymagane logowanie dla ann,pop.example")));
    writeFile(folder.file(QStringLiteral("state/signin-needed")), "");
    signIn.CheckTimerTimer();
    EXPECT_FALSE(signIn.tip().contains(QStringLiteral("logowanie")));
}

TEST_F(TrayTest, AcknowledgementDeletesTheStatusFileOnlyInQuarantine)
{
    TTrayForm &t = makeTray();
    writeStatus("working\r\nx\r\n");
    t.CheckTimerTimer();
    t.SetIcon(0);
    EXPECT_TRUE(QFile::exists(statusFile())) << "a working proxy's file stays";
    EXPECT_EQ(t.trayState(), TTrayForm::Waiting);

    writeStatus("quarantine\r\n");
    t.CheckTimerTimer();
    ASSERT_EQ(t.trayState(), TTrayForm::Quarantine);
    t.SetIcon(0);
    EXPECT_FALSE(QFile::exists(statusFile()));
    EXPECT_EQ(t.lastShownState(), TTrayForm::Waiting);
}

TEST_F(TrayTest, StalledProxyIsRestartedOnceAndTheNewOneGetsItsOwnTime)
{
    TTrayForm &t = makeTray();
    const qint64 first = t.vexelRecord().pid;
    writeStatus("working\r\nmail 1\r\n");
    t.CheckTimerTimer();
    clock.now += TTrayForm::kStallMs;
    t.CheckTimerTimer();
    EXPECT_TRUE(processes.killed.isEmpty()) << "exactly five minutes is not yet a stall";

    clock.now += 1;
    t.CheckTimerTimer();
    EXPECT_EQ(processes.killed, QList<qint64>{first});
    EXPECT_EQ(processes.started, (QStringList{QStringLiteral("vexel3"), QStringLiteral("vexel3")}));
    EXPECT_FALSE(QFile::exists(statusFile()));
    EXPECT_EQ(t.statusText(), QStringLiteral("Filtering mail"));

    // The new proxy writes the same progress: its five minutes start now.
    writeStatus("working\r\nmail 1\r\n");
    clock.now += 1000;
    t.CheckTimerTimer();
    clock.now += TTrayForm::kStallMs;
    t.CheckTimerTimer();
    EXPECT_EQ(processes.killed.size(), 1);
    clock.now += 1;
    t.CheckTimerTimer();
    EXPECT_EQ(processes.killed.size(), 2);
}

TEST_F(TrayTest, ChangingProgressIsNeverAStall)
{
    TTrayForm &t = makeTray();
    for (int i = 0; i < 50; ++i) {
        writeStatus("working\r\nmail " + QByteArray::number(i) + "\r\n");
        t.CheckTimerTimer();
        clock.now += 60000;
    }
    EXPECT_TRUE(processes.killed.isEmpty());
}

TEST_F(TrayTest, FilterSwitchStopsAndStartsInOrder)
{
    TTrayForm &t = makeTray();
    log.calls.clear();
    const qint64 proxy = t.vexelRecord().pid;

    t.Filtraktywny->trigger();
    EXPECT_EQ(
        log.calls, (QStringList{QStringLiteral("DeConfigureMail"), QStringLiteral("kill ") + QString::number(proxy)}));
    EXPECT_FALSE(t.Filtraktywny->isChecked());
    EXPECT_FALSE(t.filterActive());
    writeStatus("quarantine\r\n");
    t.CheckTimerTimer();
    EXPECT_EQ(t.trayState(), TTrayForm::Disabled);
    EXPECT_EQ(t.tip(), QStringLiteral("Junkwarden - Filtering is off"));
    EXPECT_TRUE(QFile::exists(statusFile())) << "the file is not looked at while off";

    log.calls.clear();
    t.Filtraktywny->trigger();
    EXPECT_EQ(log.calls, (QStringList{QStringLiteral("ConfigureMail"), QStringLiteral("start vexel3")}));
    EXPECT_TRUE(t.Filtraktywny->isChecked());
    t.CheckTimerTimer();
    EXPECT_EQ(t.trayState(), TTrayForm::Quarantine);
}

// Switched off while a mail client runs on routed accounts: the proxy
// serves on until the client has closed and its accounts are back.
TEST_F(TrayTest, SwitchingOffWhileAMailClientRunsKeepsTheProxyUntilItCloses)
{
    TTrayForm &t = makeTray();
    const qint64 proxy = t.vexelRecord().pid;
    log.calls.clear();
    routing.waitingFor = MailRouting::Waiting::ToRestore;
    t.Filtraktywny->trigger();
    EXPECT_EQ(log.calls, QStringList{QStringLiteral("DeConfigureMail")});
    EXPECT_TRUE(guard.state().accountsRouted) << "the guardian still knows";
    t.CheckTimerTimer();
    EXPECT_EQ(t.tip(), QStringLiteral("Junkwarden - Close Thunderbird to stop filtering its accounts"));
    EXPECT_EQ(log.calls, QStringList{QStringLiteral("DeConfigureMail")});

    routing.waitingFor = MailRouting::Waiting::Nothing; // it closed; its accounts are back
    t.CheckTimerTimer();
    EXPECT_EQ(
        log.calls, (QStringList{QStringLiteral("DeConfigureMail"), QStringLiteral("kill ") + QString::number(proxy)}));
    EXPECT_FALSE(guard.state().accountsRouted);
    EXPECT_EQ(t.tip(), QStringLiteral("Junkwarden - Filtering is off"));

    // Switched on again before the client closed: the kept proxy serves on.
    routing.waitingFor = MailRouting::Waiting::ToRestore;
    t.Filtraktywny->trigger(); // on: starts a proxy
    t.Filtraktywny->trigger(); // off: kept for the client
    log.calls.clear();
    routing.waitingFor = MailRouting::Waiting::Nothing;
    t.Filtraktywny->trigger(); // on again
    EXPECT_EQ(log.calls, QStringList{QStringLiteral("ConfigureMail")}) << "no second proxy";
}

TEST_F(TrayTest, DataApartFromTheProgramMeansThePackageManagerUpdates)
{
    QTemporaryDir data;
    TTrayForm apart(
        ProgramFolders::at(folder.path(), data.path()), TrayServices{processes, prompts, shell, clock, routing, guard});
    EXPECT_EQ(apart.updateSource(), UpdateSource::PackageManager);
    EXPECT_EQ(apart.statusFilePath(), data.path() + QStringLiteral("/status.tmp"));
    EXPECT_EQ(apart.updateStatusFilePath(), data.path() + QStringLiteral("/status-update"));
    apart.setUpdateFeed(QStringLiteral("https://updates.example/feed.json"));
    EXPECT_EQ(apart.updateSource(), UpdateSource::PackageManager) << "a feed changes nothing there";
}

TEST_F(TrayTest, ShowConfigurationCreatesOneWindowAndRaisesIt)
{
    int created = 0;
    tray = std::make_unique<TTrayForm>(ProgramFolders::at(folder.path()),
        TrayServices{processes, prompts, shell, clock, routing, guard}, [&created](TTrayForm &owner) -> QWidget * {
            ++created;
            auto *w = new QWidget;
            w->setObjectName(QStringLiteral("MainForm"));
            w->setWindowTitle(owner.applicationTitle());
            w->setAttribute(Qt::WA_DeleteOnClose);
            return w;
        });
    tray->PokazkonfiguracjeClick();
    ASSERT_NE(tray->mainWindow(), nullptr);
    EXPECT_TRUE(tray->mainWindow()->isVisible());
    tray->mainWindow()->hide();
    tray->PokazkonfiguracjeClick();
    EXPECT_EQ(created, 1);
    EXPECT_TRUE(tray->mainWindow()->isVisible());

    tray->mainWindow()->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(tray->mainWindow(), nullptr);
    tray->PokazkonfiguracjeClick();
    EXPECT_EQ(created, 2);
    delete tray->mainWindow();
}

TEST_F(TrayTest, DiagnosticLogIsWrittenOnlyWhenItExists)
{
    TTrayForm &t = makeTray();
    const QString logPath = folder.file(QStringLiteral("debug2.log"));
    t.loguj(QStringLiteral("one"));
    EXPECT_FALSE(QFile::exists(logPath));
    writeFile(logPath, "");
    t.loguj(QStringLiteral("one"));
    t.loguj(QStringLiteral("two"));
    EXPECT_EQ(readFile(logPath), QByteArray("one\r\ntwo\r\n"));
}

// Never an unseen program: without a notification area the window shows
// even with "/tray", and the user hears why once.
TEST(StartView, WithoutATrayTheWindowShowsAndTheUserIsToldOnce)
{
    TempProgramFolder folder;
    const QString settings = folder.configPath() + QStringLiteral("main.cfg");
    const QStringList tray{QStringLiteral("junkwarden"), QStringLiteral("/tray")};
    const QStringList plain{QStringLiteral("junkwarden")};
    writeFile(settings, "server_port=1110\r\nnote line\r\n");
    const struct
    {
        QStringList arguments;
        bool trayAvailable;
        bool showWindow;
        bool explain;
    } cases[] = {
        {tray, true, false, false},
        {plain, true, true, false},
        {tray, false, true, true}, // the first time: told
        {tray, false, true, false}, // then remembered
        {plain, false, true, false},
    };
    for (const auto &c : cases) {
        const StartView view = startView(c.arguments, c.trayAvailable, settings);
        EXPECT_EQ(view.showWindow, c.showWindow);
        EXPECT_EQ(view.explainMissingTray, c.explain);
    }
    EXPECT_EQ(readFile(settings), QByteArray("server_port=1110\r\nnote line\r\ntray_hint_shown=1\r\n"));
    // No settings file: told, and nothing is written.
    const QString missing = folder.file(QStringLiteral("nowhere/main.cfg"));
    EXPECT_TRUE(startView(tray, false, missing).explainMissingTray);
    EXPECT_FALSE(QFile::exists(missing));
}

} // namespace
} // namespace jw::test

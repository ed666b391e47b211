#pragma once

#include "support/fakes.h"
#include "support/testfiles.h"
#include "tray/guardian.h"
#include "tray/trayform.h"

#include <QFile>
#include <QSystemTrayIcon>
#include <QTimer>

#include <gtest/gtest.h>
#include <memory>

namespace jw::test {

// A tray controller over doubles, in a scratch program folder with the
// English language file.
class TrayFixture : public ::testing::Test
{
protected:
    void SetUp() override { installLanguage(folder); }

    TTrayForm &makeTray()
    {
        tray = std::make_unique<TTrayForm>(
            ProgramFolders::at(folder.path()), TrayServices{processes, prompts, shell, clock, routing, guard});
        return *tray;
    }

    QString statusFile() const { return folder.file(QStringLiteral("status.tmp")); }
    void writeStatus(const QByteArray &content) { writeFile(statusFile(), content); }

    TempProgramFolder folder;
    CallLog log;
    FakeProcesses processes{&log};
    RecordingPrompts prompts;
    FakeShell shell;
    FakeClock clock;
    RecordingMailRouting routing{&log};
    ProgramGuard guard{processes, folder.file(QStringLiteral("vexel3.pid")), nullptr};
    std::unique_ptr<TTrayForm> tray;
};

} // namespace jw::test

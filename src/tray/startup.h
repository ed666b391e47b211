#pragma once

#include "tray/trayform.h"

#include <functional>
#include <memory>

namespace jw {

class MailRouting;

// The parts of the program above the tray controller, handed to the
// start-up sequence by the executable.
struct ProgramParts
{
    TTrayForm::MainWindowFactory createMainWindow;
    std::function<std::unique_ptr<MailRouting>()> createMailRouting;
};

// Whether the command line asks for the tray only: exactly "/tray" as the
// first argument after the program.
bool startsInTrayOnly(const QStringList &arguments);

// What the start shows: the configuration window unless started with
// "/tray" while the desktop has a notification area to put the icon in,
// so the program is never running unseen; and, when there is no such area,
// a word to the user the first time it happens (remembered in the settings
// file, whose other lines stay as they are).
struct StartView
{
    bool showWindow = true;
    bool explainMissingTray = false;
};
StartView startView(const QStringList &arguments, bool trayAvailable, const QString &settingsFile);

// The whole run: single-instance check (a second start asks the running copy
// to show its window and ends), the tray controller, the configuration
// window unless started with "/tray", the event loop until the exit command
// or a termination request, then the stop steps.
int runJunkwarden(int argc, char **argv, const ProgramParts &parts);

} // namespace jw

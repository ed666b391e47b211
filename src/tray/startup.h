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

// The whole run: single-instance check (a second start asks the running copy
// to show its window and ends), the tray controller, the configuration
// window unless started with "/tray", the event loop until the exit command
// or a termination request, then the stop steps.
int runJunkwarden(int argc, char **argv, const ProgramParts &parts);

} // namespace jw

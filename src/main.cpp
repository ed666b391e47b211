#include "mainwindow/mainform.h"
#include "tray/startup.h"

int main(int argc, char *argv[])
{
    jw::ProgramParts parts;
    parts.createMainWindow = [](jw::TTrayForm &tray) -> QWidget * { return new jw::TMainForm(tray); };
    return jw::runJunkwarden(argc, argv, parts);
}

#pragma once

#include <QString>

namespace jw {

class LanguageTable;
class MailRouting;
class Prompts;

// What the configuration window's pages may ask of the running program:
// the filter's state, the proxy, the mail check, the tray icon, the routing
// of mail accounts and the updater. The tray controller is the one that
// answers; pages see nothing else of it.
// Where updates of this installation come from.
enum class UpdateSource {
    Feed, // the updater installs them from the build's release feed
    PackageManager, // a package owns the program folder
    NotConfigured, // this build names no release feed
};

class ProgramControl
{
public:
    virtual ~ProgramControl() = default;
    virtual bool filterActive() const = 0;
    // When the filter is on, the proxy is started again, so that it reads
    // the files that were just saved.
    virtual void restartProxy() = 0;
    virtual void setMailCheck(bool enabled, int minutes) = 0;
    virtual bool mailCheckEnabled() const = 0;
    // The user has seen the quarantine: the icon shows waiting again.
    virtual void acknowledgeQuarantine() = 0;
    virtual MailRouting &mailRouting() const = 0;
    // The updater: started on request, followed by the update window.
    virtual void StartUpdate() = 0;
    virtual void StopUpdate() = 0;
    virtual bool updaterRunning() = 0;
    virtual bool updaterStarted() const = 0;
    virtual QString updateStatusFilePath() const = 0;
    virtual UpdateSource updateSource() const = 0;
};

// What a window of the program works with: the program, the language
// table, the message boxes and the configuration folder.
struct WindowContext
{
    ProgramControl &program;
    const LanguageTable &language;
    Prompts &prompts;
    QString configFolder;
};

} // namespace jw

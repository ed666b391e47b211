#pragma once

#include <QStringList>

#include <functional>

namespace jw {

// Points the chosen mail accounts at the local proxy and back. The tray
// routes them before it starts the proxy and restores them after it stops it.
class MailRouting
{
public:
    virtual ~MailRouting() = default;
    virtual void ConfigureMail() = 0;
    // Restores every account that can be restored, going on past a bad one;
    // returns one line per account that could not be. Throws when the store
    // itself cannot be read or written.
    virtual QStringList DeConfigureMail() = 0;

    // A change that waits for a mail client to close before it can be made:
    // routing (asked for while the client ran) or restoring.
    enum class Waiting { Nothing, ToRoute, ToRestore };
    virtual Waiting waiting() const { return Waiting::Nothing; }
    // The names of the mail programs a change waits for.
    virtual QStringList waitingPrograms() const { return {}; }

    // Makes `change` (which routes or restores, as `wanted` says) once the
    // mail client that holds `profile` has closed; `change` answers false
    // while it still cannot be made. A later change of the same profile
    // replaces an earlier one.
    virtual void whenClientCloses(const QString &profile, Waiting wanted, std::function<bool()> change)
    {
        Q_UNUSED(profile);
        Q_UNUSED(wanted);
        Q_UNUSED(change);
    }
};

} // namespace jw

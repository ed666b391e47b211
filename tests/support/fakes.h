#pragma once

#include "accounts/mailrouting.h"
#include "platform/autostart.h"
#include "platform/clock.h"
#include "platform/processes.h"
#include "platform/prompts.h"
#include "platform/registry.h"
#include "platform/shell.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace jw::test {

// One ordered record of the calls into the doubles below, so tests can check
// the order of account routing, proxy starts and stops.
struct CallLog
{
    QStringList calls;
};

class FakeProcesses final : public Processes
{
public:
    explicit FakeProcesses(CallLog *log = nullptr)
        : m_log(log)
    {
    }

    StartResult start(const QString &program, Lifetime lifetime) override;
    QStringList tiedToProgram; // file names started to end with the program
    bool isAlive(qint64 pid) override { return m_alive.contains(pid); }
    int kill(qint64 pid) override;
    void release(qint64 pid) override { released.append(pid); }
    std::optional<ProcessEnd> endOf(qint64 pid) override;
    ProcessIdentity identify(qint64 pid) override { return m_alive.value(pid); }
    bool killIdentified(const ProcessIdentity &identity) override;

    // Programs (by file name) whose start fails with this result.
    QHash<QString, StartResult> failures;
    QStringList started; // file names, in order
    QList<qint64> killed;
    QList<qint64> released;

    // Lets a started process end by itself.
    void end(qint64 pid, std::optional<ProcessEnd> how = std::nullopt);
    qint64 lastPid() const { return m_nextPid - 1; }
    // A process this double did not start (say, one left by an earlier run).
    void adopt(const ProcessIdentity &identity) { m_alive.insert(identity.pid, identity); }

private:
    CallLog *m_log;
    QHash<qint64, ProcessIdentity> m_alive;
    QHash<qint64, ProcessEnd> m_ends;
    qint64 m_nextPid = 1000;
};

// Answers questions from a script and records every box shown.
class RecordingPrompts final : public Prompts
{
public:
    void information(const QString &text) override { informations.append(text); }
    void error(const QString &text) override { errors.append(text); }
    bool question(const QString &text, const QString &caption) override;
    void notify(const QString &text) override { notifications.append(text); }

    QStringList informations;
    QStringList errors;
    QStringList questions;
    QStringList questionCaptions;
    QStringList notifications;
    QList<bool> answers; // taken from the front; "no" when empty
};

class FakeClock final : public MonotonicClock
{
public:
    qint64 nowMs() const override { return now; }
    qint64 now = 1000;
};

class FakeShell final : public Shell
{
public:
    bool open(const QUrl &url) override;
    QList<QUrl> opened;
    QList<QUrl> refused;
};

class FakeAutostart final : public Autostart
{
public:
    bool isEnabled() const override { return !executable.isEmpty(); }
    void enable(const QString &path) override { executable = path; }
    void disable() override { executable.clear(); }
    QString executable;
};

class RecordingMailRouting final : public MailRouting
{
public:
    explicit RecordingMailRouting(CallLog *log)
        : m_log(log)
    {
    }
    void ConfigureMail() override { m_log->calls.append(QStringLiteral("ConfigureMail")); }
    QStringList DeConfigureMail() override
    {
        m_log->calls.append(QStringLiteral("DeConfigureMail"));
        if (failRestore)
            throw RegistryError(QStringLiteral("Failed to set data for 'POP3 Server'"));
        return restoreProblems;
    }
    Waiting waiting() const override { return waitingFor; }
    void whenClientCloses(const QString &profile, Waiting wanted, std::function<bool()> change) override
    {
        deferred.append({profile, wanted, std::move(change)});
    }

    struct Deferred
    {
        QString profile;
        Waiting wanted;
        std::function<bool()> change;
    };
    QList<Deferred> deferred;

    // What the next restores report.
    QStringList restoreProblems;
    bool failRestore = false;
    Waiting waitingFor = Waiting::Nothing;

private:
    CallLog *m_log;
};

} // namespace jw::test

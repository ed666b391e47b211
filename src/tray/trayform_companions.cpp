// The tray controller's control of the companion programs: the proxy and
// the updater are tracked and can be stopped; the mail checker is only
// started, by the mail-check timer.
#include "platform/clock.h"
#include "platform/processes.h"
#include "platform/prompts.h"
#include "tray/guardian.h"
#include "tray/trayform.h"

#include <QFile>
#include <QFileInfo>

namespace jw {

namespace {

constexpr const char *kProxy = kProxyBaseName;
constexpr char kUpdater[] = "update";
constexpr char kMailChecker[] = "PostPing";

const QString kProxyFailurePrefix = QStringLiteral("Vexel3 cant start with message: ");

QString describeEnd(const std::optional<ProcessEnd> &end)
{
    if (!end)
        return QStringLiteral("Ended by itself");
    if (end->bySignal)
        return QStringLiteral("Ended by signal %1").arg(end->code);
    return QStringLiteral("Ended with exit code %1").arg(end->code);
}

} // namespace

QString startFailureText(const StartResult &result)
{
    if (result.knownError) {
        switch (result.errorCode) {
        case 2:
            return QStringLiteral("File Not Found");
        case 3:
            return QStringLiteral("Path Not Found");
        case 5:
            return QStringLiteral("Acess Denied");
        case 8:
            return QStringLiteral("Out Of Memory");
        case 26:
            return QStringLiteral("Share Violation");
        case 27:
            return QStringLiteral("Incomplete Association");
        case 28:
            return QStringLiteral("DDE Timed Out");
        case 29:
            return QStringLiteral("DDE Failure");
        case 30:
            return QStringLiteral("DDE Busy");
        case 31:
            return QStringLiteral("No Association");
        case 32:
            return QStringLiteral("DLL Not Found");
        default:
            break;
        }
    }
    return QStringLiteral("Unknown Error - ") + QString::number(result.errorCode);
}

bool TTrayForm::startCompanion(
    const char *baseName, const QString &failurePrefix, ProcessRecord *record, bool endsWithProgram)
{
    const StartResult result = m_services.processes.start(m_folders.program + executableFileName(baseName),
        endsWithProgram ? Processes::Lifetime::EndsWithThisProcess : Processes::Lifetime::Independent);
    if (!result.started) {
        m_services.prompts.information(failurePrefix + startFailureText(result));
        return false;
    }
    if (record)
        record->pid = result.pid;
    else
        m_services.processes.release(result.pid);
    return true;
}

void TTrayForm::stopCompanion(ProcessRecord &record)
{
    if (record.isEmpty() || !m_services.processes.isAlive(record.pid))
        return;
    m_services.processes.kill(record.pid);
    record = ProcessRecord();
}

void TTrayForm::StartVexel()
{
    // Two proxies would fight over the port: one left running by an earlier
    // run that could not stop it goes first.
    m_services.guard.stopLeftoverProxy();
    // Tied to this process: a proxy whose program is gone, however it went,
    // is gone too; the guardian and the record are there for the rest.
    if (!startCompanion(kProxy, kProxyFailurePrefix, &m_vexel, true))
        return;
    m_vexelStartedAt = m_services.clock.nowMs();
    m_services.guard.proxyStarted(m_vexel.pid);
}

void TTrayForm::restartProxy()
{
    if (!filterActive())
        return;
    StopVexel();
    StartVexel();
}

void TTrayForm::StopVexel()
{
    if (m_vexel.isEmpty())
        return;
    stopCompanion(m_vexel);
    m_services.guard.proxyStopped();
}

QString TTrayForm::watchProxy()
{
    if (m_vexel.isEmpty() || m_services.processes.isAlive(m_vexel.pid))
        return {};
    // The proxy has ended by itself while the accounts point at it.
    const std::optional<ProcessEnd> end = m_services.processes.endOf(m_vexel.pid);
    const bool quick = m_services.clock.nowMs() - m_vexelStartedAt < kQuickEndMs;
    m_quickProxyEnds = quick ? m_quickProxyEnds + 1 : 0;
    m_vexel = ProcessRecord();
    m_services.guard.proxyStopped();
    QStringList message;
    if (m_quickProxyEnds < kQuickEndsToGiveUp) {
        StartVexel();
        if (!m_vexel.isEmpty())
            return {};
        // It could not be started again; its box has said why.
    } else {
        message.append(kProxyFailurePrefix + describeEnd(end)
            + QStringLiteral(", %1 times in a row within a minute of its start").arg(kQuickEndsToGiveUp));
    }
    // Give up: mail goes straight to the servers again, and the switch
    // shows that the filter is off until the user turns it on.
    const QString problems = restoreMail();
    if (!problems.isEmpty())
        message.append(problems);
    m_filterOn = false;
    Filtraktywny->setChecked(false);
    m_quickProxyEnds = 0;
    return message.join(QLatin1Char('\n'));
}

void TTrayForm::StartUpdate()
{
    if (updaterRunning())
        return;
    // The progress window must never read the outcome of an earlier run.
    if (QFileInfo::exists(updateStatusFilePath()))
        QFile::remove(updateStatusFilePath());
    startCompanion(kUpdater, QStringLiteral("Update cant start with message: "), &m_update);
}

void TTrayForm::StopUpdate()
{
    stopCompanion(m_update);
}

bool TTrayForm::updaterRunning()
{
    return !m_update.isEmpty() && m_services.processes.isAlive(m_update.pid);
}

void TTrayForm::StartCheckMail()
{
    startCompanion(kMailChecker, QStringLiteral("PostPing cant start with message: "), nullptr);
}

void TTrayForm::CheckMailTimerTimer()
{
    if (m_trayState != Waiting)
        return;
    loguj(QStringLiteral("startuje ze sprawdzaniem (parent)"));
    StartCheckMail();
}

} // namespace jw

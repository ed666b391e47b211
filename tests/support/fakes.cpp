#include "support/fakes.h"

#include <QFileInfo>

namespace jw::test {

StartResult FakeProcesses::start(const QString &program, Lifetime lifetime)
{
    const QString name = QFileInfo(program).fileName();
    if (lifetime == Lifetime::EndsWithThisProcess)
        tiedToProgram.append(name);
    if (m_log)
        m_log->calls.append(QStringLiteral("start ") + name);
    if (failures.contains(name))
        return failures.value(name);
    started.append(name);
    StartResult result;
    result.started = true;
    result.pid = m_nextPid++;
    m_alive.insert(result.pid, ProcessIdentity{result.pid, quint64(result.pid) * 7, program.toUtf8()});
    return result;
}

int FakeProcesses::kill(qint64 pid)
{
    if (m_log)
        m_log->calls.append(QStringLiteral("kill ") + QString::number(pid));
    killed.append(pid);
    return m_alive.remove(pid) ? 9 : -1;
}

void FakeProcesses::end(qint64 pid, std::optional<ProcessEnd> how)
{
    m_alive.remove(pid);
    if (how)
        m_ends.insert(pid, *how);
}

std::optional<ProcessEnd> FakeProcesses::endOf(qint64 pid)
{
    if (!m_ends.contains(pid))
        return std::nullopt;
    return m_ends.take(pid);
}

bool FakeProcesses::killIdentified(const ProcessIdentity &identity)
{
    if (m_alive.value(identity.pid) != identity)
        return true;
    if (m_log)
        m_log->calls.append(QStringLiteral("kill ") + QString::number(identity.pid));
    killed.append(identity.pid);
    m_alive.remove(identity.pid);
    return true;
}

bool RecordingPrompts::question(const QString &text, const QString &caption)
{
    questions.append(text);
    questionCaptions.append(caption);
    return answers.isEmpty() ? false : answers.takeFirst();
}

bool FakeShell::open(const QUrl &url)
{
    if (!isOpenableUrl(url)) {
        refused.append(url);
        return false;
    }
    opened.append(url);
    return true;
}

} // namespace jw::test

#include "support/fakes.h"

#include <QFileInfo>

namespace jw::test {

StartResult FakeProcesses::start(const QString &program)
{
    const QString name = QFileInfo(program).fileName();
    if (m_log)
        m_log->calls.append(QStringLiteral("start ") + name);
    if (failures.contains(name))
        return failures.value(name);
    started.append(name);
    StartResult result;
    result.started = true;
    result.pid = m_nextPid++;
    m_alive.insert(result.pid);
    return result;
}

int FakeProcesses::kill(qint64 pid)
{
    if (m_log)
        m_log->calls.append(QStringLiteral("kill ") + QString::number(pid));
    killed.append(pid);
    return m_alive.remove(pid) ? 9 : -1;
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

#include "support/profilelock.h"

#include "support/testfiles.h"

namespace jw::test {

namespace {

QStringList lockScript(const QString &profileFolder, bool wait)
{
    // Thunderbird also leaves a "lock" link beside its lock file; it
    // removes the link first and lets go of the lock just after.
    const QString script = wait
        ? QStringLiteral("import fcntl, os, sys, time\nf = open(sys.argv[1], 'a+')\nfcntl.lockf(f, fcntl.LOCK_EX)\n"
                         "link = os.path.join(os.path.dirname(sys.argv[1]), 'lock')\n"
                         "if not os.path.lexists(link): os.symlink('127.0.0.1:+4242', link)\n"
                         "print('locked', flush=True)\n"
                         "if sys.stdin.readline().startswith('r'):\n"
                         "    os.unlink(link)\n    time.sleep(0.005)\n")
        : QStringLiteral("import fcntl, sys\nf = open(sys.argv[1], 'a+')\n"
                         "fcntl.lockf(f, fcntl.LOCK_EX | fcntl.LOCK_NB)\n");
    return {QStringLiteral("-c"), script, profileFolder + QStringLiteral("/.parentlock")};
}

} // namespace

RunningThunderbird::RunningThunderbird(const QString &profileFolder)
    : m_profile(profileFolder)
{
    m_process.start(QStringLiteral("python3"), lockScript(profileFolder, true));
    m_holding = m_process.waitForReadyRead(10000) && m_process.readAll().startsWith("locked");
}

RunningThunderbird::~RunningThunderbird()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void RunningThunderbird::close(Ending ending)
{
    if (ending == Ending::Killed)
        m_process.kill();
    else if (ending == Ending::RemovesLinkThenLetsGo)
        m_process.write("r\n");
    m_process.closeWriteChannel();
    m_process.waitForFinished(10000);
    m_holding = false;
    if (ending == Ending::LetsGoThenWrites)
        writeFile(m_profile + QStringLiteral("/sessionstore.jsonlz4"), "closed");
}

bool anotherProcessCanLock(const QString &profileFolder)
{
    return QProcess::execute(QStringLiteral("python3"), lockScript(profileFolder, false)) == 0;
}

} // namespace jw::test

#include "support/profilelock.h"

#include "support/testfiles.h"

namespace jw::test {

namespace {

QStringList lockScript(const QString &profileFolder, bool wait)
{
    const QString script = wait ? QStringLiteral("import fcntl, sys\nf = open(sys.argv[1], 'a+')\nfcntl.lockf(f, fcntl.LOCK_EX)\n"
                                                 "print('locked', flush=True)\nsys.stdin.read()\n")
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

void RunningThunderbird::close()
{
    m_process.closeWriteChannel();
    m_process.waitForFinished(10000);
    m_holding = false;
    writeFile(m_profile + QStringLiteral("/sessionstore.jsonlz4"), "closed");
}

bool anotherProcessCanLock(const QString &profileFolder)
{
    return QProcess::execute(QStringLiteral("python3"), lockScript(profileFolder, false)) == 0;
}

} // namespace jw::test

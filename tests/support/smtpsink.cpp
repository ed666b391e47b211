#include "support/smtpsink.h"

#include "support/dovecot.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>

#include <algorithm>

namespace jw::test {

namespace {

// Debian's Python, where python3-aiosmtpd installs the module.
constexpr char kPython[] = "/usr/bin/python3";

} // namespace

QString SmtpSink::unavailableReason()
{
    QProcess probe;
    probe.start(QString::fromLatin1(kPython), {QStringLiteral("-c"), QStringLiteral("import aiosmtpd")});
    if (!probe.waitForFinished(20000) || probe.exitCode() != 0)
        return QStringLiteral("no aiosmtpd for %1 (Debian package python3-aiosmtpd)").arg(QLatin1String(kPython));
    return {};
}

SmtpSink::SmtpSink() = default;

SmtpSink::~SmtpSink()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool SmtpSink::start(QString *problem, const QString &certFile, const QString &keyFile)
{
    m_port = freeLoopbackPort();
    QStringList arguments{QStringLiteral("-m"), QStringLiteral("aiosmtpd"), QStringLiteral("-n"), QStringLiteral("-l"),
        QStringLiteral("127.0.0.1:%1").arg(m_port)};
    if (!certFile.isEmpty())
        arguments += {QStringLiteral("--tlscert"), certFile, QStringLiteral("--tlskey"), keyFile};
    arguments +=
        {QStringLiteral("-c"), QStringLiteral("aiosmtpd.handlers.Mailbox"), m_dir.filePath(QStringLiteral("mail"))};
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QString::fromLatin1(kPython), arguments);
    // Up once it takes connections; bounded in time.
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(200))
            return true;
        m_process.waitForFinished(100);
    }
    *problem = QStringLiteral("aiosmtpd did not start: ") + QString::fromLocal8Bit(m_process.readAll());
    return false;
}

QList<QByteArray> SmtpSink::messages() const
{
    QFileInfoList files = QDir(m_dir.filePath(QStringLiteral("mail/new"))).entryInfoList(QDir::Files);
    std::sort(files.begin(), files.end(),
        [](const QFileInfo &a, const QFileInfo &b) { return a.lastModified() < b.lastModified(); });
    QList<QByteArray> result;
    for (const QFileInfo &info : std::as_const(files)) {
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            result.append(file.readAll());
    }
    return result;
}

} // namespace jw::test

#include "support/dnsserver.h"

#include <QElapsedTimer>
#include <QStandardPaths>

#include <unistd.h>

namespace jw::test {

QString DnsServer::unavailableReason()
{
    if (QStandardPaths::findExecutable(
            QStringLiteral("dnsmasq"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
            .isEmpty())
        return QStringLiteral("dnsmasq is not installed (Debian package dnsmasq-base)");
    if (::geteuid() != 0)
        return QStringLiteral("a name server on port 53 needs root");
    return {};
}

DnsServer::DnsServer(QString address, const QStringList &records)
    : m_address(std::move(address))
    , m_records(records)
{
}

DnsServer::~DnsServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool DnsServer::start(QString *problem)
{
    QStringList arguments{QStringLiteral("--keep-in-foreground"), QStringLiteral("--conf-file=/dev/null"),
        QStringLiteral("--no-resolv"), QStringLiteral("--no-hosts"), QStringLiteral("--no-poll"),
        QStringLiteral("--bind-interfaces"), QStringLiteral("--listen-address=") + m_address,
        QStringLiteral("--port=53"), QStringLiteral("--pid-file="), QStringLiteral("--user=root"),
        QStringLiteral("--local=/example/"), QStringLiteral("--local=/test/"), QStringLiteral("--log-facility=-")};
    arguments += m_records;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStandardPaths::findExecutable(
                        QStringLiteral("dnsmasq"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")}),
        arguments);
    QByteArray said;
    QElapsedTimer waited;
    waited.start();
    // It says "started" once it listens, or why it could not.
    while (waited.elapsed() < 5000 && m_process.state() != QProcess::NotRunning && !said.contains("started")) {
        m_process.waitForReadyRead(200);
        said += m_process.readAll();
    }
    if (said.contains("started") && m_process.state() == QProcess::Running)
        return true;
    *problem = QStringLiteral("dnsmasq did not start: ") + QString::fromLocal8Bit(said);
    return false;
}

} // namespace jw::test

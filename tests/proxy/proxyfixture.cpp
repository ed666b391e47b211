#include "proxyfixture.h"

#include <QDeadlineTimer>

namespace jw::test {

void ProxyFixture::SetUp()
{
    const QString unavailable = DovecotServer::unavailableReason();
    if (!unavailable.isEmpty())
        GTEST_SKIP() << unavailable.toStdString();
    dovecot = std::make_unique<DovecotServer>();
    dovecot->addUser("ann", "secret");
    QString problem;
    ASSERT_TRUE(dovecot->start(&problem)) << problem.toStdString();
    copyStagedProgram(folder, true);
    proxyPort = freeLoopbackPort();
    writeSettings();
    writeAccounts();
}

void ProxyFixture::TearDown()
{
    stopProxy();
    if (dovecot)
        dovecot->stop();
}

void ProxyFixture::writeSettings(const QByteArray &extra)
{
    writeFile(configFile("main.cfg"),
        "server_port=" + QByteArray::number(proxyPort) + "\r\nwhat_with_spam=quarantine\r\n"
            + "tls_ca_file=" + QFile::encodeName(dovecot->caFile()) + "\r\n" + extra);
}

void ProxyFixture::writeAccounts(quint16 port, const QByteArray &more)
{
    const QByteArray realPort = QByteArray::number(port ? port : dovecot->plainPort(), 16).rightJustified(8, '0');
    writeFile(folder.file(QStringLiteral("registry.reg")),
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Brightfold\\Mailmoat\\Accounts\\00000001]\r\n"
        "\"Account Name\"=\"Ann\"\r\n"
        "\"POP3 Server\"=\"localhost\"\r\n"
        "\"POP3 User Name\"=\"ann,localhost\"\r\n"
        "\"POP3 Port\"=dword:"
            + QByteArray::number(proxyPort, 16).rightJustified(8, '0')
            + "\r\n"
              "\"Use Mailmoater\"=\"yes\"\r\n"
              "\"POP3 Server orig\"=\"localhost\"\r\n"
              "\"POP3 Port orig\"=dword:"
            + realPort + "\r\n" + more + "\r\n");
}

void ProxyFixture::startProxy(const QProcessEnvironment &environment)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // No mail client's profile of the user's names an account here.
    env.insert(QStringLiteral("HOME"), folder.file(QStringLiteral("home")));
    for (const QString &name : environment.keys())
        env.insert(name, environment.value(name));
    env.insert(QStringLiteral("JUNKWARDEN_REGISTRY"), folder.file(QStringLiteral("registry.reg")));
    proxy.setProcessEnvironment(env);
    proxy.setProcessChannelMode(captureProxyOutput ? QProcess::MergedChannels : QProcess::ForwardedChannels);
    proxy.start(folder.file(QStringLiteral("vexel3")), {});
    ASSERT_TRUE(proxy.waitForStarted(5000));
    ASSERT_TRUE(waitUntil([this] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, proxyPort);
        return probe.waitForConnected(200);
    })) << "the proxy listens";
}

void ProxyFixture::stopProxy()
{
    if (proxy.state() == QProcess::NotRunning)
        return;
    proxy.kill();
    proxy.waitForFinished(5000);
    if (captureProxyOutput)
        proxyOutput += proxy.readAll();
}

ProxyFixture::Fetch ProxyFixture::curl(
    const QString &path, const QStringList &extra, const QByteArray &user, const QByteArray &password)
{
    QProcess client;
    QStringList arguments{QStringLiteral("-s"), QStringLiteral("-S"), QStringLiteral("--max-time"),
        QStringLiteral("60"), QStringLiteral("-u"), QString::fromUtf8(user + ':' + password)};
    arguments += extra;
    arguments.append(QStringLiteral("pop3://127.0.0.1:%1/%2").arg(proxyPort).arg(path));
    client.start(QStringLiteral("curl"), arguments);
    Fetch fetch;
    if (!client.waitForFinished(70000)) {
        client.kill();
        client.waitForFinished(5000);
        return fetch;
    }
    fetch.exitCode = client.exitCode();
    fetch.out = client.readAllStandardOutput();
    fetch.err = client.readAllStandardError();
    return fetch;
}

QList<QByteArray> ProxyFixture::uidls(const QByteArray &user)
{
    const Fetch fetch = curl(QString(), {QStringLiteral("-X"), QStringLiteral("UIDL")}, user);
    QList<QByteArray> ids;
    for (const QByteArray &line : fetch.out.split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split(' ');
        if (fields.size() == 2)
            ids.append(fields.at(1));
    }
    return ids;
}

qint64 ProxyFixture::proxyPeakKb()
{
    for (const QByteArray &line : readFile(QStringLiteral("/proc/%1/status").arg(proxy.processId())).split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

Pop3Talk::Pop3Talk(quint16 port)
{
    m_socket.connectToHost(QHostAddress::LocalHost, port);
    m_connected = m_socket.waitForConnected(5000) && readLine().startsWith("+OK");
}

QByteArray Pop3Talk::readLine()
{
    const QDeadlineTimer deadline(30000);
    while (!m_socket.canReadLine() && !deadline.hasExpired()) {
        if (!m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
    }
    return m_socket.canReadLine() ? m_socket.readLine().trimmed() : QByteArray();
}

QByteArray Pop3Talk::say(const QByteArray &line)
{
    m_socket.write(line + "\r\n");
    m_socket.flush();
    return readLine();
}

QList<QByteArray> Pop3Talk::readBody()
{
    QList<QByteArray> lines;
    for (int i = 0; i < 100000; ++i) {
        const QByteArray line = readLine();
        if (line == "." || (line.isEmpty() && m_socket.state() != QAbstractSocket::ConnectedState))
            break;
        lines.append(line);
    }
    return lines;
}

} // namespace jw::test

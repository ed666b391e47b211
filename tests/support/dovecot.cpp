#include "support/dovecot.h"

#include "support/testfiles.h"

#include <QDir>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

#include <unistd.h>

namespace jw::test {

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString DovecotServer::unavailableReason()
{
    if (QStandardPaths::findExecutable(
            QStringLiteral("dovecot"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")})
            .isEmpty())
        return QStringLiteral("Dovecot is not installed (Debian package dovecot-pop3d)");
    if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
        return QStringLiteral("openssl is not installed");
    if (::geteuid() != 0)
        return QStringLiteral("Dovecot with its own users needs root here");
    return {};
}

DovecotServer::DovecotServer()
{
    // Dovecot's own processes (dovenull, nobody) must reach the folder.
    QFile::setPermissions(m_dir.path(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
            | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
}

DovecotServer::~DovecotServer()
{
    stop();
}

void DovecotServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void DovecotServer::addUser(const QByteArray &name, const QByteArray &password)
{
    m_passwd += name + ":{PLAIN}" + password + "\n";
    writeFile(m_dir.filePath(QStringLiteral("passwd")), m_passwd);
    for (const char *sub : {"cur", "new", "tmp"})
        QDir().mkpath(mailFolder(name) + QLatin1String(sub));
    QProcess::execute(QStringLiteral("chown"),
        {QStringLiteral("-R"), QStringLiteral("nobody:nogroup"), m_dir.filePath(QStringLiteral("home"))});
}

QString DovecotServer::mailFolder(const QByteArray &user) const
{
    return m_dir.filePath(QStringLiteral("home/") + QString::fromUtf8(user) + QStringLiteral("/Maildir/"));
}

QString DovecotServer::addMessage(const QByteArray &user, const QByteArray &source)
{
    ++m_messageCount;
    const QString name = QStringLiteral("%1.%2.test").arg(1700000000 + m_messageCount).arg(m_messageCount);
    const QString path = mailFolder(user) + QStringLiteral("new/") + name;
    writeFile(path, source);
    QProcess::execute(QStringLiteral("chown"), {QStringLiteral("nobody:nogroup"), path});
    return name;
}

QStringList DovecotServer::messagesOf(const QByteArray &user) const
{
    QStringList names;
    for (const char *sub : {"new", "cur"})
        names += QDir(mailFolder(user) + QLatin1String(sub)).entryList(QDir::Files);
    return names;
}

void DovecotServer::removeMessagesOf(const QByteArray &user)
{
    for (const char *sub : {"new/", "cur/"}) {
        QDir folder(mailFolder(user) + QLatin1String(sub));
        for (const QString &name : folder.entryList(QDir::Files))
            folder.remove(name);
    }
}

QByteArray DovecotServer::log() const
{
    return readFile(m_dir.filePath(QStringLiteral("dovecot.log")));
}

bool DovecotServer::start(QString *problem, quint16 tlsPort, bool tls)
{
    const QString dir = m_dir.path();
    const int made = QProcess::execute(QStringLiteral("openssl"),
        {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
            QStringLiteral("-nodes"), QStringLiteral("-keyout"), dir + QStringLiteral("/key.pem"),
            QStringLiteral("-out"), dir + QStringLiteral("/cert.pem"), QStringLiteral("-days"), QStringLiteral("2"),
            QStringLiteral("-subj"), QStringLiteral("/CN=localhost"), QStringLiteral("-addext"),
            QStringLiteral("subjectAltName=DNS:localhost,IP:127.0.0.1")});
    if (made != 0) {
        *problem = QStringLiteral("openssl could not make a certificate");
        return false;
    }
    m_plainPort = freeLoopbackPort();
    m_tlsPort = tlsPort ? tlsPort : freeLoopbackPort();
    const QByteArray d = QFile::encodeName(dir);
    const QByteArray config = "base_dir = " + d
        + "/run\n"
          "state_dir = "
        + d
        + "/state\n"
          "log_path = "
        + d
        + "/dovecot.log\n"
          "protocols = pop3\n"
          "listen = 127.0.0.1\n"
        + (tls ? "ssl = yes\n" : "ssl = no\n") + "ssl_cert = <" + d
        + "/cert.pem\n"
          "ssl_key = <"
        + d
        + "/key.pem\n"
          "disable_plaintext_auth = no\n"
          "auth_mechanisms = "
        + (m_introspection.isEmpty() ? QByteArray("plain") : QByteArray("xoauth2 oauthbearer")) + "\n"
        + "first_valid_uid = 1\n"
        + (m_introspection.isEmpty()
                ? QByteArray()
                : "auth_verbose = yes\npassdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n  args = " + d
                    + "/oauth2.conf.ext\n}\n")
        + "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " + d
        + "/passwd\n}\n"
          "userdb {\n  driver = static\n  args = uid=nobody gid=nogroup home="
        + d
        + "/home/%u\n}\n"
          "mail_location = maildir:~/Maildir\n"
          "pop3_uidl_format = %08Xu%08Xv\n"
          // Many clients of one user at once (the default allows ten).
          "protocol pop3 {\n  mail_max_userip_connections = 500\n}\n"
          "service pop3-login {\n"
          "  inet_listener pop3 {\n    address = 127.0.0.1\n    port = "
        + QByteArray::number(m_plainPort) + "\n  }\n"
        + (tls ? "  inet_listener pop3s {\n    address = 127.0.0.1\n    port = " + QByteArray::number(m_tlsPort)
                    + "\n    ssl = yes\n  }\n"
               : QByteArray())
        + "}\n";
    writeFile(dir + QStringLiteral("/dovecot.conf"), config);
    writeFile(dir + QStringLiteral("/oauth2.conf.ext"),
        "introspection_mode = post\nintrospection_url = " + m_introspection
            + "\nusername_attribute = username\nactive_attribute = active\nactive_value = true\n");
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("/usr/sbin/dovecot"),
        {QStringLiteral("-F"), QStringLiteral("-c"), dir + QStringLiteral("/dovecot.conf")});
    if (!m_process.waitForStarted(5000)) {
        *problem = QStringLiteral("dovecot did not start");
        return false;
    }
    if (!tls)
        m_tlsPort = 0;
    const bool up = waitUntil(
        [this] {
            for (quint16 port : {m_plainPort, m_tlsPort}) {
                if (port == 0)
                    continue;
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, port);
                if (!probe.waitForConnected(200))
                    return false;
            }
            return true;
        },
        10000);
    if (!up)
        *problem = QStringLiteral("dovecot did not come up: ") + QString::fromUtf8(m_process.readAll() + log());
    return up;
}

} // namespace jw::test

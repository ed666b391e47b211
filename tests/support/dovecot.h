#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace jw::test {

// A free TCP port on 127.0.0.1 at the moment of asking.
quint16 freeLoopbackPort();

// A real Dovecot POP3 server from Debian, with its own configuration, users
// and mail in a temporary folder, listening on loopback only: plain with
// STLS on one port, TLS from the first byte on another, both with a
// certificate for "localhost" made here with openssl. Started and stopped
// by the test.
class DovecotServer
{
public:
    // Why this machine cannot run one (no dovecot, no openssl, not root);
    // empty when it can.
    static QString unavailableReason();

    DovecotServer();
    ~DovecotServer();

    // `tlsPort` 0 picks a free one. False, with the log, when it did not
    // come up. Without `tls` it offers neither STLS nor a TLS port.
    bool start(QString *problem, quint16 tlsPort = 0, bool tls = true);
    void stop();

    void addUser(const QByteArray &name, const QByteArray &password);
    // Before start: OAuth 2.0 logins (XOAUTH2, OAUTHBEARER) only, their
    // tokens asked of this introspection address; no password is taken.
    void acceptOAuth(const QByteArray &introspectionUrl) { m_introspection = introspectionUrl; }
    // Puts a message (CR LF line ends, as the server sends it) in the user's
    // new mail; returns its file name.
    QString addMessage(const QByteArray &user, const QByteArray &source);
    // The messages the user's mailbox holds now.
    QStringList messagesOf(const QByteArray &user) const;
    void removeMessagesOf(const QByteArray &user);

    quint16 plainPort() const { return m_plainPort; }
    quint16 tlsPort() const { return m_tlsPort; }
    // The certificate that signs the server's (it signs itself).
    QString caFile() const { return m_dir.filePath(QStringLiteral("cert.pem")); }
    QString keyFile() const { return m_dir.filePath(QStringLiteral("key.pem")); }
    QByteArray log() const;

private:
    QString mailFolder(const QByteArray &user) const;

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_plainPort = 0;
    quint16 m_tlsPort = 0;
    QByteArray m_passwd;
    QByteArray m_introspection;
    int m_messageCount = 0;
};

} // namespace jw::test

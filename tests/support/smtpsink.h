#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace jw::test {

// A real SMTP server that keeps what it receives (aiosmtpd from Debian,
// writing a Maildir), on 127.0.0.1 at a free port. With a certificate it
// offers STARTTLS and takes mail only after it. Started and stopped by the
// test.
class SmtpSink
{
public:
    // Why this machine cannot run one; empty when it can.
    static QString unavailableReason();

    SmtpSink();
    ~SmtpSink();

    // False, with its words, when it did not come up within 10 s.
    bool start(QString *problem, const QString &certFile = {}, const QString &keyFile = {});
    quint16 port() const { return m_port; }
    // The messages received so far, as stored, oldest first.
    QList<QByteArray> messages() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};

} // namespace jw::test

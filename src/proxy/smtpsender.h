#pragma once

#include <QByteArray>
#include <QObject>
#include <QSslConfiguration>
#include <QString>

#include <functional>

class QSslSocket;
class QTimer;

namespace jw {

// Where and how to send.
struct SmtpRoute
{
    QString server;
    quint16 port = 25;
    // Port 465 is TLS from the first byte; otherwise STARTTLS is used when
    // offered and, with `tlsRequired`, nothing is sent without it.
    bool tlsRequired = false;
    QSslConfiguration tls;
    // Authenticates (AUTH PLAIN) when the server offers it over TLS.
    QString user;
    QByteArray password;
};

// Sends one message by SMTP (RFC 5321) with a null return path, as an
// automatic reply should (RFC 3834), then deletes itself. `done` gets
// whether the server took it and, if not, its answer or the reason.
// Gives up after `timeoutMs` of silence.
class SmtpSender : public QObject
{
public:
    static void send(const SmtpRoute &route, const QString &recipient, const QByteArray &message,
        std::function<void(bool, const QString &)> done, int timeoutMs = 60000, QObject *parent = nullptr);

private:
    SmtpSender(const SmtpRoute &route, const QString &recipient, const QByteArray &message,
        std::function<void(bool, const QString &)> done, int timeoutMs, QObject *parent);
    void start();
    void onData();
    void reply(int code, const QByteArray &text);
    void say(const QByteArray &line);
    void finish(bool ok, const QString &detail);

    enum class Step { Greeting, Hello, StartTls, HelloAgain, Auth, MailFrom, Recipient, Data, Body, Quit };

    SmtpRoute m_route;
    QString m_recipient;
    QByteArray m_message;
    std::function<void(bool, const QString &)> m_done;
    QSslSocket *m_socket = nullptr;
    QTimer *m_timer = nullptr;
    Step m_step = Step::Greeting;
    QByteArray m_buffer;
    QByteArray m_replyText; // the lines of a multi-line answer so far
    bool m_finished = false;
};

} // namespace jw

#include "proxy/smtpsender.h"

#include <QSslSocket>
#include <QTimer>

namespace jw {

namespace {

constexpr qsizetype kMaxReplyLine = 4096;

QByteArray dotStuffed(const QByteArray &message)
{
    QByteArray out;
    out.reserve(message.size() + message.size() / 50 + 8);
    bool lineStart = true;
    for (const char c : message) {
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n';
    }
    if (!out.endsWith("\r\n"))
        out += "\r\n";
    return out + ".\r\n";
}

} // namespace

void SmtpSender::send(const SmtpRoute &route, const QString &recipient, const QByteArray &message,
    std::function<void(bool, const QString &)> done, int timeoutMs, QObject *parent)
{
    auto *sender = new SmtpSender(route, recipient, message, std::move(done), timeoutMs, parent);
    sender->start();
}

SmtpSender::SmtpSender(const SmtpRoute &route, const QString &recipient, const QByteArray &message,
    std::function<void(bool, const QString &)> done, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_route(route)
    , m_recipient(recipient)
    , m_message(message)
    , m_done(std::move(done))
{
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setInterval(timeoutMs);
    connect(m_timer, &QTimer::timeout, this, [this] { finish(false, QStringLiteral("the server did not answer")); });
}

void SmtpSender::start()
{
    m_socket = new QSslSocket(this);
    m_socket->setSslConfiguration(m_route.tls);
    m_socket->setPeerVerifyName(m_route.server);
    connect(m_socket, &QSslSocket::readyRead, this, &SmtpSender::onData);
    connect(m_socket, &QSslSocket::errorOccurred, this, [this] { finish(false, m_socket->errorString()); });
    connect(m_socket, &QSslSocket::disconnected, this,
        [this] { finish(false, QStringLiteral("the server closed the connection")); });
    connect(m_socket, &QSslSocket::encrypted, this, [this] {
        if (m_step == Step::StartTls) {
            m_step = Step::HelloAgain;
            say("EHLO [127.0.0.1]");
        }
    });
    m_timer->start();
    if (m_route.port == 465)
        m_socket->connectToHostEncrypted(m_route.server, m_route.port);
    else
        m_socket->connectToHost(m_route.server, m_route.port);
}

void SmtpSender::say(const QByteArray &line)
{
    m_socket->write(line + "\r\n");
}

void SmtpSender::onData()
{
    m_timer->start();
    m_buffer += m_socket->readAll();
    while (!m_finished) {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end < 0) {
            if (m_buffer.size() > kMaxReplyLine)
                finish(false, QStringLiteral("the server sent a line too long"));
            return;
        }
        const QByteArray line = m_buffer.left(end).trimmed();
        m_buffer.remove(0, end + 1);
        bool isNumber = false;
        const int code = line.left(3).toInt(&isNumber);
        if (!isNumber || line.size() < 3) {
            finish(false, QStringLiteral("the server does not speak SMTP: ") + QString::fromLatin1(line.left(80)));
            return;
        }
        m_replyText += line.mid(4) + '\n';
        if (line.size() > 3 && line.at(3) == '-')
            continue; // more lines of the same answer follow
        const QByteArray text = std::exchange(m_replyText, QByteArray());
        reply(code, text);
    }
}

void SmtpSender::reply(int code, const QByteArray &text)
{
    const auto refused = [&] {
        finish(false,
            QStringLiteral("the server answered %1 %2")
                .arg(code)
                .arg(QString::fromLatin1(text.simplified().left(200))));
    };
    const auto proceed = [this](const QByteArray &extensions) {
        const QByteArray upper = extensions.toUpper();
        bool authPlain = false;
        for (const QByteArray &extension : upper.split('\n'))
            authPlain = authPlain || (extension.startsWith("AUTH") && extension.split(' ').contains("PLAIN"));
        // No password (an account that signs in with OAuth 2.0): sent unauthenticated.
        if (m_socket->isEncrypted() && authPlain && !m_route.user.isEmpty() && !m_route.password.isEmpty()) {
            m_step = Step::Auth;
            const QByteArray credentials = QByteArray(1, '\0') + m_route.user.toUtf8() + '\0' + m_route.password;
            say("AUTH PLAIN " + credentials.toBase64());
        } else {
            m_step = Step::MailFrom;
            say("MAIL FROM:<>");
        }
    };
    switch (m_step) {
    case Step::Greeting:
        if (code != 220)
            return refused();
        m_step = Step::Hello;
        return say("EHLO [127.0.0.1]");
    case Step::Hello: {
        if (code != 250)
            return refused();
        const bool startTls = text.toUpper().split('\n').contains("STARTTLS");
        if (!m_socket->isEncrypted() && startTls) {
            m_step = Step::StartTls;
            return say("STARTTLS");
        }
        if (!m_socket->isEncrypted() && m_route.tlsRequired)
            return finish(
                false, QStringLiteral("the server offers no STARTTLS, and the account requires a secure connection"));
        return proceed(text);
    }
    case Step::StartTls:
        if (code != 220)
            return refused();
        return m_socket->startClientEncryption();
    case Step::HelloAgain:
        if (code != 250)
            return refused();
        return proceed(text);
    case Step::Auth:
        // The mail account's credentials need not be the sending ones: a
        // server that refuses them may still take the reply, and says so
        // at MAIL or RCPT otherwise.
        m_step = Step::MailFrom;
        return say("MAIL FROM:<>");
    case Step::MailFrom:
        if (code != 250)
            return refused();
        m_step = Step::Recipient;
        return say("RCPT TO:<" + m_recipient.toUtf8() + '>');
    case Step::Recipient:
        if (code != 250 && code != 251)
            return refused();
        m_step = Step::Data;
        return say("DATA");
    case Step::Data:
        if (code != 354)
            return refused();
        m_step = Step::Body;
        m_socket->write(dotStuffed(m_message));
        return;
    case Step::Body:
        if (code != 250)
            return refused();
        m_step = Step::Quit;
        say("QUIT");
        m_socket->disconnectFromHost();
        return finish(true, {});
    case Step::Quit:
        return;
    }
}

void SmtpSender::finish(bool ok, const QString &detail)
{
    if (m_finished)
        return;
    m_finished = true;
    m_timer->stop();
    if (!ok)
        m_socket->abort();
    if (m_done)
        m_done(ok, detail);
    deleteLater();
}

} // namespace jw

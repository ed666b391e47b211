#include "proxy/upstream.h"

#include <QPointer>
#include <QSslSocket>
#include <QTimer>

#include <utility>

namespace jw {

namespace {

QString sslErrorsText(const QList<QSslError> &errors)
{
    QStringList texts;
    for (const QSslError &error : errors)
        texts.append(error.errorString());
    return texts.join(QStringLiteral("; "));
}

} // namespace

Pop3Upstream::Pop3Upstream(QSslConfiguration tls, QObject *parent, int replyTimeoutMs)
    : QObject(parent)
    , m_socket(new QSslSocket(this))
    , m_timer(new QTimer(this))
    , m_replyTimeoutMs(replyTimeoutMs)
{
    m_socket->setSslConfiguration(tls);
    m_socket->setPeerVerifyMode(QSslSocket::VerifyPeer);
    m_socket->setReadBufferSize(1024 * 1024);
    // Commands and answers are small and strictly alternate: waiting to
    // gather more (Nagle) only meets the peer's delayed acknowledgement.
    connect(m_socket, &QSslSocket::connected, this, [this] {
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // Connected: the greeting (or the handshake) is an answer like any.
        armTimer(openTimeout());
    });
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        fail(m_phase == Phase::Connecting ? QStringLiteral("no connection to %1").arg(m_host)
                                          : QStringLiteral("%1 did not answer in time").arg(m_host));
    });
    connect(m_socket, &QSslSocket::readyRead, this, &Pop3Upstream::onReadyRead);
    connect(m_socket, &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            fail(QStringLiteral("%1 closed the connection").arg(m_host));
        else if (m_phase != Phase::Ready || m_inFlight || m_socket->state() != QAbstractSocket::ConnectedState)
            fail(QStringLiteral("%1: %2").arg(m_host, m_socket->errorString()));
    });
    connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) {
        // Never ignored: a server that cannot prove who it is gets nothing,
        // above all not the password.
        fail(QStringLiteral("the TLS certificate of %1 could not be verified (%2)").arg(m_host, sslErrorsText(errors)));
    });
    connect(m_socket, &QSslSocket::encrypted, this, [this] {
        if (m_phase == Phase::Handshake) {
            m_phase = Phase::Greeting;
            armTimer(openTimeout());
        } else if (m_phase == Phase::StartingTls) {
            m_phase = Phase::Ready;
            m_timer->stop();
            if (auto opened = std::exchange(m_opened, {}))
                opened(QString());
            startCommand();
        }
    });
    connect(m_socket, &QSslSocket::disconnected, this,
        [this] { fail(QStringLiteral("%1 closed the connection").arg(m_host)); });
}

Pop3Upstream::~Pop3Upstream()
{
    m_failed = true;
    m_socket->abort();
}

bool Pop3Upstream::isSecure() const
{
    return m_socket->isEncrypted();
}

void Pop3Upstream::open(const QString &host, quint16 port, Security security, std::function<void(const QString &)> done)
{
    m_host = host;
    m_security = security;
    m_opened = std::move(done);
    armTimer(openTimeout());
    if (security == Security::ImplicitTls) {
        m_phase = Phase::Handshake;
        m_socket->connectToHostEncrypted(host, port);
    } else {
        m_phase = Phase::Greeting;
        m_socket->connectToHost(host, port);
    }
}

void Pop3Upstream::setPaused(bool paused)
{
    if (m_paused == paused)
        return;
    m_paused = paused;
    if (paused) {
        m_timer->stop(); // waiting on the client, not on the server
        return;
    }
    if (m_inFlight)
        armTimer(m_replyTimeoutMs);
    QMetaObject::invokeMethod(this, &Pop3Upstream::onReadyRead, Qt::QueuedConnection);
}

void Pop3Upstream::armTimer(int ms)
{
    m_timer->start(ms);
}

void Pop3Upstream::fail(const QString &why)
{
    if (m_failed)
        return;
    m_failed = true;
    m_timer->stop();
    m_queue.clear();
    m_sent = 0;
    m_socket->abort();
    if (auto opened = std::exchange(m_opened, {})) {
        opened(why);
        return;
    }
    Q_EMIT broken(why);
}

void Pop3Upstream::abandon()
{
    m_failed = true;
    m_timer->stop();
    m_queue.clear();
    m_socket->abort();
}

void Pop3Upstream::command(const QByteArray &line, bool multiline, Done done)
{
    m_queue.append({line, multiline, {}, std::move(done)});
    startCommand();
}

void Pop3Upstream::saslStep(const QByteArray &line, Done done)
{
    m_queue.append({line, false, {}, std::move(done), true});
    startCommand();
}

void Pop3Upstream::streamCommand(const QByteArray &line, LineSink onLine, Done done)
{
    m_queue.append({line, true, std::move(onLine), std::move(done)});
    startCommand();
}

void Pop3Upstream::startCommand()
{
    if (m_failed || m_phase != Phase::Ready)
        return;
    // A server that offers PIPELINING (RFC 2449) gets the next commands
    // before it has answered the first: no round trip per message.
    const int window = m_pipelining ? kPipelineWindow : 1;
    QByteArray out;
    while (m_sent < m_queue.size() && m_sent < window)
        out += m_queue.at(m_sent++).line + "\r\n";
    if (out.isEmpty())
        return;
    m_inFlight = true;
    m_socket->write(out);
    armTimer(m_replyTimeoutMs);
}

bool Pop3Upstream::finishCommand()
{
    m_timer->stop();
    Pending done = m_queue.takeFirst();
    --m_sent;
    m_inFlight = m_sent > 0;
    m_statusRead = false;
    const Reply reply = std::exchange(m_reply, Reply());
    m_replyBytes = 0;
    const QPointer<Pop3Upstream> alive(this);
    done.done(reply);
    if (!alive)
        return false;
    startCommand();
    // The server still owes answers to commands sent before: its time runs.
    if (m_inFlight && !m_paused && !m_failed)
        armTimer(m_replyTimeoutMs);
    return true;
}

void Pop3Upstream::afterGreeting()
{
    m_phase = Phase::Capabilities;
    m_socket->write("CAPA\r\n");
    armTimer(openTimeout());
}

void Pop3Upstream::startTls()
{
    m_phase = Phase::StartingTls;
    m_socket->write("STLS\r\n");
    armTimer(openTimeout());
}

void Pop3Upstream::onReadyRead()
{
    if (m_failed || m_paused)
        return;
    m_reader.readFrom(*m_socket);
    if (m_reader.overflowed()) {
        fail(QStringLiteral("%1 sent a line that is too long").arg(m_host));
        return;
    }
    if (m_inFlight)
        armTimer(m_replyTimeoutMs);
    while (!m_failed && !m_paused) {
        // Nothing may be read past the STLS answer before the handshake: it
        // belongs to TLS.
        if (m_phase == Phase::StartingTls && m_socket->mode() != QSslSocket::UnencryptedMode)
            return;
        // A streamed answer goes on in whole pieces, not line by line.
        if (m_phase == Phase::Ready && m_inFlight && m_statusRead && m_queue.first().onLine) {
            bool ended = false;
            const QByteArray lines = m_reader.takeLinesUntilEnd(&ended);
            if (!lines.isEmpty()) {
                const QPointer<Pop3Upstream> alive(this);
                m_queue.first().onLine(lines);
                if (!alive || m_failed)
                    return;
            }
            if (!ended || !finishCommand())
                return;
            // What came after this answer belongs to the next one.
            continue;
        }
        const std::optional<QByteArray> line = m_reader.takeLine();
        if (!line)
            return;
        switch (m_phase) {
        case Phase::Connecting:
        case Phase::Handshake:
            break;
        case Phase::Greeting:
            if (!line->startsWith("+OK")) {
                fail(QStringLiteral("%1 refused the connection: %2")
                         .arg(m_host, QString::fromUtf8(pop3::chopLineEnd(*line))));
                return;
            }
            afterGreeting();
            break;
        case Phase::Capabilities:
            if (!m_statusRead) {
                m_statusRead = true;
                m_reply = Reply();
                m_reply.ok = line->startsWith("+OK");
                if (m_reply.ok)
                    break;
            } else if (!pop3::isTerminator(*line)) {
                m_reply.lines.append(pop3::chopLineEnd(*line).toUpper());
                break;
            }
            m_statusRead = false;
            m_pipelining = m_reply.lines.contains("PIPELINING");
            if (m_security != Security::ImplicitTls && m_reply.lines.contains("STLS")) {
                startTls();
            } else if (m_security == Security::StartTlsRequired && !m_socket->isEncrypted()) {
                fail(QStringLiteral("%1 offers no secure connection (STLS), which this account requires").arg(m_host));
                return;
            } else if (m_security == Security::StartTlsSeenBefore && !m_socket->isEncrypted()) {
                fail(QStringLiteral("%1 offered a secure connection (STLS) before and does not now: someone may be "
                                    "listening in between, so the password is not sent (see Junkwarden's README)")
                         .arg(m_host));
                return;
            } else {
                m_phase = Phase::Ready;
                m_timer->stop();
                if (auto opened = std::exchange(m_opened, {}))
                    opened(QString());
                startCommand();
            }
            break;
        case Phase::StartingTls:
            if (!line->startsWith("+OK")) {
                if (m_security == Security::StartTlsRequired || m_security == Security::StartTlsSeenBefore) {
                    fail(QStringLiteral("%1 refused STLS, which this account requires").arg(m_host));
                    return;
                }
                // Offered, then refused: never fall back to sending the
                // password in the clear.
                fail(QStringLiteral("%1 offered STLS but refused it").arg(m_host));
                return;
            }
            m_socket->setPeerVerifyName(m_host);
            m_socket->startClientEncryption();
            return;
        case Phase::Ready: {
            // What does not fit the commands sent (an answer where none is
            // due, a status line that is none) means the answers are out of
            // step, as after a message whose lone "." was not doubled: what
            // follows cannot be trusted to belong to the command it seems to
            // answer, so the connection ends, without QUIT.
            if (!m_inFlight) {
                fail(QStringLiteral("%1 sent an answer where none was due").arg(m_host));
                return;
            }
            Pending &pending = m_queue.first();
            bool finished = false;
            if (!m_statusRead) {
                const bool challenge = pending.saslStep && line->startsWith('+') && !line->startsWith("+OK");
                if (!challenge && !line->startsWith("+OK") && !line->startsWith("-ERR")) {
                    fail(QStringLiteral("%1 sent a line that is not a POP3 answer").arg(m_host));
                    return;
                }
                m_statusRead = true;
                m_reply.status = pop3::chopLineEnd(*line);
                m_reply.ok = m_reply.status.startsWith("+OK");
                m_reply.continuation = challenge;
                finished = !m_reply.ok || !pending.multiline;
            } else if (pop3::isTerminator(*line)) {
                finished = true;
            } else {
                m_replyBytes += line->size();
                if (m_replyBytes > kMaxCollectedAnswer) {
                    fail(QStringLiteral("%1 sent an answer that is too long").arg(m_host));
                    return;
                }
                m_reply.lines.append(pop3::unstuffed(*line));
            }
            if (finished && !finishCommand())
                return;
            break;
        }
        }
    }
}

} // namespace jw

#pragma once

#include "proxy/pop3text.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslConfiguration>
#include <QString>

#include <algorithm>
#include <functional>

class QSslSocket;
class QTimer;

namespace jw {

// The proxy's connection to a real POP3 server: plain, TLS from the first
// byte, or upgraded with STLS. Commands go one at a time; answers come back
// through callbacks on the event loop.
class Pop3Upstream : public QObject
{
    Q_OBJECT
public:
    enum class Security {
        ImplicitTls, // port 995
        StartTlsIfOffered,
        StartTlsRequired, // the account requires a secure connection
        // The server offered a secure connection before: one that does not
        // now is taken for someone in between stripping it.
        StartTlsSeenBefore,
    };
    struct Reply
    {
        bool ok = false;
        QByteArray status; // the first line, without its line end
        QList<QByteArray> lines; // a multi-line answer's lines, un-stuffed, with line ends
        bool continuation = false; // a SASL challenge ("+ ..."), in `status`
    };
    using Done = std::function<void(const Reply &)>;
    // Whole lines of a multi-line answer, as many as have come, still
    // dot-stuffed as they travel.
    using LineSink = std::function<void(const QByteArray &lines)>;

    // Connecting, the greeting and securing the line: the mail client is
    // waiting for its login's answer meanwhile, and most give up after 30 s.
    static constexpr int kOpenTimeoutMs = 20000;
    static constexpr int kReplyTimeoutMs = 90000;
    // A listing collected whole (UIDL, LIST) is never larger than this:
    // memory follows what a mailbox can really hold.
    static constexpr qint64 kMaxCollectedAnswer = 64 * 1024 * 1024;

    // `replyTimeoutMs`: how long the server may keep an answer waiting.
    explicit Pop3Upstream(QSslConfiguration tls, QObject *parent = nullptr, int replyTimeoutMs = kReplyTimeoutMs);
    ~Pop3Upstream() override;

    // Connects, reads the greeting and secures the line as asked. `done`
    // gets an empty text on success, else why it failed (for the client).
    void open(const QString &host, quint16 port, Security security, std::function<void(const QString &)> done);
    // One command; a multi-line answer is collected whole.
    void command(const QByteArray &line, bool multiline, Done done);
    // One command whose multi-line answer is handed over in pieces of whole
    // lines as it arrives; `done` then gets the reply without lines.
    void streamCommand(const QByteArray &line, LineSink onLine, Done done);
    // A step of a SASL exchange (AUTH and the answers to its challenges):
    // the reply may be a continuation.
    void saslStep(const QByteArray &line, Done done);
    // Drops the connection without QUIT: the server changes nothing.
    void abandon();
    bool isSecure() const;
    // How long the server may keep the next answers waiting.
    void setReplyTimeout(int ms) { m_replyTimeoutMs = ms; }
    // While paused nothing more is read from the server: its data waits in
    // a bounded buffer and then in the network, so a slow client never makes
    // the proxy hold a whole large message.
    void setPaused(bool paused);

Q_SIGNALS:
    // The connection failed or timed out; pending callbacks are not called.
    void broken(const QString &why);

private:
    void onReadyRead();
    void fail(const QString &why);
    void startCommand();
    // False when the callback deleted this connection.
    bool finishCommand();
    void armTimer(int ms);
    int openTimeout() const { return std::min(m_replyTimeoutMs, kOpenTimeoutMs); }
    void afterGreeting();
    void startTls();

    struct Pending
    {
        QByteArray line;
        bool multiline = false;
        LineSink onLine;
        Done done;
        bool saslStep = false;
    };

    QSslSocket *m_socket = nullptr;
    QTimer *m_timer = nullptr;
    int m_replyTimeoutMs = kReplyTimeoutMs;
    pop3::LineReader m_reader{pop3::kMaxResponseLine};
    QString m_host;
    Security m_security = Security::StartTlsIfOffered;
    std::function<void(const QString &)> m_opened;
    QList<Pending> m_queue;
    static constexpr int kPipelineWindow = 16;
    bool m_inFlight = false; // some command sent and not yet answered
    int m_sent = 0; // queued commands already sent, from the front
    bool m_pipelining = false;
    bool m_statusRead = false;
    Reply m_reply;
    qint64 m_replyBytes = 0;
    bool m_failed = false;
    bool m_paused = false;
    enum class Phase { Connecting, Greeting, Capabilities, StartingTls, Handshake, Ready } m_phase = Phase::Connecting;
};

} // namespace jw

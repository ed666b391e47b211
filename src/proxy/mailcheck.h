#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QHostAddress;
class QTcpSocket;
class QTimer;

namespace jw {

struct ProxyContext;

// The mail check that "PostPing" asks for: the proxy logs in to itself as
// the mail program of every routed account it knows a password for, which
// judges the new mail (spam goes to the quarantine), and quits, which
// removes the held mail from the server. It retrieves nothing, so good
// mail stays on the server, and the session is an ordinary one: what the
// mail program sees next (UIDLs, order, the lines the filter adds) is what
// it would have seen without the check.
//
// A mail program that logs in to an account while the check is at it comes
// first: a check still judging gives up that account at once (nothing of it
// changes on the server), one already quitting is waited for (a few
// seconds at most).
class MailCheck : public QObject
{
    Q_OBJECT
public:
    // An account's check, from connecting to the end of its QUIT.
    static constexpr int kAccountTimeoutMs = 10 * 60 * 1000;
    // The longest a mail program waits for the check to quit an account.
    static constexpr int kMostWaitMs = 5000;

    MailCheck(ProxyContext &context, quint16 proxyPort, QObject *parent = nullptr);
    ~MailCheck() override;

    // Starts a check unless one runs; `done` gets one line that says what
    // it did ("+OK ..."), or why it did nothing ("-ERR ...").
    void start(std::function<void(const QByteArray &)> done);
    bool running() const { return m_running; }
    // Whether a connection to the proxy came from this check.
    bool isOwnConnection(const QHostAddress &peer, quint16 peerPort) const;
    // A mail program's login to `routedUser` ("user,server"): `proceed`
    // runs once the check is out of its way.
    void giveWay(const QString &routedUser, std::function<void()> proceed);
    // Remembers the password of a mail program's successful login, in
    // memory only, for the checks to come.
    void rememberPassword(const QString &routedUser, const QByteArray &password);

private:
    enum class Phase { Idle, Greeting, User, Pass, Quit };
    struct Login
    {
        QString routedUser;
        QByteArray password;
    };
    void nextAccount();
    void onData();
    void answered(const QByteArray &line);
    void endAccount(const QString &outcome);
    void finish();
    void releaseWaiting();
    static QString key(const QString &routedUser);

    ProxyContext &m_context;
    quint16 m_port;
    bool m_running = false;
    std::function<void(const QByteArray &)> m_done;
    QHash<QString, QByteArray> m_passwords; // by key(routed user)
    QList<Login> m_queue;
    Login m_current;
    Phase m_phase = Phase::Idle;
    QTcpSocket *m_socket = nullptr;
    QTimer *m_timeout = nullptr;
    QByteArray m_buffer;
    QList<std::function<void()>> m_waiting; // mail programs waiting for QUIT
    int m_checked = 0;
    int m_held = 0;
    QStringList m_skipped;
};

} // namespace jw

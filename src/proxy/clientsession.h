#pragma once

#include "accounts/accounts.h"
#include "proxy/judgement.h"
#include "proxy/mailfacts.h"
#include "proxy/pop3text.h"
#include "textfile/nativefile.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QTcpSocket;
class QTimer;

namespace jw {

class MessageBuffer;
class Pop3Upstream;
struct MailFacts;
struct ProxyContext;
struct UpstreamAccount;

// One mail client's POP3 session through the proxy. At login it logs in to
// the real server with the client's password, reads every message it has
// not judged before, holds back spam and shows the client only the rest
// (plus released messages), renumbered, with their own UIDLs kept. Changes
// on the server (deletions, held mail removed) happen only when the client
// ends with QUIT.
class ClientSession : public QObject
{
    Q_OBJECT
public:
    static constexpr int kIdleTimeoutMs = 10 * 60 * 1000;
    // Answers waiting for the client beyond this stop reading from it and
    // from the server.
    static constexpr qint64 kClientBacklog = 512 * 1024;

    // `fromMailCheck`: the proxy's own mail check is the client.
    ClientSession(QTcpSocket *client, ProxyContext &context, bool fromMailCheck = false, QObject *parent = nullptr);
    ~ClientSession() override;

Q_SIGNALS:
    void finished();

private:
    struct Message
    {
        int serverNumber = 0; // 0 for a released message
        QByteArray uidl;
        qint64 size = 0; // without the added lines
        QByteArray addedLines; // header lines put on top
        std::shared_ptr<MessageBuffer> cached; // the whole source, at hand
        bool readingAhead = false; // a RETR for it is on its way
        NativePath releasedCopy;
        bool deleted = false;
    };
    // Sources kept at hand in one session: judged mail up to this much is
    // delivered from here; the rest is fetched again when asked for.
    static constexpr qint64 kSessionCache = 32 * 1024 * 1024;
    // While the client takes one message, the next ones are read ahead
    // from the server, so it does not wait on the server's answer each time.
    static constexpr int kReadAheadCount = 8;
    static constexpr qint64 kReadAheadBytes = 4 * 1024 * 1024;
    enum class State { Authorization, AuthPlainContinuation, LoggingIn, Transaction, Closing };

    void onClientData();
    void handle(const QByteArray &line);
    // A whole answer goes out at once, not at the event loop's next turn:
    // a client that waits for each answer waits less.
    void send(const QByteArray &line);
    void sendMultiline(const QByteArray &status, const QList<QByteArray> &lines);
    void close();
    void flushNow(); // writes what the client socket holds now

    void authorization(const pop3::Command &command);
    void authPlain(const QByteArray &base64);
    void logIn(const QByteArray &routedUser, const QByteArray &password);
    void openUpstream(const UpstreamAccount &account, const QByteArray &user, const QByteArray &password);
    // Connects and logs in with the password, or with the access token.
    void connectUpstream(const QByteArray &user, const QByteArray &password, const QByteArray &accessToken);
    void authenticateWithToken(const QByteArray &user, const QByteArray &accessToken);
    void tokenRefused(const QByteArray &user, bool expired);
    void readListing();
    void takeListing(const QList<QByteArray> &uidlLines, const QList<QByteArray> &listLines);
    void judgeNext();
    // RETR into a buffer; `done` gets it whole, or null when the server
    // refused or it could not be kept. Not called once the session closes.
    void fetch(int serverNumber, std::function<void(const std::shared_ptr<MessageBuffer> &)> done);
    // The steps of one message's judgement: its facts and DNS questions
    // read on the judging thread, the DNS asked here, the verdict made on
    // the judging thread again; the sessions' thread only moves mail.
    void askDns(int index, const QList<DnsQuestion> &questions);
    void judgeApart(int index);
    void judgeInOrder();
    void judged(int serverNumber, const QByteArray &uidl, const std::shared_ptr<MessageBuffer> &message,
        const MailFacts &facts, const Verdict &verdict);
    void rememberPassed(const Message &message);
    // Runs `work` on the judging thread, after what was given it before.
    void apart(std::function<void()> work);
    static QByteArray hexHash(const QByteArray &data);
    // A message whose RETR gives far fewer octets than its LIST size
    // promised: most likely cut short by a lone "." the server did not
    // double.
    static bool muchShorter(qint64 got, qint64 listed);
    void addReleasedMessages();
    // Notes (add) or looks up and forgets (not add) a held message learned
    // as spam; true when it was noted before.
    // True when an earlier version learned the message as spam when it held it.
    bool forgetLearnedSpam(const MailFacts &facts);
    void enterTransaction();

    void transaction(const pop3::Command &command);
    Message *message(const QByteArray &argument, QByteArray *error);
    void retrieve(int index, int bodyLines);
    void relay(int index, int bodyLines);
    void readAhead(int from);
    void keep(Message &message, std::shared_ptr<MessageBuffer> source);
    void drop(Message &message);
    void quit();
    void finishQuit(bool serverOk, const QByteArray &serverStatus);
    void upstreamBroken(const QString &why);
    void progress(const QString &text);
    void resumeReading();
    void pump();

    ProxyContext &m_context;
    const bool m_fromMailCheck;
    QPointer<QTcpSocket> m_client;
    QTimer *m_idle = nullptr;
    pop3::LineReader m_reader;
    QList<QByteArray> m_pendingLines;
    bool m_busy = false;
    State m_state = State::Authorization;
    QByteArray m_user;
    QString m_routedUser; // "user,server" as the client logged in
    bool m_tokenRetried = false; // an expired token was refreshed once
    bool m_counted = false;

    Pop3Upstream *m_upstream = nullptr;
    UpstreamAccount m_account;
    QString m_realUser;
    QByteArray m_password; // for the automatic reply's SMTP; never written
    QString m_server;
    QString m_accountFolder;
    QString m_legacyFolder; // where earlier versions kept it
    QHash<QByteArray, QByteArray> m_passedBefore; // UIDL -> the lines added to it
    // The server's listing: memory follows the messages listed, never the
    // numbers written in it.
    QHash<int, QByteArray> m_serverUidls; // empty when the server has no UIDL
    QHash<int, qint64> m_serverSizes;
    QList<int> m_toJudge;
    int m_judgedCount = 0;
    // Messages read for judging, by their place in m_toJudge: judged in
    // that order once their DNS answers are in (or their wait is over).
    struct Fetched
    {
        std::shared_ptr<MessageBuffer> source; // null when it could not be read
        std::shared_ptr<MailFacts> facts;
        std::shared_ptr<Verdict> verdict;
        std::optional<NativePath> heldBefore; // stored in an earlier session, byte for byte
        bool ready = false;
    };
    QList<Fetched> m_fetched;
    int m_nextToJudge = 0;
    QList<Message> m_messages;
    QList<int> m_removeAtQuit; // server numbers of held and dropped mail
    QList<NativePath> m_deliveredCopies;
    QList<Judgement::OwnLesson> m_ownLessons; // sure verdicts, learned at QUIT
    bool m_heldAny = false;
    bool m_flushing = false; // inside flushNow
    // A message on its way to the client from here, a piece at a time as
    // the client takes it.
    struct Outgoing
    {
        std::shared_ptr<MessageBuffer> source;
        int index = -1; // the message's place in m_messages
        QByteArray status; // status line and added lines, sent first
        qint64 offset = 0;
        qint64 end = 0; // where it stops (TOP stops early)
        bool atLineStart = true;
    };
    std::optional<Outgoing> m_outgoing;
    // Part of a multi-line answer has gone to the client: a failure now can
    // only cut the line, never add words to the message.
    bool m_midAnswer = false;
    qint64 m_cachedBytes = 0;
    // A RETR or TOP that waits for its message to be read ahead.
    struct Waiting
    {
        int index = -1;
        int bodyLines = -1;
    };
    std::optional<Waiting> m_waiting;
};

} // namespace jw

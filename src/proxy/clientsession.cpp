#include "proxy/clientsession.h"

#include "accounts/accounts.h"
#include "accounts/thunderbirdsource.h"
#include "formats/filterlistfiles.h"
#include "formats/quarantinestore.h"
#include "formats/statusfile.h"
#include "platform/registry.h"
#include "proxy/autoreply.h"
#include "proxy/dnscache.h"
#include "proxy/judgement.h"
#include "proxy/wordmodel.h"
#include "proxy/mailfacts.h"
#include "proxy/messagebuffer.h"
#include "proxy/proxycontext.h"
#include "proxy/tlsmemory.h"
#include "proxy/upstream.h"
#include "textfile/codec.h"
#include "textfile/errors.h"
#include "textfile/lines.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>

#include <sys/socket.h>
#include <utility>

namespace jw {

namespace {

constexpr qint64 kClientBacklog = 512 * 1024;
const QByteArray kPassedLine = QByteArrayLiteral("X-Junkwarden: passed\r\n");
constexpr qsizetype kMaxAuthLine = 1024;
// What one client may make the proxy hold of what it sent: commands are
// taken only while their answers are being read.
constexpr qint64 kClientReadBuffer = 64 * 1024;
constexpr qsizetype kMaxPendingLines = 64;
// The server's answers during the login: the client waits for them.
constexpr int kLoginReplyMs = 20000;

// A message whose RETR gives far fewer octets than its LIST size promised:
// most likely cut short by a lone "." the server did not double.
bool muchShorter(qint64 got, qint64 listed)
{
    return listed > 0 && got < listed / 2 && listed - got > 1024;
}

// Where TOP with `bodyLines` lines of body ends in a source; -1 when the
// source cannot be read back.
qint64 topEnd(const MessageBuffer &source, int bodyLines)
{
    bool inHeader = true;
    bool lineEmpty = true;
    int taken = 0;
    for (qint64 offset = 0; offset < source.size();) {
        const QByteArray piece = source.read(offset, 256 * 1024);
        if (piece.isEmpty())
            return -1;
        for (qsizetype i = 0; i < piece.size(); ++i) {
            const char c = piece[i];
            if (c != '\n') {
                lineEmpty = lineEmpty && c == '\r';
                continue;
            }
            const qint64 next = offset + i + 1;
            if (inHeader) {
                inHeader = !lineEmpty;
                if (!inHeader && bodyLines == 0)
                    return next;
            } else if (++taken == bodyLines) {
                return next;
            }
            lineEmpty = true;
        }
        offset += piece.size();
    }
    return source.size();
}

QByteArray hexHash(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex();
}

// Dot-stuffs a piece of a message on its way to the client; `atLineStart`
// carries over between pieces.
QByteArray stuffPiece(const QByteArray &piece, bool &atLineStart)
{
    if (!piece.isEmpty() && !(atLineStart && piece.front() == '.') && !piece.contains("\n.")) {
        // Nothing to stuff: the piece goes as it is.
        atLineStart = piece.back() == '\n';
        return piece;
    }
    QByteArray out;
    out.reserve(piece.size() + 64);
    qsizetype start = 0;
    while (start < piece.size()) {
        if (atLineStart && piece[start] == '.')
            out.append('.');
        const qsizetype newline = piece.indexOf('\n', start);
        const qsizetype end = newline < 0 ? piece.size() : newline + 1;
        out.append(QByteArrayView(piece).sliced(start, end - start));
        atLineStart = newline >= 0;
        start = end;
    }
    return out;
}

QByteArray octets(const char *status, qint64 size)
{
    return QByteArray(status) + ' ' + QByteArray::number(size) + " octets";
}

} // namespace

ClientSession::ClientSession(QTcpSocket *client, ProxyContext &context, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_client(client)
    , m_idle(new QTimer(this))
    , m_reader(kMaxAuthLine)
{
    client->setParent(this);
    client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    client->setReadBufferSize(kClientReadBuffer);
    m_idle->setSingleShot(true);
    m_idle->setInterval(kIdleTimeoutMs);
    connect(m_idle, &QTimer::timeout, this, [this] {
        send("-ERR autologout: idle for too long");
        close();
    });
    connect(client, &QTcpSocket::readyRead, this, &ClientSession::onClientData);
    connect(client, &QTcpSocket::disconnected, this, &ClientSession::close);
    connect(client, &QTcpSocket::bytesWritten, this, &ClientSession::resumeReading);
    m_idle->start();
    send("+OK Junkwarden POP3 proxy ready");
}

ClientSession::~ClientSession()
{
    if (m_counted && --m_context.activeSessions == 0)
        m_context.status.idle();
}

void ClientSession::send(const QByteArray &line)
{
    if (m_client)
        m_client->write(line + "\r\n");
}

void ClientSession::sendMultiline(const QByteArray &status, const QList<QByteArray> &lines)
{
    QByteArray out = status + "\r\n";
    for (const QByteArray &line : lines)
        out += pop3::stuffed(line) + "\r\n";
    out += ".\r\n";
    if (m_client)
        m_client->write(out);
}

void ClientSession::close()
{
    if (m_state == State::Closing) {
        // The client's line is down now: the session goes.
        if (!m_client || m_client->state() == QAbstractSocket::UnconnectedState)
            deleteLater();
        return;
    }
    // Without QUIT the server changes nothing: held mail stays there (and in
    // the quarantine), deletions are forgotten.
    m_state = State::Closing;
    m_outgoing.reset();
    if (m_upstream)
        m_upstream->abandon();
    Q_EMIT finished();
    // The last answer still goes out before the line is closed; a client
    // that does not take it is cut off after a while.
    if (m_client && m_client->state() != QAbstractSocket::UnconnectedState) {
        m_client->disconnectFromHost();
        if (m_client->state() != QAbstractSocket::UnconnectedState) {
            QTimer::singleShot(10000, this, [this] {
                if (m_client)
                    m_client->abort();
                deleteLater();
            });
            return;
        }
    }
    deleteLater();
}

void ClientSession::onClientData()
{
    if (!m_client || m_state == State::Closing)
        return;
    m_idle->start();
    for (;;) {
        // Commands are answered strictly in order, also when a client sends
        // several at once.
        while (!m_busy && !m_pendingLines.isEmpty() && m_state != State::Closing)
            handle(m_pendingLines.takeFirst());
        // More is read only while the answers are being taken: a client
        // that sends and never reads waits in the network, not in memory.
        if (m_state == State::Closing || !m_client || m_pendingLines.size() >= kMaxPendingLines
            || m_client->bytesToWrite() >= kClientBacklog || m_client->bytesAvailable() <= 0)
            return;
        const QByteArray bytes = m_client->read(kClientReadBuffer);
        if (bytes.isEmpty())
            return;
        m_reader.append(bytes);
        while (const std::optional<QByteArray> line = m_reader.takeLine())
            m_pendingLines.append(*line);
        if (m_reader.overflowed()) {
            send("-ERR line too long");
            close();
            return;
        }
        if (m_busy)
            return;
    }
}

void ClientSession::handle(const QByteArray &line)
{
    if (m_state == State::AuthPlainContinuation) {
        authPlain(pop3::chopLineEnd(line));
        return;
    }
    const pop3::Command command = pop3::parseCommand(line);
    if (pop3::chopLineEnd(line).size() > pop3::kMaxCommandLine) {
        send("-ERR command line too long");
        return;
    }
    if (command.verb == "CAPA") {
        QList<QByteArray> capabilities{"USER", "SASL PLAIN", "TOP", "UIDL", "RESP-CODES", "AUTH-RESP-CODE",
                                       "IMPLEMENTATION Junkwarden"};
        sendMultiline("+OK capability list follows", capabilities);
        return;
    }
    if (command.verb == "QUIT" && m_state != State::Transaction) {
        send("+OK bye");
        close();
        return;
    }
    if (m_state == State::Authorization)
        authorization(command);
    else if (m_state == State::Transaction)
        transaction(command);
}

void ClientSession::authorization(const pop3::Command &command)
{
    if (command.verb == "USER" && command.arguments.size() == 1) {
        m_user = command.arguments.first();
        send("+OK send the password");
    } else if (command.verb == "PASS" && !m_user.isEmpty()) {
        // The password may hold blanks anywhere: it is the rest of the line.
        logIn(m_user, command.rest);
    } else if (command.verb == "AUTH" && !command.arguments.isEmpty()) {
        if (command.arguments.first().toUpper() != "PLAIN") {
            send("-ERR only AUTH PLAIN is offered");
        } else if (command.arguments.size() > 1) {
            authPlain(command.arguments.at(1));
        } else {
            m_state = State::AuthPlainContinuation;
            send("+ ");
        }
    } else if (command.verb == "NOOP") {
        send("+OK");
    } else {
        send("-ERR log in first (USER and PASS, or AUTH PLAIN)");
    }
}

void ClientSession::authPlain(const QByteArray &base64)
{
    m_state = State::Authorization;
    if (base64 == "*") {
        send("-ERR authentication cancelled");
        return;
    }
    const auto decoded = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    const QList<QByteArray> parts = decoded ? decoded.decoded.split('\0') : QList<QByteArray>();
    if (parts.size() != 3 || parts.at(1).isEmpty()) {
        send("-ERR [AUTH] malformed AUTH PLAIN answer");
        return;
    }
    logIn(parts.at(1), parts.at(2));
}

void ClientSession::logIn(const QByteArray &routedUser, const QByteArray &password)
{
    // Nothing the client sends reaches the server as more than the one
    // argument it was.
    for (const QByteArray *part : {&routedUser, &password}) {
        if (part->contains('\r') || part->contains('\n') || part->contains('\0')) {
            send("-ERR [AUTH] a user name or password with a line break or NUL is not passed on");
            return;
        }
    }
    const qsizetype comma = routedUser.indexOf(',');
    if (comma <= 0 || comma + 1 >= routedUser.size()) {
        send("-ERR [AUTH] Junkwarden expects the user name as name,server");
        return;
    }
    const QString user = decodeDisplay(routedUser.left(comma));
    const QString server = decodeDisplay(routedUser.mid(comma + 1)).trimmed();
    std::optional<UpstreamAccount> account;
    try {
        RegistryData data = m_context.accounts.load();
        account = findUpstreamAccount(data, user, server);
        if (!account)
            account = findThunderbirdUpstream(QDir::homePath(), user, server);
    } catch (const Error &e) {
        send("-ERR [SYS/TEMP] Junkwarden cannot read the account list: " + e.message().toUtf8());
        return;
    }
    if (!account) {
        // No open relay: only servers the user's accounts name.
        send("-ERR [AUTH] Junkwarden knows no account on " + server.toUtf8());
        return;
    }
    m_state = State::LoggingIn;
    m_busy = true;
    openUpstream(*account, routedUser.left(comma), password);
}

void ClientSession::openUpstream(const UpstreamAccount &account, const QByteArray &user, const QByteArray &password)
{
    m_server = account.server;
    m_account = account;
    m_realUser = decodeDisplay(user);
    m_password = password;
    m_accountFolder = QuarantineStore::accountFolderName(decodeDisplay(user), account.server);
    m_legacyFolder = QuarantineStore::legacyAccountFolderName(decodeDisplay(user), account.server);
    m_stateFile = m_context.stateFolder + QString::fromLatin1(hexHash(m_accountFolder.toUtf8())) + QStringLiteral(".judged");
    m_upstream = new Pop3Upstream(m_context.tls, this, kLoginReplyMs);
    connect(m_upstream, &Pop3Upstream::broken, this, &ClientSession::upstreamBroken);
    const TlsMemory tlsSeen(m_context.stateFolder);
    const Pop3Upstream::Security security = account.port == 995 || account.implicitTls ? Pop3Upstream::Security::ImplicitTls
        : account.tlsRequired                                   ? Pop3Upstream::Security::StartTlsRequired
        : tlsSeen.seen(account.server, account.port)            ? Pop3Upstream::Security::StartTlsSeenBefore
                                                                : Pop3Upstream::Security::StartTlsIfOffered;
    m_counted = true;
    ++m_context.activeSessions;
    progress(QStringLiteral("Connecting to %1").arg(m_server));
    m_upstream->open(account.server, account.port, security, [this, user, password](const QString &error) {
        if (!error.isEmpty()) {
            send("-ERR [SYS/TEMP] Junkwarden: " + error.toUtf8());
            m_state = State::Authorization;
            m_busy = false;
            m_upstream->deleteLater();
            m_upstream = nullptr;
            return;
        }
        // Secured once, always: a later plain answer is refused.
        if (m_upstream->isSecure())
            TlsMemory(m_context.stateFolder).remember(m_account.server, m_account.port);
        m_upstream->command("USER " + user, false, [this](const Pop3Upstream::Reply &reply) {
            if (!reply.ok) {
                send(reply.status.startsWith("-ERR") ? reply.status : "-ERR [AUTH] the server refused the user name");
                close();
            }
        });
        m_upstream->command("PASS " + password, false, [this](const Pop3Upstream::Reply &reply) {
            if (m_state != State::LoggingIn)
                return;
            if (!reply.ok) {
                // The server's own words: wrong password, locked mailbox.
                send(reply.status.startsWith("-ERR") ? reply.status : "-ERR [AUTH] login refused");
                close();
                return;
            }
            readListing();
        });
    });
}

void ClientSession::upstreamBroken(const QString &why)
{
    if (m_state == State::Closing)
        return;
    if (m_midAnswer && m_client) {
        // Inside a message: the client must see a broken transfer (a reset,
        // not an orderly close that may pass for the end), never an error
        // text as the rest of the message.
        const linger reset{1, 0};
        ::setsockopt(int(m_client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
        m_client->abort();
    } else {
        send("-ERR [SYS/TEMP] Junkwarden: " + why.toUtf8());
    }
    close();
}

void ClientSession::progress(const QString &text)
{
    m_context.status.working(text);
}

void ClientSession::readListing()
{
    // "UIDL TAB the added lines in Base64" a line (a bare UIDL: passed), so
    // a message keeps the lines, and the size, the client saw before.
    const std::optional<QByteArray> judged = readNativeFile(nativePath(m_stateFile));
    if (judged) {
        for (const QByteArray &line : splitLines(*judged, LineRule::AnyBreak)) {
            const qsizetype tab = line.lastIndexOf('\t');
            const QByteArray added = tab < 0 ? QByteArray() : QByteArray::fromBase64(line.mid(tab + 1));
            m_passedBefore.insert(tab < 0 ? line : line.left(tab), added.isEmpty() ? kPassedLine : added);
        }
    }
    auto uidlLines = std::make_shared<QList<QByteArray>>();
    m_upstream->command("UIDL", true, [uidlLines](const Pop3Upstream::Reply &reply) {
        if (reply.ok) // without UIDL every message is judged at every session
            *uidlLines = reply.lines;
    });
    m_upstream->command("LIST", true, [this, uidlLines](const Pop3Upstream::Reply &reply) {
        if (!reply.ok) {
            send(reply.status);
            close();
            return;
        }
        // Reading the messages may take long; each answer may take its time.
        m_upstream->setReplyTimeout(Pop3Upstream::kReplyTimeoutMs);
        takeListing(*uidlLines, reply.lines);
        judgeNext();
    });
}

void ClientSession::takeListing(const QList<QByteArray> &uidlLines, const QList<QByteArray> &listLines)
{
    // "number rest": the UIDL is the whole rest of its line.
    const auto split = [](const QByteArray &line, QByteArray *rest) {
        const QByteArray plain = pop3::chopLineEnd(line).trimmed();
        const qsizetype blank = plain.indexOf(' ');
        *rest = blank < 0 ? QByteArray() : plain.mid(blank + 1).trimmed();
        bool ok = false;
        const int number = plain.left(blank).toInt(&ok);
        return ok && number > 0 ? number : 0;
    };
    QByteArray rest;
    for (const QByteArray &line : uidlLines) {
        const int number = split(line, &rest);
        if (number > 0 && !rest.isEmpty())
            m_serverUidls.insert(number, rest);
    }
    QList<int> numbers;
    for (const QByteArray &line : listLines) {
        const int number = split(line, &rest);
        bool ok = false;
        const qint64 size = rest.toLongLong(&ok);
        if (number > 0 && ok && size >= 0 && !m_serverSizes.contains(number)) {
            m_serverSizes.insert(number, size);
            numbers.append(number);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    for (const int number : std::as_const(numbers)) {
        const QByteArray uidl = m_serverUidls.value(number);
        if (!uidl.isEmpty() && m_passedBefore.contains(uidl)) {
            Message seen;
            seen.serverNumber = number;
            seen.uidl = uidl;
            seen.size = m_serverSizes.value(number);
            seen.addedLines = m_passedBefore.value(uidl);
            m_messages.append(seen);
        } else {
            m_toJudge.append(number);
        }
    }
}

void ClientSession::judgeNext()
{
    if (m_toJudge.isEmpty()) {
        addReleasedMessages();
        return;
    }
    progress(QStringLiteral("Reading message 1 of %1 from %2").arg(m_toJudge.size()).arg(m_server));
    // All asked for at once: a server that pipelines sends them back to
    // back; answers come in order.
    m_fetched = QList<Fetched>(m_toJudge.size());
    m_nextToJudge = 0;
    for (int i = 0; i < m_toJudge.size(); ++i) {
        fetch(m_toJudge.at(i), [this, i](const std::shared_ptr<MessageBuffer> &source) {
            ++m_judgedCount;
            progress(QStringLiteral("Reading message %1 of %2 from %3")
                         .arg(m_judgedCount).arg(m_toJudge.size()).arg(m_server));
            Fetched &fetched = m_fetched[i];
            fetched.source = source;
            // One that cannot be read now is not shown and stays on the
            // server for the next session: nothing is lost.
            if (!source) {
                fetched.ready = true;
                judgeInOrder();
                return;
            }
            // Held in an earlier session that was broken off: the same bytes
            // are in the quarantine already, and are not judged again.
            const QuarantineStore store(m_context.messagesFolder, m_context.configFolder, QString(), QString());
            fetched.heldBefore = store.heldCopy(m_accountFolder, m_serverUidls.value(m_toJudge.at(i)), source->digest());
            if (fetched.heldBefore) {
                fetched.ready = true;
                judgeInOrder();
                return;
            }
            auto facts = std::make_shared<MailFacts>();
            fetched.facts = facts;
            Judgement &judgement = m_context.judgement;
            apart([self = QPointer<ClientSession>(this), i, facts, &judgement, head = source->head()] {
                *facts = readMailFacts(head);
                const QList<DnsQuestion> questions = judgement.dnsQuestions(*facts);
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [self, i, questions] {
                        if (self)
                            self->askDns(i, questions);
                    },
                    Qt::QueuedConnection);
            });
        });
    }
}

void ClientSession::apart(std::function<void()> work)
{
    m_context.readers.start(std::move(work));
}

void ClientSession::askDns(int index, const QList<DnsQuestion> &questions)
{
    if (m_state == State::Closing || index >= m_fetched.size() || !m_fetched.at(index).facts)
        return;
    m_context.dns.prepare(questions, this, [this, index] { judgeApart(index); });
}

void ClientSession::judgeApart(int index)
{
    if (m_state == State::Closing || index >= m_fetched.size() || !m_fetched.at(index).facts)
        return;
    Addressee addressee;
    addressee.account = m_accountFolder;
    // The account's own address, and the user name when it is one.
    for (const QString &address : {m_account.address, m_realUser}) {
        if (address.contains(QLatin1Char('@')) && !addressee.addresses.contains(address.toLower()))
            addressee.addresses.append(address.toLower());
    }
    auto verdict = std::make_shared<Verdict>();
    m_fetched[index].verdict = verdict;
    Judgement &judgement = m_context.judgement;
    apart([self = QPointer<ClientSession>(this), index, facts = m_fetched.at(index).facts, verdict, addressee, &judgement] {
        *verdict = judgement.judge(*facts, addressee);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, index] {
                if (!self || self->m_state == State::Closing || index >= self->m_fetched.size())
                    return;
                self->m_fetched[index].ready = true;
                self->judgeInOrder();
            },
            Qt::QueuedConnection);
    });
}

void ClientSession::judgeInOrder()
{
    if (m_state == State::Closing)
        return;
    while (m_nextToJudge < m_fetched.size() && m_fetched.at(m_nextToJudge).ready) {
        const Fetched fetched = std::exchange(m_fetched[m_nextToJudge], Fetched{{}, {}, {}, {}, true});
        const int number = m_toJudge.at(m_nextToJudge);
        ++m_nextToJudge;
        if (fetched.heldBefore) {
            m_removeAtQuit.append(number);
            m_heldAny = true;
        } else if (fetched.source && fetched.verdict) {
            judged(number, m_serverUidls.value(number), fetched.source, *fetched.facts, *fetched.verdict);
        }
    }
    if (m_nextToJudge == m_fetched.size() && !m_fetched.isEmpty()) {
        m_fetched.clear();
        addReleasedMessages();
    }
}

void ClientSession::fetch(int serverNumber, std::function<void(const std::shared_ptr<MessageBuffer> &)> done)
{
    auto buffer = std::make_shared<MessageBuffer>(m_context.stateFolder);
    auto failed = std::make_shared<bool>(false);
    m_upstream->streamCommand(
        "RETR " + QByteArray::number(serverNumber),
        [buffer, failed](const QByteArray &lines) {
            if (!*failed && !buffer->append(pop3::unstuffedLines(lines)))
                *failed = true;
        },
        [this, serverNumber, buffer, failed, done = std::move(done)](const Pop3Upstream::Reply &reply) {
            if (m_state == State::Closing)
                return;
            if (reply.ok && muchShorter(buffer->size(), m_serverSizes.value(serverNumber))) {
                upstreamBroken(QStringLiteral("%1 sent message %2 with %3 of the %4 octets it listed; its answers are out "
                                              "of step, so nothing is changed on the server")
                                   .arg(m_server).arg(serverNumber).arg(buffer->size()).arg(m_serverSizes.value(serverNumber)));
                return;
            }
            done(reply.ok && !*failed ? buffer : nullptr);
        });
}

void ClientSession::judged(int serverNumber, const QByteArray &uidl, const std::shared_ptr<MessageBuffer> &buffer,
                           const MailFacts &facts, const Verdict &verdict)
{
    Message message;
    message.serverNumber = serverNumber;
    message.uidl = uidl;
    message.size = buffer->size();
    const QString note = verdict.reason.isEmpty() ? QString() : QStringLiteral("; ") + verdict.reason;
    if (!verdict.spam) {
        message.addedLines = "X-Junkwarden: passed" + encodeDisplay(note) + "\r\n";
        m_messages.append(message);
        keep(m_messages.last(), buffer);
        rememberPassed(m_messages.last());
        return;
    }
    if (verdict.reply)
        m_context.replier.consider(facts, verdict, m_account, m_realUser, m_password);
    const QString what = m_context.whatWithSpam;
    if (what == QLatin1String("lowprio") || what == QLatin1String("nothing")) {
        message.addedLines = "X-Junkwarden: spam" + encodeDisplay(note) + "\r\n";
        if (what == QLatin1String("lowprio"))
            message.addedLines += "X-Priority: 5 (Lowest)\r\nImportance: low\r\n";
        m_messages.append(message);
        keep(m_messages.last(), buffer);
        rememberPassed(m_messages.last());
        return;
    }
    if (what == QLatin1String("drop")) {
        m_removeAtQuit.append(serverNumber);
        return;
    }
    // Quarantine (also for an unknown choice: holding loses nothing). It is
    // removed from the server only once its own bytes are safely stored.
    QuarantineStore store(m_context.messagesFolder, m_context.configFolder, QString(), QString());
    try {
        HeldMessage held;
        held.subject = facts.subject;
        held.sender = facts.from;
        held.spamNote = verdict.spamNote();
        held.content = facts.content;
        store.storeHeld(m_accountFolder, uidl, buffer->digest(), held,
                        [&buffer](const ContentWriter &write) { return buffer->writeTo(write); });
        m_removeAtQuit.append(serverNumber);
        m_heldAny = true;
        m_context.status.quarantine();
    } catch (const Error &) {
        // Could not be stored (full disk): it stays on the server, unseen by
        // the client, and is judged again at the next session.
        return;
    }
    // Spam until the user says otherwise by releasing it.
    Judgement &judgement = m_context.judgement;
    apart([&judgement, facts] { judgement.learn(facts, Judgement::Lesson::Spam); });
    rememberLearnedSpam(facts, true);
}

QByteArray ClientSession::judgedLine(const Message &message)
{
    return message.uidl + '\t' + message.addedLines.toBase64() + "\r\n";
}

void ClientSession::rememberPassed(const Message &message)
{
    // At once, not at the end: a session broken off goes on next time where
    // this one stopped, without judging again.
    if (message.uidl.isEmpty())
        return;
    QFile file(m_stateFile);
    if (file.open(QIODevice::Append))
        file.write(judgedLine(message));
}

bool ClientSession::rememberLearnedSpam(const MailFacts &facts, bool add)
{
    // The held messages learned as spam, by their words, newest last; the
    // oldest are forgotten beyond a bound.
    constexpr int kRemembered = 5000;
    const QByteArray key = hexHash(facts.words.join('\n')).left(32);
    const NativePath path = nativePath(m_context.stateFolder + QStringLiteral("learned_spam"));
    QList<QByteArray> keys = splitLines(readNativeFile(path).value_or(QByteArray()), LineRule::AnyBreak);
    keys.removeAll(QByteArray());
    const bool known = keys.removeAll(key) > 0;
    if (add)
        keys.append(key);
    if (keys.size() > kRemembered)
        keys = keys.mid(keys.size() - kRemembered);
    try {
        QDir().mkpath(m_context.stateFolder);
        writeNativeFileAtomically(path, QByteArray(keys.join('\n') + '\n'));
    } catch (const Error &) {
    }
    return known;
}

void ClientSession::addReleasedMessages()
{
    QuarantineStore store(m_context.messagesFolder, m_context.configFolder, QString(), QString());
    QList<NativePath> copies = store.resendCopiesOf(m_accountFolder);
    if (m_legacyFolder != m_accountFolder)
        copies += store.resendCopiesOf(m_legacyFolder);
    for (const NativePath &copy : std::as_const(copies)) {
        QByteArray source;
        try {
            source = QuarantineStore::sourceOfFile(copy);
        } catch (const Error &) {
            continue;
        }
        Message released;
        released.uidl = "jw-released-" + hexHash(copy).left(32);
        released.releasedCopy = copy;
        released.cached = std::make_shared<MessageBuffer>(m_context.stateFolder);
        if (!released.cached->append(source))
            continue;
        released.size = released.cached->size();
        m_cachedBytes += std::min<qint64>(released.size, MessageBuffer::kInMemory);
        released.addedLines = "X-Junkwarden: released from quarantine\r\n";
        m_messages.append(released);
    }
    enterTransaction();
}

void ClientSession::enterTransaction()
{
    m_state = State::Transaction;
    m_busy = false;
    qint64 total = 0;
    for (const Message &message : std::as_const(m_messages))
        total += message.size + message.addedLines.size();
    progress(QStringLiteral("Delivering mail from %1").arg(m_server));
    send("+OK " + QByteArray::number(m_messages.size()) + " messages (" + QByteArray::number(total) + " octets)");
    onClientData();
}

ClientSession::Message *ClientSession::message(const QByteArray &argument, QByteArray *error)
{
    bool ok = false;
    const int number = argument.toInt(&ok);
    if (!ok || number < 1 || number > m_messages.size()) {
        *error = "-ERR no such message";
        return nullptr;
    }
    Message &found = m_messages[number - 1];
    if (found.deleted) {
        *error = "-ERR message " + argument + " already deleted";
        return nullptr;
    }
    return &found;
}

void ClientSession::transaction(const pop3::Command &command)
{
    const QList<QByteArray> &args = command.arguments;
    QByteArray error;
    if (command.verb == "STAT") {
        int count = 0;
        qint64 total = 0;
        for (const Message &message : std::as_const(m_messages)) {
            if (!message.deleted) {
                ++count;
                total += message.size + message.addedLines.size();
            }
        }
        send("+OK " + QByteArray::number(count) + ' ' + QByteArray::number(total));
    } else if (command.verb == "LIST" || command.verb == "UIDL") {
        const bool uidl = command.verb == "UIDL";
        if (uidl && m_serverUidls.isEmpty() && !m_messages.isEmpty() && m_messages.first().serverNumber > 0) {
            send("-ERR the server offers no UIDL");
            return;
        }
        const auto describe = [uidl](int number, const Message &m) -> QByteArray {
            return QByteArray::number(number) + ' '
                + (uidl ? m.uidl : QByteArray::number(m.size + m.addedLines.size()));
        };
        if (!args.isEmpty()) {
            if (const Message *m = message(args.first(), &error))
                send("+OK " + describe(int(m - m_messages.constData()) + 1, *m));
            else
                send(error);
            return;
        }
        QList<QByteArray> lines;
        for (int i = 0; i < m_messages.size(); ++i) {
            if (!m_messages[i].deleted)
                lines.append(describe(i + 1, m_messages[i]));
        }
        sendMultiline("+OK", lines);
    } else if (command.verb == "RETR" && args.size() == 1) {
        if (Message *m = message(args.first(), &error))
            retrieve(int(m - m_messages.constData()), -1);
        else
            send(error);
    } else if (command.verb == "TOP" && args.size() == 2) {
        bool ok = false;
        const int lines = args.at(1).toInt(&ok);
        if (!ok || lines < 0)
            send("-ERR TOP needs a message and a number of lines");
        else if (Message *m = message(args.first(), &error))
            retrieve(int(m - m_messages.constData()), lines);
        else
            send(error);
    } else if (command.verb == "DELE" && args.size() == 1) {
        if (Message *m = message(args.first(), &error)) {
            m->deleted = true;
            if (m->serverNumber > 0)
                drop(*m);
            send("+OK deleted");
        } else {
            send(error);
        }
    } else if (command.verb == "RSET") {
        for (Message &message : m_messages)
            message.deleted = false;
        send("+OK");
    } else if (command.verb == "NOOP") {
        send("+OK");
    } else if (command.verb == "QUIT") {
        quit();
    } else {
        send("-ERR unknown command");
    }
}

void ClientSession::keep(Message &message, std::shared_ptr<MessageBuffer> source)
{
    const qint64 cost = std::min<qint64>(source->size(), MessageBuffer::kInMemory);
    if (m_cachedBytes + cost > kSessionCache)
        return; // fetched again from the server when the client asks
    message.cached = std::move(source);
    m_cachedBytes += cost;
}

void ClientSession::drop(Message &message)
{
    if (!message.cached)
        return;
    m_cachedBytes -= std::min<qint64>(message.cached->size(), MessageBuffer::kInMemory);
    message.cached.reset();
}

void ClientSession::readAhead(int from)
{
    int inFlight = 0;
    qint64 bytes = 0;
    for (int i = from; i < m_messages.size() && i < from + kReadAheadCount; ++i) {
        Message &ahead = m_messages[i];
        if (ahead.readingAhead)
            ++inFlight;
        if (ahead.cached || ahead.readingAhead || ahead.deleted || ahead.serverNumber <= 0)
            continue;
        const qint64 cost = ahead.size;
        if (cost > MessageBuffer::kInMemory || bytes + cost > kReadAheadBytes
            || m_cachedBytes + cost > kSessionCache || inFlight >= kReadAheadCount)
            break;
        bytes += cost;
        ++inFlight;
        ahead.readingAhead = true;
        m_cachedBytes += cost;
        fetch(ahead.serverNumber, [this, i, cost](const std::shared_ptr<MessageBuffer> &source) {
            Message &done = m_messages[i];
            done.readingAhead = false;
            m_cachedBytes -= cost;
            // A message whose size changed since the listing is not handed
            // over from here: the numbers the client saw would not hold.
            if (source && source->size() == done.size && !done.deleted)
                keep(done, source);
            if (m_waiting && m_waiting->index == i) {
                const Waiting waiting = *std::exchange(m_waiting, std::nullopt);
                retrieve(waiting.index, waiting.bodyLines);
            }
        });
    }
}

void ClientSession::retrieve(int index, int bodyLines)
{
    Message &message = m_messages[index];
    m_busy = true;
    if (message.releasedCopy.size() > 0 && bodyLines < 0 && !m_deliveredCopies.contains(message.releasedCopy))
        m_deliveredCopies.append(message.releasedCopy);
    if (bodyLines < 0)
        readAhead(index + 1);
    if (message.readingAhead) {
        // On its way: handed over as soon as it is here.
        m_waiting = Waiting{index, bodyLines};
        return;
    }
    if (!message.cached) {
        relay(index, bodyLines);
        return;
    }
    // Read in this session: delivered from here, not fetched again, whole
    // however long its header or body.
    const qint64 end = bodyLines < 0 ? message.cached->size() : topEnd(*message.cached, bodyLines);
    if (end < 0) {
        close(); // the spilled part cannot be read back
        return;
    }
    const qint64 size = message.size + message.addedLines.size();
    m_outgoing = Outgoing{message.cached, index, octets("+OK", size) + "\r\n" + message.addedLines, 0, end, true};
    pump();
}

void ClientSession::relay(int index, int bodyLines)
{
    // Relayed from the server as it comes.
    const Message &message = m_messages[index];
    const QByteArray command = bodyLines < 0
        ? QByteArray("RETR " + QByteArray::number(message.serverNumber))
        : QByteArray("TOP " + QByteArray::number(message.serverNumber) + ' ' + QByteArray::number(bodyLines));
    const qint64 listed = bodyLines < 0 ? message.size : 0;
    auto pendingStatus = std::make_shared<QByteArray>(octets("+OK", message.size + message.addedLines.size()) + "\r\n"
                                                      + message.addedLines);
    auto relayed = std::make_shared<qint64>(0);
    m_upstream->streamCommand(
        command,
        [this, pendingStatus, relayed](const QByteArray &lines) {
            if (!m_client)
                return;
            // Already stuffed as the server sent them, whole lines: they go
            // on as they are.
            m_midAnswer = true;
            *relayed += lines.size();
            m_client->write(std::exchange(*pendingStatus, QByteArray()) + lines);
            if (m_client->bytesToWrite() > kClientBacklog)
                m_upstream->setPaused(true);
        },
        [this, pendingStatus, relayed, listed](const Pop3Upstream::Reply &reply) {
            if (!m_client)
                return;
            if (reply.ok && muchShorter(*relayed, listed)) {
                // Cut short by a "." the server did not double: the client
                // sees a broken transfer, and the server is left as it is.
                upstreamBroken(QStringLiteral("%1 sent a message much shorter than it listed it").arg(m_server));
                return;
            }
            m_midAnswer = false;
            if (!reply.ok)
                send(reply.status.startsWith("-ERR") ? reply.status : "-ERR the server could not send it");
            else
                m_client->write(std::exchange(*pendingStatus, QByteArray()) + ".\r\n");
            m_busy = false;
            QMetaObject::invokeMethod(this, &ClientSession::onClientData, Qt::QueuedConnection);
        });
}

void ClientSession::pump()
{
    constexpr qint64 kPiece = 256 * 1024;
    while (m_outgoing && m_client && m_client->bytesToWrite() < kClientBacklog) {
        Outgoing &out = *m_outgoing;
        const QByteArray piece = out.source->read(out.offset, std::min(kPiece, out.end - out.offset));
        if (piece.isEmpty() && out.offset < out.end) {
            // The spilled part cannot be read back: end the session rather
            // than hand over half a message as if whole.
            m_outgoing.reset();
            close();
            return;
        }
        out.offset += piece.size();
        // A message that fits in one piece goes out in one write.
        QByteArray bytes = std::exchange(out.status, QByteArray()) + stuffPiece(piece, out.atLineStart);
        if (out.offset < out.end) {
            m_midAnswer = true;
            m_client->write(bytes);
            continue;
        }
        bytes += out.atLineStart ? QByteArray(".\r\n") : QByteArray("\r\n.\r\n");
        m_client->write(bytes);
        // Handed over whole: what is still on the server is fetched again
        // if the client asks twice.
        if (m_messages[out.index].serverNumber > 0 && out.end == out.source->size())
            drop(m_messages[out.index]);
        m_outgoing.reset();
        m_midAnswer = false;
        m_busy = false;
        QMetaObject::invokeMethod(this, &ClientSession::onClientData, Qt::QueuedConnection);
    }
}

void ClientSession::resumeReading()
{
    if (m_outgoing) {
        pump();
        return;
    }
    if (!m_client || m_client->bytesToWrite() >= kClientBacklog / 2)
        return;
    if (m_upstream)
        m_upstream->setPaused(false);
    // Commands that waited for their answers to be read.
    if (!m_busy && (m_client->bytesAvailable() > 0 || !m_pendingLines.isEmpty()))
        QMetaObject::invokeMethod(this, &ClientSession::onClientData, Qt::QueuedConnection);
}

void ClientSession::quit()
{
    m_busy = true;
    QList<int> remove = m_removeAtQuit;
    for (const Message &message : std::as_const(m_messages)) {
        if (message.deleted && message.serverNumber > 0)
            remove.append(message.serverNumber);
    }
    for (int number : std::as_const(remove))
        m_upstream->command("DELE " + QByteArray::number(number), false, [](const Pop3Upstream::Reply &) {});
    m_upstream->command("QUIT", false,
                        [this](const Pop3Upstream::Reply &reply) { finishQuit(reply.ok, reply.status); });
}

void ClientSession::finishQuit(bool serverOk, const QByteArray &serverStatus)
{
    // Remember what passed, so the next session does not fetch it again.
    QByteArray judged;
    for (const Message &message : std::as_const(m_messages)) {
        if (message.serverNumber > 0 && !message.deleted && !message.uidl.isEmpty())
            judged += judgedLine(message);
    }
    try {
        QDir().mkpath(m_context.stateFolder);
        writeNativeFileAtomically(nativePath(m_stateFile), judged);
    } catch (const Error &) {
    }
    // Released mail that the client has now: the copies and their lines go,
    // the senders are trusted from now on, and the messages are learned as
    // good mail.
    QuarantineStore store(m_context.messagesFolder, m_context.configFolder, QString(), QString());
    QStringList senders;
    Judgement &judgement = m_context.judgement;
    for (const NativePath &copy : std::as_const(m_deliveredCopies)) {
        try {
            const MailFacts facts = readMailFacts(QuarantineStore::sourceOfFile(copy));
            const Judgement::Lesson lesson =
                rememberLearnedSpam(facts, false) ? Judgement::Lesson::SpamWasGood : Judgement::Lesson::Good;
            apart([&judgement, facts, lesson] { judgement.learn(facts, lesson); });
            if (!facts.fromAddress.isEmpty())
                senders.append(facts.fromAddress);
        } catch (const Error &) {
        }
    }
    try {
        store.finishResends(m_deliveredCopies);
    } catch (const Error &) {
    }
    if (!senders.isEmpty()) {
        const QString autoList = m_context.configFolder + QLatin1String(kAutoWhiteListFile);
        const ListFile forget = readListFile(m_context.configFolder + QLatin1String(kDeletionLogFile));
        QStringList added;
        for (const QString &sender : std::as_const(senders)) {
            const QString mark = QStringLiteral("-") + QLatin1String(kAutoWhiteListFile) + QStringLiteral("::") + sender;
            bool forgotten = false;
            for (const QByteArray &line : forget.lines)
                forgotten = forgotten || decodeDisplay(line).trimmed().compare(mark, Qt::CaseInsensitive) == 0;
            if (!forgotten)
                added.append(sender);
        }
        try {
            if (!added.isEmpty() && readListFile(autoList).state == ListFile::State::Missing)
                appendToListFile(autoList, {});
            if (!added.isEmpty())
                addMissingToListFile(autoList, added);
        } catch (const Error &) {
        }
    }
    send(serverOk ? QByteArray("+OK bye") : "-ERR [SYS/TEMP] the server could not finish: " + serverStatus);
    m_client->flush();
    close();
}

} // namespace jw

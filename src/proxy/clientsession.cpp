// One client's POP3 dialogue: the greeting, the login and its relay to the
// real server, and the commands of the transaction state.
#include "proxy/clientsession.h"

#include "accounts/accounts.h"
#include "accounts/mailclientsource.h"
#include "formats/filterlistfiles.h"
#include "formats/quarantinestore.h"
#include "formats/statusfile.h"
#include "oauth/tokenstore.h"
#include "platform/registry.h"
#include "proxy/autoreply.h"
#include "proxy/dnscache.h"
#include "proxy/judgement.h"
#include "proxy/mailcheck.h"
#include "proxy/mailfacts.h"
#include "proxy/messagebuffer.h"
#include "proxy/proxycontext.h"
#include "proxy/tlsmemory.h"
#include "proxy/tokenbroker.h"
#include "proxy/upstream.h"
#include "proxy/wordmodel.h"
#include "textfile/codec.h"
#include "textfile/errors.h"
#include "textfile/lines.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <sys/socket.h>
#include <utility>

namespace jw {

namespace {

constexpr qsizetype kMaxAuthLine = 1024;
// What one client may make the proxy hold of what it sent: commands are
// taken only while their answers are being read.
constexpr qint64 kClientReadBuffer = 64 * 1024;
constexpr qsizetype kMaxPendingLines = 64;
// The server's answers during the login: the client waits for them.
constexpr int kLoginReplyMs = 20000;

} // namespace

QByteArray ClientSession::hexHash(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex();
}

bool ClientSession::muchShorter(qint64 got, qint64 listed)
{
    return listed > 0 && got < listed / 2 && listed - got > 1024;
}

ClientSession::ClientSession(QTcpSocket *client, ProxyContext &context, bool fromMailCheck, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_fromMailCheck(fromMailCheck)
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
    if (!m_client)
        return;
    m_client->write(line + "\r\n");
    flushNow();
}

void ClientSession::sendMultiline(const QByteArray &status, const QList<QByteArray> &lines)
{
    QByteArray out = status + "\r\n";
    for (const QByteArray &line : lines)
        out += pop3::stuffed(line) + "\r\n";
    out += ".\r\n";
    if (m_client) {
        m_client->write(out);
        flushNow();
    }
}

void ClientSession::flushNow()
{
    // What flushing writes is reported at once (bytesWritten), inside
    // whatever called this: that report is taken at the loop's next turn.
    m_flushing = true;
    m_client->flush();
    m_flushing = false;
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
        QList<QByteArray> capabilities{
            "USER", "SASL PLAIN", "TOP", "UIDL", "RESP-CODES", "AUTH-RESP-CODE", "IMPLEMENTATION Junkwarden"};
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
    } else if (command.verb == "XCHECK" && m_context.mailCheck && !m_fromMailCheck) {
        // The mail checker asks for a check; the answer comes when it ends.
        m_busy = true;
        m_context.mailCheck->start([self = QPointer<ClientSession>(this)](const QByteArray &outcome) {
            if (!self || self->m_state == State::Closing)
                return;
            self->m_busy = false;
            self->send(outcome);
            self->onClientData();
        });
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
        if (!account) {
            for (const auto &source : mailClientSources({QDir::homePath(), m_context.stateFolder})) {
                if ((account = source->upstream(user, server)))
                    break;
            }
        }
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
    m_routedUser = decodeDisplay(routedUser);
    auto open = [self = QPointer<ClientSession>(this), found = *account, user = routedUser.left(comma), password] {
        if (self && self->m_state == State::LoggingIn)
            self->openUpstream(found, user, password);
    };
    // A mail check at this account steps aside first.
    if (m_context.mailCheck && !m_fromMailCheck)
        m_context.mailCheck->giveWay(m_routedUser, open);
    else
        open();
}

void ClientSession::openUpstream(const UpstreamAccount &account, const QByteArray &user, const QByteArray &password)
{
    m_server = account.server;
    m_account = account;
    m_realUser = decodeDisplay(user);
    // With OAuth 2.0 the client's password goes nowhere, not even to the
    // automatic reply's server.
    m_password = account.oauth.isSet() ? QByteArray() : password;
    m_accountFolder = QuarantineStore::accountFolderName(decodeDisplay(user), account.server);
    m_legacyFolder = QuarantineStore::legacyAccountFolderName(decodeDisplay(user), account.server);
    if (!m_counted) {
        m_counted = true;
        ++m_context.activeSessions;
    }
    if (!account.oauth.isSet()) {
        connectUpstream(user, password, QByteArray());
        return;
    }
    // A session never waits for a browser: without a usable sign-in it is
    // told so at once, and the tray says which account.
    QString problem;
    const std::optional<OAuthEndpoints> endpoints = resolveOAuth(account.oauth, &problem);
    if (!endpoints || !m_context.tokens) {
        send("-ERR [AUTH] Junkwarden: " + problem.toUtf8());
        close();
        return;
    }
    m_context.tokens->accessToken(tokenAccount(m_realUser, m_server), *endpoints,
        [self = QPointer<ClientSession>(this), user](const TokenBroker::Result &result) {
            if (!self || self->m_state != State::LoggingIn)
                return;
            if (result.accessToken.isEmpty()) {
                self->send(result.signInNeeded ? QByteArray("-ERR [AUTH] sign-in needed, see Junkwarden")
                                               : "-ERR [SYS/TEMP] Junkwarden: " + result.error.toUtf8());
                self->close();
                return;
            }
            self->connectUpstream(user, QByteArray(), result.accessToken);
        });
}

void ClientSession::connectUpstream(const QByteArray &user, const QByteArray &password, const QByteArray &accessToken)
{
    const UpstreamAccount &account = m_account;
    m_upstream = new Pop3Upstream(m_context.tls, this, kLoginReplyMs);
    connect(m_upstream, &Pop3Upstream::broken, this, &ClientSession::upstreamBroken);
    const TlsMemory tlsSeen(m_context.stateFolder);
    // A token travels over verified TLS only.
    const Pop3Upstream::Security security = account.port == 995 || account.implicitTls
        ? Pop3Upstream::Security::ImplicitTls
        : account.tlsRequired || !accessToken.isEmpty() ? Pop3Upstream::Security::StartTlsRequired
        : tlsSeen.seen(account.server, account.port)    ? Pop3Upstream::Security::StartTlsSeenBefore
                                                        : Pop3Upstream::Security::StartTlsIfOffered;
    progress(QStringLiteral("Connecting to %1").arg(m_server));
    m_upstream->open(account.server, account.port, security, [this, user, password, accessToken](const QString &error) {
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
        if (!accessToken.isEmpty()) {
            authenticateWithToken(user, accessToken);
            return;
        }
        m_upstream->command("USER " + user, false, [this](const Pop3Upstream::Reply &reply) {
            if (!reply.ok) {
                send(reply.status.startsWith("-ERR") ? reply.status : "-ERR [AUTH] the server refused the user name");
                close();
            }
        });
        m_upstream->command("PASS " + password, false, [this, password](const Pop3Upstream::Reply &reply) {
            if (m_state != State::LoggingIn)
                return;
            if (!reply.ok) {
                // The server's own words: wrong password, locked mailbox.
                send(reply.status.startsWith("-ERR") ? reply.status : "-ERR [AUTH] login refused");
                close();
                return;
            }
            // Kept in memory for the mail checks, never written.
            if (m_context.mailCheck && !m_fromMailCheck)
                m_context.mailCheck->rememberPassword(m_routedUser, password);
            readListing();
        });
    });
}

void ClientSession::authenticateWithToken(const QByteArray &user, const QByteArray &accessToken)
{
    // Asked again on the secured line: a server may offer more after STLS.
    m_upstream->command("CAPA", true, [this, user, accessToken](const Pop3Upstream::Reply &capabilities) {
        if (m_state != State::LoggingIn)
            return;
        bool offered = false;
        for (const QByteArray &line : capabilities.lines) {
            const QList<QByteArray> words = line.trimmed().toUpper().split(' ');
            offered = offered || (words.value(0) == "SASL" && words.contains("XOAUTH2"));
        }
        if (!offered) {
            send("-ERR [AUTH] " + m_server.toUtf8() + " offers no OAuth 2.0 login (SASL XOAUTH2)");
            close();
            return;
        }
        // Always in two lines: a token is longer than a command line may be.
        m_upstream->saslStep("AUTH XOAUTH2", [this, user, accessToken](const Pop3Upstream::Reply &go) {
            if (m_state != State::LoggingIn)
                return;
            if (!go.continuation) {
                send("-ERR [AUTH] " + m_server.toUtf8() + " refused the OAuth 2.0 login");
                close();
                return;
            }
            const QByteArray answer = QByteArray("user=" + user
                + "\x01"
                  "auth=Bearer "
                + accessToken + "\x01\x01")
                                          .toBase64();
            m_upstream->saslStep(answer, [this, user](const Pop3Upstream::Reply &reply) {
                if (m_state != State::LoggingIn)
                    return;
                if (reply.ok) {
                    readListing();
                    return;
                }
                if (!reply.continuation) {
                    tokenRefused(user, false);
                    return;
                }
                // The failure's reasons come as a challenge, which an empty
                // line ends.
                const QJsonObject why =
                    QJsonDocument::fromJson(QByteArray::fromBase64(reply.status.mid(1).trimmed())).object();
                const bool expired = why.value(QLatin1String("status")).toVariant().toInt() == 401
                    || why.value(QLatin1String("status")).toString().contains(QLatin1String("invalid_token"));
                m_upstream->saslStep(QByteArray(), [this, user, expired](const Pop3Upstream::Reply &) {
                    if (m_state == State::LoggingIn)
                        tokenRefused(user, expired);
                });
            });
        });
    });
}

void ClientSession::tokenRefused(const QByteArray &user, bool expired)
{
    if (expired && !m_tokenRetried) {
        // Once: a fresh token on a new connection.
        m_tokenRetried = true;
        m_context.tokens->forget(tokenAccount(m_realUser, m_server));
        m_upstream->abandon();
        m_upstream->deleteLater();
        m_upstream = nullptr;
        openUpstream(m_account, user, QByteArray());
        return;
    }
    send("-ERR [AUTH] " + m_server.toUtf8() + " refused the sign-in: sign in again in Junkwarden");
    close();
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

} // namespace jw

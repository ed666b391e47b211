#include "proxy/mailcheck.h"

#include "accounts/accounts.h"
#include "accounts/mailclientsource.h"
#include "platform/registry.h"
#include "proxy/problemlog.h"
#include "proxy/proxycontext.h"
#include "textfile/errors.h"

#include <QDir>
#include <QHostAddress>
#include <QSet>
#include <QTcpSocket>
#include <QTimer>

namespace jw {

namespace {

constexpr qsizetype kMostAnswerLine = 4096;

} // namespace

MailCheck::MailCheck(ProxyContext &context, quint16 proxyPort, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_port(proxyPort)
    , m_timeout(new QTimer(this))
{
    m_timeout->setSingleShot(true);
    m_timeout->setInterval(kAccountTimeoutMs);
    connect(m_timeout, &QTimer::timeout, this, [this] { endAccount(QStringLiteral("no answer in time")); });
}

MailCheck::~MailCheck()
{
    releaseWaiting();
}

QString MailCheck::key(const QString &routedUser)
{
    return routedUser.toLower();
}

bool MailCheck::isOwnConnection(const QHostAddress &peer, quint16 peerPort) const
{
    return m_socket && m_socket->localPort() == peerPort && m_socket->localAddress() == peer;
}

void MailCheck::rememberPassword(const QString &routedUser, const QByteArray &password)
{
    m_passwords.insert(key(routedUser), password);
}

void MailCheck::start(std::function<void(const QByteArray &)> done)
{
    if (m_running) {
        done("-ERR a mail check is under way");
        return;
    }
    QList<Login> logins;
    QSet<QString> seen;
    try {
        RegistryData data = m_context.accounts.load();
        for (const RoutedLogin &login : routedLogins(data))
            logins.append({login.routedUser, login.password.toUtf8()});
    } catch (const Error &e) {
        done("-ERR the account list cannot be read: " + e.message().toUtf8());
        return;
    }
    for (const auto &source : mailClientSources({QDir::homePath(), m_context.stateFolder})) {
        for (const QString &routed : source->routedLogins(m_port))
            logins.append({routed, QByteArray()});
    }
    m_queue.clear();
    m_skipped.clear();
    m_checked = 0;
    for (Login &login : logins) {
        if (seen.contains(key(login.routedUser)))
            continue;
        seen.insert(key(login.routedUser));
        if (login.password.isEmpty())
            login.password = m_passwords.value(key(login.routedUser));
        if (login.password.isEmpty()) {
            // Never a prompt: the password comes with the mail program's
            // next login.
            m_skipped.append(login.routedUser + QStringLiteral(" (no password known until the mail program logs in)"));
            continue;
        }
        m_queue.append(login);
    }
    m_running = true;
    m_done = std::move(done);
    nextAccount();
}

void MailCheck::nextAccount()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_buffer.clear();
    m_timeout->stop();
    releaseWaiting();
    if (m_queue.isEmpty()) {
        finish();
        return;
    }
    m_current = m_queue.takeFirst();
    m_phase = Phase::Greeting;
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::readyRead, this, &MailCheck::onData);
    connect(m_socket, &QTcpSocket::disconnected, this,
        [this] { endAccount(QStringLiteral("the proxy's session ended early")); });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this] {
        if (m_socket && m_socket->state() != QAbstractSocket::ConnectedState)
            endAccount(m_socket->errorString());
    });
    m_timeout->start();
    // Bound first: the proxy tells this connection by its port as soon as
    // it accepts it, before this end may have heard it is connected.
    if (!m_socket->bind(QHostAddress::LocalHost, 0)) {
        endAccount(m_socket->errorString());
        return;
    }
    m_socket->connectToHost(QHostAddress::LocalHost, m_port);
}

void MailCheck::onData()
{
    if (!m_socket)
        return;
    m_buffer += m_socket->readAll();
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end < 0) {
            if (m_buffer.size() > kMostAnswerLine)
                endAccount(QStringLiteral("an answer too long"));
            return;
        }
        const QByteArray line = m_buffer.left(end).trimmed();
        m_buffer.remove(0, end + 1);
        answered(line);
        if (!m_socket)
            return;
    }
}

void MailCheck::answered(const QByteArray &line)
{
    const bool ok = line.startsWith("+OK");
    switch (m_phase) {
    case Phase::Greeting:
        if (!ok)
            return endAccount(QString::fromUtf8(line));
        m_phase = Phase::User;
        m_socket->write("USER " + m_current.routedUser.toUtf8() + "\r\n");
        return;
    case Phase::User:
        if (!ok)
            return endAccount(QString::fromUtf8(line));
        m_phase = Phase::Pass;
        m_socket->write("PASS " + m_current.password + "\r\n");
        return;
    case Phase::Pass:
        // The login judged every new message; QUIT removes the held ones.
        if (!ok) {
            m_passwords.remove(key(m_current.routedUser)); // changed since
            return endAccount(QString::fromUtf8(line));
        }
        m_phase = Phase::Quit;
        m_socket->write("QUIT\r\n");
        return;
    case Phase::Quit:
        ++m_checked;
        return endAccount(ok ? QString() : QString::fromUtf8(line));
    case Phase::Idle:
        return;
    }
}

void MailCheck::endAccount(const QString &outcome)
{
    if (!m_running || m_phase == Phase::Idle)
        return;
    if (!outcome.isEmpty()) {
        m_skipped.append(QStringLiteral("%1 (%2)").arg(m_current.routedUser, outcome));
        ProblemLog(m_context.stateFolder)
            .note(QStringLiteral("mail check: %1 not checked: %2").arg(m_current.routedUser, outcome));
    }
    m_phase = Phase::Idle;
    nextAccount();
}

void MailCheck::giveWay(const QString &routedUser, std::function<void()> proceed)
{
    if (!m_running || m_phase == Phase::Idle || key(routedUser) != key(m_current.routedUser)) {
        proceed();
        return;
    }
    if (m_phase != Phase::Quit) {
        // Still judging: the account is left as it was on the server, and
        // the mail program's own session judges it.
        m_skipped.append(m_current.routedUser + QStringLiteral(" (its mail program came first)"));
        m_phase = Phase::Idle;
        nextAccount();
        proceed();
        return;
    }
    m_waiting.append(std::move(proceed));
    QTimer::singleShot(kMostWaitMs, this, &MailCheck::releaseWaiting);
}

void MailCheck::releaseWaiting()
{
    const QList<std::function<void()>> waiting = std::exchange(m_waiting, {});
    for (const std::function<void()> &proceed : waiting)
        proceed();
}

void MailCheck::finish()
{
    m_running = false;
    QByteArray summary = "+OK checked " + QByteArray::number(m_checked) + " account(s)";
    if (!m_skipped.isEmpty())
        summary += "; skipped " + m_skipped.join(QStringLiteral(", ")).toUtf8();
    if (m_done)
        std::exchange(m_done, {})(summary);
}

} // namespace jw

#include "proxy/autoreply.h"

#include "proxy/problemlog.h"
#include "proxy/smtpsender.h"
#include "textfile/errors.h"
#include "textfile/lines.h"
#include "textfile/nativefile.h"

#include <QDir>
#include <QRegularExpression>
#include <QUuid>

#include <gmime/gmime.h>

namespace jw {

namespace {

constexpr char kRepliedFile[] = "replied";
constexpr char kReplyLogFile[] = "replies.log";

// A plain address: nothing that could end a command line or an address.
bool isPlainAddress(const QString &address)
{
    static const QRegularExpression plain(
        QStringLiteral("^[^\\s<>()\",;:\\\\@\\[\\]]+@[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)+$"));
    return address.size() <= 254 && plain.match(address).hasMatch();
}

QByteArray encodedHeader(const QString &text)
{
    char *encoded = g_mime_utils_header_encode_text(nullptr, text.toUtf8().constData(), "utf-8");
    const QByteArray result(encoded ? encoded : "");
    g_free(encoded);
    return result;
}

} // namespace

QString replyRecipient(const MailFacts &facts)
{
    static const QRegularExpression angle(QStringLiteral("^<([^<>]*)>$"));
    QString address = facts.fromAddress;
    const QString returnPath = facts.header("return-path").trimmed();
    if (!returnPath.isEmpty()) {
        const QRegularExpressionMatch match = angle.match(returnPath);
        address = (match.hasMatch() ? match.captured(1) : returnPath).trimmed();
    }
    return isPlainAddress(address) ? address.toLower() : QString();
}

QString reasonNotToReply(const MailFacts &facts, const Verdict &verdict)
{
    const QString recipient = replyRecipient(facts);
    if (recipient.isEmpty())
        return QStringLiteral("no sender to answer");
    if (verdict.blackList)
        return QStringLiteral("held by the black list");
    const QString autoSubmitted = facts.header("auto-submitted").trimmed();
    if (!autoSubmitted.isEmpty() && autoSubmitted.compare(QLatin1String("no"), Qt::CaseInsensitive) != 0)
        return QStringLiteral("sent automatically (Auto-Submitted)");
    static const QRegularExpression bulk(
        QStringLiteral("^(bulk|list|junk)\\b"), QRegularExpression::CaseInsensitiveOption);
    if (bulk.match(facts.header("precedence").trimmed()).hasMatch())
        return QStringLiteral("sent in bulk (Precedence)");
    for (const char *field :
        {"list-id", "list-unsubscribe", "list-post", "list-help", "mailing-list", "x-mailing-list"}) {
        if (!facts.header(field).isEmpty())
            return QStringLiteral("from a mailing list (%1)").arg(QLatin1String(field));
    }
    for (const char *field : {"x-autoreply", "x-autorespond", "x-auto-response-suppress"}) {
        if (!facts.header(field).isEmpty())
            return QStringLiteral("sent automatically (%1)").arg(QLatin1String(field));
    }
    static const QRegularExpression system(
        QStringLiteral("^(mailer-daemon|postmaster|listserv|majordomo|owner-.*|.*-request|.*-owner|.*-bounces?|bounces?"
                       "|no-?reply|do-?not-?reply)@"),
        QRegularExpression::CaseInsensitiveOption);
    if (system.match(recipient).hasMatch())
        return QStringLiteral("a system address (%1)").arg(recipient);
    return {};
}

QByteArray composeReply(
    const ReplyMessage &reply, const MailFacts &original, const QString &from, const QString &to, const QDateTime &now)
{
    const QString subject =
        reply.subject.trimmed().isEmpty() ? QStringLiteral("Auto: ") + original.subject : reply.subject;
    const QString domain = domainOf(from);
    QByteArray message = "From: " + from.toUtf8() + "\r\nTo: " + to.toUtf8() + "\r\nSubject: " + encodedHeader(subject)
        + "\r\nDate: " + QLocale::c().toString(now.toUTC(), QStringLiteral("ddd, d MMM yyyy hh:mm:ss")).toLatin1()
        + " +0000\r\nMessage-ID: <" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() + '@'
        + domain.toUtf8() + ">\r\n";
    static const QRegularExpression messageId(QStringLiteral("^<[^<>\\s]+>$"));
    const QString inReplyTo = original.header("message-id").trimmed();
    if (messageId.match(inReplyTo).hasMatch())
        message += "In-Reply-To: " + inReplyTo.toUtf8() + "\r\nReferences: " + inReplyTo.toUtf8() + "\r\n";
    message += "Auto-Submitted: auto-replied\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n"
               "Content-Transfer-Encoding: 8bit\r\n\r\n";
    for (const QString &line : reply.body)
        message += line.toUtf8() + "\r\n";
    return message;
}

AutoReplier::AutoReplier(QString configFolder, QString stateFolder, QSslConfiguration tls, QObject *parent)
    : QObject(parent)
    , m_configFolder(std::move(configFolder))
    , m_stateFolder(std::move(stateFolder))
    , m_tls(std::move(tls))
{
}

void AutoReplier::note(const QString &recipient, const QString &outcome)
{
    const QByteArray line = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toUtf8() + '\t' + recipient.toUtf8()
        + '\t' + outcome.simplified().toUtf8() + "\n";
    QDir().mkpath(m_stateFolder);
    appendToBoundedLog(m_stateFolder + QLatin1String(kReplyLogFile), line, 1024 * 1024);
}

bool AutoReplier::repliedRecently(const QString &recipient) const
{
    const qint64 since = QDateTime::currentSecsSinceEpoch() - qint64(kOncePerDays) * 24 * 3600;
    const QByteArray wanted = recipient.toUtf8();
    for (const QByteArray &line :
        splitLines(readNativeFile(nativePath(m_stateFolder + QLatin1String(kRepliedFile))).value_or(QByteArray()),
            LineRule::AnyBreak)) {
        const qsizetype tab = line.indexOf('\t');
        if (tab > 0 && line.left(tab) == wanted && line.mid(tab + 1).toLongLong() > since)
            return true;
    }
    return false;
}

void AutoReplier::remember(const QString &recipient)
{
    // Rewritten whole, without the senders whose week is over.
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 since = now - qint64(kOncePerDays) * 24 * 3600;
    const NativePath path = nativePath(m_stateFolder + QLatin1String(kRepliedFile));
    QByteArray kept;
    for (const QByteArray &line : splitLines(readNativeFile(path).value_or(QByteArray()), LineRule::AnyBreak)) {
        const qsizetype tab = line.indexOf('\t');
        if (tab > 0 && line.left(tab) != recipient.toUtf8() && line.mid(tab + 1).toLongLong() > since)
            kept += line + '\n';
    }
    kept += recipient.toUtf8() + '\t' + QByteArray::number(now) + '\n';
    try {
        QDir().mkpath(m_stateFolder);
        writeNativeFileAtomically(path, kept);
    } catch (const Error &e) {
        ProblemLog(m_stateFolder)
            .note(QStringLiteral("whom the automatic reply answered is not remembered: ") + e.message());
    }
}

void AutoReplier::consider(const MailFacts &facts, const Verdict &verdict, const UpstreamAccount &account,
    const QString &user, const QByteArray &password)
{
    const QString recipient = replyRecipient(facts);
    const QString why = reasonNotToReply(facts, verdict);
    if (!why.isEmpty())
        return note(recipient, QStringLiteral("not sent: ") + why);
    if (repliedRecently(recipient))
        return note(recipient, QStringLiteral("not sent: answered within the last %1 days").arg(kOncePerDays));
    if (account.smtpServer.isEmpty())
        return note(recipient, QStringLiteral("not sent: the account names no SMTP server"));
    const std::optional<ReplyMessage> reply = readReplyFile(m_configFolder + QLatin1String(kReplyFile));
    if (!reply)
        return note(recipient, QStringLiteral("not sent: no reply message (remessage)"));
    QString from = account.address;
    if (!isPlainAddress(from))
        from = user.contains(QLatin1Char('@')) ? user : user + QLatin1Char('@') + account.server;
    // Remembered before it is sent: a failure is not retried at every
    // session, which would be a loop of its own.
    remember(recipient);
    SmtpRoute route;
    route.server = account.smtpServer;
    route.port = account.smtpPort;
    route.tlsRequired = account.smtpTlsRequired;
    route.tls = m_tls;
    route.user = user;
    route.password = password;
    const QString server = account.smtpServer;
    SmtpSender::send(
        route, recipient, composeReply(*reply, facts, from, recipient, QDateTime::currentDateTimeUtc()),
        [this, recipient, server](bool ok, const QString &detail) {
            note(recipient,
                ok ? QStringLiteral("sent through ") + server : QStringLiteral("not sent: %1: %2").arg(server, detail));
        },
        60000, this);
}

} // namespace jw

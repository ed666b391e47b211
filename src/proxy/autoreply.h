#pragma once

#include "accounts/accounts.h"
#include "formats/replyfile.h"
#include "proxy/judgement.h"
#include "proxy/mailfacts.h"

#include <QDateTime>
#include <QObject>
#include <QSslConfiguration>
#include <QString>

namespace jw {

// The address an automatic reply goes to: the message's return path
// (Return-Path), else its From address; empty when it has none or a null
// one ("<>").
QString replyRecipient(const MailFacts &facts);

// Why a held message gets no automatic reply under RFC 3834, or an empty
// text when it may get one: never to a null or missing sender, to mail
// from a mailing list or sent in bulk, to mail that is itself automatic,
// to a system address (MAILER-DAEMON, list owners), or to a sender held
// only because of the black list.
QString reasonNotToReply(const MailFacts &facts, const Verdict &verdict);

// The reply message: RFC 3834 headers ("Auto-Submitted: auto-replied",
// In-Reply-To, References), the subject and body of "remessage" in UTF-8
// (the subject "Auto: " and the held message's subject when "remessage"
// has none), CR LF line ends, not yet dot-stuffed.
QByteArray composeReply(
    const ReplyMessage &reply, const MailFacts &original, const QString &from, const QString &to, const QDateTime &now);

// Answers the senders of held mail through the account's SMTP server, at
// most once per sender in 7 days (remembered in the proxy's "replied"
// file across restarts). Every decision is noted, one line each, in
// "replies.log" in the proxy's state folder: sent, or why not.
class AutoReplier : public QObject
{
public:
    AutoReplier(QString configFolder, QString stateFolder, QSslConfiguration tls, QObject *parent = nullptr);

    // `user` and `password` are the account's, for SMTP authentication
    // over TLS; they are never written anywhere.
    void consider(const MailFacts &facts, const Verdict &verdict, const UpstreamAccount &account, const QString &user,
        const QByteArray &password);

    static constexpr int kOncePerDays = 7;

private:
    void note(const QString &recipient, const QString &outcome);
    bool repliedRecently(const QString &recipient) const;
    void remember(const QString &recipient);

    QString m_configFolder;
    QString m_stateFolder;
    QSslConfiguration m_tls;
};

} // namespace jw

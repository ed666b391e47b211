#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace jw {

// What the judgement and the quarantine need of a message, decoded by GMime
// (transfer encodings, charsets, RFC 2047 words, multipart).
struct MailFacts
{
    QString fromAddress; // the From mailbox's address in lower case; empty when none
    QString from; // the From field as a person reads it
    QString subject;
    QString text; // the text of the text parts, HTML without its tags
    QByteArray content; // the HTML part when there is one, else the text, as UTF-8
    bool htmlOnly = false;
    QString html; // the HTML part as it stands (tags and all); empty when none
    QByteArray htmlUtf8; // the same as UTF-8, for the patterns
    QByteArray textUtf8; // `text` as UTF-8
    // Every header field of the message in order: name in lower case, value
    // with RFC 2047 words decoded.
    QList<QPair<QByteArray, QString>> headers;
    int toCount = 0; // addresses in the To field
    QStringList recipients; // the addresses of To and Cc in order, lower case
    QStringList attachments; // file names of attached parts
    QByteArray rawSubject; // the Subject field as it stands in the source
    QDateTime date; // from the Date field; invalid when none or unreadable
    QDateTime received; // the date of the newest Received field; invalid when none
    int eightBitBytes = 0; // bytes above 127 in the source (counted up to 1 MB)
    bool charsetDeclared = false; // with 8-bit bytes: some part or word names its character set
    bool base64Text = false; // a text part is sent in Base64
    int imageParts = 0; // parts of type image
    // The places beside From that name the sender's own domain
    // (`senderEvidence`), read with the facts.
    QStringList genuine;
    // The words the statistical method weighs (`messageWords`), read with
    // the facts.
    QList<QByteArray> words;

    // The first field of that name (lower case), or an empty text.
    QString header(const char *name) const;
};

// Reads the facts of a message source (or of its first part only: what is
// cut off is simply not seen). Never fails: a message GMime cannot make
// sense of gives empty facts.
// Safe to call from any thread.
MailFacts readMailFacts(const QByteArray &source);

// The domain of an address ("Ann@Mail.Example.com>" -> "mail.example.com"):
// what follows the last "@", in lower case, without blanks or a closing
// angle bracket; empty when there is no "@".
QString domainOf(const QString &address);

} // namespace jw

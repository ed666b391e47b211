#pragma once

#include <QByteArray>
#include <QString>

namespace jw {

// What the judgement and the quarantine need of a message, decoded by GMime
// (transfer encodings, charsets, RFC 2047 words, multipart).
struct MailFacts
{
    QString fromAddress; // the From mailbox's address in lower case; empty when none
    QString from;        // the From field as a person reads it
    QString subject;
    QString text;        // the text of the text parts, HTML without its tags
    QByteArray content;  // the HTML part when there is one, else the text, as UTF-8
    bool htmlOnly = false;
};

// Reads the facts of a message source (or of its first part only: what is
// cut off is simply not seen). Never fails: a message GMime cannot make
// sense of gives empty facts.
MailFacts readMailFacts(const QByteArray &source);

} // namespace jw

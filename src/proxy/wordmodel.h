#pragma once

#include "proxy/mailfacts.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

namespace jw {

inline constexpr char kLearnedWordsFile[] = "learned_words.dat";

// The words of a message the statistical method weighs: the words of the
// subject and the text a reader sees, the sender's address and name, the
// mailer, the character set, the places that confirm the sender's domain
// (`senderEvidence`) and the hosts that links point to, each once, with a
// prefix for where it was found ("s:cheap", "from:example.com",
// "url:example.com", "genuine:message-id"). Nothing in them tells whether
// the message is written in HTML: wanted mail is as often as spam.
QList<QByteArray> messageWords(const MailFacts &facts);

// How often words were seen in good mail and in spam, learned from mail the
// user (or the shipped model) has sorted, and the statistical judgement made
// from it: Robinson's estimate for each word, combined by Fisher's
// chi-square method over the words that say the most.
class WordModel
{
public:
    struct Counts
    {
        quint32 spam = 0;
        quint32 good = 0;
    };

    // From the file's bytes. A file that is not a word model (or is cut off
    // or damaged) gives what could be read of it; `error` says why not all.
    static WordModel fromBytes(const QByteArray &bytes, QString *error = nullptr);
    QByteArray toBytes() const;

    void learn(const QList<QByteArray> &words, bool spam);
    // Takes back an earlier `learn` of the same words and kind.
    void unlearn(const QList<QByteArray> &words, bool spam);

    // From 0 (surely good) to 1 (surely spam); 0.5 when nothing is known.
    double spamProbability(const QList<QByteArray> &words, QList<QByteArray> *telling = nullptr) const;

    quint32 spamMessages() const { return m_spamMessages; }
    quint32 goodMessages() const { return m_goodMessages; }
    qsizetype size() const { return m_words.size(); }
    Counts counts(const QByteArray &word) const { return m_words.value(word); }

    // Forgets words seen fewer than `minimum` times in all: a smaller file
    // for the shipped model, at almost no loss.
    void prune(quint32 minimum);

private:
    double wordProbability(const Counts &counts) const;

    QHash<QByteArray, Counts> m_words;
    quint32 m_spamMessages = 0;
    quint32 m_goodMessages = 0;
};

} // namespace jw

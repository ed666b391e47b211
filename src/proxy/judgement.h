#pragma once

#include "proxy/listindex.h"
#include "proxy/mailfacts.h"
#include "proxy/methodchecks.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

namespace jw {

// How far from the threshold a level must be for the filter to learn the
// verdict by itself: at the lowest accepted level (1), a message is held
// from level 2, learned as good at 0 and as spam from 4.
inline constexpr int kSureMargin = 2;

// The outcome for one message.
struct Verdict
{
    bool spam = false;
    // Why, for the spam note and the header ("black list: ann@spam.example",
    // "Spam level 4: ..."), empty when nothing counted.
    QString reason;
    // What methods in the third state added up to.
    int level = 0;
    // Held because the level was too high, not by one rule.
    bool byLevel = false;
    // Held by the black list.
    bool blackList = false;
    // Spam whose sender gets the automatic reply (method 60 is on).
    bool reply = false;
    // Reached without the statistical method and far from the threshold
    // (by a list, a method that is on, or a level at least `kSureMargin`
    // from the first level held): the filter may learn it by itself.
    bool sure = false;

    // The one line the quarantine keeps about a held message.
    QString spamNote() const { return byLevel ? reason : QStringLiteral("Spam: ") + reason; }
};

// What the judgement takes from "main.cfg".
struct JudgementSettings
{
    CheckSettings checks;
    // "accepted_spam_level": a message whose spam level is above it is spam.
    int acceptedLevel = settingskeys::kAcceptedSpamLevel.fallbackNumber();
    // "dns_server": the name server to ask; null for the system's.
    QHostAddress dnsServer;
    // The processor time one message's methods may take; past it the
    // message is judged by what was found so far, and the reason says so.
    int cpuBudgetMs = 100;

    // Read from the settings file in a configuration folder; what is missing
    // or unreadable keeps its default.
    static JudgementSettings readFrom(const QString &configFolder);
};

// Judges messages. One interface for the whole judgement, so further
// methods plug in here.
class Judgement
{
public:
    virtual ~Judgement() = default;
    // What the DNS must answer before `judge` can weigh everything; asked
    // for first, through the answers the judgement was given.
    virtual QList<DnsQuestion> dnsQuestions(const MailFacts &facts) = 0;
    virtual Verdict judge(const MailFacts &facts, const Addressee &addressee = {}) = 0;
    // What a message taught the statistical method: spam (the user deleted
    // it from the quarantine), good mail (the user released it), or good
    // mail that an earlier version learned as spam when it was held. The
    // filter never learns from its own verdicts.
    enum class Lesson { Spam, Good, SpamWasGood };
    virtual void learn(const MailFacts &facts, Lesson lesson) = 0;
    // Learns a session's sure verdicts (`Verdict::sure`) at its end, all at
    // once, so that no verdict of the session depends on another: the
    // words of each, and whether it was spam. What is learned as spam is
    // noted (`LearnedSpam`), so that a release takes it back.
    struct OwnLesson
    {
        QList<QByteArray> words;
        bool spam = false;
    };
    virtual void learnOwnVerdicts(const QList<OwnLesson> &lessons, const QString &stateFolder)
    {
        Q_UNUSED(lessons);
        Q_UNUSED(stateFolder);
    }
    // Learns as spam the held messages the user deleted (waiting in the
    // quarantine's folder for them) and removes them; one that an earlier
    // version learned when it was held is not learned twice. In memory
    // only (as `vexel3 --check` does, to judge as the next session will),
    // nothing is written or removed. Returns how many were learned.
    virtual int learnDeletedSpam(const QString &messagesFolder, const QString &stateFolder, bool inMemoryOnly)
    {
        Q_UNUSED(messagesFolder);
        Q_UNUSED(stateFolder);
        Q_UNUSED(inMemoryOnly);
        return 0;
    }
};

// The judgement of the lists: the white list and the automatic white list
// always pass, the black list always holds, banned words (whole words of
// the decoded subject and text) hold; each switched by its method in the
// methods file (0 white list, 1 black list, 2 automatic white list, 3
// banned words), and the methods of `methodChecks`, the statistical one
// weighing what was learned ("learned_words.dat"). The files are read again
// whenever they change on disk, looked at no more often than every
// `recheckMs`.
class LocalJudgement final : public Judgement
{
public:
    explicit LocalJudgement(QString configFolder, JudgementSettings settings = {}, qint64 recheckMs = 1000,
        const DnsAnswers *dns = nullptr);
    QList<DnsQuestion> dnsQuestions(const MailFacts &facts) override;
    Verdict judge(const MailFacts &facts, const Addressee &addressee = {}) override;
    // Writes what was learned at once, atomically; a failure to write is
    // not reported and leaves the file as it was.
    void learn(const MailFacts &facts, Lesson lesson) override;
    void learnOwnVerdicts(const QList<OwnLesson> &lessons, const QString &stateFolder) override;
    int learnDeletedSpam(const QString &messagesFolder, const QString &stateFolder, bool inMemoryOnly) override;

private:
    void saveLearned();
    struct WatchedFile
    {
        QString path;
        QByteArray stamp; // identity, size and times of the file as last read
        QByteArray content; // kept for small files, whose changes may not show in the stamp
        QStringList entries;
        bool changed(); // re-reads the file when it has changed
    };
    void refresh();
    Verdict decide(const MailFacts &facts, const CheckSettings &settings, qint64 startedNs);
    CheckSettings checkSettings() const;

    QString m_configFolder;
    JudgementSettings m_settings;
    qint64 m_recheckMs;
    const DnsAnswers *m_dns;
    QElapsedTimer m_sinceCheck;
    WatchedFile m_methods;
    WatchedFile m_white;
    WatchedFile m_black;
    WatchedFile m_autoWhite;
    WatchedFile m_badWords;
    WatchedFile m_blockedServers;
    WatchedFile m_mailerNames;
    WatchedFile m_oddTo;
    QString m_learnedPath;
    QByteArray m_learnedStamp;
    WordModel m_learned;
    QList<int> m_methodStates;
    // Message-ID -> the accounts it came to, for the last messages judged.
    QHash<QString, QStringList> m_seenIds;
    QList<QString> m_seenOrder;
    AddressList m_whiteIndex;
    AddressList m_blackIndex;
    AddressList m_autoWhiteIndex;
    BannedWords m_bannedWords;
};

} // namespace jw

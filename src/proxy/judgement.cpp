#include "proxy/judgement.h"

#include "formats/filterlistfiles.h"
#include "formats/methodsfile.h"
#include "formats/proxystate.h"
#include "formats/quarantinestore.h"
#include "proxy/problemlog.h"
#include "proxy/senderevidence.h"
#include "settings/keyvaluefile.h"
#include "settings/settingsfile.h"
#include "settings/settingskeys.h"
#include "settings/textkeys.h"
#include "textfile/codec.h"
#include "textfile/errors.h"
#include "textfile/lines.h"
#include "textfile/nativefile.h"

#include <sys/stat.h>
#include <time.h>
#include <utility>

namespace jw {

namespace {

constexpr int kWhiteListMethod = 0;
constexpr int kBlackListMethod = 1;
constexpr int kAutoWhiteListMethod = 2;
constexpr int kBadWordsMethod = 3;
constexpr int kSenderServerMethod = 4;
constexpr int kMailServerMethod = 32;
constexpr int kRelayServerMethod = 35;
constexpr int kStatisticalMethod = 45;
constexpr int kAutoReplyMethod = 60;
constexpr qint64 kCompareWhole = 64 * 1024;

} // namespace

namespace {

// The processor time this thread has used, in nanoseconds: unlike the wall
// clock, it does not count the time others had the processor.
qint64 threadCpuNs()
{
    timespec now = {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace

bool LocalJudgement::WatchedFile::changed()
{
    // A small file is compared whole as well: two saves within the clock's
    // resolution that keep the size show no other difference.
    const NativePath native = nativePath(path);
    qint64 size = 0;
    const QByteArray now = fileStamp(native, &size);
    const bool small = !now.isEmpty() && size <= kCompareWhole;
    const QByteArray bytes = small ? readNativeFile(native).value_or(QByteArray()) : QByteArray();
    if (now == stamp && (!small || bytes == content))
        return false;
    stamp = now;
    content = bytes;
    entries.clear();
    for (const QByteArray &line : readListFile(path).lines) {
        const QString entry = decodeDisplay(line).trimmed();
        if (!entry.isEmpty())
            entries.append(entry);
    }
    return true;
}

JudgementSettings JudgementSettings::readFrom(const QString &configFolder)
{
    JudgementSettings settings;
    try {
        const KeyValueFile file = settingsfile::load(configFolder);
        settings.checks.maxTo = settingsfile::number(file, settingskeys::kMaxTo);
        settings.acceptedLevel = settingsfile::number(file, settingskeys::kAcceptedSpamLevel);
        const QString dns = settingsfile::text(file, settingskeys::kDnsServer).trimmed();
        if (!dns.isEmpty())
            settings.dnsServer = QHostAddress(dns);
    } catch (const Error &) {
    }
    return settings;
}

LocalJudgement::LocalJudgement(
    QString configFolder, JudgementSettings settings, qint64 recheckMs, const DnsAnswers *dns)
    : m_configFolder(std::move(configFolder))
    , m_settings(settings)
    , m_recheckMs(recheckMs)
    , m_dns(dns)
{
    const auto file = [this](const char *name) {
        return WatchedFile{m_configFolder + QLatin1String(name), "unread", {}, {}};
    };
    m_methods = file(kMethodsFile);
    m_white = file(filterLists()[kWhiteList].fileName);
    m_black = file(filterLists()[kBlackList].fileName);
    m_autoWhite = file(kAutoWhiteListFile);
    m_badWords = file(filterLists()[kBadWords].fileName);
    m_blockedServers = file(filterLists()[kBlockedServers].fileName);
    m_mailerNames = file(filterLists()[kMailerNames].fileName);
    m_oddTo = file(filterLists()[kOddTo].fileName);
    m_learnedPath = m_configFolder + QLatin1String(kLearnedWordsFile);
    m_learnedStamp = "unread";
}

void LocalJudgement::refresh()
{
    if (m_sinceCheck.isValid() && m_sinceCheck.elapsed() < m_recheckMs)
        return;
    m_sinceCheck.start();
    if (m_methods.changed()) {
        Lines lines;
        for (const QString &entry : std::as_const(m_methods.entries))
            lines.append(entry.toUtf8());
        m_methodStates = readMethodStates(lines, keys::kMethodCount).states;
    }
    const QByteArray learnedStamp = fileStamp(nativePath(m_learnedPath));
    if (learnedStamp != m_learnedStamp) {
        m_learnedStamp = learnedStamp;
        m_learned = WordModel::fromBytes(readNativeFile(nativePath(m_learnedPath)).value_or(QByteArray()));
    }
    // Indexed lists keep only their index: a list of a million entries is
    // held once, not twice.
    const auto index = [](WatchedFile &file, auto &target) {
        if (file.changed()) {
            target.setEntries(file.entries);
            file.entries = QStringList();
        }
    };
    index(m_white, m_whiteIndex);
    index(m_black, m_blackIndex);
    index(m_autoWhite, m_autoWhiteIndex);
    index(m_badWords, m_bannedWords);
    m_blockedServers.changed();
    m_mailerNames.changed();
    m_oddTo.changed();
}

CheckSettings LocalJudgement::checkSettings() const
{
    CheckSettings settings = m_settings.checks;
    settings.learned = &m_learned;
    settings.bannedWords = &m_bannedWords;
    settings.blockedServers = &m_blockedServers.entries;
    settings.mailerNames = &m_mailerNames.entries;
    settings.oddTo = &m_oddTo.entries;
    settings.dns = m_dns;
    return settings;
}

QList<DnsQuestion> LocalJudgement::dnsQuestions(const MailFacts &facts)
{
    refresh();
    if (!m_dns)
        return {};
    const auto used = [this](int method) {
        const int state = m_methodStates.value(method);
        return state == kMethodOn || state == kMethodThird;
    };
    const bool sender = used(kSenderServerMethod);
    const bool relays = used(kRelayServerMethod);
    CheckSettings settings = checkSettings();
    settings.hops = receivedHops(facts);
    return jw::dnsQuestions(facts, settings, sender || relays, relays, used(kMailServerMethod));
}

Verdict LocalJudgement::judge(const MailFacts &facts, const Addressee &addressee)
{
    const qint64 started = threadCpuNs();
    refresh();
    CheckSettings settings = checkSettings();
    settings.addressee = &addressee;
    settings.hops = receivedHops(facts);
    // The same message (by its Message-ID) to several accounts.
    const QString id = facts.header("message-id").trimmed();
    if (!id.isEmpty() && !addressee.account.isEmpty()) {
        QStringList &accounts = m_seenIds[id];
        for (const QString &account : std::as_const(accounts)) {
            if (account != addressee.account)
                settings.otherAccounts.append(account);
        }
        if (!accounts.contains(addressee.account)) {
            accounts.append(addressee.account);
            m_seenOrder.append(id);
        }
        constexpr qsizetype kRememberedIds = 10000;
        while (m_seenOrder.size() > kRememberedIds)
            m_seenIds.remove(m_seenOrder.takeFirst());
    }
    Verdict verdict = decide(facts, settings, started);
    verdict.reply = verdict.spam && m_methodStates.value(kAutoReplyMethod) == kMethodOn;
    return verdict;
}

Verdict LocalJudgement::decide(const MailFacts &facts, const CheckSettings &settings, qint64 startedNs)
{
    const auto on = [this](int method) { return m_methodStates.value(method) == kMethodOn; };
    const auto sure = [](Verdict verdict) {
        verdict.sure = true;
        return verdict;
    };
    if (on(kWhiteListMethod)) {
        const QString entry = m_whiteIndex.find(facts.fromAddress);
        if (!entry.isEmpty())
            return sure({false, QStringLiteral("white list: ") + entry});
    }
    if (on(kAutoWhiteListMethod)) {
        const QString entry = m_autoWhiteIndex.find(facts.fromAddress);
        if (!entry.isEmpty())
            return sure({false, QStringLiteral("automatic white list: ") + entry});
    }
    if (on(kBlackListMethod)) {
        const QString entry = m_blackIndex.find(facts.fromAddress);
        if (!entry.isEmpty()) {
            Verdict verdict{true, QStringLiteral("black list: ") + entry};
            verdict.blackList = true;
            return sure(verdict);
        }
    }
    if (on(kBadWordsMethod)) {
        for (const QString *text : {&facts.subject, &facts.text}) {
            const QString word = m_bannedWords.firstIn(*text);
            if (!word.isEmpty())
                return sure({true, QStringLiteral("banned words (") + word + QLatin1Char(')')});
        }
    }
    // A method that is on decides at its first match; one in the third
    // state adds its weight to the spam level, the signs of style together
    // at most `kMostStyle`, and signs of a genuine sender take a point each
    // off it (at most `kMostEvidence`), never below nothing.
    int firm = 0;
    int style = 0;
    int statistics = 0;
    QStringList counted;
    const qint64 budgetNs = qint64(m_settings.cpuBudgetMs) * 1000000;
    bool complete = true;
    for (const MethodCheck &check : methodChecks()) {
        const int state = m_methodStates.value(check.number);
        if (state != kMethodOn && state != kMethodThird)
            continue;
        if (threadCpuNs() - startedNs > budgetNs) {
            counted.append(QStringLiteral("judged in part (time limit reached at method %1)").arg(check.number));
            complete = false;
            break;
        }
        const QString why = check.test(facts, settings);
        if (why.isEmpty())
            continue;
        if (state == kMethodOn) {
            Verdict verdict{true, why, firm + std::min(style, kMostStyle) + statistics};
            verdict.sure = check.number != kStatisticalMethod;
            return verdict;
        }
        (check.style ? style : check.number == kStatisticalMethod ? statistics : firm) += check.weight;
        counted.append(why);
    }
    Verdict verdict;
    const int signs = firm + std::min(style, kMostStyle);
    const QStringList evidence = facts.genuine.mid(0, kMostEvidence);
    const int lowered = std::min(int(evidence.size()), signs + statistics);
    verdict.level = signs + statistics - lowered;
    if (verdict.level > 0)
        verdict.reason = QStringLiteral("Spam level %1: %2").arg(verdict.level).arg(counted.join(QStringLiteral(", ")));
    else
        verdict.reason = counted.join(QStringLiteral(", "));
    if (lowered > 0)
        verdict.reason +=
            QStringLiteral("; genuine sender -%1: %2").arg(lowered).arg(evidence.join(QStringLiteral(", ")));
    verdict.spam = verdict.level > m_settings.acceptedLevel;
    verdict.byLevel = verdict.spam;
    // What the other methods say alone, the statistical one left out.
    const int alone = std::max(0, signs - int(evidence.size()));
    const int held = m_settings.acceptedLevel + 1;
    verdict.sure =
        complete && (verdict.spam ? alone >= held + kSureMargin : statistics == 0 && alone <= held - kSureMargin);
    return verdict;
}

void LocalJudgement::learn(const MailFacts &facts, Lesson lesson)
{
    m_sinceCheck.invalidate();
    refresh();
    if (lesson == Lesson::SpamWasGood)
        m_learned.unlearn(facts.words, true);
    m_learned.learn(facts.words, lesson == Lesson::Spam);
    saveLearned();
}

void LocalJudgement::learnOwnVerdicts(const QList<OwnLesson> &lessons, const QString &stateFolder)
{
    if (lessons.isEmpty())
        return;
    m_sinceCheck.invalidate();
    refresh();
    QList<QByteArray> spamKeys;
    for (const OwnLesson &lesson : lessons) {
        m_learned.learn(lesson.words, lesson.spam);
        if (lesson.spam)
            spamKeys.append(LearnedSpam::keyOf(lesson.words));
    }
    try {
        if (!spamKeys.isEmpty())
            LearnedSpam(stateFolder).note(spamKeys);
    } catch (const Error &e) {
        ProblemLog(stateFolder).note(QStringLiteral("spam learned by the filter not noted: ") + e.message());
    }
    saveLearned();
}

void LocalJudgement::saveLearned()
{
    try {
        writeNativeFileAtomically(nativePath(m_learnedPath), m_learned.toBytes());
        m_learnedStamp = fileStamp(nativePath(m_learnedPath));
    } catch (const Error &) {
        m_learnedStamp = "unread";
    }
}

int LocalJudgement::learnDeletedSpam(const QString &messagesFolder, const QString &stateFolder, bool inMemoryOnly)
{
    const QList<NativePath> deleted =
        QuarantineStore(messagesFolder, m_configFolder, QString(), QString()).spamToLearn();
    if (deleted.isEmpty())
        return 0;
    m_sinceCheck.invalidate();
    refresh();
    const LearnedSpam learnedWhenHeld(stateFolder);
    int learned = 0;
    for (const NativePath &path : deleted) {
        try {
            const MailFacts facts = readMailFacts(QuarantineStore::sourceOfFile(path));
            const QByteArray key = LearnedSpam::keyOf(facts.words);
            const bool already = inMemoryOnly ? learnedWhenHeld.knows(key) : learnedWhenHeld.forget(key);
            if (!already) {
                m_learned.learn(facts.words, true);
                ++learned;
            }
        } catch (const Error &) {
            // Unreadable: removed unlearned, as a deleted message is.
        }
        if (!inMemoryOnly)
            removeNativeFile(path);
    }
    if (learned && !inMemoryOnly)
        saveLearned();
    return learned;
}

} // namespace jw

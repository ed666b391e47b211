#include "proxy/wordmodel.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace jw {

namespace {

constexpr char kMagic[] = "junkwarden learned words 1";
// Text beyond this says nothing new about a message and only costs time.
constexpr qsizetype kMaxWordText = 16 * 1024;
constexpr qsizetype kMaxWords = 5000;
constexpr int kMaxHeaderFields = 100;
// Robinson's prior: a word seen n times is believed in proportion n : s
// against the neutral x.
constexpr double kPriorStrength = 0.45;
constexpr double kNeutral = 0.5;
// Only words this far from neutral count, and at most this many of them.
constexpr double kMinimumDeviation = 0.1;
constexpr int kMaxClues = 150;

// The words of one message, each once. Words repeat a lot within a
// message: a repeat is recognised by a 64-bit hash of its bytes, without
// making a copy of it.
class WordSet
{
public:
    WordSet() { m_seen.reserve(1024); }
    void add(QByteArrayView word)
    {
        if (m_words.size() >= kMaxWords || word.isEmpty())
            return;
        quint64 hash = 14695981039346656037ULL; // FNV-1a
        for (const char c : word) {
            hash ^= uchar(c);
            hash *= 1099511628211ULL;
        }
        if (m_seen.contains(hash))
            return;
        m_seen.insert(hash);
        m_words.append(word.toByteArray());
    }
    void add(const QByteArray &word) { add(QByteArrayView(word)); }
    QList<QByteArray> take() { return std::move(m_words); }

private:
    QSet<quint64> m_seen;
    QList<QByteArray> m_words;
};

// Word characters and blanks, by table for ASCII (most of any mail) and by
// Unicode's properties beyond.
bool isBlank(QChar c)
{
    const char16_t u = c.unicode();
    return u < 128 ? (u == ' ' || (u >= '\t' && u <= '\r')) : c.isSpace();
}

bool isWordEdge(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 128)
        return !((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '$');
    return !c.isLetterOrNumber();
}

// The words of a text, split on blanks, trimmed of punctuation at either
// end and folded to lower case. Very short words are left out; very long
// ones are kept only as their first letter and length, in tens.
void addTextWords(WordSet &set, QStringView text, const char *prefix)
{
    text = text.left(kMaxWordText);
    const QChar *data = text.data();
    const qsizetype size = text.size();
    const qsizetype headSize = qsizetype(std::strlen(prefix));
    QByteArray word(prefix);
    word.reserve(headSize + 64);
    qsizetype at = 0;
    while (at < size) {
        while (at < size && isBlank(data[at]))
            ++at;
        qsizetype end = at;
        while (end < size && !isBlank(data[end]))
            ++end;
        qsizetype first = at;
        qsizetype last = end;
        while (first < last && isWordEdge(data[first]))
            ++first;
        while (last > first && isWordEdge(data[last - 1]))
            --last;
        at = end;
        const qsizetype length = last - first;
        if (length < 3)
            continue;
        word.truncate(headSize);
        if (length > 12) {
            word += "skip:" + QStringView(data + first, 1).toString().toLower().toUtf8() + ' '
                + QByteArray::number(length / 10 * 10);
            set.add(word);
            continue;
        }
        bool ascii = true;
        for (qsizetype i = first; i < last && ascii; ++i)
            ascii = data[i].unicode() < 128;
        if (ascii) {
            word.resize(headSize + length);
            char *out = word.data() + headSize;
            for (qsizetype i = first; i < last; ++i) {
                const char c = char(data[i].unicode());
                *out++ = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
            }
        } else {
            word += QStringView(data + first, length).toString().toLower().toUtf8();
        }
        set.add(word);
    }
}

// A host and the domains it lies in ("a.b.example.com", "example.com").
void addHost(WordSet &set, const char *prefix, const QString &host)
{
    const QByteArray name = host.toLower().toUtf8();
    if (name.isEmpty())
        return;
    set.add(QByteArray(prefix) + name);
    const QList<QByteArray> labels = name.split('.');
    if (labels.size() > 2)
        set.add(QByteArray(prefix) + labels.at(labels.size() - 2) + '.' + labels.last());
}

void addLinks(WordSet &set, const QString &text)
{
    static const QRegularExpression link(
        QStringLiteral("\\b(https?|ftp)://([^\\s/\"'<>:?#]+)"), QRegularExpression::CaseInsensitiveOption);
    if (!text.contains(QLatin1String("://")))
        return;
    int count = 0;
    QRegularExpressionMatchIterator matches = link.globalMatch(QStringView(text).left(kMaxWordText));
    while (matches.hasNext() && count < 200) {
        const QRegularExpressionMatch match = matches.next();
        addHost(set, "url:", match.captured(2));
        ++count;
    }
}

// ln of the probability that chi-square with `freedom` (even) degrees
// exceeds `chi`: the tail of the Poisson series.
double chiSquareTail(double chi, int freedom)
{
    const double half = chi / 2.0;
    double term = std::exp(-half);
    double sum = term;
    for (int i = 1; i < freedom / 2; ++i) {
        term *= half / i;
        sum += term;
    }
    return std::min(sum, 1.0);
}

} // namespace

QList<QByteArray> messageWords(const MailFacts &facts)
{
    WordSet set;
    addTextWords(set, facts.subject, "s:");
    if (!facts.fromAddress.isEmpty()) {
        set.add("from:" + facts.fromAddress.toUtf8());
        addHost(set, "fromdomain:", domainOf(facts.fromAddress));
    } else {
        set.add(QByteArrayView("from:none"));
    }
    QString fromName = facts.from;
    fromName.remove(facts.fromAddress, Qt::CaseInsensitive);
    addTextWords(set, fromName, "fromname:");
    set.add("to:" + QByteArray::number(std::min(facts.toCount, 10)));
    int fields = 0;
    for (const auto &[name, value] : facts.headers) {
        if (++fields > kMaxHeaderFields)
            break;
        set.add("header:" + name);
        if (name == "x-mailer" || name == "user-agent") {
            addTextWords(set, value.left(80), "mailer:");
        } else if (name == "content-type") {
            // The character set only: whether a message is HTML says
            // nothing of it today.
            static const QRegularExpression charset(
                QStringLiteral("charset\\s*=\\s*\"?([-\\w.:]{1,40})"), QRegularExpression::CaseInsensitiveOption);
            const QRegularExpressionMatch match = charset.match(QStringView(value).left(200));
            if (match.hasMatch())
                set.add("charset:" + match.captured(1).toLower().toUtf8());
        } else if (name == "message-id") {
            const QByteArray domain = domainOf(value).toUtf8();
            set.add("mid:" + (domain.isEmpty() ? QByteArray("none") : domain));
        } else if (name == "reply-to") {
            set.add("replyto:" + domainOf(value).toUtf8());
        }
    }
    // What the message claims and whether it holds together: the places
    // that name the sender's domain, or none.
    for (const QString &sign : facts.genuine)
        set.add("genuine:" + sign.section(QLatin1Char(' '), 0, 0).toLower().toUtf8());
    if (facts.genuine.isEmpty())
        set.add(QByteArrayView("genuine:none"));
    for (const QString &attachment : facts.attachments) {
        const qsizetype dot = attachment.lastIndexOf(QLatin1Char('.'));
        set.add("attachment:" + (dot < 0 ? QByteArray("none") : attachment.mid(dot + 1).toLower().toUtf8()));
    }
    addLinks(set, facts.html.isEmpty() ? facts.text : facts.html);
    addTextWords(set, facts.text, "");
    return set.take();
}

WordModel WordModel::fromBytes(const QByteArray &bytes, QString *error)
{
    WordModel model;
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
    };
    if (bytes.isEmpty())
        return model;
    qsizetype at = bytes.indexOf('\n');
    const QList<QByteArray> head = bytes.left(at < 0 ? bytes.size() : at).split('\t');
    if (head.size() != 3 || head.at(0) != kMagic) {
        fail(QStringLiteral("not a learned words file"));
        return model;
    }
    bool spamOk = false;
    bool goodOk = false;
    model.m_spamMessages = head.at(1).toUInt(&spamOk);
    model.m_goodMessages = head.at(2).toUInt(&goodOk);
    if (!spamOk || !goodOk) {
        model.m_spamMessages = model.m_goodMessages = 0;
        fail(QStringLiteral("damaged message counts"));
        return model;
    }
    model.m_words.reserve(bytes.size() / 16);
    while (at >= 0 && at + 1 < bytes.size()) {
        const qsizetype start = at + 1;
        at = bytes.indexOf('\n', start);
        const QByteArrayView line(bytes.constData() + start, (at < 0 ? bytes.size() : at) - start);
        const qsizetype firstTab = line.indexOf('\t');
        const qsizetype secondTab = firstTab < 0 ? -1 : line.indexOf('\t', firstTab + 1);
        bool spamCountOk = false;
        bool goodCountOk = false;
        Counts counts;
        if (secondTab > firstTab && firstTab > 0) {
            counts.spam = line.sliced(firstTab + 1, secondTab - firstTab - 1).toUInt(&spamCountOk);
            counts.good = line.sliced(secondTab + 1).toUInt(&goodCountOk);
        }
        if (!spamCountOk || !goodCountOk) {
            fail(QStringLiteral("damaged line after %1 words").arg(model.m_words.size()));
            continue;
        }
        model.m_words.insert(line.first(firstTab).toByteArray(), counts);
    }
    return model;
}

QByteArray WordModel::toBytes() const
{
    QList<QByteArray> words = m_words.keys();
    std::sort(words.begin(), words.end());
    QByteArray bytes = QByteArray(kMagic) + '\t' + QByteArray::number(m_spamMessages) + '\t'
        + QByteArray::number(m_goodMessages) + '\n';
    bytes.reserve(bytes.size() + words.size() * 24);
    for (const QByteArray &word : std::as_const(words)) {
        const Counts counts = m_words.value(word);
        bytes += word + '\t' + QByteArray::number(counts.spam) + '\t' + QByteArray::number(counts.good) + '\n';
    }
    return bytes;
}

void WordModel::learn(const QList<QByteArray> &words, bool spam)
{
    (spam ? m_spamMessages : m_goodMessages) += 1;
    for (const QByteArray &word : words) {
        Counts &counts = m_words[word];
        (spam ? counts.spam : counts.good) += 1;
    }
}

void WordModel::unlearn(const QList<QByteArray> &words, bool spam)
{
    quint32 &messages = spam ? m_spamMessages : m_goodMessages;
    if (messages == 0)
        return;
    --messages;
    for (const QByteArray &word : words) {
        const auto found = m_words.find(word);
        if (found == m_words.end())
            continue;
        quint32 &count = spam ? found->spam : found->good;
        if (count > 0)
            --count;
        if (found->spam == 0 && found->good == 0)
            m_words.erase(found);
    }
}

void WordModel::prune(quint32 minimum)
{
    m_words.removeIf([minimum](const auto &entry) { return entry.value().spam + entry.value().good < minimum; });
}

double WordModel::wordProbability(const Counts &counts) const
{
    const double seen = double(counts.spam) + counts.good;
    if (seen == 0 || m_spamMessages == 0 || m_goodMessages == 0)
        return kNeutral;
    // A word can be counted more often than there are messages of its kind
    // only in a damaged file: held to at most one per message.
    const double spamRatio = std::min(1.0, double(counts.spam) / m_spamMessages);
    const double goodRatio = std::min(1.0, double(counts.good) / m_goodMessages);
    const double raw = spamRatio / (spamRatio + goodRatio);
    return (kPriorStrength * kNeutral + seen * raw) / (kPriorStrength + seen);
}

double WordModel::spamProbability(const QList<QByteArray> &words, QList<QByteArray> *telling) const
{
    struct Clue
    {
        double probability;
        double deviation;
        const QByteArray *word;
    };
    QList<Clue> clues;
    for (const QByteArray &word : words) {
        const auto found = m_words.constFind(word);
        if (found == m_words.cend())
            continue;
        const double probability = wordProbability(*found);
        const double deviation = std::abs(probability - kNeutral);
        if (deviation >= kMinimumDeviation)
            clues.append({probability, deviation, &word});
    }
    if (clues.isEmpty())
        return kNeutral;
    if (clues.size() > kMaxClues) {
        std::nth_element(clues.begin(), clues.begin() + kMaxClues, clues.end(),
            [](const Clue &a, const Clue &b) { return a.deviation > b.deviation; });
        clues.resize(kMaxClues);
    }
    double logProbabilities = 0; // ln of the product of f(w): small for good mail
    double logComplements = 0; // ln of the product of 1 - f(w): small for spam
    for (const Clue &clue : std::as_const(clues)) {
        logProbabilities += std::log(clue.probability);
        logComplements += std::log(1.0 - clue.probability);
    }
    const int freedom = 2 * int(clues.size());
    // Each is near 1 when the words are most unlike chance in its direction.
    const double spamminess = 1.0 - chiSquareTail(-2.0 * logComplements, freedom);
    const double goodness = 1.0 - chiSquareTail(-2.0 * logProbabilities, freedom);
    if (telling) {
        std::sort(
            clues.begin(), clues.end(), [](const Clue &a, const Clue &b) { return a.probability > b.probability; });
        for (qsizetype i = 0; i < clues.size() && i < 3; ++i)
            telling->append(*clues.at(i).word);
    }
    return (1.0 + spamminess - goodness) / 2.0;
}

} // namespace jw

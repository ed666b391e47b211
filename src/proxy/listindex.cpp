#include "proxy/listindex.h"

#include <algorithm>
#include <re2/re2.h>

namespace jw {

namespace {

// Alternatives per regular expression: large enough to be few, small
// enough for PCRE2 to compile.
constexpr qsizetype kAlternativesPerPattern = 2000;

bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c.isMark() || c == QLatin1Char('_');
}

QString domainEntry(const QString &entry)
{
    return entry.startsWith(QLatin1Char('@')) ? entry.mid(1) : entry;
}

} // namespace

void AddressList::setEntries(const QStringList &entries)
{
    m_addresses.clear();
    m_domains.clear();
    for (const QString &entry : entries) {
        const QString wanted = entry.trimmed();
        if (wanted.isEmpty())
            continue;
        if (wanted.contains(QLatin1Char('@')) && !wanted.startsWith(QLatin1Char('@'))) {
            m_addresses.insert(wanted.toCaseFolded(), wanted);
        } else {
            const QString domain = domainEntry(wanted);
            // The first of equal entries is the one named.
            if (!domain.isEmpty() && !m_domains.contains(domain.toCaseFolded()))
                m_domains.insert(domain.toCaseFolded(), wanted);
        }
    }
}

QString AddressList::find(const QString &address) const
{
    if (address.isEmpty())
        return {};
    const QString folded = address.toCaseFolded();
    if (const auto whole = m_addresses.constFind(folded); whole != m_addresses.cend())
        return *whole;
    const qsizetype at = folded.lastIndexOf(QLatin1Char('@'));
    if (at < 0)
        return {};
    QString domain = folded.mid(at + 1);
    while (!domain.isEmpty()) {
        if (const auto found = m_domains.constFind(domain); found != m_domains.cend())
            return *found;
        const qsizetype dot = domain.indexOf(QLatin1Char('.'));
        if (dot < 0)
            break;
        domain = domain.mid(dot + 1);
    }
    return {};
}

void BannedWords::setEntries(const QStringList &entries)
{
    m_words.clear();
    m_others.clear();
    QStringList others;
    for (const QString &entry : entries) {
        const QString word = entry.trimmed();
        if (word.isEmpty())
            continue;
        if (std::all_of(word.begin(), word.end(), isWordCharacter))
            m_words.insert(word.toCaseFolded());
        else
            others.append(QString::fromStdString(re2::RE2::QuoteMeta(word.toStdString())));
    }
    for (qsizetype from = 0; from < others.size(); from += kAlternativesPerPattern) {
        // A whole entry: no letter, digit or "_" right before or after it.
        LinearPattern pattern(QStringLiteral("(?:^|[^\\pL\\pN_])(")
                + others.mid(from, kAlternativesPerPattern).join(QLatin1Char('|'))
                + QStringLiteral(")(?:[^\\pL\\pN_]|$)"),
            LinearPattern::IgnoreCase, 64 << 20);
        if (pattern.isValid())
            m_others.push_back(std::move(pattern));
    }
}

QString BannedWords::firstIn(const QString &text) const
{
    qsizetype bestAt = text.size();
    qsizetype bestLength = 0;
    if (!m_words.isEmpty()) {
        const qsizetype size = text.size();
        for (qsizetype at = 0; at < size;) {
            if (!isWordCharacter(text.at(at))) {
                ++at;
                continue;
            }
            qsizetype end = at;
            while (end < size && isWordCharacter(text.at(end)))
                ++end;
            if (m_words.contains(QStringView(text).mid(at, end - at).toString().toCaseFolded())) {
                bestAt = at;
                bestLength = end - at;
                break;
            }
            at = end;
        }
    }
    const QByteArray utf8 = m_others.empty() ? QByteArray() : text.toUtf8();
    for (const LinearPattern &pattern : m_others) {
        qsizetype at = 0;
        const QStringList match = pattern.find(utf8, &at);
        if (match.isEmpty())
            continue;
        // From bytes back to the text's places.
        const qsizetype start = QString::fromUtf8(utf8.left(at)).size() + match.at(0).indexOf(match.at(1));
        if (start < bestAt) {
            bestAt = start;
            bestLength = match.at(1).size();
        }
    }
    return bestLength > 0 ? text.mid(bestAt, bestLength) : QString();
}

} // namespace jw

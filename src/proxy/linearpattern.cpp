#include "proxy/linearpattern.h"

#include <re2/re2.h>
#include <vector>

namespace jw {

namespace {

re2::RE2::Options optionsFor(int options, qint64 maxMemory)
{
    re2::RE2::Options o;
    o.set_encoding(re2::RE2::Options::EncodingUTF8);
    o.set_case_sensitive(!(options & LinearPattern::IgnoreCase));
    o.set_dot_nl(options & LinearPattern::DotAll);
    o.set_log_errors(false);
    o.set_max_mem(maxMemory);
    return o;
}

re2::StringPiece piece(QByteArrayView bytes)
{
    return re2::StringPiece(bytes.data(), size_t(bytes.size()));
}

} // namespace

LinearPattern::LinearPattern(const QString &pattern, int options, qint64 maxMemory)
    : m_re(std::make_unique<re2::RE2>(pattern.toStdString(), optionsFor(options, maxMemory)))
{
}

LinearPattern::LinearPattern(const char *pattern, int options)
    : LinearPattern(QString::fromUtf8(pattern), options)
{
}

LinearPattern::~LinearPattern() = default;
LinearPattern::LinearPattern(LinearPattern &&) noexcept = default;
LinearPattern &LinearPattern::operator=(LinearPattern &&) noexcept = default;

bool LinearPattern::isValid() const
{
    return m_re && m_re->ok();
}

bool LinearPattern::in(QByteArrayView utf8) const
{
    return isValid() && re2::RE2::PartialMatch(piece(utf8), *m_re);
}

void LinearPattern::each(QByteArrayView utf8, int max, const std::function<bool(const QStringList &)> &visit) const
{
    if (!isValid())
        return;
    const re2::StringPiece text = piece(utf8);
    std::vector<re2::StringPiece> groups(size_t(m_re->NumberOfCapturingGroups() + 1));
    size_t position = 0;
    for (int found = 0; found < max && position <= text.size(); ++found) {
        if (!m_re->Match(text, position, text.size(), re2::RE2::UNANCHORED, groups.data(), int(groups.size())))
            return;
        QStringList match;
        for (const re2::StringPiece &group : groups)
            match.append(group.data() ? QString::fromUtf8(group.data(), qsizetype(group.size())) : QString());
        const size_t end = size_t(groups[0].data() - text.data()) + groups[0].size();
        // An empty match moves on by one byte, so the loop always ends.
        position = groups[0].empty() ? end + 1 : end;
        if (!visit(match))
            return;
    }
}

QStringList LinearPattern::find(QByteArrayView utf8, qsizetype *at) const
{
    QStringList first;
    if (!isValid())
        return first;
    const re2::StringPiece text = piece(utf8);
    std::vector<re2::StringPiece> groups(size_t(m_re->NumberOfCapturingGroups() + 1));
    if (!m_re->Match(text, 0, text.size(), re2::RE2::UNANCHORED, groups.data(), int(groups.size())))
        return first;
    for (const re2::StringPiece &group : groups)
        first.append(group.data() ? QString::fromUtf8(group.data(), qsizetype(group.size())) : QString());
    if (at)
        *at = qsizetype(groups[0].data() - text.data());
    return first;
}

int LinearPattern::count(QByteArrayView utf8, int enough) const
{
    if (!isValid())
        return 0;
    const re2::StringPiece text = piece(utf8);
    re2::StringPiece whole;
    size_t position = 0;
    int n = 0;
    while (n < enough && position <= text.size()
        && m_re->Match(text, position, text.size(), re2::RE2::UNANCHORED, &whole, 1)) {
        ++n;
        const size_t end = size_t(whole.data() - text.data()) + whole.size();
        position = whole.empty() ? end + 1 : end;
    }
    return n;
}

QByteArray LinearPattern::replaced(QByteArrayView utf8, QByteArrayView with) const
{
    std::string text(utf8.data(), size_t(utf8.size()));
    if (isValid())
        re2::RE2::GlobalReplace(&text, *m_re, piece(with));
    return QByteArray(text.data(), qsizetype(text.size()));
}

} // namespace jw

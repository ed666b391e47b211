#include "textfile/lines.h"

#include "textfile/errors.h"
#include "textfile/nativefile.h"

#include <QFile>

#include <algorithm>
#include <cstring>

namespace jw {

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char kSub = '\x1a';

// Where the text ends for the rules that stop at a marker byte.
qsizetype textEnd(QByteArrayView data, LineRule rule)
{
    char marker = 0;
    switch (rule) {
    case LineRule::AnyBreak:
        return data.size();
    case LineRule::AnyBreakNulEnds:
        marker = '\0';
        break;
    case LineRule::CrBreakSubEnds:
        marker = kSub;
        break;
    }
    const void *hit = data.isEmpty() ? nullptr : std::memchr(data.data(), marker, size_t(data.size()));
    return hit ? static_cast<const char *>(hit) - data.data() : data.size();
}

qsizetype find(const char *text, qsizetype from, qsizetype end, char c)
{
    const void *hit = std::memchr(text + from, c, size_t(end - from));
    return hit ? static_cast<const char *>(hit) - text : end;
}

// Finds line breaks with memchr, remembering the next CR and the next LF so
// that no byte is searched twice whatever mix of line ends a file has.
class BreakFinder
{
public:
    BreakFinder(const char *text, qsizetype end, bool lfBreaks)
        : m_text(text)
        , m_end(end)
        , m_lfBreaks(lfBreaks)
    {
    }

    // Position of the next line break at or after `from`, or the end.
    qsizetype next(qsizetype from)
    {
        if (m_cr < from)
            m_cr = find(m_text, from, m_end, kCr);
        if (!m_lfBreaks)
            return m_cr;
        if (m_lf < from)
            m_lf = find(m_text, from, m_end, kLf);
        return std::min(m_cr, m_lf);
    }

private:
    const char *m_text;
    qsizetype m_end;
    bool m_lfBreaks;
    qsizetype m_cr = -1;
    qsizetype m_lf = -1;
};

} // namespace

namespace {

// Calls `visit(start, length)` for each line until it returns false.
template<typename Visit>
void visitLines(QByteArrayView data, LineRule rule, Visit &&visit)
{
    const qsizetype end = textEnd(data, rule);
    const char *text = data.data();
    BreakFinder breaks(text, end, rule != LineRule::CrBreakSubEnds);
    qsizetype pos = 0;
    while (pos < end) {
        const qsizetype brk = breaks.next(pos);
        if (!visit(pos, brk - pos))
            return;
        pos = brk;
        if (pos < end) {
            // A CR followed by LF is one break; a lone CR or LF is one too.
            if (text[pos] == kCr && pos + 1 < end && text[pos + 1] == kLf)
                pos += 2;
            else
                pos += 1;
        }
    }
}

} // namespace

Lines splitLines(QByteArrayView data, LineRule rule, LineLimits limits)
{
    Lines lines;
    if (limits.maxLines == 0)
        return lines;
    visitLines(data, rule, [&](qsizetype start, qsizetype length) {
        if (limits.maxLineLength >= 0 && length > limits.maxLineLength)
            length = limits.maxLineLength;
        lines.append(QByteArray(data.data() + start, length));
        return limits.maxLines < 0 || lines.size() < limits.maxLines;
    });
    return lines;
}

void forEachLine(QByteArrayView data, LineRule rule, const std::function<bool(qsizetype, qsizetype)> &visit)
{
    visitLines(data, rule, visit);
}

Lines readLines(const QString &path, LineRule rule, LineLimits limits)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(path);
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileError::cannotOpen(path);
    return splitLines(data, rule, limits);
}

std::optional<Lines> readHeadLines(const QString &path, LineRule rule, qsizetype maxLines, qsizetype maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return std::nullopt;
    QByteArray data(maxBytes, Qt::Uninitialized);
    const qint64 got = file.read(data.data(), maxBytes);
    if (got < 0)
        return std::nullopt;
    data.truncate(got);
    LineLimits limits;
    limits.maxLines = maxLines;
    return splitLines(data, rule, limits);
}

QByteArray joinLines(const Lines &lines)
{
    qsizetype total = 0;
    for (const QByteArray &line : lines)
        total += line.size() + 2;
    QByteArray out;
    out.reserve(total);
    for (const QByteArray &line : lines) {
        out.append(line);
        out.append("\r\n", 2);
    }
    return out;
}

QByteArray withCrLfBreaks(const QByteArray &in)
{
    const char *data = in.constData();
    const char *end = data + in.size();
    auto allCrLf = [data, end] {
        for (const char *lf = data; (lf = static_cast<const char *>(std::memchr(lf, kLf, size_t(end - lf)))); ++lf) {
            if (lf == data || lf[-1] != kCr)
                return false;
        }
        for (const char *cr = data; (cr = static_cast<const char *>(std::memchr(cr, kCr, size_t(end - cr)))); ++cr) {
            if (cr + 1 == end || cr[1] != kLf)
                return false;
        }
        return data == end || end[-1] == kLf;
    };
    if (allCrLf())
        return in;
    QByteArray out;
    out.reserve(in.size() + in.size() / 32 + 2);
    for (const char *p = data; p < end;) {
        const char *brk = p;
        while (brk < end && *brk != kCr && *brk != kLf)
            ++brk;
        out.append(p, brk - p);
        out.append("\r\n", 2);
        if (brk < end && *brk == kCr && brk + 1 < end && brk[1] == kLf)
            ++brk;
        p = brk + 1;
    }
    return out;
}

void writeFileAtomically(
    const QString &path, QByteArrayView content, std::optional<QFileDevice::Permissions> permissions)
{
    writeNativeFileAtomically(nativePath(path), content, permissions);
}

void writeLines(const QString &path, const Lines &lines)
{
    writeFileAtomically(path, joinLines(lines));
}

void appendToBoundedLog(const QString &path, QByteArrayView line, qint64 maxBytes)
{
    QFile log(path);
    if (log.size() > maxBytes && log.open(QIODevice::ReadOnly)) {
        QByteArray kept = log.readAll();
        log.close();
        kept = kept.mid(kept.indexOf('\n', kept.size() / 2) + 1);
        try {
            writeNativeFileAtomically(nativePath(path), kept);
        } catch (const Error &) {
        }
    }
    if (log.open(QIODevice::Append))
        log.write(line.data(), line.size());
}

} // namespace jw

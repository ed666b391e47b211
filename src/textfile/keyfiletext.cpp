#include "textfile/keyfiletext.h"

namespace jw {

namespace {

qsizetype lineEnd(const QByteArray &bytes, qsizetype from)
{
    const qsizetype end = bytes.indexOf('\n', from);
    return end < 0 ? bytes.size() : end;
}

// The text of the line without its CR, if any.
QByteArray lineText(const QByteArray &bytes, qsizetype start, qsizetype end)
{
    QByteArray line = bytes.mid(start, end - start);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

std::optional<QByteArray> headerName(const QByteArray &line)
{
    const QByteArray trimmed = line.trimmed();
    if (trimmed.size() < 2 || !trimmed.startsWith('[') || !trimmed.endsWith(']'))
        return std::nullopt;
    return trimmed.mid(1, trimmed.size() - 2);
}

// The byte range of the group's lines, after its header (the first group
// of that name, as GLib reads it).
std::optional<std::pair<qsizetype, qsizetype>> groupRange(const QByteArray &bytes, const QByteArray &group)
{
    qsizetype position = 0;
    std::optional<qsizetype> start;
    while (position < bytes.size()) {
        const qsizetype end = lineEnd(bytes, position);
        const std::optional<QByteArray> header = headerName(lineText(bytes, position, end));
        if (header) {
            if (start)
                return std::pair{*start, position};
            if (*header == group)
                start = end + 1;
        }
        position = end + 1;
    }
    if (start)
        return std::pair{std::min(*start, bytes.size()), bytes.size()};
    return std::nullopt;
}

} // namespace

QList<QByteArray> KeyFileText::groups() const
{
    QList<QByteArray> names;
    qsizetype position = 0;
    while (position < m_bytes.size()) {
        const qsizetype end = lineEnd(m_bytes, position);
        if (const std::optional<QByteArray> header = headerName(lineText(m_bytes, position, end)))
            names.append(*header);
        position = end + 1;
    }
    return names;
}

std::optional<KeyFileText::Span> KeyFileText::find(const QByteArray &group, const QByteArray &key) const
{
    const auto range = groupRange(m_bytes, group);
    if (!range)
        return std::nullopt;
    qsizetype position = range->first;
    while (position < range->second) {
        const qsizetype end = lineEnd(m_bytes, position);
        const QByteArray line = lineText(m_bytes, position, end);
        const qsizetype equals = line.indexOf('=');
        if (equals > 0 && line.left(equals).trimmed() == key) {
            qsizetype start = position + equals + 1;
            while (start < position + line.size() && m_bytes.at(start) == ' ')
                ++start;
            return Span{start, position + line.size()};
        }
        position = end + 1;
    }
    return std::nullopt;
}

std::optional<QByteArray> KeyFileText::value(const QByteArray &group, const QByteArray &key) const
{
    const std::optional<Span> span = find(group, key);
    if (!span)
        return std::nullopt;
    return m_bytes.mid(span->start, span->end - span->start);
}

std::optional<qsizetype> KeyFileText::groupEnd(const QByteArray &group) const
{
    const auto range = groupRange(m_bytes, group);
    if (!range)
        return std::nullopt;
    // After the last line that holds something: blank lines separate groups.
    qsizetype end = range->second;
    while (end > range->first && (m_bytes.at(end - 1) == '\n' || m_bytes.at(end - 1) == '\r'))
        --end;
    return end;
}

void KeyFileText::set(const QByteArray &group, const QByteArray &key, const QByteArray &value)
{
    if (const std::optional<Span> span = find(group, key)) {
        m_bytes.replace(span->start, span->end - span->start, value);
        return;
    }
    const std::optional<qsizetype> end = groupEnd(group);
    if (!end)
        return;
    const bool crlf = m_bytes.contains("\r\n");
    m_bytes.insert(*end, (crlf ? "\r\n" : "\n") + key + '=' + value);
}

void KeyFileText::remove(const QByteArray &group, const QByteArray &key)
{
    const std::optional<Span> span = find(group, key);
    if (!span)
        return;
    qsizetype start = m_bytes.lastIndexOf('\n', span->start - 1) + 1;
    if (start > 0) {
        --start;
        if (start > 0 && m_bytes.at(start - 1) == '\r')
            --start;
    }
    m_bytes.remove(start, span->end - start);
}

QList<KeyChange> changeValues(KeyFileText &file, const QByteArray &group, const QList<KeyValue> &values)
{
    QList<KeyChange> changes;
    for (const KeyValue &v : values) {
        changes.append({group, v.key, file.value(group, v.key), v.value});
        file.set(group, v.key, v.value);
    }
    return changes;
}

void undoChanges(KeyFileText &file, const QList<KeyChange> &changes)
{
    for (const KeyChange &change : changes) {
        if (file.value(change.group, change.key) != std::optional<QByteArray>(change.after))
            continue; // changed by the user meanwhile: theirs stays
        if (change.before)
            file.set(change.group, change.key, *change.before);
        else
            file.remove(change.group, change.key);
    }
}

} // namespace jw

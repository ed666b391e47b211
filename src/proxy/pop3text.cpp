#include "proxy/pop3text.h"

#include <QIODevice>

#include <algorithm>

namespace jw::pop3 {

void LineReader::append(const QByteArray &bytes)
{
    if (m_start >= m_buffer.size()) {
        // Nothing left over: the bytes are taken as they are, not copied.
        m_buffer = bytes;
        m_start = 0;
        return;
    }
    m_buffer.append(bytes);
}

void LineReader::readFrom(QIODevice &device)
{
    const qint64 available = device.bytesAvailable();
    if (available <= 0)
        return;
    if (m_start >= m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    }
    const qsizetype old = m_buffer.size();
    m_buffer.resize(old + available);
    const qint64 got = device.read(m_buffer.data() + old, available);
    m_buffer.resize(old + std::max<qint64>(got, 0));
}

std::optional<QByteArray> LineReader::takeLine()
{
    const qsizetype end = m_buffer.indexOf('\n', m_start);
    if (end < 0) {
        // Keep the buffer from growing with consumed bytes.
        if (m_start > 0) {
            m_buffer.remove(0, m_start);
            m_start = 0;
        }
        return std::nullopt;
    }
    QByteArray line = m_buffer.mid(m_start, end + 1 - m_start);
    m_start = end + 1;
    if (m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    } else if (m_start > 65536) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
    return line;
}

QByteArray LineReader::takeLinesUntilEnd(bool *ended)
{
    *ended = false;
    qsizetype position = m_start;
    qsizetype next = position;
    for (;;) {
        const qsizetype newline = m_buffer.indexOf('\n', position);
        if (newline < 0)
            break;
        const qsizetype length = newline - position;
        if (m_buffer[position] == '.' && (length == 1 || (length == 2 && m_buffer[position + 1] == '\r'))) {
            *ended = true;
            next = newline + 1;
            break;
        }
        position = newline + 1;
        next = position;
    }
    QByteArray lines = m_buffer.mid(m_start, position - m_start);
    // What follows (the next answers of a pipelined server) stays where it
    // is; consumed bytes are dropped only now and then, not per answer.
    m_start = next;
    if (m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    } else if (m_start > 65536 && m_start * 2 > m_buffer.size()) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
    return lines;
}

bool LineReader::overflowed() const
{
    const qsizetype end = m_buffer.indexOf('\n', m_start);
    const qsizetype length = (end < 0 ? m_buffer.size() : end + 1) - m_start;
    return length > m_maxLine;
}

Command parseCommand(const QByteArray &line)
{
    Command command;
    const QByteArray plain = chopLineEnd(line);
    qsizetype verb = 0;
    while (verb < plain.size() && plain[verb] == ' ')
        ++verb;
    const qsizetype blank = plain.indexOf(' ', verb);
    if (blank >= 0)
        command.rest = plain.mid(blank + 1);
    const QList<QByteArray> words = plain.split(' ');
    for (const QByteArray &word : words) {
        if (word.isEmpty())
            continue;
        if (command.verb.isEmpty())
            command.verb = word.toUpper();
        else
            command.arguments.append(word);
    }
    return command;
}

QByteArray chopLineEnd(const QByteArray &line)
{
    qsizetype size = line.size();
    while (size > 0 && (line[size - 1] == '\n' || line[size - 1] == '\r'))
        --size;
    return line.left(size);
}

bool isTerminator(const QByteArray &line)
{
    return chopLineEnd(line) == ".";
}

QByteArray stuffed(const QByteArray &line)
{
    return line.startsWith('.') ? '.' + line : line;
}

QByteArray unstuffed(const QByteArray &line)
{
    return line.startsWith('.') ? line.mid(1) : line;
}

QByteArray unstuffedLines(const QByteArray &lines)
{
    if (!lines.startsWith('.') && !lines.contains("\n."))
        return lines;
    QByteArray plain;
    plain.reserve(lines.size());
    qsizetype start = 0;
    while (start < lines.size()) {
        if (lines[start] == '.')
            ++start;
        const qsizetype newline = lines.indexOf('\n', start);
        const qsizetype end = newline < 0 ? lines.size() : newline + 1;
        plain.append(QByteArrayView(lines).sliced(start, end - start));
        start = end;
    }
    return plain;
}

} // namespace jw::pop3

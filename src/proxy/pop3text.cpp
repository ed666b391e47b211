#include "proxy/pop3text.h"

namespace jw::pop3 {

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

bool LineReader::overflowed() const
{
    const qsizetype end = m_buffer.indexOf('\n', m_start);
    const qsizetype length = (end < 0 ? m_buffer.size() : end + 1) - m_start;
    return length > m_maxLine;
}

Command parseCommand(const QByteArray &line)
{
    Command command;
    const QList<QByteArray> words = chopLineEnd(line).split(' ');
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

} // namespace jw::pop3

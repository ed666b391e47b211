#include "proxy/messagebuffer.h"

#include <QDir>
#include <QTemporaryFile>

#include <utility>

namespace jw {

MessageBuffer::MessageBuffer(QString spillFolder)
    : m_spillFolder(std::move(spillFolder))
{
}

MessageBuffer::~MessageBuffer() = default;

bool MessageBuffer::append(const QByteArray &bytes)
{
    m_size += bytes.size();
    m_digest.addData(bytes);
    if (!m_spill && m_head.size() + bytes.size() <= kInMemory) {
        if (m_head.isEmpty())
            m_head = bytes; // shared, not copied
        else
            m_head.append(bytes);
        return true;
    }
    if (!m_spill) {
        QDir().mkpath(m_spillFolder);
        m_spill = std::make_unique<QTemporaryFile>(
            m_spillFolder + QLatin1Char('/') + QLatin1String(kSpillPrefix) + QStringLiteral("XXXXXX"));
        if (!m_spill->open() || m_spill->write(m_head) != m_head.size())
            return false;
        // The head stays in memory for the judgement; the rest is on disk.
        const qsizetype room = kInMemory - m_head.size();
        m_head.append(bytes.left(room));
    }
    return m_spill->write(bytes) == bytes.size();
}

QByteArray MessageBuffer::read(qint64 offset, qint64 length) const
{
    if (offset >= m_size || length <= 0)
        return {};
    if (!m_spill)
        return m_head.mid(offset, length);
    if (!m_spill->flush() || !m_spill->seek(offset))
        return {};
    QByteArray piece = m_spill->read(length);
    m_spill->seek(m_spill->size());
    return piece;
}

bool MessageBuffer::writeTo(const ContentWriter &write) const
{
    if (!m_spill)
        return write(m_head);
    if (!m_spill->flush() || !m_spill->seek(0))
        return false;
    QByteArray chunk;
    while (!m_spill->atEnd()) {
        chunk = m_spill->read(256 * 1024);
        if (chunk.isEmpty() || !write(chunk))
            return false;
    }
    return m_spill->seek(m_spill->size());
}

} // namespace jw

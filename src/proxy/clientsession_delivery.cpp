// Handing messages to the client: from what this session read (whole, or
// the top of it), or relayed from the server as it comes, dot-stuffed, read
// ahead of the client and paced by what the client takes.
#include "proxy/clientsession.h"
#include "proxy/messagebuffer.h"
#include "proxy/upstream.h"

#include <QTcpSocket>

#include <algorithm>
#include <utility>

namespace jw {

namespace {

// Where TOP with `bodyLines` lines of body ends in a source; -1 when the
// source cannot be read back.
qint64 topEnd(const MessageBuffer &source, int bodyLines)
{
    bool inHeader = true;
    bool lineEmpty = true;
    int taken = 0;
    for (qint64 offset = 0; offset < source.size();) {
        const QByteArray piece = source.read(offset, 256 * 1024);
        if (piece.isEmpty())
            return -1;
        for (qsizetype i = 0; i < piece.size(); ++i) {
            const char c = piece[i];
            if (c != '\n') {
                lineEmpty = lineEmpty && c == '\r';
                continue;
            }
            const qint64 next = offset + i + 1;
            if (inHeader) {
                inHeader = !lineEmpty;
                if (!inHeader && bodyLines == 0)
                    return next;
            } else if (++taken == bodyLines) {
                return next;
            }
            lineEmpty = true;
        }
        offset += piece.size();
    }
    return source.size();
}

// Dot-stuffs a piece of a message on its way to the client; `atLineStart`
// carries over between pieces.
QByteArray stuffPiece(const QByteArray &piece, bool &atLineStart)
{
    if (!piece.isEmpty() && !(atLineStart && piece.front() == '.') && !piece.contains("\n.")) {
        // Nothing to stuff: the piece goes as it is.
        atLineStart = piece.back() == '\n';
        return piece;
    }
    QByteArray out;
    out.reserve(piece.size() + 64);
    qsizetype start = 0;
    while (start < piece.size()) {
        if (atLineStart && piece[start] == '.')
            out.append('.');
        const qsizetype newline = piece.indexOf('\n', start);
        const qsizetype end = newline < 0 ? piece.size() : newline + 1;
        out.append(QByteArrayView(piece).sliced(start, end - start));
        atLineStart = newline >= 0;
        start = end;
    }
    return out;
}

QByteArray octets(const char *status, qint64 size)
{
    return QByteArray(status) + ' ' + QByteArray::number(size) + " octets";
}

} // namespace

void ClientSession::keep(Message &message, std::shared_ptr<MessageBuffer> source)
{
    const qint64 cost = std::min<qint64>(source->size(), MessageBuffer::kInMemory);
    if (m_cachedBytes + cost > kSessionCache)
        return; // fetched again from the server when the client asks
    message.cached = std::move(source);
    m_cachedBytes += cost;
}

void ClientSession::drop(Message &message)
{
    if (!message.cached)
        return;
    m_cachedBytes -= std::min<qint64>(message.cached->size(), MessageBuffer::kInMemory);
    message.cached.reset();
}

void ClientSession::readAhead(int from)
{
    int inFlight = 0;
    qint64 bytes = 0;
    for (int i = from; i < m_messages.size() && i < from + kReadAheadCount; ++i) {
        Message &ahead = m_messages[i];
        if (ahead.readingAhead)
            ++inFlight;
        if (ahead.cached || ahead.readingAhead || ahead.deleted || ahead.serverNumber <= 0)
            continue;
        const qint64 cost = ahead.size;
        if (cost > MessageBuffer::kInMemory || bytes + cost > kReadAheadBytes || m_cachedBytes + cost > kSessionCache
            || inFlight >= kReadAheadCount)
            break;
        bytes += cost;
        ++inFlight;
        ahead.readingAhead = true;
        m_cachedBytes += cost;
        fetch(ahead.serverNumber, [this, i, cost](const std::shared_ptr<MessageBuffer> &source) {
            Message &done = m_messages[i];
            done.readingAhead = false;
            m_cachedBytes -= cost;
            // A message whose size changed since the listing is not handed
            // over from here: the numbers the client saw would not hold.
            if (source && source->size() == done.size && !done.deleted)
                keep(done, source);
            if (m_waiting && m_waiting->index == i) {
                const Waiting waiting = *std::exchange(m_waiting, std::nullopt);
                retrieve(waiting.index, waiting.bodyLines);
            }
        });
    }
}

void ClientSession::retrieve(int index, int bodyLines)
{
    Message &message = m_messages[index];
    m_busy = true;
    if (message.releasedCopy.size() > 0 && bodyLines < 0 && !m_deliveredCopies.contains(message.releasedCopy))
        m_deliveredCopies.append(message.releasedCopy);
    if (bodyLines < 0)
        readAhead(index + 1);
    if (message.readingAhead) {
        // On its way: handed over as soon as it is here.
        m_waiting = Waiting{index, bodyLines};
        return;
    }
    if (!message.cached) {
        relay(index, bodyLines);
        return;
    }
    // Read in this session: delivered from here, not fetched again, whole
    // however long its header or body.
    const qint64 end = bodyLines < 0 ? message.cached->size() : topEnd(*message.cached, bodyLines);
    if (end < 0) {
        close(); // the spilled part cannot be read back
        return;
    }
    const qint64 size = message.size + message.addedLines.size();
    m_outgoing = Outgoing{message.cached, index, octets("+OK", size) + "\r\n" + message.addedLines, 0, end, true};
    pump();
}

void ClientSession::relay(int index, int bodyLines)
{
    // Relayed from the server as it comes.
    const Message &message = m_messages[index];
    const QByteArray command = bodyLines < 0
        ? QByteArray("RETR " + QByteArray::number(message.serverNumber))
        : QByteArray("TOP " + QByteArray::number(message.serverNumber) + ' ' + QByteArray::number(bodyLines));
    const qint64 listed = bodyLines < 0 ? message.size : 0;
    auto pendingStatus = std::make_shared<QByteArray>(
        octets("+OK", message.size + message.addedLines.size()) + "\r\n" + message.addedLines);
    auto relayed = std::make_shared<qint64>(0);
    m_upstream->streamCommand(
        command,
        [this, pendingStatus, relayed](const QByteArray &lines) {
            if (!m_client)
                return;
            // Already stuffed as the server sent them, whole lines: they go
            // on as they are.
            m_midAnswer = true;
            *relayed += lines.size();
            m_client->write(std::exchange(*pendingStatus, QByteArray()) + lines);
            if (m_client->bytesToWrite() > kClientBacklog)
                m_upstream->setPaused(true);
        },
        [this, pendingStatus, relayed, listed](const Pop3Upstream::Reply &reply) {
            if (!m_client)
                return;
            if (reply.ok && muchShorter(*relayed, listed)) {
                // Cut short by a "." the server did not double: the client
                // sees a broken transfer, and the server is left as it is.
                upstreamBroken(QStringLiteral("%1 sent a message much shorter than it listed it").arg(m_server));
                return;
            }
            m_midAnswer = false;
            if (!reply.ok)
                send(reply.status.startsWith("-ERR") ? reply.status : "-ERR the server could not send it");
            else
                m_client->write(std::exchange(*pendingStatus, QByteArray()) + ".\r\n");
            flushNow();
            m_busy = false;
            QMetaObject::invokeMethod(this, &ClientSession::onClientData, Qt::QueuedConnection);
        });
}

void ClientSession::pump()
{
    constexpr qint64 kPiece = 256 * 1024;
    while (m_outgoing && m_client && m_client->bytesToWrite() < kClientBacklog) {
        Outgoing &out = *m_outgoing;
        const QByteArray piece = out.source->read(out.offset, std::min(kPiece, out.end - out.offset));
        if (piece.isEmpty() && out.offset < out.end) {
            // The spilled part cannot be read back: end the session rather
            // than hand over half a message as if whole.
            m_outgoing.reset();
            close();
            return;
        }
        out.offset += piece.size();
        // A message that fits in one piece goes out in one write.
        QByteArray bytes = std::exchange(out.status, QByteArray()) + stuffPiece(piece, out.atLineStart);
        if (out.offset < out.end) {
            m_midAnswer = true;
            m_client->write(bytes);
            continue;
        }
        bytes += out.atLineStart ? QByteArray(".\r\n") : QByteArray("\r\n.\r\n");
        m_client->write(bytes);
        flushNow();
        // Handed over whole: what is still on the server is fetched again
        // if the client asks twice.
        if (m_messages[out.index].serverNumber > 0 && out.end == out.source->size())
            drop(m_messages[out.index]);
        m_outgoing.reset();
        m_midAnswer = false;
        m_busy = false;
        QMetaObject::invokeMethod(this, &ClientSession::onClientData, Qt::QueuedConnection);
    }
}

void ClientSession::resumeReading()
{
    if (m_flushing) {
        QMetaObject::invokeMethod(this, &ClientSession::resumeReading, Qt::QueuedConnection);
        return;
    }
    if (m_outgoing) {
        pump();
        return;
    }
    if (!m_client || m_client->bytesToWrite() >= kClientBacklog / 2)
        return;
    if (m_upstream)
        m_upstream->setPaused(false);
    // Commands that waited for their answers to be read.
    if (!m_busy && (m_client->bytesAvailable() > 0 || !m_pendingLines.isEmpty()))
        QMetaObject::invokeMethod(this, &ClientSession::onClientData, Qt::QueuedConnection);
}

} // namespace jw

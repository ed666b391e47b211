#include "formats/replyfile.h"

#include <QFile>

namespace jw {

std::optional<ReplyMessage> readReplyFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray content = file.readAll();
    const Lines lines = splitLines(content, LineRule::AnyBreak);
    if (lines.isEmpty())
        return std::nullopt;
    ReplyMessage reply;
    reply.encoding = detectEncoding(content);
    reply.subject = decodeAs(lines.first(), reply.encoding);
    for (qsizetype i = 1; i < lines.size(); ++i)
        reply.body.append(decodeAs(lines[i], reply.encoding));
    return reply;
}

Lines replyLines(const ReplyMessage &reply)
{
    Lines lines;
    lines.reserve(reply.body.size() + 1);
    lines.append(encodeFor(reply.subject, reply.encoding));
    for (const QString &line : reply.body)
        lines.append(encodeFor(line, reply.encoding));
    return lines;
}

} // namespace jw

#pragma once

#include "textfile/codec.h"
#include "textfile/lines.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace jw {

inline constexpr char kReplyFile[] = "remessage";

// The automatic reply: the first line is the subject, every further line a
// line of the body. Lines of any length are kept whole.
struct ReplyMessage
{
    QString subject;
    QStringList body;
    TextEncoding encoding = TextEncoding::Utf8;
};

// nullopt when the file cannot be read or holds no line.
std::optional<ReplyMessage> readReplyFile(const QString &path);
// The file's lines: the subject, then the body lines, in the encoding the
// file had.
Lines replyLines(const ReplyMessage &reply);

} // namespace jw

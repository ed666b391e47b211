#include "textfile/errors.h"

#include <utility>

namespace jw {

Error::Error(QString message, bool alreadyReported)
    : m_message(std::move(message))
    , m_utf8(m_message.toUtf8())
    , m_alreadyReported(alreadyReported)
{
}

FileError FileError::cannotOpen(const QString &path)
{
    return FileError(QStringLiteral("Cannot open file %1").arg(path));
}

FileError FileError::cannotCreate(const QString &path)
{
    return FileError(QStringLiteral("Cannot create file %1").arg(path));
}

} // namespace jw

#pragma once

#include "textfile/nativefile.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

#include <memory>

class QTemporaryFile;

namespace jw {

// One message's source as it comes from the server: kept in memory while it
// is small, moved to a temporary file once it grows past a bound, so a
// message of any size costs bounded memory. The first bytes stay at hand
// for the judgement.
class MessageBuffer
{
public:
    static constexpr qsizetype kInMemory = 1024 * 1024;
    // The start of the names of spilled messages in the spill folder.
    static constexpr char kSpillPrefix[] = "message-";

    explicit MessageBuffer(QString spillFolder);
    ~MessageBuffer();

    // False when the temporary file could not be written.
    bool append(const QByteArray &bytes);
    qint64 size() const { return m_size; }
    // Up to kInMemory bytes from the start.
    const QByteArray &head() const { return m_head; }
    // The SHA-256 of everything appended.
    QByteArray digest() const { return m_digest.result(); }
    // Hands the whole source over in pieces; false when it could not be
    // read back or the writer refused a piece.
    bool writeTo(const ContentWriter &write) const;
    // Up to `length` bytes from `offset`; empty at the end or on a read
    // error.
    QByteArray read(qint64 offset, qint64 length) const;

private:
    QString m_spillFolder;
    QByteArray m_head;
    std::unique_ptr<QTemporaryFile> m_spill;
    qint64 m_size = 0;
    QCryptographicHash m_digest{QCryptographicHash::Sha256};
};

} // namespace jw

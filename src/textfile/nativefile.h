#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFileDevice>
#include <QString>

#include <functional>
#include <optional>

namespace jw {

// A path as the operating system spells it: bytes, not text. Names that are
// not valid in the locale's encoding (an 8-bit "caf\xe9" written by another
// program) are reached only through their bytes.
using NativePath = QByteArray;

NativePath nativePath(const QString &path);
// The path for messages: UTF-8 when it is valid, otherwise the display code
// page, so that no byte is shown as a replacement character.
QString displayPath(const NativePath &path);

// The whole file, or nullopt when it cannot be opened or read.
std::optional<QByteArray> readNativeFile(const NativePath &path);
// Up to `maxBytes` from the start of the file.
std::optional<QByteArray> readNativeFileHead(const NativePath &path, qsizetype maxBytes);
// False when the file could not be removed (or was not there).
bool removeNativeFile(const NativePath &path);
// The identity, size and times of a file; empty when it is missing. Saves
// replace a file (a new inode); an edit in place changes its size or times:
// a file read again only when its stamp changed is never read stale.
QByteArray fileStamp(const NativePath &path, qint64 *size = nullptr);

// Replaces the whole file atomically: the content goes to a temporary file
// beside it, which is written completely, synced to the disk and only then
// renamed over the old file. Any failure on the way (no space, a read-only
// folder, a failed sync or rename) removes the temporary file, leaves the old
// file byte for byte as it was and throws FileError::cannotCreate. With
// `permissions` the new file has exactly those from its first byte on;
// otherwise it keeps the old file's, or gets the usual ones when it is new.
void writeNativeFileAtomically(
    const NativePath &path, QByteArrayView content, std::optional<QFileDevice::Permissions> permissions = std::nullopt);
// The same without waiting for the disk: readers still never see half a
// file, but a power cut may lose it. For short-lived files such as a status
// report written many times a second.
void replaceNativeFile(const NativePath &path, QByteArrayView content);
// The same for content too large to hold at once: `produce` hands it over
// in pieces to the writer it gets (which answers false when a piece could
// not be written) and returns false when it could not produce everything.
using ContentWriter = std::function<bool(QByteArrayView)>;
void writeNativeFileAtomically(const NativePath &path, const std::function<bool(const ContentWriter &)> &produce,
    std::optional<QFileDevice::Permissions> permissions = std::nullopt);

// The temporary file of a write in progress is named after its target with
// this tag and six random characters ("a.eml.partial-x1Y2z3"). One left by
// a writer that was killed is never the file itself.
inline constexpr char kPartialWriteTag[] = ".partial-";
bool isPartialWrite(QByteArrayView fileName);

// Reads from an open descriptor into `buffer` up to `limit` bytes (negative:
// to the end), growing it as needed and cutting it to what was read. False
// on a read error.
bool readDescriptor(int fd, QByteArray &buffer, qsizetype limit);

// Whether some process (this one included) has the file open for writing,
// so that it may still be growing. Answers true when it cannot tell.
bool isOpenForWriting(const NativePath &path);

} // namespace jw

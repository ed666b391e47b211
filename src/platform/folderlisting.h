#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace jw {

// One entry of a folder, with what a scan needs to know of it, read in one
// system call per entry.
struct FolderEntry
{
    QString name; // for showing: see displayPath()
    QByteArray nativeName; // the name's bytes, to reach the entry by
    bool isFolder = false;
    qint64 size = 0;
    qint64 modifiedSecs = 0; // seconds since the epoch
};

// The entries of `folder` (without "." and ".."), in the order the file
// system gives them; empty when the folder cannot be read.
QList<FolderEntry> listFolder(const QByteArray &folder);

// Calls `visit` for every regular file of `folder` (a native path, see
// nativefile.h) with its entry and up to `headBytes` from its start (empty
// for an empty file), opening each file relative to the folder. A file that
// cannot be read is passed over. The entry's `name` is left empty (the
// native name is there), and both arguments are valid during the call only.
void forEachFileHead(const QByteArray &folder, qsizetype headBytes,
    const std::function<void(const FolderEntry &, const QByteArray &)> &visit);

// The local time's offset from UTC, in seconds, at a moment given in seconds
// since the epoch.
int localUtcOffset(qint64 secs);

} // namespace jw

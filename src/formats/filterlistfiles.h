#pragma once

#include "settings/textkeys.h"
#include "textfile/codec.h"
#include "textfile/lines.h"

#include <QString>
#include <QStringList>

#include <array>

namespace jw {

// The six filter lists, in tab order.
struct FilterListInfo
{
    const char *fileName; // its list name: the file in the config folder
    TextKey caption;
    const char *builtInCaption;
};
inline constexpr int kFilterListCount = 6;
const std::array<FilterListInfo, kFilterListCount> &filterLists();
inline constexpr int kWhiteList = 0;
inline constexpr int kBlackList = 1;
inline constexpr int kBadWords = 2;
inline constexpr int kBlockedServers = 3;
inline constexpr int kMailerNames = 4;
inline constexpr int kOddTo = 5;

inline constexpr char kAutoWhiteListFile[] = "whitelist_auto";
inline constexpr char kDeletionLogFile[] = "forget";

// A list file as read: one entry per line (CR LF, CR or LF ends a line),
// taken literally, of any length.
struct ListFile
{
    enum class State { Missing, Unreadable, Read };
    State state = State::Missing;
    Lines lines;
    TextEncoding encoding = TextEncoding::Utf8;
    bool endsWithBreak = true; // whether the last line had a line end
    QByteArray content; // only from readListContent
};
ListFile readListFile(const QString &path);
// The same file unsplit, for lists too big to hold line by line: `lines`
// stays empty and `content` holds the bytes as read.
ListFile readListContent(const QString &path);

// Appends entries to a list file (read whole, written whole). Used where
// other pages add to a list. Throws FileError.
void appendToListFile(const QString &path, const Lines &entries);
// Adds each entry that the list file does not hold yet (ignoring case) as a
// new last line; the file's other lines stay as they were (line ends made CR
// LF) and a file that ended without a line break ends without one again.
// Returns how many were added. Throws FileError when the file is missing or
// unreadable (nothing is written then).
int addMissingToListFile(const QString &path, const QStringList &entries);

// Appends "-<list name>::<entry>" lines to the deletion log, in order.
void appendToDeletionLog(const QString &configFolder, const char *listName, const Lines &entries);
// Whether the deletion log says the user deleted `entry` from that list
// (compared without regard to case).
bool inDeletionLog(const QString &configFolder, const char *listName, const QString &entry);

// Removes, for each of `removed` (ignoring case), the first equal line of the
// auto white list as it is on disk now, and writes it back with CR LF after
// every line but a last one that had none. Lines the proxy added meanwhile
// stay. Throws FileError.
void removeFromAutoWhiteList(const QString &configFolder, const QList<QString> &removed);

} // namespace jw

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFileDevice>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace jw {

using Lines = QList<QByteArray>;

// How a file's bytes break into lines. Each file format of the program names
// the rule it is read with; writing always puts CR LF after every line.
enum class LineRule {
    // A line ends at CR LF, at a lone CR or at a lone LF; a last line without
    // a break still counts. (Lists, the reply message, the language file.)
    AnyBreak,
    // AnyBreak, and a NUL byte ends the text. (Key/value files.)
    AnyBreakNulEnds,
    // A line ends at CR or CR LF only, a lone LF stays inside the line, and
    // the byte 0x1A ends the file. (The companions' status files.)
    CrBreakSubEnds,
};

struct LineLimits
{
    // Stop after this many lines; negative means no limit.
    qsizetype maxLines = -1;
    // Cut each line to this many bytes, dropping the rest of the line;
    // negative means no limit.
    qsizetype maxLineLength = -1;
};

Lines splitLines(QByteArrayView data, LineRule rule, LineLimits limits = {});

// The lines of `data` as splitLines finds them (without limits), as
// positions in `data`: `visit(start, length)` for each, in order, until it
// returns false. For texts too big, or read too often, to copy line by line.
void forEachLine(QByteArrayView data, LineRule rule, const std::function<bool(qsizetype, qsizetype)> &visit);

// Reads a whole file and splits it. Throws FileError::cannotOpen.
Lines readLines(const QString &path, LineRule rule, LineLimits limits = {});

// Reads at most the first maxBytes of a file, for small status files that are
// read often; nullopt when the file cannot be opened or read. Never throws.
std::optional<Lines> readHeadLines(
    const QString &path, LineRule rule, qsizetype maxLines, qsizetype maxBytes = 64 * 1024);

// Joins lines with CR LF after every one of them.
QByteArray joinLines(const Lines &lines);
// joinLines(splitLines(data, AnyBreak)) in one pass, without a copy when
// every line already ends in CR LF: for texts of tens of megabytes.
QByteArray withCrLfBreaks(const QByteArray &data);

// Replaces the whole file atomically: readers see either the old or the new
// content, and a failed write leaves the old file as it was. Throws
// FileError::cannotCreate.
void writeLines(const QString &path, const Lines &lines);
// The same for any content. With `permissions`, the new file has exactly
// those from its first byte on; otherwise it keeps the old file's.
void writeFileAtomically(
    const QString &path, QByteArrayView content, std::optional<QFileDevice::Permissions> permissions = std::nullopt);

// Appends one line to a log the program keeps for itself; once the file has
// grown past `maxBytes` its older half goes first (from a line's start), so
// it never grows without bound. Failures are not reported: a log must never
// stop the work it records.
void appendToBoundedLog(const QString &path, QByteArrayView line, qint64 maxBytes);

} // namespace jw

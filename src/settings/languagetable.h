#pragma once

#include "settings/textkeys.h"
#include "textfile/lines.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace jw {

// The program's one language table: the lines of "language.lng", loaded once
// per run. A text is found by the first line whose name (the text before its
// first "=") equals the key without regard to case; the text is everything
// after that "=", exactly as written. A missing key gives the empty text.
class LanguageTable
{
public:
    static constexpr qsizetype kMaxLineLength = 4096;
    static constexpr char kFileName[] = "language.lng";

    // Reads the file into an empty table; false (and the table unchanged)
    // when it cannot be read.
    bool load(const QString &path);
    void setLines(Lines lines);

    bool isEmpty() const { return m_lines.isEmpty(); }
    const Lines &lines() const { return m_lines; }

    QByteArray raw(TextKey key) const;
    QString text(TextKey key) const;

private:
    Lines m_lines;
    QHash<QByteArray, qsizetype> m_firstLineOfName;
};

} // namespace jw

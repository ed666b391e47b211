#pragma once

#include "textfile/lines.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace jw {

// Compares two entry names the way key/value files do: without regard to
// letter case (ASCII and the letters of the stored text's code page), nothing
// trimmed.
bool entryNamesMatch(QByteArrayView a, QByteArrayView b);
// The form under which entryNamesMatch considers names equal, for hashing.
QByteArray foldedEntryName(QByteArrayView name);

// A text file of "name=value" lines, such as "main.cfg". The whole file is
// held as lines; look-ups take the first line whose name (the text before
// its first "=") matches; a change touches only that one line, so notes,
// blank lines, duplicates and unknown keys survive byte for byte.
class KeyValueFile
{
public:
    KeyValueFile() = default;
    explicit KeyValueFile(Lines lines);

    // Throws FileError::cannotOpen.
    static KeyValueFile load(const QString &path);
    // Throws FileError::cannotCreate.
    void save(const QString &path) const;

    // The value of the first matching entry; empty when there is none.
    QByteArray value(QByteArrayView name) const;
    // The value shown as text (display codec).
    QString text(QByteArrayView name) const;
    // The value read by the number rule; throws ConversionError.
    int number(QByteArrayView name) const;

    // A non-empty value replaces the first matching line by name=value (name
    // as given here) or appends it; an empty value removes the first matching
    // line.
    void set(QByteArrayView name, QByteArrayView value);
    void setText(QByteArrayView name, QStringView value);

    // Index of the first matching line, or -1.
    qsizetype find(QByteArrayView name) const;

    const Lines &lines() const { return m_lines; }

private:
    Lines m_lines;
};

} // namespace jw

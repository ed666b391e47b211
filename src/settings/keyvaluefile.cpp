#include "settings/keyvaluefile.h"

#include "textfile/codec.h"
#include "textfile/number.h"

#include <utility>

namespace jw {

namespace {

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// The name of a line: everything before its first "=", or nothing when the
// line has no "=" (such lines are never found).
bool nameOf(const QByteArray &line, QByteArrayView &name)
{
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return false;
    name = QByteArrayView(line.constData(), eq);
    return true;
}

} // namespace

bool entryNamesMatch(QByteArrayView a, QByteArrayView b)
{
    if (isAscii(a) && isAscii(b)) {
        if (a.size() != b.size())
            return false;
        for (qsizetype i = 0; i < a.size(); ++i) {
            if (asciiLower(a[i]) != asciiLower(b[i]))
                return false;
        }
        return true;
    }
    return decodeDisplay(a).compare(decodeDisplay(b), Qt::CaseInsensitive) == 0;
}

QByteArray foldedEntryName(QByteArrayView name)
{
    if (isAscii(name)) {
        QByteArray folded(name.data(), name.size());
        for (char &c : folded)
            c = asciiLower(c);
        return folded;
    }
    return decodeDisplay(name).toCaseFolded().toUtf8();
}

KeyValueFile::KeyValueFile(Lines lines)
    : m_lines(std::move(lines))
{
}

KeyValueFile KeyValueFile::load(const QString &path)
{
    return KeyValueFile(readLines(path, LineRule::AnyBreakNulEnds));
}

void KeyValueFile::save(const QString &path) const
{
    writeLines(path, m_lines);
}

qsizetype KeyValueFile::find(QByteArrayView name) const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        QByteArrayView lineName;
        if (nameOf(m_lines[i], lineName) && entryNamesMatch(lineName, name))
            return i;
    }
    return -1;
}

QByteArray KeyValueFile::value(QByteArrayView name) const
{
    const qsizetype i = find(name);
    if (i < 0)
        return {};
    const QByteArray &line = m_lines[i];
    return line.mid(line.indexOf('=') + 1);
}

QString KeyValueFile::text(QByteArrayView name) const
{
    return decodeDisplay(value(name));
}

int KeyValueFile::number(QByteArrayView name) const
{
    return toNumber(QByteArrayView(value(name)));
}

void KeyValueFile::set(QByteArrayView name, QByteArrayView value)
{
    const qsizetype i = find(name);
    if (value.isEmpty()) {
        if (i >= 0)
            m_lines.removeAt(i);
        return;
    }
    QByteArray line;
    line.reserve(name.size() + 1 + value.size());
    line.append(name).append('=').append(value);
    if (i >= 0)
        m_lines[i] = std::move(line);
    else
        m_lines.append(std::move(line));
}

void KeyValueFile::setText(QByteArrayView name, QStringView value)
{
    set(name, encodeDisplay(value));
}

} // namespace jw

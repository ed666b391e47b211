// The ".reg" export format: "Windows Registry Editor Version 5.00", then
// sections "[HKEY_CURRENT_USER\...]" holding lines "name"=data, where data is
// "text" (with \\ and \" escapes), dword:0000006e, or hex...: with lines
// continued by a final backslash. "@" names a key's default value.
#include "platform/registry.h"

#include <QStringDecoder>

namespace jw {

namespace {

constexpr char kHeader[] = "Windows Registry Editor Version 5.00";

QString decodeFile(const QByteArray &content)
{
    if (content.startsWith("\xff\xfe"))
        return QStringDecoder(QStringDecoder::Utf16LE).decode(content.mid(2));
    if (content.startsWith("\xef\xbb\xbf"))
        return QString::fromUtf8(content.mid(3));
    return QString::fromUtf8(content);
}

QStringList splitFileLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines.append(text.mid(start, i - start));
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

// Reads a quoted text starting at `pos` (on the opening quote); moves `pos`
// past the closing quote. False when it is not properly closed.
bool readQuoted(const QString &line, qsizetype &pos, QString &out)
{
    if (pos >= line.size() || line[pos] != QLatin1Char('"'))
        return false;
    out.clear();
    for (++pos; pos < line.size(); ++pos) {
        const QChar c = line[pos];
        if (c == QLatin1Char('\\') && pos + 1 < line.size()) {
            out.append(line[++pos]);
        } else if (c == QLatin1Char('"')) {
            ++pos;
            return true;
        } else {
            out.append(c);
        }
    }
    return false;
}

QString quote(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out.append(QLatin1Char('"'));
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            out.append(QLatin1Char('\\'));
        out.append(c);
    }
    out.append(QLatin1Char('"'));
    return out;
}

// The bytes of a hex data list "41,00,42,00" (continuation backslashes and
// blanks already joined away).
std::optional<QByteArray> hexBytes(const QString &list)
{
    QByteArray bytes;
    for (const QString &part : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const uint byte = part.trimmed().toUInt(&ok, 16);
        if (!ok || byte > 0xff)
            return std::nullopt;
        bytes.append(char(byte));
    }
    return bytes;
}

QString utf16Text(const QByteArray &bytes)
{
    QString text = QStringDecoder(QStringDecoder::Utf16LE).decode(bytes);
    while (text.endsWith(QChar(0)))
        text.chop(1);
    return text;
}

// Fills `value` from the data part of a value line.
void interpretData(const QString &data, RegistryData::Value &value)
{
    value.type = RegistryValueType::Other;
    if (data.startsWith(QLatin1Char('"'))) {
        qsizetype pos = 0;
        QString text;
        if (readQuoted(data, pos, text) && data.mid(pos).trimmed().isEmpty()) {
            value.type = RegistryValueType::String;
            value.text = text;
        }
        return;
    }
    const QString lower = data.toLower();
    if (lower.startsWith(QLatin1String("dword:"))) {
        bool ok = false;
        const QString digits = data.mid(6).trimmed();
        const uint number = digits.toUInt(&ok, 16);
        if (ok && digits.size() <= 8) {
            value.type = RegistryValueType::Integer;
            value.number = number;
        }
        return;
    }
    // hex(1) and hex(2) are strings written as UTF-16LE bytes.
    for (const auto &[prefix, type] : {std::pair{"hex(1):", RegistryValueType::String},
                                       std::pair{"hex(2):", RegistryValueType::ExpandString}}) {
        if (lower.startsWith(QLatin1String(prefix))) {
            QString list = data.mid(int(qstrlen(prefix)));
            list.remove(QLatin1Char('\\'));
            if (const auto bytes = hexBytes(list)) {
                value.type = type;
                value.text = utf16Text(*bytes);
            }
            return;
        }
    }
}

// Parses one value line (continuations joined); false when the line is not
// a value line.
bool parseValue(const QString &joined, RegistryData::Value &value)
{
    qsizetype pos = 0;
    if (joined.startsWith(QLatin1Char('@'))) {
        value.name = QString();
        pos = 1;
    } else if (!readQuoted(joined, pos, value.name)) {
        return false;
    }
    if (pos >= joined.size() || joined[pos] != QLatin1Char('='))
        return false;
    interpretData(joined.mid(pos + 1).trimmed(), value);
    return true;
}

QString hexList(const QByteArray &bytes)
{
    QStringList parts;
    for (const char b : bytes)
        parts.append(QStringLiteral("%1").arg(uint(static_cast<unsigned char>(b)), 2, 16, QLatin1Char('0')));
    return parts.join(QLatin1Char(','));
}

QString formatValue(const RegistryData::Value &value)
{
    if (!value.raw.isEmpty())
        return value.raw;
    const QString name = value.name.isEmpty() ? QStringLiteral("@") : quote(value.name);
    switch (value.type) {
    case RegistryValueType::Integer:
        return name + QStringLiteral("=dword:") + QStringLiteral("%1").arg(value.number, 8, 16, QLatin1Char('0'));
    case RegistryValueType::String:
    case RegistryValueType::ExpandString: {
        // Line breaks cannot stand in a quoted text: such texts go as hex.
        const bool plain = !value.text.contains(QLatin1Char('\r')) && !value.text.contains(QLatin1Char('\n'))
            && !value.text.contains(QChar(0));
        if (plain && value.type == RegistryValueType::String)
            return name + QLatin1Char('=') + quote(value.text);
        QByteArray bytes(reinterpret_cast<const char *>(value.text.utf16()), value.text.size() * 2);
        bytes.append("\0\0", 2);
        const char *prefix = value.type == RegistryValueType::String ? "=hex(1):" : "=hex(2):";
        return name + QLatin1String(prefix) + hexList(bytes);
    }
    case RegistryValueType::None:
    case RegistryValueType::Other:
        break;
    }
    return value.raw;
}

} // namespace

RegistryData parseRegFile(const QByteArray &content)
{
    RegistryData data;
    const QStringList lines = splitFileLines(decodeFile(content));
    RegistryData::Key *current = nullptr;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (line.startsWith(QLatin1Char('[')) && line.trimmed().endsWith(QLatin1Char(']'))
            && !line.startsWith(QLatin1String("[-"))) {
            RegistryData::Key key;
            key.rawHeader = line;
            key.path = line.trimmed().mid(1);
            key.path.chop(1);
            data.keys.append(key);
            current = &data.keys.last();
            continue;
        }
        if (!current) {
            data.preamble.append(line);
            continue;
        }
        // A hex value may run over several lines, each but the last ending
        // in a backslash.
        QString raw = line;
        QString joined = line;
        const bool hexValue = (line.startsWith(QLatin1Char('"')) || line.startsWith(QLatin1Char('@')))
            && line.contains(QLatin1String("=hex"), Qt::CaseInsensitive);
        while (hexValue && joined.endsWith(QLatin1Char('\\')) && i + 1 < lines.size()) {
            ++i;
            raw += QStringLiteral("\r\n") + lines[i];
            joined.chop(1);
            joined += lines[i].trimmed();
        }
        RegistryData::Value value;
        if (parseValue(joined, value)) {
            value.raw = raw;
            current->entries.append(RegistryData::Entry{value, QString()});
        } else {
            current->entries.append(RegistryData::Entry{std::nullopt, raw});
        }
    }
    return data;
}

QByteArray serializeRegFile(const RegistryData &data)
{
    QString text;
    if (data.preamble.isEmpty() || !data.preamble.first().startsWith(QLatin1String("Windows Registry Editor"))) {
        text += QLatin1String(kHeader) + QStringLiteral("\r\n\r\n");
    }
    for (const QString &line : data.preamble)
        text += line + QStringLiteral("\r\n");
    for (const RegistryData::Key &key : data.keys) {
        text += (key.rawHeader.isEmpty() ? QLatin1Char('[') + key.path + QLatin1Char(']') : key.rawHeader)
            + QStringLiteral("\r\n");
        for (const RegistryData::Entry &entry : key.entries)
            text += (entry.value ? formatValue(*entry.value) : entry.rawLine) + QStringLiteral("\r\n");
    }
    return text.toUtf8();
}

} // namespace jw

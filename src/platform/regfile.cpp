// The ".reg" export format: "Windows Registry Editor Version 5.00", then
// sections "[HKEY_CURRENT_USER\...]" holding lines "name"=data, where data is
// "text" (with \\ and \" escapes), dword:0000006e, or hex...: with lines
// continued by a final backslash. "@" names a key's default value.
#include "platform/registry.h"
#include "textfile/codec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace jw {

namespace {

constexpr char kHeader[] = "Windows Registry Editor Version 5.00";

using Format = RegistryData::Format;
using Encoding = RegistryData::Format::Encoding;

constexpr char kUtf16Bom[] = "\xff\xfe";
constexpr char kUtf8Bom[] = "\xef\xbb\xbf";

QByteArray byteOrderMark(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf8WithBom:
        return kUtf8Bom;
    case Encoding::Utf16LeWithBom:
        return kUtf16Bom;
    default:
        return {};
    }
}

Encoding detectEncoding(const QByteArray &content)
{
    if (content.startsWith(kUtf16Bom))
        return Encoding::Utf16LeWithBom;
    if (content.startsWith(kUtf8Bom))
        return Encoding::Utf8WithBom;
    // An export without its mark still starts with an ASCII letter followed
    // by a zero byte.
    if (content.size() >= 2 && content[0] != 0 && content[1] == 0)
        return Encoding::Utf16Le;
    return isValidUtf8(content) ? Encoding::Utf8 : Encoding::EightBit;
}

bool isUtf16(Encoding encoding)
{
    return encoding == Encoding::Utf16Le || encoding == Encoding::Utf16LeWithBom;
}

QString decodeText(QByteArrayView bytes, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf16Le:
    case Encoding::Utf16LeWithBom:
        return QStringDecoder(QStringDecoder::Utf16LE).decode(bytes);
    case Encoding::EightBit:
        return decodeDisplay(bytes);
    case Encoding::Utf8:
    case Encoding::Utf8WithBom:
        break;
    }
    return QString::fromUtf8(bytes);
}

QByteArray encodeText(const QString &text, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf16Le:
    case Encoding::Utf16LeWithBom:
        return QStringEncoder(QStringEncoder::Utf16LE).encode(text);
    case Encoding::EightBit:
        return encodeFor(text, TextEncoding::Windows1250);
    case Encoding::Utf8:
    case Encoding::Utf8WithBom:
        break;
    }
    return text.toUtf8();
}

// One line of the file: its text, and its bytes with its line end.
struct FileLine
{
    QString text;
    QByteArray bytes;
};

// Splits the content (its byte-order mark removed) at CR LF, CR or LF,
// counted in the encoding's code units, and notes the first line end as the
// file's style.
QList<FileLine> splitFileLines(const QByteArray &body, Format &format)
{
    const qsizetype unit = isUtf16(format.encoding) ? 2 : 1;
    auto codeAt = [&body, unit](qsizetype i) -> int {
        if (i + unit > body.size())
            return -1;
        return unit == 1 ? uchar(body[i]) : uchar(body[i]) | (uchar(body[i + 1]) << 8);
    };
    QList<FileLine> lines;
    bool styleSeen = false;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i + unit <= body.size()) {
        const int code = codeAt(i);
        if (code != '\r' && code != '\n') {
            i += unit;
            continue;
        }
        qsizetype end = i + unit;
        if (code == '\r' && codeAt(end) == '\n')
            end += unit;
        if (!styleSeen) {
            format.lineEnd = (end - i == 2 * unit) ? QByteArray("\r\n") : QByteArray(1, char(code));
            styleSeen = true;
        }
        lines.append(FileLine{
            decodeText(QByteArrayView(body).sliced(start, i - start), format.encoding), body.mid(start, end - start)});
        start = i = end;
    }
    if (start < body.size())
        lines.append(FileLine{decodeText(QByteArrayView(body).sliced(start), format.encoding), body.mid(start)});
    return lines;
}

// Whether the bytes end with CR or LF, in the encoding's code units.
bool endsWithBreak(const QByteArray &bytes, Encoding encoding)
{
    const qsizetype unit = isUtf16(encoding) ? 2 : 1;
    if (bytes.size() < unit)
        return false;
    const char last = bytes[bytes.size() - unit];
    return (last == '\r' || last == '\n') && (unit == 1 || bytes.back() == 0);
}

QByteArray lineEndBytes(const Format &format)
{
    return encodeText(QString::fromLatin1(format.lineEnd), format.encoding);
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
    for (const auto &[prefix, type] :
        {std::pair{"hex(1):", RegistryValueType::String}, std::pair{"hex(2):", RegistryValueType::ExpandString}}) {
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
    return {};
}

} // namespace

bool isRegFile(const QByteArray &content)
{
    Format format;
    format.encoding = detectEncoding(content);
    const QByteArray body = content.mid(byteOrderMark(format.encoding).size());
    if (body.isEmpty())
        return true;
    const QList<FileLine> lines = splitFileLines(body.left(512), format);
    const QString first = lines.isEmpty() ? QString() : lines.first().text.trimmed();
    return first == QLatin1String(kHeader) || first == QLatin1String("REGEDIT4");
}

RegistryData parseRegFile(const QByteArray &content)
{
    RegistryData data;
    data.format.encoding = detectEncoding(content);
    const QList<FileLine> lines = splitFileLines(content.mid(byteOrderMark(data.format.encoding).size()), data.format);
    RegistryData::Key *current = nullptr;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i].text;
        if (line.startsWith(QLatin1Char('[')) && line.trimmed().endsWith(QLatin1Char(']'))
            && !line.startsWith(QLatin1String("[-"))) {
            RegistryData::Key key;
            key.rawHeader = lines[i].bytes;
            key.path = line.trimmed().mid(1);
            key.path.chop(1);
            data.keys.append(key);
            current = &data.keys.last();
            continue;
        }
        if (!current) {
            data.preamble.append(RegistryData::Entry{std::nullopt, line, lines[i].bytes});
            continue;
        }
        // A hex value may run over several lines, each but the last ending
        // in a backslash.
        QByteArray raw = lines[i].bytes;
        QString joined = line;
        const bool hexValue = (line.startsWith(QLatin1Char('"')) || line.startsWith(QLatin1Char('@')))
            && line.contains(QLatin1String("=hex"), Qt::CaseInsensitive);
        while (hexValue && joined.endsWith(QLatin1Char('\\')) && i + 1 < lines.size()) {
            ++i;
            raw += lines[i].bytes;
            joined.chop(1);
            joined += lines[i].text.trimmed();
        }
        RegistryData::Value value;
        if (parseValue(joined, value)) {
            value.raw = raw;
            current->entries.append(RegistryData::Entry{value, QString(), QByteArray()});
        } else {
            current->entries.append(RegistryData::Entry{std::nullopt, joined, raw});
        }
    }
    return data;
}

QByteArray serializeRegFile(const RegistryData &data)
{
    const Encoding encoding = data.format.encoding;
    const QByteArray lineEnd = lineEndBytes(data.format);
    QByteArray out = byteOrderMark(encoding);
    const qsizetype start = out.size();
    // Lines the program did not touch go back as they were read; new ones are
    // written in the file's encoding with its line ends.
    auto putRaw = [&out](const QByteArray &bytes) { out += bytes; };
    auto putText = [&](const QString &text) {
        if (out.size() > start && !endsWithBreak(out, encoding))
            out += lineEnd; // the last line read had no line end
        out += encodeText(text, encoding) + lineEnd;
    };
    auto putEntry = [&](const RegistryData::Entry &entry) {
        if (entry.value && !entry.value->raw.isEmpty())
            putRaw(entry.value->raw);
        else if (entry.value)
            putText(formatValue(*entry.value));
        else if (!entry.rawBytes.isEmpty())
            putRaw(entry.rawBytes);
        else
            putText(entry.rawLine);
    };
    const QString firstLine = data.preamble.isEmpty() ? QString() : data.preamble.first().rawLine.trimmed();
    if (!firstLine.startsWith(QLatin1String("Windows Registry Editor")) && firstLine != QLatin1String("REGEDIT4")) {
        putText(QLatin1String(kHeader));
        putText(QString());
    }
    for (const RegistryData::Entry &entry : data.preamble)
        putEntry(entry);
    for (const RegistryData::Key &key : data.keys) {
        if (key.rawHeader.isEmpty())
            putText(QLatin1Char('[') + key.path + QLatin1Char(']'));
        else
            putRaw(key.rawHeader);
        for (const RegistryData::Entry &entry : key.entries)
            putEntry(entry);
    }
    return out;
}

} // namespace jw

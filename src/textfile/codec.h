#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace jw {

// The 8-bit code pages the program's files come in.
enum class CodePage {
    Windows1250, // Central European: the language files' historical code page
    Windows1257, // Baltic: the default of the quarantine preview
    Iso8859_2, // Central European, common in mail
};

// Bytes the code page leaves undefined decode to the C1 control of the same
// value, so that every byte survives a decode/encode round trip.
QString decode(QByteArrayView bytes, CodePage page);
// Characters the code page cannot hold become '?'.
QByteArray encode(QStringView text, CodePage page);

bool isValidUtf8(QByteArrayView bytes);

// Decodes by a character set name as mail and web pages declare it (UTF-8,
// ASCII, ISO-8859-1 and -2, Windows-1250 and -1257); nullopt for others.
std::optional<QString> decodeCharset(QByteArrayView bytes, QByteArrayView charset);

// The display codec: how stored 8-bit text is shown. UTF-8 when the bytes are
// valid UTF-8, otherwise Windows-1250. Text the user types is stored as UTF-8,
// the encoding of this platform's files.
QString decodeDisplay(QByteArrayView bytes);
QByteArray encodeDisplay(QStringView text);

// The display codec's choice for a whole file, so that text typed into it is
// stored the way the file already is.
enum class TextEncoding { Utf8, Windows1250 };
TextEncoding detectEncoding(QByteArrayView bytes);
// Decodes a part of a file by the file's encoding, so that a line of a
// Windows-1250 file that happens to be valid UTF-8 is still read as 1250 and
// written back as the same bytes.
QString decodeAs(QByteArrayView bytes, TextEncoding encoding);
// Windows-1250 files get Windows-1250 when every character fits, and UTF-8
// otherwise (no character is ever turned into "?").
QByteArray encodeFor(QStringView text, TextEncoding encoding);

} // namespace jw

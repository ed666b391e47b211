#pragma once

#include <QByteArray>
#include <QList>

class QIODevice;

#include <optional>

namespace jw::pop3 {

// RFC 2449: a command line is at most 255 octets with its CR LF; answers
// may be up to 512. Longer lines from a client are refused, not buffered.
inline constexpr qsizetype kMaxCommandLine = 255;
// Lines of a message may be long (HTML on one line); a bound all the same.
inline constexpr qsizetype kMaxResponseLine = 4 * 1024 * 1024;

// Splits a byte stream into lines ending in LF (CR LF or a bare LF). A line
// longer than the limit is an error that ends the stream.
class LineReader
{
public:
    explicit LineReader(qsizetype maxLine)
        : m_maxLine(maxLine)
    {
    }
    void append(const QByteArray &bytes);
    // Reads what the device has straight into the buffer.
    void readFrom(QIODevice &device);
    // The next whole line with its line end, or nullopt when none is
    // complete yet.
    std::optional<QByteArray> takeLine();
    // The complete lines of a multi-line answer buffered so far, as they
    // travel (still dot-stuffed), in one piece, up to the line "." that ends
    // the answer; `ended` tells whether it came (it is consumed, not
    // returned).
    QByteArray takeLinesUntilEnd(bool *ended);
    // Whether the unfinished line has grown past the limit.
    bool overflowed() const;

private:
    QByteArray m_buffer;
    qsizetype m_start = 0;
    qsizetype m_maxLine;
};

struct Command
{
    QByteArray verb; // upper case
    QList<QByteArray> arguments;
    // Everything after the verb and the one blank that follows it, as it
    // stands (a password may start, end or be full of blanks).
    QByteArray rest;
};
Command parseCommand(const QByteArray &line);

// A line without its line end.
QByteArray chopLineEnd(const QByteArray &line);
// Whether a line of a multi-line answer is its end (".").
bool isTerminator(const QByteArray &line);
// A line of a multi-line answer as it travels (a leading "." doubled), and
// back.
QByteArray stuffed(const QByteArray &line);
QByteArray unstuffed(const QByteArray &line);
// Whole lines as they travel, made plain again.
QByteArray unstuffedLines(const QByteArray &lines);

} // namespace jw::pop3

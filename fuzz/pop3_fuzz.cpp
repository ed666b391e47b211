// Fuzzes what the proxy reads from servers and clients: the line reader
// (lines, multi-line answers up to their end), command parsing and
// un-stuffing. The first byte picks the reader's line limit.
#include "proxy/pop3text.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    jw::pop3::LineReader reader(16 + data[0] * 64);
    // Fed in two pieces, as the network would.
    reader.append(bytes.left(bytes.size() / 2));
    reader.append(bytes.mid(bytes.size() / 2));
    for (int i = 0; i < 100000 && !reader.overflowed(); ++i) {
        bool ended = false;
        if (i % 2 == 0) {
            const QByteArray lines = reader.takeLinesUntilEnd(&ended);
            jw::pop3::unstuffedLines(lines);
            if (!ended && lines.isEmpty())
                break;
        } else if (const std::optional<QByteArray> line = reader.takeLine()) {
            const jw::pop3::Command command = jw::pop3::parseCommand(*line);
            if (!command.rest.isEmpty() && !line->contains(command.rest))
                __builtin_trap(); // the rest is always part of its line
        } else {
            break;
        }
    }
    return 0;
}

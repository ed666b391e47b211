#include "update/updatestatus.h"

#include "textfile/codec.h"

namespace jw {

UpdateStatus UpdateStatus::parse(const QByteArray &line)
{
    UpdateStatus status;
    if (line.isEmpty())
        return status;
    if (line == "ACT") {
        status.kind = Done;
    } else if (line == "CONNERR") {
        status.kind = NoConnection;
    } else if (line == "AUTHERR") {
        status.kind = NotAuthorised;
    } else if (line.startsWith('N')) {
        status.kind = NewVersion;
        status.version = decodeDisplay(line.mid(1)).left(10);
    } else {
        // A percentage; anything else (a half-written line, a word in
        // other letter case) is passed over like an empty line.
        bool ok = false;
        const int value = line.trimmed().toInt(&ok, 10);
        if (ok && !line.startsWith('+') && line.trimmed() == line) {
            status.kind = Progress;
            status.percent = qBound(0, value, 100);
        }
    }
    return status;
}

} // namespace jw

#include "formats/statusfile.h"

#include "textfile/codec.h"
#include "textfile/errors.h"
#include "textfile/nativefile.h"

namespace jw {

StatusFile::StatusFile(const QString &programFolder)
    : m_path(programFolder + QLatin1String(kFileName))
{
    // Held mail told by an earlier run and not yet acknowledged stays told.
    m_heldSinceAcknowledged = saysQuarantine();
}

void StatusFile::write(const QByteArray &content)
{
    try {
        writeNativeFileAtomically(nativePath(m_path), content);
    } catch (const FileError &) {
        // The status is a courtesy to the tray; mail goes on without it.
    }
}

bool StatusFile::saysQuarantine() const
{
    const std::optional<QByteArray> head = readNativeFileHead(nativePath(m_path), 16);
    return head && head->startsWith("quarantine");
}

void StatusFile::working(const QString &progress)
{
    // Held mail the tray has not seen yet is not hidden by progress: the
    // acknowledgement deletes the file, so its absence tells.
    if (m_heldSinceAcknowledged && saysQuarantine())
        return;
    m_heldSinceAcknowledged = false;
    QByteArray line = encodeDisplay(progress);
    line.replace('\r', ' ').replace('\n', ' ');
    write("working\r\n" + line + "\r\n");
}

void StatusFile::quarantine()
{
    m_heldSinceAcknowledged = true;
    write("quarantine\r\n");
}

void StatusFile::idle()
{
    if (m_heldSinceAcknowledged && saysQuarantine())
        return;
    m_heldSinceAcknowledged = false;
    removeNativeFile(nativePath(m_path));
}

} // namespace jw

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
        replaceNativeFile(nativePath(m_path), content);
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
    // The tray looks twice a second; writing more often shows nothing more.
    const qint64 now = m_clock.elapsed();
    if (m_clock.isValid() && now - m_lastProgressMs < kProgressIntervalMs && m_lastProgress.startsWith("working"))
        return;
    m_clock.start();
    m_lastProgressMs = 0;
    QByteArray line = encodeDisplay(progress);
    line.replace('\r', ' ').replace('\n', ' ');
    m_lastProgress = "working\r\n" + line + "\r\n";
    write(m_lastProgress);
}

void StatusFile::quarantine()
{
    m_heldSinceAcknowledged = true;
    m_lastProgress.clear();
    write("quarantine\r\n");
}

void StatusFile::idle()
{
    if (m_heldSinceAcknowledged && saysQuarantine())
        return;
    m_heldSinceAcknowledged = false;
    m_lastProgress.clear();
    removeNativeFile(nativePath(m_path));
}

} // namespace jw

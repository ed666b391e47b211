#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

namespace jw {

// The proxy's status file beside the executable, read by the tray twice a
// second: "working" and a progress line while the proxy handles mail,
// "quarantine" once it has held a message, no file while idle. Written
// whole and atomically, lines ending in CR LF.
class StatusFile
{
public:
    static constexpr char kFileName[] = "status.tmp";

    explicit StatusFile(const QString &programFolder);

    void working(const QString &progress);
    // Held mail to tell about: stays until the tray acknowledges it by
    // deleting the file.
    void quarantine();
    // Idle again: the file goes, unless it tells of held mail the tray has
    // not acknowledged yet.
    void idle();
    bool saysQuarantine() const;

private:
    void write(const QByteArray &content);

    static constexpr qint64 kProgressIntervalMs = 250;

    QString m_path;
    bool m_heldSinceAcknowledged = false;
    QElapsedTimer m_clock;
    qint64 m_lastProgressMs = 0;
    QByteArray m_lastProgress;
};

} // namespace jw

#include "proxy/problemlog.h"

#include "textfile/errors.h"
#include "textfile/nativefile.h"

#include <QDateTime>
#include <QFile>

namespace jw {

ProblemLog::ProblemLog(const QString &stateFolder)
    : m_path(stateFolder + QLatin1String(kFileName))
{
}

void ProblemLog::note(const QString &what) const
{
    const QByteArray line = QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + '\t'
        + what.toUtf8().replace('\r', ' ').replace('\n', ' ') + '\n';
    QFile file(m_path);
    if (file.size() + line.size() > kMaxBytes) {
        // Keep the newer half, from a line's start.
        QByteArray kept = readNativeFile(nativePath(m_path)).value_or(QByteArray());
        kept = kept.mid(kept.size() / 2);
        kept = kept.mid(kept.indexOf('\n') + 1);
        try {
            writeNativeFileAtomically(
                nativePath(m_path), QByteArray(kept + line), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        } catch (const Error &) {
        }
        return;
    }
    if (file.open(QIODevice::Append))
        file.write(line);
}

} // namespace jw

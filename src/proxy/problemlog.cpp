#include "proxy/problemlog.h"

#include "textfile/lines.h"

#include <QDateTime>

namespace jw {

ProblemLog::ProblemLog(const QString &stateFolder)
    : m_path(stateFolder + QLatin1String(kFileName))
{
}

void ProblemLog::note(const QString &what) const
{
    const QByteArray line = QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + '\t'
        + what.toUtf8().replace('\r', ' ').replace('\n', ' ') + '\n';
    appendToBoundedLog(m_path, line, kMaxBytes);
}

} // namespace jw

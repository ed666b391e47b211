#include "proxy/tlsmemory.h"

#include "proxy/problemlog.h"
#include "textfile/errors.h"
#include "textfile/lines.h"
#include "textfile/nativefile.h"

#include <QDir>
#include <QFileInfo>

namespace jw {

namespace {

QByteArray entry(const QString &host, quint16 port)
{
    return host.trimmed().toLower().toUtf8() + ':' + QByteArray::number(port);
}

} // namespace

TlsMemory::TlsMemory(const QString &stateFolder)
    : m_path(stateFolder + QLatin1String(kFileName))
{
}

bool TlsMemory::seen(const QString &host, quint16 port) const
{
    const std::optional<QByteArray> known = readNativeFile(nativePath(m_path));
    return known && splitLines(*known, LineRule::AnyBreak).contains(entry(host, port));
}

void TlsMemory::remember(const QString &host, quint16 port) const
{
    if (seen(host, port))
        return;
    QByteArray known = readNativeFile(nativePath(m_path)).value_or(QByteArray());
    if (!known.isEmpty() && !known.endsWith('\n'))
        known += "\r\n";
    try {
        QDir().mkpath(QFileInfo(m_path).path());
        writeNativeFileAtomically(nativePath(m_path), QByteArray(known + entry(host, port) + "\r\n"),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    } catch (const Error &e) {
        ProblemLog(QFileInfo(m_path).path() + QLatin1Char('/')).note(e.message());
    }
}

} // namespace jw

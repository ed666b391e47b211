#include "formats/proxystate.h"

#include "formats/filterlistfiles.h"
#include "textfile/lines.h"
#include "textfile/nativefile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace jw {

namespace {

const QByteArray kPassedLine = QByteArrayLiteral("X-Junkwarden: passed\r\n");

QByteArray judgedLine(const QByteArray &uidl, const QByteArray &addedLines)
{
    return uidl + '\t' + addedLines.toBase64() + "\r\n";
}

} // namespace

JudgedState::JudgedState(const QString &stateFolder, const QString &accountFolder)
    : m_path(stateFolder
        + QString::fromLatin1(QCryptographicHash::hash(accountFolder.toUtf8(), QCryptographicHash::Sha1).toHex())
        + QStringLiteral(".judged"))
{
}

QHash<QByteArray, QByteArray> JudgedState::read() const
{
    QHash<QByteArray, QByteArray> judged;
    const std::optional<QByteArray> content = readNativeFile(nativePath(m_path));
    if (!content)
        return judged;
    for (const QByteArray &line : splitLines(*content, LineRule::AnyBreak)) {
        const qsizetype tab = line.lastIndexOf('\t');
        const QByteArray added = tab < 0 ? QByteArray() : QByteArray::fromBase64(line.mid(tab + 1));
        judged.insert(tab < 0 ? line : line.left(tab), added.isEmpty() ? kPassedLine : added);
    }
    return judged;
}

void JudgedState::add(const QByteArray &uidl, const QByteArray &addedLines) const
{
    QFile file(m_path);
    if (file.open(QIODevice::Append))
        file.write(judgedLine(uidl, addedLines));
}

void JudgedState::replace(const QList<std::pair<QByteArray, QByteArray>> &messages) const
{
    QByteArray content;
    for (const auto &[uidl, added] : messages)
        content += judgedLine(uidl, added);
    QDir().mkpath(QFileInfo(m_path).path());
    writeNativeFileAtomically(nativePath(m_path), content);
}

LearnedSpam::LearnedSpam(const QString &stateFolder)
    : m_path(stateFolder + QStringLiteral("learned_spam"))
{
}

QByteArray LearnedSpam::keyOf(const QList<QByteArray> &words)
{
    return QCryptographicHash::hash(words.join('\n'), QCryptographicHash::Sha1).toHex().left(32);
}

bool LearnedSpam::knows(const QByteArray &key) const
{
    return splitLines(readNativeFile(nativePath(m_path)).value_or(QByteArray()), LineRule::AnyBreak).contains(key);
}

void LearnedSpam::note(const QList<QByteArray> &added) const
{
    const NativePath path = nativePath(m_path);
    QList<QByteArray> keys = splitLines(readNativeFile(path).value_or(QByteArray()), LineRule::AnyBreak);
    keys.removeAll(QByteArray());
    keys += added;
    if (keys.size() > kRemembered)
        keys = keys.mid(keys.size() - kRemembered);
    QDir().mkpath(QFileInfo(m_path).path());
    writeNativeFileAtomically(path, QByteArray(keys.join('\n') + '\n'));
}

bool LearnedSpam::forget(const QByteArray &key) const
{
    const NativePath path = nativePath(m_path);
    QList<QByteArray> keys = splitLines(readNativeFile(path).value_or(QByteArray()), LineRule::AnyBreak);
    keys.removeAll(QByteArray());
    if (keys.removeAll(key) == 0)
        return false;
    writeNativeFileAtomically(path, QByteArray(keys.join('\n') + '\n'));
    return true;
}

SignInNeeded::SignInNeeded(const QString &stateFolder)
    : m_path(stateFolder + QLatin1String(kFileName))
{
}

QStringList SignInNeeded::read() const
{
    QStringList accounts;
    for (const QByteArray &line : readListFile(m_path).lines) {
        if (!line.trimmed().isEmpty())
            accounts.append(QString::fromUtf8(line.trimmed()));
    }
    return accounts;
}

void SignInNeeded::mark(const QString &account, bool needed) const
{
    Lines lines = readListFile(m_path).lines;
    const QByteArray name = account.toUtf8();
    if (lines.contains(name) == needed)
        return;
    if (needed)
        lines.append(name);
    else
        lines.removeAll(name);
    writeNativeFileAtomically(nativePath(m_path), joinLines(lines));
}

} // namespace jw

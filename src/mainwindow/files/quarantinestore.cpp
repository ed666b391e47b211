#include "mainwindow/files/quarantinestore.h"

#include "mainwindow/files/filterlistfiles.h"
#include "textfile/codec.h"
#include "textfile/errors.h"

#include <QDir>
#include <QFile>
#include <QLocale>


namespace jw {

namespace {

const QByteArray kFirstMarker = QByteArray(QuarantineStore::kMarker) + '1';
const QByteArray kSecondMarker = QByteArray(QuarantineStore::kMarker) + '2';

// The first five lines, by the status files' rule: CR (or CR LF) ends a
// line, 0x1A ends the file. Reads only the head of the file.
Lines headLines(const QString &path)
{
    const std::optional<Lines> lines = readHeadLines(path, LineRule::CrBreakSubEnds, 5, 16 * 1024);
    return lines.value_or(Lines());
}

} // namespace

QuarantineStore::QuarantineStore(QString messagesFolder, QString configFolder, QString subjectNull, QString fromNull)
    : m_messagesFolder(std::move(messagesFolder))
    , m_configFolder(std::move(configFolder))
    , m_subjectNull(std::move(subjectNull))
    , m_fromNull(std::move(fromNull))
{
}

QString QuarantineStore::formatReceived(const QDateTime &modified)
{
    // Shown at the two-second steps the store's times have always had.
    QDateTime time = modified.toLocalTime();
    time = time.addSecs(-(time.time().second() % 2)).addMSecs(-time.time().msec());
    const QLocale locale;
    QString text = locale.toString(time.date(), QLocale::ShortFormat);
    if (time.time() != QTime(0, 0))
        text += QLatin1Char(' ') + locale.toString(time.time(), QLocale::LongFormat);
    return text;
}

QList<QuarantineRow> QuarantineStore::scan(const QDateTime &now) const
{
    QList<QuarantineRow> rows;
    const QDir messages(m_messagesFolder);
    const QFileInfoList accounts = messages.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo &account : accounts) {
        // Hidden folders are not accounts.
        if (account.fileName().startsWith(QLatin1Char('.')))
            continue;
        const QString name = account.fileName();
        const QString folder = m_messagesFolder + name + QLatin1Char('/');
        const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
        for (const QFileInfo &file : files) {
            if (file.size() <= 0 || file.fileName().contains(QLatin1String(kResendTag)))
                continue;
            const QString path = folder + file.fileName();
            const Lines lines = headLines(path);
            if (lines.value(4) != kFirstMarker) {
                // Maybe still being written: only a settled file is removed.
                if (file.lastModified().secsTo(now) >= kSettleSeconds)
                    QFile::remove(path);
                continue;
            }
            QuarantineRow row;
            const QByteArray subject = lines.value(0);
            const QByteArray sender = lines.value(1);
            row.subject = subject.isEmpty() || subject == "0" ? m_subjectNull : decodeDisplay(subject);
            row.sender = sender.isEmpty() || sender == "0" ? m_fromNull : decodeDisplay(sender);
            row.received = formatReceived(file.lastModified());
            row.account = name;
            row.path = path;
            row.status = lines.value(2);
            row.spamNote = decodeDisplay(lines.value(3));
            rows.append(row);
        }
    }
    return rows;
}

QByteArray QuarantineStore::readText(const QString &path)
{
    return joinLines(readLines(path, LineRule::AnyBreak));
}

QByteArray QuarantineStore::contentSection(const QByteArray &text)
{
    const qsizetype first = text.indexOf(kFirstMarker);
    if (first < 0)
        return {};
    const qsizetype start = first + kFirstMarker.size();
    const qsizetype second = text.indexOf(kSecondMarker, start);
    if (second < 0)
        return {};
    return text.mid(start, second - start);
}

QByteArray QuarantineStore::sourceSection(const QByteArray &text)
{
    const qsizetype second = text.indexOf(kSecondMarker);
    if (second < 0)
        return {};
    return text.mid(second + kSecondMarker.size(), kMaxSourceLength);
}

Lines QuarantineStore::setStatus(const QString &path, const QByteArray &status)
{
    Lines lines = readLines(path, LineRule::AnyBreak);
    while (lines.size() < 3)
        lines.append(QByteArray());
    lines[2] = status;
    writeLines(path, lines);
    return lines;
}

void QuarantineStore::markRead(const QString &path)
{
    setStatus(path, "Readed");
}

void QuarantineStore::remove(const QString &path)
{
    QFile::remove(path);
}

void QuarantineStore::requestResend(const QStringList &paths, const std::function<void(int)> &handled) const
{
    const QString listPath = m_configFolder + QLatin1String(kResendList);
    ListFile list = readListFile(listPath);
    if (list.state == ListFile::State::Unreadable)
        throw FileError::cannotOpen(listPath);
    for (int i = 0; i < paths.size(); ++i) {
        const Lines lines = setStatus(paths[i], "Resend");
        const QString copy = paths[i] + QLatin1String(kResendTag);
        writeLines(copy, lines);
        list.lines.append(QFile::encodeName(copy));
        if (handled)
            handled(i);
    }
    writeLines(listPath, list.lines);
}

} // namespace jw

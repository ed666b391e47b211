#include "formats/filterlistfiles.h"

#include "textfile/errors.h"

#include <QFile>
#include <QSet>

#include <algorithm>

namespace jw {

const std::array<FilterListInfo, kFilterListCount> &filterLists()
{
    static const std::array<FilterListInfo, kFilterListCount> lists{{
        {"whitelist", keys::biala, "Biala lista"},
        {"blacklist", keys::czarna, "Czarna lista"},
        {"badwords", keys::badwords, "Zakazane slowa"},
        {"rbl", keys::rbl, "Blokowane servery"},
        {"xmailer", keys::xmailer, "Xmailers"},
        {"to", keys::dziwnedo, "Dziwne pole do"},
    }};
    return lists;
}

ListFile readListContent(const QString &path)
{
    ListFile list;
    QFile file(path);
    if (!file.exists())
        return list;
    if (!file.open(QIODevice::ReadOnly)) {
        list.state = ListFile::State::Unreadable;
        return list;
    }
    QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        list.state = ListFile::State::Unreadable;
        return list;
    }
    list.state = ListFile::State::Read;
    list.encoding = detectEncoding(content);
    list.endsWithBreak = content.isEmpty() || content.endsWith('\r') || content.endsWith('\n');
    list.content = std::move(content);
    return list;
}

ListFile readListFile(const QString &path)
{
    ListFile list = readListContent(path);
    list.lines = splitLines(list.content, LineRule::AnyBreak);
    list.content = QByteArray();
    return list;
}

void appendToListFile(const QString &path, const Lines &entries)
{
    const ListFile existing = readListFile(path);
    if (existing.state == ListFile::State::Unreadable)
        throw FileError::cannotOpen(path);
    writeLines(path, existing.lines + entries);
}

int addMissingToListFile(const QString &path, const QStringList &entries)
{
    ListFile file = readListFile(path);
    if (file.state != ListFile::State::Read)
        throw FileError::cannotOpen(path);
    QSet<QString> present;
    for (const QByteArray &line : std::as_const(file.lines))
        present.insert(decodeDisplay(line).toCaseFolded());
    Lines added;
    for (const QString &entry : entries) {
        const QString folded = entry.toCaseFolded();
        if (present.contains(folded))
            continue;
        present.insert(folded);
        added.append(encodeFor(entry, file.encoding));
    }
    if (added.isEmpty())
        return 0;
    QByteArray content = joinLines(file.lines + added);
    if (!file.endsWithBreak)
        content.chop(2);
    writeFileAtomically(path, content);
    return int(added.size());
}

namespace {

// A line of the deletion log: "-" list name "::" entry.
QByteArray deletionMark(const char *listName, const QByteArray &entry)
{
    return "-" + QByteArray(listName) + "::" + entry;
}

} // namespace

void appendToDeletionLog(const QString &configFolder, const char *listName, const Lines &entries)
{
    Lines logged;
    logged.reserve(entries.size());
    for (const QByteArray &entry : entries)
        logged.append(deletionMark(listName, entry));
    appendToListFile(configFolder + QLatin1String(kDeletionLogFile), logged);
}

bool inDeletionLog(const QString &configFolder, const char *listName, const QString &entry)
{
    const QString mark = decodeDisplay(deletionMark(listName, encodeDisplay(entry)));
    const ListFile log = readListFile(configFolder + QLatin1String(kDeletionLogFile));
    return std::any_of(log.lines.begin(), log.lines.end(), [&mark](const QByteArray &line) {
        return decodeDisplay(line).trimmed().compare(mark, Qt::CaseInsensitive) == 0;
    });
}

void removeFromAutoWhiteList(const QString &configFolder, const QList<QString> &removed)
{
    if (removed.isEmpty())
        return;
    const QString path = configFolder + QLatin1String(kAutoWhiteListFile);
    ListFile file = readListFile(path);
    if (file.state == ListFile::State::Unreadable)
        throw FileError::cannotOpen(path);
    bool changed = false;
    for (const QString &entry : removed) {
        for (qsizetype i = 0; i < file.lines.size(); ++i) {
            if (decodeDisplay(file.lines[i]).compare(entry, Qt::CaseInsensitive) == 0) {
                file.lines.removeAt(i);
                changed = true;
                break;
            }
        }
    }
    if (!changed)
        return;
    QByteArray content = joinLines(file.lines);
    if (!file.endsWithBreak && !content.isEmpty())
        content.chop(2);
    writeFileAtomically(path, content);
}

} // namespace jw

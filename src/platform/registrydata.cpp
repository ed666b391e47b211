#include "platform/registry.h"

#include <algorithm>

namespace jw {

namespace {

constexpr char kHive[] = "HKEY_CURRENT_USER";

QString fold(const QString &text)
{
    return text.toCaseFolded();
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

RegistryError RegistryError::invalidType(const QString &valueName)
{
    return RegistryError(QStringLiteral("Invalid data type for '%1'").arg(valueName));
}

RegistryError RegistryError::cannotWrite(const QString &valueName)
{
    return RegistryError(QStringLiteral("Failed to set data for '%1'").arg(valueName));
}

RegistryError RegistryError::unreadable(const QString &filePath, bool alreadyReported)
{
    return RegistryError(QStringLiteral("The account store %1 is not a registry export file. Junkwarden leaves it and "
                                        "the mail accounts in it as they are.")
                             .arg(filePath),
        alreadyReported);
}

QString RegistryData::fullPath(const QString &path)
{
    QString relative = path;
    while (relative.startsWith(QLatin1Char('\\')))
        relative.remove(0, 1);
    while (relative.endsWith(QLatin1Char('\\')))
        relative.chop(1);
    if (relative.isEmpty())
        return QLatin1String(kHive);
    return QLatin1String(kHive) + QLatin1Char('\\') + relative;
}

int RegistryData::indexOf(const QString &full) const
{
    // Callers read several values of one key in a row.
    if (m_indexValid && full == m_lastFull)
        return m_lastIndex;
    if (!m_indexValid) {
        m_index.clear();
        for (int i = 0; i < keys.size(); ++i) {
            // A key that stands twice in a file: the first one counts.
            const QString folded = fold(keys[i].path);
            if (!m_index.contains(folded))
                m_index.insert(folded, i);
        }
        m_indexValid = true;
    }
    m_lastFull = full;
    m_lastIndex = m_index.value(fold(full), -1);
    return m_lastIndex;
}

bool RegistryData::keyExists(const QString &path) const
{
    const QString full = fullPath(path);
    if (indexOf(full) >= 0)
        return true;
    const QString prefix = fold(full) + QLatin1Char('\\');
    return std::any_of(
        keys.cbegin(), keys.cend(), [&prefix](const Key &key) { return fold(key.path).startsWith(prefix); });
}

void RegistryData::createKey(const QString &path)
{
    const QString full = fullPath(path);
    if (indexOf(full) >= 0)
        return;
    // Keep a blank line between sections, as exported files have.
    if (!keys.isEmpty()) {
        QList<Entry> &last = keys.last().entries;
        if (last.isEmpty() || last.last().value || !last.last().rawLine.isEmpty())
            last.append(Entry{std::nullopt, QString(), QByteArray()});
    }
    Key key;
    key.path = full;
    keys.append(key);
    m_indexValid = false;
    noteWrite(QString());
}

QStringList RegistryData::subkeyNames(const QString &path) const
{
    const QString full = fullPath(path);
    const QString prefix = fold(full) + QLatin1Char('\\');
    QStringList names;
    QHash<QString, bool> seen;
    for (const Key &key : keys) {
        if (key.path.size() < prefix.size() || fold(key.path.left(prefix.size())) != prefix)
            continue;
        QString child = key.path.mid(prefix.size());
        const qsizetype slash = child.indexOf(QLatin1Char('\\'));
        if (slash >= 0)
            child.truncate(slash);
        if (child.isEmpty() || seen.contains(fold(child)))
            continue;
        seen.insert(fold(child), true);
        names.append(child);
    }
    std::sort(names.begin(), names.end(),
        [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

const RegistryData::Value *RegistryData::findValue(const QString &path, const QString &name) const
{
    const int index = indexOf(fullPath(path));
    if (index < 0)
        return nullptr;
    for (const Entry &entry : keys[index].entries) {
        if (entry.value && sameName(entry.value->name, name))
            return &*entry.value;
    }
    return nullptr;
}

RegistryValueType RegistryData::valueType(const QString &path, const QString &name) const
{
    const Value *value = findValue(path, name);
    return value ? value->type : RegistryValueType::None;
}

std::optional<QString> RegistryData::readString(const QString &path, const QString &name) const
{
    const Value *value = findValue(path, name);
    if (!value)
        return std::nullopt;
    if (value->type != RegistryValueType::String && value->type != RegistryValueType::ExpandString)
        throw RegistryError::invalidType(name);
    return value->text;
}

std::optional<quint32> RegistryData::readInteger(const QString &path, const QString &name) const
{
    const Value *value = findValue(path, name);
    if (!value)
        return std::nullopt;
    if (value->type != RegistryValueType::Integer)
        throw RegistryError::invalidType(name);
    return value->number;
}

RegistryData::Value &RegistryData::valueForWriting(const QString &path, const QString &name)
{
    createKey(path);
    Key &key = keys[indexOf(fullPath(path))];
    for (Entry &entry : key.entries) {
        if (entry.value && sameName(entry.value->name, name))
            return *entry.value;
    }
    // A new value goes after the key's last value, before trailing blanks.
    qsizetype at = key.entries.size();
    while (at > 0 && !key.entries[at - 1].value && key.entries[at - 1].rawLine.trimmed().isEmpty())
        --at;
    Value fresh;
    fresh.name = name;
    key.entries.insert(at, Entry{fresh, QString(), QByteArray()});
    return *key.entries[at].value;
}

void RegistryData::noteWrite(const QString &name)
{
    if (!m_modified) {
        m_modified = true;
        m_firstWritten = name;
    } else if (m_firstWritten.isEmpty()) {
        m_firstWritten = name;
    }
}

void RegistryData::writeString(const QString &path, const QString &name, const QString &text)
{
    Value &value = valueForWriting(path, name);
    value.type = RegistryValueType::String;
    value.text = text;
    value.raw.clear();
    noteWrite(name);
}

void RegistryData::writeInteger(const QString &path, const QString &name, quint32 number)
{
    Value &value = valueForWriting(path, name);
    value.type = RegistryValueType::Integer;
    value.number = number;
    value.raw.clear();
    noteWrite(name);
}

bool RegistryData::deleteValue(const QString &path, const QString &name)
{
    const int index = indexOf(fullPath(path));
    if (index < 0)
        return false;
    QList<Entry> &entries = keys[index].entries;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries[i].value && sameName(entries[i].value->name, name)) {
            entries.removeAt(i);
            noteWrite(name);
            return true;
        }
    }
    return false;
}

bool RegistryData::deleteKey(const QString &path)
{
    const QString folded = fold(fullPath(path));
    const QString prefix = folded + QLatin1Char('\\');
    const qsizetype before = keys.size();
    keys.erase(std::remove_if(keys.begin(), keys.end(),
                   [&](const Key &key) {
                       const QString f = fold(key.path);
                       return f == folded || f.startsWith(prefix);
                   }),
        keys.end());
    if (keys.size() == before)
        return false;
    m_indexValid = false;
    noteWrite(QString());
    return true;
}

void MemoryRegistry::save(const RegistryData &data)
{
    // A saved registry starts clean, as one loaded afresh.
    m_data = parseRegFile(serializeRegFile(data));
    ++m_saves;
}

} // namespace jw

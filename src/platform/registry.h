#pragma once

#include "textfile/errors.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

namespace jw {

// "Invalid data type for '%s'" and "Failed to set data for '%s'".
class RegistryError : public Error
{
public:
    using Error::Error;
    static RegistryError invalidType(const QString &valueName);
    static RegistryError cannotWrite(const QString &valueName);
    // The registry file is not in the export format; it is left alone.
    static RegistryError unreadable(const QString &filePath, bool alreadyReported);
};

enum class RegistryValueType {
    None, // no such value
    String, // REG_SZ
    ExpandString, // REG_EXPAND_SZ, read as a string too
    Integer, // REG_DWORD, a 32-bit number
    Other, // anything else: kept, never interpreted
};

// The current user's registry, held whole in memory: keys with their values,
// plus every line the program does not understand, so that writing it back
// keeps foreign keys, values and types exactly as they were.
//
// Paths are relative to HKEY_CURRENT_USER, written as "\Software\Vendor\Key\"
// (leading and trailing backslashes optional). Key and value names match
// without regard to case and keep the spelling they were created with.
class RegistryData
{
public:
    struct Value
    {
        QString name; // empty for the key's default value
        RegistryValueType type = RegistryValueType::None;
        QString text; // String and ExpandString
        quint32 number = 0; // Integer
        QByteArray raw; // the lines' bytes as read, kept while the value is unchanged
    };
    struct Entry
    {
        std::optional<Value> value;
        QString rawLine; // a line that is not a value (blank, comment, anything else)
        QByteArray rawBytes; // its bytes as read, line end included
    };
    struct Key
    {
        QString path; // full path, hive included, as spelled
        QByteArray rawHeader; // the header line's bytes as read, line end included
        QList<Entry> entries;
    };
    // How the file was written, so that a save writes it the same way.
    struct Format
    {
        enum class Encoding { Utf8, Utf8WithBom, Utf16LeWithBom, Utf16Le, EightBit };
        Encoding encoding = Encoding::Utf8;
        QByteArray lineEnd = "\r\n";
    };

    Format format;
    QList<Entry> preamble; // lines before the first key
    QList<Key> keys;

    // Whether the key exists, explicitly or as the parent of another key.
    bool keyExists(const QString &path) const;
    void createKey(const QString &path);
    // Names of the direct subkeys, sorted without regard to case.
    QStringList subkeyNames(const QString &path) const;

    RegistryValueType valueType(const QString &path, const QString &name) const;
    bool hasValue(const QString &path, const QString &name) const
    {
        return valueType(path, name) != RegistryValueType::None;
    }
    // nullopt when missing; RegistryError when stored with another type.
    std::optional<QString> readString(const QString &path, const QString &name) const;
    std::optional<quint32> readInteger(const QString &path, const QString &name) const;

    // Writing creates the key when it is missing.
    void writeString(const QString &path, const QString &name, const QString &text);
    void writeInteger(const QString &path, const QString &name, quint32 number);
    bool deleteValue(const QString &path, const QString &name);
    // Deletes the key with everything under it.
    bool deleteKey(const QString &path);

    bool isModified() const { return m_modified; }
    // The first value written since loading, for the message of a failed save.
    const QString &firstWrittenValue() const { return m_firstWritten; }

    static QString fullPath(const QString &path);

private:
    int indexOf(const QString &fullPath) const;
    const Value *findValue(const QString &path, const QString &name) const;
    Value &valueForWriting(const QString &path, const QString &name);
    void noteWrite(const QString &name);

    bool m_modified = false;
    QString m_firstWritten;
    mutable QHash<QString, int> m_index;
    mutable bool m_indexValid = false;
    mutable QString m_lastFull; // the last key looked up, and where it was
    mutable int m_lastIndex = -1;
};

// Where the registry is kept.
class Registry
{
public:
    virtual ~Registry() = default;
    // Reads the registry afresh.
    virtual RegistryData load() = 0;
    // Replaces it whole, atomically. Throws RegistryError (cannotWrite).
    virtual void save(const RegistryData &data) = 0;
};

// Loads the registry, runs `change` on it and saves it when something was
// written, also when `change` throws part-way (what was written stays
// written, as with the system registry).
template<typename Change>
auto changeRegistry(Registry &registry, Change &&change)
{
    RegistryData data = registry.load();
    auto run = [&]() -> decltype(auto) {
        try {
            return change(data);
        } catch (...) {
            // Keep what was written before the failure; the first error is
            // the one reported.
            try {
                if (data.isModified())
                    registry.save(data);
            } catch (const RegistryError &) {
            }
            throw;
        }
    };
    if constexpr (std::is_void_v<decltype(change(data))>) {
        run();
        if (data.isModified())
            registry.save(data);
    } else {
        auto result = run();
        if (data.isModified())
            registry.save(data);
        return result;
    }
}

// A registry that lives in memory only.
class MemoryRegistry final : public Registry
{
public:
    RegistryData load() override { return m_data; }
    void save(const RegistryData &data) override;
    int saves() const { return m_saves; }

private:
    RegistryData m_data;
    int m_saves = 0;
};

// The text of a registry file in the ".reg" export format, in UTF-16LE (with
// or without a byte-order mark), UTF-8 or an 8-bit code page, with any line
// ends. Writing keeps the file's encoding and line ends, and writes every
// line the program did not change as its original bytes.
RegistryData parseRegFile(const QByteArray &content);
QByteArray serializeRegFile(const RegistryData &data);
// Whether the content is a registry export at all (empty counts as one):
// anything else is never parsed nor overwritten.
bool isRegFile(const QByteArray &content);

// The registry kept in a ".reg" file at `path`, read afresh for every load
// and saved atomically, readable by the user only.
std::unique_ptr<Registry> createFileRegistry(const QString &path);
// $JUNKWARDEN_REGISTRY, or "junkwarden/registry.reg" in the user's
// configuration folder.
QString defaultRegistryPath();

} // namespace jw

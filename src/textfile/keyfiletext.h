#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

namespace jw {

// A key file of "[group]" headers and "key=value" lines, as GLib writes
// them (Claws Mail's "accountrc", Evolution's account sources), read and
// changed in place: every byte not changed stays, line ends included.
// Values are the raw bytes after "=": the keys changed here need no escapes.
class KeyFileText
{
public:
    explicit KeyFileText(QByteArray bytes = {})
        : m_bytes(std::move(bytes))
    {
    }
    const QByteArray &bytes() const { return m_bytes; }

    // The groups' names, in file order.
    QList<QByteArray> groups() const;
    std::optional<QByteArray> value(const QByteArray &group, const QByteArray &key) const;
    // Replaces the value of a key the group has, or adds the line at the
    // group's end; a missing group changes nothing.
    void set(const QByteArray &group, const QByteArray &key, const QByteArray &value);
    // Removes the key's line with the line break before it (as set() adds it).
    void remove(const QByteArray &group, const QByteArray &key);

private:
    struct Span
    {
        qsizetype start = 0; // of the value
        qsizetype end = 0;
    };
    std::optional<Span> find(const QByteArray &group, const QByteArray &key) const;
    // Where the group's lines end (before the blank lines that close it).
    std::optional<qsizetype> groupEnd(const QByteArray &group) const;

    QByteArray m_bytes;
};

// One value routing changed, with what it held before (absent keys stay
// absent) and what routing wrote.
struct KeyChange
{
    QByteArray group;
    QByteArray key;
    std::optional<QByteArray> before;
    QByteArray after;

    bool operator==(const KeyChange &o) const
    {
        return group == o.group && key == o.key && before == o.before && after == o.after;
    }
};

// Writes each value and returns the changes, to be kept for undoing.
struct KeyValue
{
    QByteArray key;
    QByteArray value;
};
QList<KeyChange> changeValues(KeyFileText &file, const QByteArray &group, const QList<KeyValue> &values);
// Puts back each value that still holds what routing wrote, so a change the
// user made meanwhile stays.
void undoChanges(KeyFileText &file, const QList<KeyChange> &changes);

} // namespace jw

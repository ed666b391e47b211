#pragma once

#include "textfile/codec.h"
#include "textfile/lines.h"

#include <QAbstractListModel>
#include <QCollator>
#include <QHash>
#include <QSet>

#include <vector>

namespace jw {

// The entries of one filter list, kept in alphabetical order without regard
// to case (the user's locale), each with the bytes it was read as: an entry
// the user does not touch is written back exactly as it came.
class FilterListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    // True for entries that are to be drawn marked (blue).
    static constexpr int HighlightRole = Qt::UserRole + 1;

    explicit FilterListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // Replaces every entry by the lines of a file, sorted.
    void setLines(const Lines &lines, TextEncoding encoding);
    // The entries as they stand, for writing.
    Lines lines() const;

    QString text(int row) const { return m_entries[size_t(row)].text; }
    QByteArray raw(int row) const { return m_entries[size_t(row)].raw; }
    int size() const { return int(m_entries.size()); }

    // The first entry equal to `text` ignoring case, or -1.
    int findIgnoringCase(const QString &text) const;
    // The first entry after `after` that contains `needle` (case-sensitive),
    // or -1.
    int findContaining(const QString &needle, int after) const;

    // Inserts at the sorted place; returns the row.
    int insertSorted(const QString &text);
    void removeEntry(int row);
    // Replaces an entry's text where it stands, without sorting again.
    void setText(int row, const QString &text);

    // Entries equal (ignoring case) to one of these are drawn in blue.
    void setHighlighted(const QList<QByteArray> &lines);
    bool isHighlighted(int row) const;

private:
    struct Entry
    {
        QByteArray raw;
        QString text;
        QString folded;
        QCollatorSortKey key;
    };
    void count(const Entry &entry, int delta);
    Entry makeEntry(QByteArray raw, QString text) const;

    QCollator m_collator;
    std::vector<Entry> m_entries;
    TextEncoding m_encoding = TextEncoding::Utf8;
    QSet<QString> m_highlighted; // case-folded
    QHash<QString, int> m_foldedCount; // how many entries have each folded text
};

} // namespace jw

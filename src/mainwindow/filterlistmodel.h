#pragma once

#include "textfile/codec.h"
#include "textfile/collation.h"
#include "textfile/lines.h"

#include <QAbstractListModel>
#include <QSet>

#include <vector>

namespace jw {

// The entries of one filter list, kept in alphabetical order without regard
// to case (the user's locale), each with the bytes it was read as: an entry
// the user does not touch is written back exactly as it came.
//
// Lists of a million entries are kept compactly: the bytes of all entries
// in one buffer (the file as read, then what is added), their sort keys in
// another, and per entry only where both are. Text is decoded when a row is
// shown or searched.
class FilterListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    // True for entries that are to be drawn marked (blue).
    static constexpr int HighlightRole = Qt::UserRole + 1;

    explicit FilterListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // Replaces every entry by the lines of a file's content, sorted.
    void setContent(const QByteArray &content, TextEncoding encoding);
    // The same from lines already split.
    void setLines(const Lines &lines, TextEncoding encoding);
    // The entries as they stand, for writing: each followed by CR LF.
    QByteArray content() const;

    QString text(int row) const { return decodeDisplay(rawView(row)); }
    QByteArray raw(int row) const { return rawView(row).toByteArray(); }
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
        // The key's first 16 bytes, big-endian: most comparisons end here,
        // without reaching into the keys' buffer.
        quint64 keyHead;
        quint64 keyNext;
        qsizetype raw; // in m_raw
        qsizetype key; // in m_keys
        int rawLength;
        int keyLength;
    };
    QByteArrayView rawView(int row) const;
    QByteArrayView keyView(const Entry &entry) const;
    bool less(const Entry &a, const Entry &b) const;
    // Adds the entry's bytes (already in m_raw at `raw`) and its key.
    Entry makeEntry(qsizetype raw, qsizetype rawLength);
    Entry appendEntry(const QByteArray &bytes);
    void reset(TextEncoding encoding, qsizetype expected);
    void sortEntries();

    CaseInsensitiveCollation m_collation;
    QByteArray m_raw;
    QByteArray m_keys;
    std::vector<Entry> m_entries;
    TextEncoding m_encoding = TextEncoding::Utf8;
    QSet<QString> m_highlighted; // case-folded
    QString m_folded; // scratch for making keys
};

} // namespace jw

#include "mainwindow/filterlistmodel.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace jw {

namespace {

// The folded text of an entry's bytes as the display codec decodes them,
// with a shortcut for the common plain ASCII entry.
void foldInto(QByteArrayView bytes, QString &out)
{
    for (const char c : bytes) {
        if (uchar(c) >= 0x80) {
            out = decodeDisplay(bytes).toCaseFolded();
            return;
        }
    }
    out.resize(bytes.size());
    QChar *to = out.data();
    for (const char c : bytes)
        *to++ = QLatin1Char(c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c);
}

// Bytes `from` to `from` + 7 of a key as a number that orders as they do
// (missing bytes count as 0, below every byte a key holds).
quint64 headOf(QByteArrayView key, qsizetype from = 0)
{
    uchar head[8] = {};
    if (key.size() > from)
        std::memcpy(head, key.data() + from, size_t(std::min<qsizetype>(key.size() - from, 8)));
    return qFromBigEndian<quint64>(head);
}

} // namespace

FilterListModel::FilterListModel(QObject *parent)
    : QAbstractListModel(parent)
{
}

int FilterListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : size();
}

QVariant FilterListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return text(index.row());
    case HighlightRole:
        return isHighlighted(index.row());
    default:
        return {};
    }
}

QByteArrayView FilterListModel::rawView(int row) const
{
    const Entry &entry = m_entries[size_t(row)];
    return QByteArrayView(m_raw.constData() + entry.raw, entry.rawLength);
}

QByteArrayView FilterListModel::keyView(const Entry &entry) const
{
    return QByteArrayView(m_keys.constData() + entry.key, entry.keyLength);
}

bool FilterListModel::less(const Entry &a, const Entry &b) const
{
    if (a.keyHead != b.keyHead)
        return a.keyHead < b.keyHead;
    if (a.keyNext != b.keyNext)
        return a.keyNext < b.keyNext;
    return compareKeys(keyView(a), keyView(b)) < 0;
}

FilterListModel::Entry FilterListModel::makeEntry(qsizetype raw, qsizetype rawLength)
{
    // Folded first: in the "C" locale the order is by code point, which
    // would keep letter case apart.
    foldInto(QByteArrayView(m_raw.constData() + raw, rawLength), m_folded);
    const qsizetype key = m_keys.size();
    const qsizetype keyLength = m_collation.appendKey(m_folded, m_keys);
    const QByteArrayView keyBytes(m_keys.constData() + key, keyLength);
    return Entry{headOf(keyBytes), headOf(keyBytes, 8), raw, key, int(rawLength), int(keyLength)};
}

FilterListModel::Entry FilterListModel::appendEntry(const QByteArray &bytes)
{
    const qsizetype raw = m_raw.size();
    m_raw.append(bytes);
    return makeEntry(raw, bytes.size());
}

void FilterListModel::reset(TextEncoding encoding, qsizetype expected)
{
    m_encoding = encoding;
    m_entries = {};
    m_entries.reserve(size_t(expected));
    m_keys = QByteArray();
    // About as many key bytes as entry bytes, for addresses.
    m_keys.reserve(m_raw.size() + 16 * expected);
}

void FilterListModel::sortEntries()
{
    std::stable_sort(m_entries.begin(), m_entries.end(), [this](const Entry &a, const Entry &b) { return less(a, b); });
    m_keys.squeeze();
}

void FilterListModel::setContent(const QByteArray &content, TextEncoding encoding)
{
    beginResetModel();
    m_raw = content;
    reset(encoding, content.count('\n') + 1);
    forEachLine(m_raw, LineRule::AnyBreak, [this](qsizetype start, qsizetype length) {
        m_entries.push_back(makeEntry(start, length));
        return true;
    });
    sortEntries();
    endResetModel();
}

void FilterListModel::setLines(const Lines &lines, TextEncoding encoding)
{
    beginResetModel();
    m_raw = QByteArray();
    reset(encoding, lines.size());
    for (const QByteArray &line : lines)
        m_entries.push_back(appendEntry(line));
    sortEntries();
    endResetModel();
}

QByteArray FilterListModel::content() const
{
    qsizetype total = 0;
    for (const Entry &entry : m_entries)
        total += entry.rawLength + 2;
    QByteArray out;
    out.reserve(total);
    for (int row = 0; row < size(); ++row) {
        out.append(rawView(row));
        out.append("\r\n", 2);
    }
    return out;
}

int FilterListModel::findIgnoringCase(const QString &text) const
{
    // Texts equal without regard to case have equal keys: only those are
    // compared as text.
    const QByteArray key = m_collation.key(text.toCaseFolded());
    const quint64 head = headOf(key);
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const Entry &entry = m_entries[i];
        if (entry.keyHead == head && entry.keyLength == key.size() && compareKeys(keyView(entry), key) == 0
            && this->text(int(i)).compare(text, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

int FilterListModel::findContaining(const QString &needle, int after) const
{
    for (int row = std::max(after + 1, 0); row < size(); ++row) {
        if (text(row).contains(needle, Qt::CaseSensitive))
            return row;
    }
    return -1;
}

int FilterListModel::insertSorted(const QString &text)
{
    const Entry entry = appendEntry(encodeFor(text, m_encoding));
    const auto at = std::upper_bound(
        m_entries.begin(), m_entries.end(), entry, [this](const Entry &a, const Entry &b) { return less(a, b); });
    const int row = int(at - m_entries.begin());
    beginInsertRows(QModelIndex(), row, row);
    m_entries.insert(at, entry);
    endInsertRows();
    return row;
}

void FilterListModel::removeEntry(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    m_entries.erase(m_entries.begin() + row);
    endRemoveRows();
}

void FilterListModel::setText(int row, const QString &text)
{
    if (this->text(row) == text)
        return; // untouched: keep its bytes
    // The entry keeps its place until the list is loaded again.
    m_entries[size_t(row)] = appendEntry(encodeFor(text, m_encoding));
    const QModelIndex changed = index(row);
    Q_EMIT dataChanged(changed, changed);
}

void FilterListModel::setHighlighted(const QList<QByteArray> &lines)
{
    m_highlighted.clear();
    for (const QByteArray &line : lines)
        m_highlighted.insert(decodeDisplay(line).toCaseFolded());
    if (!m_entries.empty())
        Q_EMIT dataChanged(index(0), index(size() - 1), {HighlightRole});
}

bool FilterListModel::isHighlighted(int row) const
{
    return !m_highlighted.isEmpty() && m_highlighted.contains(text(row).toCaseFolded());
}

} // namespace jw

#include "mainwindow/filterlistmodel.h"

#include <algorithm>

namespace jw {

FilterListModel::FilterListModel(QObject *parent)
    : QAbstractListModel(parent)
{
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
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
        return m_entries[size_t(index.row())].text;
    case HighlightRole:
        return isHighlighted(index.row());
    default:
        return {};
    }
}

FilterListModel::Entry FilterListModel::makeEntry(QByteArray raw, QString text) const
{
    QString folded = text.toCaseFolded();
    // Folded first: in the "C" locale the collator compares code points and
    // its keys would keep letter case apart.
    QCollatorSortKey key = m_collator.sortKey(folded);
    return Entry{std::move(raw), std::move(text), std::move(folded), std::move(key)};
}

void FilterListModel::count(const Entry &entry, int delta)
{
    int &n = m_foldedCount[entry.folded];
    n += delta;
    if (n <= 0)
        m_foldedCount.remove(entry.folded);
}

void FilterListModel::setLines(const Lines &lines, TextEncoding encoding)
{
    beginResetModel();
    m_encoding = encoding;
    m_entries.clear();
    m_foldedCount.clear();
    m_foldedCount.reserve(lines.size());
    m_entries.reserve(size_t(lines.size()));
    for (const QByteArray &line : lines) {
        m_entries.push_back(makeEntry(line, decodeDisplay(line)));
        count(m_entries.back(), 1);
    }
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const Entry &a, const Entry &b) { return a.key.compare(b.key) < 0; });
    endResetModel();
}

Lines FilterListModel::lines() const
{
    Lines out;
    out.reserve(qsizetype(m_entries.size()));
    for (const Entry &entry : m_entries)
        out.append(entry.raw);
    return out;
}

int FilterListModel::findIgnoringCase(const QString &text) const
{
    if (!m_foldedCount.contains(text.toCaseFolded()))
        return -1;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].text.compare(text, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

int FilterListModel::findContaining(const QString &needle, int after) const
{
    for (size_t i = size_t(std::max(after + 1, 0)); i < m_entries.size(); ++i) {
        if (m_entries[i].text.contains(needle, Qt::CaseSensitive))
            return int(i);
    }
    return -1;
}

int FilterListModel::insertSorted(const QString &text)
{
    Entry entry = makeEntry(encodeFor(text, m_encoding), text);
    const auto at = std::upper_bound(m_entries.begin(), m_entries.end(), entry,
                                     [](const Entry &a, const Entry &b) { return a.key.compare(b.key) < 0; });
    const int row = int(at - m_entries.begin());
    beginInsertRows(QModelIndex(), row, row);
    count(entry, 1);
    m_entries.insert(at, std::move(entry));
    endInsertRows();
    return row;
}

void FilterListModel::removeEntry(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    count(m_entries[size_t(row)], -1);
    m_entries.erase(m_entries.begin() + row);
    endRemoveRows();
}

void FilterListModel::setText(int row, const QString &text)
{
    Entry &entry = m_entries[size_t(row)];
    if (entry.text == text)
        return; // untouched: keep its bytes
    // The entry keeps its place until the list is loaded again.
    count(entry, -1);
    entry = makeEntry(encodeFor(text, m_encoding), text);
    count(entry, 1);
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
    return !m_highlighted.isEmpty() && m_highlighted.contains(m_entries[size_t(row)].folded);
}

} // namespace jw

#include "mainwindow/quarantinemodel.h"

#include <QColor>
#include <QFont>

#include <algorithm>
#include <numeric>
#include <vector>

namespace jw {

namespace {

// The texts of one column as sort keys: letter case is ignored for a to z
// only, everything else compares by code. The lowered texts lie one after
// another, and each key starts with its first four code units packed in a
// number, so that most comparisons touch neither text nor memory far away.
class ColumnKeys
{
public:
    explicit ColumnKeys(qsizetype rows) { m_keys.reserve(size_t(rows)); }

    void add(QStringView text)
    {
        Key key{0, m_text.size(), text.size()};
        for (qsizetype i = 0; i < text.size(); ++i) {
            char16_t c = text[i].unicode();
            if (c >= u'A' && c <= u'Z')
                c += u'a' - u'A';
            m_text.push_back(c);
            if (i < 4)
                key.head |= quint64(c) << (48 - 16 * i);
        }
        m_keys.push_back(key);
    }

    int compare(int a, int b) const
    {
        const Key &x = m_keys[size_t(a)];
        const Key &y = m_keys[size_t(b)];
        if (x.head != y.head)
            return x.head < y.head ? -1 : 1;
        const qsizetype common = std::min(x.length, y.length);
        for (qsizetype i = 0; i < common; ++i) {
            const char16_t p = m_text[size_t(x.start + i)];
            const char16_t q = m_text[size_t(y.start + i)];
            if (p != q)
                return p < q ? -1 : 1;
        }
        return x.length < y.length ? -1 : x.length > y.length ? 1 : 0;
    }

private:
    struct Key
    {
        quint64 head;
        size_t start;
        qsizetype length;
    };
    std::vector<char16_t> m_text;
    std::vector<Key> m_keys;
};

} // namespace

int QuarantineModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : size();
}

int QuarantineModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

const QString &QuarantineModel::cell(const QuarantineRow &row, int column)
{
    switch (column) {
    case 0:
        return row.sender;
    case 1:
        return row.subject;
    case 2:
        return row.received;
    default:
        return row.account;
    }
}

QVariant QuarantineModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= size())
        return {};
    const QuarantineRow &r = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return cell(r, index.column());
    case Qt::FontRole:
        if (r.status == "New") {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::ForegroundRole:
        if (r.status == "Resend")
            return QColor(0, 0, 255);
        if (r.status == "Delivered")
            return QColor(0, 128, 0);
        return {};
    case Qt::ToolTipRole:
        return r.status == "Resend" ? m_waitingTip : r.status == "Delivered" ? m_deliveredTip : QString();
    default:
        return {};
    }
}

QVariant QuarantineModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_headers.value(section);
    return {};
}

void QuarantineModel::setReleaseTips(const QString &waiting, const QString &delivered)
{
    m_waitingTip = waiting;
    m_deliveredTip = delivered;
}

void QuarantineModel::setHeaders(const QStringList &headers)
{
    m_headers = headers;
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
}

void QuarantineModel::setRows(QList<QuarantineRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void QuarantineModel::sortBy(int state)
{
    const int column = state % 10;
    const bool ascending = state >= 10;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    ColumnKeys keys(m_rows.size());
    for (const QuarantineRow &r : std::as_const(m_rows))
        keys.add(cell(r, column));
    std::vector<int> order(size_t(m_rows.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&keys, ascending](int a, int b) {
        const int c = keys.compare(a, b);
        return ascending ? c < 0 : c > 0;
    });
    QList<QuarantineRow> sorted;
    sorted.reserve(m_rows.size());
    std::vector<int> newPlace(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sorted.append(std::move(m_rows[order[i]]));
        newPlace[size_t(order[i])] = int(i);
    }
    m_rows = std::move(sorted);
    // Keep selections and the current row on the same messages.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after.append(this->index(newPlace[size_t(index.row())], index.column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void QuarantineModel::removeRowAt(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.removeAt(row);
    endRemoveRows();
}

void QuarantineModel::rowChanged(int index)
{
    Q_EMIT dataChanged(this->index(index, 0), this->index(index, kColumns - 1));
}

} // namespace jw

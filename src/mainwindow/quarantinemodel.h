#pragma once

#include "formats/quarantinestore.h"

#include <QAbstractTableModel>
#include <QStringList>

namespace jw {

// The quarantine table's rows, sortable by any column.
class QuarantineModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void setRows(QList<QuarantineRow> rows);
    // Sort state: below 10 the column sorted descending, from 10 on the
    // column (state - 10) sorted ascending.
    void sortBy(int state);
    void removeRowAt(int row);
    QuarantineRow &row(int index) { return m_rows[index]; }
    const QuarantineRow &row(int index) const { return m_rows[index]; }
    int size() const { return int(m_rows.size()); }
    void rowChanged(int index);
    void setHeaders(const QStringList &headers);
    // What the tip of a released row says: waiting for the mail program
    // ("Resend", blue) or in it ("Delivered", green).
    void setReleaseTips(const QString &waiting, const QString &delivered);

    static const QString &cell(const QuarantineRow &row, int column);
    static constexpr int kColumns = 4;

private:
    QString m_waitingTip;
    QString m_deliveredTip;
    QList<QuarantineRow> m_rows;
    QStringList m_headers;
};

} // namespace jw

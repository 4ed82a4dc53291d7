// A Qt item model over a table view, for the grids: one model row per view
// row (read as the grid asks for it), the chosen columns with their titles.
// An edit made in the grid moves the view to that row, edits, sets the
// value and posts; a failure cancels the edit and is kept in LastError().
#pragma once

#include <vector>

#include <QAbstractTableModel>
#include <QString>

#include "database/TableView.h"

namespace tovanel {

class TableViewModel : public QAbstractTableModel {
public:
    struct Column {
        QString column;  // a column of the view (calculated ones included)
        QString title;
        bool editable = false;
        Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    };

    TableViewModel(TableView& view, std::vector<Column> columns, QObject* parent = nullptr);
    ~TableViewModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    TableView& View() const { return view_; }
    const QString& LastError() const { return lastError_; }

private:
    TableView& view_;
    std::vector<Column> columns_;
    std::vector<int> indexes_;  // view column of each model column
    int listener_ = 0;
    QString lastError_;
};

}  // namespace tovanel

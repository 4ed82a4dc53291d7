#include "database/TableViewModel.h"

namespace tovanel {

TableViewModel::TableViewModel(TableView& view, std::vector<Column> columns, QObject* parent)
    : QAbstractTableModel(parent), view_(view), columns_(std::move(columns)) {
    for (const Column& c : columns_) {
        const int i = view_.ColumnIndex(c.column.toStdString());
        if (i < 0) throw DbError(QStringLiteral("%1 has no column %2").arg(view_.Name(), c.column));
        indexes_.push_back(i);
    }
    listener_ = view_.AddListener([this](TableView::Change change, int row) {
        switch (change) {
            case TableView::Change::AboutToReset: beginResetModel(); break;
            case TableView::Change::Reset: endResetModel(); break;
            case TableView::Change::RowChanged:
                if (row >= 0 && row < rowCount())
                    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
                break;
            case TableView::Change::CurrentChanged: break;
        }
    });
}

TableViewModel::~TableViewModel() { view_.RemoveListener(listener_); }

int TableViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : view_.RecordCount();
}

int TableViewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant TableViewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const Column& c = columns_[static_cast<size_t>(index.column())];
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(c.alignment);
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    try {
        const QVariant& v = view_.RowAt(index.row()).ValueAt(indexes_[static_cast<size_t>(index.column())]);
        if (v.isNull()) return role == Qt::EditRole ? QVariant() : QVariant(QString());
        return v;
    } catch (const DbError&) {
        return {};
    }
}

QVariant TableViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    const Column& c = columns_[static_cast<size_t>(section)];
    if (role == Qt::DisplayRole) return c.title;
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(c.alignment);
    return {};
}

Qt::ItemFlags TableViewModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (columns_[static_cast<size_t>(index.column())].editable) f |= Qt::ItemIsEditable;
    return f;
}

bool TableViewModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable)) return false;
    lastError_.clear();
    try {
        if (view_.RecNo() != index.row() + 1) view_.SetRecNo(index.row() + 1);
        view_.Edit();
        view_.SetValue(columns_[static_cast<size_t>(index.column())].column.toStdString(), value);
        view_.Post();
        return true;
    } catch (const DbError& e) {
        lastError_ = e.Text();
        try {
            view_.Cancel();
        } catch (const DbError&) {
        }
        return false;
    }
}

}  // namespace tovanel

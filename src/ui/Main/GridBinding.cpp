#include "ui/Main/GridBinding.h"

#include <QAbstractItemDelegate>
#include <QItemSelectionModel>
#include <QTableView>

namespace tovanel {

GridBinding::GridBinding(QTableView* grid, TableView& view, std::vector<TableViewModel::Column> columns,
                         Guard guard, Report report)
    : QObject(nullptr),
      grid_(grid),
      view_(view),
      model_(std::make_unique<TableViewModel>(view, std::move(columns))),
      guard_(std::move(guard)),
      report_(std::move(report)) {
    grid_->setModel(model_.get());
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    // After the model's own listener: the rows are in place when the grid
    // follows the view's current row.
    listener_ = view_.AddListener([this](TableView::Change change, int) {
        if (change == TableView::Change::Reset || change == TableView::Change::CurrentChanged) ShowCurrent();
    });
    // The view moves after the grid's own signal has returned: its scroll
    // steps may reset this very grid's rows.
    connect(
        grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this](const QModelIndex& current, const QModelIndex&) {
            if (!syncing_ && current.isValid()) UserMoved(current.row());
        },
        Qt::QueuedConnection);
    // An edit the view refused: the grid's editor closes, the message shows.
    connect(grid_->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] {
        if (!model_->LastError().isEmpty() && report_) report_(model_->LastError());
    });
}

GridBinding::~GridBinding() {
    view_.RemoveListener(listener_);
    grid_->setModel(nullptr);
}

void GridBinding::ShowCurrent() {
    syncing_ = true;
    const int row = view_.RecNo() - 1;
    QItemSelectionModel* selection = grid_->selectionModel();
    if (row >= 0 && row < model_->rowCount()) {
        const QModelIndex index = model_->index(row, 0);
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        grid_->scrollTo(index);
    } else {
        selection->clear();
    }
    syncing_ = false;
}

void GridBinding::UserMoved(int row) {
    // Only the row the grid still shows as current counts.
    const QModelIndex current = grid_->selectionModel()->currentIndex();
    if (!current.isValid() || current.row() != row) return;
    if (row == view_.RecNo() - 1 || !view_.IsOpen()) return;
    guard_([&] { view_.SetRecNo(row + 1); });
    // The view may have refused the move (an edit that could not be saved).
    if (view_.RecNo() - 1 != row) ShowCurrent();
}

}  // namespace tovanel

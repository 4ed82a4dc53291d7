// A grid over a table view: the item model with the chosen columns, the
// grid's current row kept on the view's current row, and the user's move
// to another row handed to the view (which runs its scroll steps). Errors
// of the view (a move that has to save an edit, an edit in the grid) go to
// the error report.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QObject>

#include "database/TableViewModel.h"

class QTableView;

namespace tovanel {

class GridBinding : public QObject {
public:
    using Guard = std::function<void(const std::function<void()>&)>;
    using Report = std::function<void(const QString&)>;

    GridBinding(QTableView* grid, TableView& view, std::vector<TableViewModel::Column> columns, Guard guard,
                Report report);
    ~GridBinding() override;

    TableViewModel& Model() { return *model_; }

private:
    void ShowCurrent();
    void UserMoved(int row);

    QTableView* grid_;
    TableView& view_;
    std::unique_ptr<TableViewModel> model_;
    Guard guard_;
    Report report_;
    int listener_ = 0;
    bool syncing_ = false;
};

}  // namespace tovanel

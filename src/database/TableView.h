// A table view: one table of the code database seen through an ordering and
// optionally a master view, with a current row, the moves, editing and hooks
// that the units, keys and transmit list rely on.
//
// What a view holds: the IDs of its rows in order, read when it is opened,
// re-queried, refreshed or re-filtered by its master (one query of IDs);
// each row's values are read when first needed after that, in batches of 64
// rows, and kept while they are among the 512 rows used last (the current
// row always is), so that a view of any size holds little more than its IDs.
// So a view does not show rows appended or deleted through other views, nor
// what another view wrote to a row it holds, until it is re-queried or
// refreshed; a row it had to let go is read again as the database then has
// it. Moving, counting and re-filtering never re-read the whole table.
//
// Hooks (scroll hooks fire only when the current row changes: another row,
// a new appended row, or none):
// - Open and Requery make the first row current and run AfterScroll when the
//   view is not empty (no BeforeScroll).
// - First, Last, Next, Prior, SetRecNo, Locate, Append, Delete, Cancel of an
//   append, Refresh (when the current row is gone) and a master's move run
//   BeforeScroll before and AfterScroll after the change. A move onto the
//   current row, Next at the last row (which sets Eof) and Prior at the first
//   (which sets Bof) run none.
// - A master view re-filters its details after its own row changed and
//   before its own AfterScroll runs.
// - CalcFields fills the calculated columns of every row as it is read and
//   after it is posted.
// A hook must not move the view it belongs to.
//
// Moving, re-querying or refreshing a view that is editing posts the edit
// first. Failures throw DbError with the database's message; a failed post
// leaves the row in editing.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QVariant>

#include "database/DbError.h"
#include "database/Schema.h"

class QSqlQuery;

namespace tovanel {

class Connection;
class TableView;

// A row's ID. IDs are 64-bit: SQLite's are, and a database that another
// program wrote may hold IDs above 2^31.
using RowId = int64_t;

// Runs a prepared, bound UPDATE of row `id` of `table`. Throws DbError with
// the database's message, or saying the row no longer exists when the
// statement changed none.
void ExecRowUpdate(QSqlQuery& update, RowId id, const char* table);

// The values of one row: the table's columns in schema order, then the
// view's calculated columns. A null value reads as 0, false, empty text or
// no bytes.
class TableRow {
public:
    RowId Id() const;
    bool IsNull(std::string_view column) const;
    int32_t Int(std::string_view column) const;
    bool Bool(std::string_view column) const;
    QString Text(std::string_view column) const;
    QByteArray Bytes(std::string_view column) const;
    QVariant Value(std::string_view column) const;
    const QVariant& ValueAt(int index) const { return values_[static_cast<size_t>(index)]; }

    // For the CalcFields hook: sets a calculated column.
    void SetCalc(std::string_view column, const QVariant& value);

private:
    friend class TableView;
    const TableView* view_ = nullptr;
    std::vector<QVariant> values_;
};

class TableView {
public:
    enum class State { Inactive, Browse, Edit, Insert };
    // What listeners (item models) hear: the rows are about to change and
    // have changed as a whole, one row's values changed, the current row
    // changed.
    enum class Change { AboutToReset, Reset, RowChanged, CurrentChanged };
    using Hook = std::function<void(TableView&)>;
    using CalcHook = std::function<void(TableRow&)>;
    using Listener = std::function<void(Change, int row)>;

    TableView(QString name, Connection& connection, const TableDef& table);
    ~TableView();
    TableView(const TableView&) = delete;
    TableView& operator=(const TableView&) = delete;

    const QString& Name() const { return name_; }
    const TableDef& Table() const { return table_; }

    // Set-up, while closed. The master's current ID restricts this view to
    // rows whose UnitID equals it.
    void SetMaster(TableView* master);
    TableView* Master() const { return master_; }
    void AddCalcColumn(const char* name);

    Hook BeforeScroll;
    Hook AfterScroll;
    CalcHook CalcFields;

    // Column names separated by commas, each optionally followed by ASC or
    // DESC; empty: the table's natural order. Text sorts without regard to
    // the case of ASCII letters, then exactly. Replaceable while open: the
    // rows are re-read in the new order and the current row stays current.
    void SetOrder(const QString& order);
    const QString& Order() const { return orderText_; }

    void Open();
    void Close();  // discards an unposted edit
    bool IsOpen() const { return state_ != State::Inactive; }
    State state() const { return state_; }

    void First();
    void Last();
    void Next();
    void Prior();
    bool Eof() const { return eof_; }
    bool Bof() const { return bof_; }
    int RecordCount() const;
    int RecNo() const { return cur_ + 1; }  // 1-based; 0 when empty
    void SetRecNo(int recNo);               // clamped to 1..RecordCount
    bool Locate(RowId id);                  // false (and no move) when absent
    int IndexOf(RowId id) const;            // 0-based row of an ID in the view; -1 when absent
    RowId IdAt(int index) const;            // the ID of row `index` (0-based), its values unread

    void Append();  // a new row, current and in editing; UnitID from the master
    void Edit();
    void Post();
    void Cancel();
    void Delete();  // the following row (or the new last one) becomes current
    void Requery();
    void Refresh();
    // Lets go of every row's values, to be read again when next needed (the
    // current row's at once): for a caller that wrote the table's rows
    // itself. The rows, their order and the current row stay; listeners
    // hear a reset; no hook runs.
    void ForgetValues();
    // Whether anything watches the view move or read rows: a scroll hook,
    // a listener, a detail view or calculated columns. A walk over a view
    // nobody watches may be done by queries instead.
    bool Observed() const;

    bool HasCurrent() const { return cur_ >= 0; }
    // The current row (the edit buffer while editing); all null when the
    // view has no current row.
    const TableRow& Current() const;
    bool IsNull(std::string_view column) const { return Current().IsNull(column); }
    int32_t Int(std::string_view column) const { return Current().Int(column); }
    bool Bool(std::string_view column) const { return Current().Bool(column); }
    QString Text(std::string_view column) const { return Current().Text(column); }
    QByteArray Bytes(std::string_view column) const { return Current().Bytes(column); }
    QVariant Value(std::string_view column) const { return Current().Value(column); }

    // Only while editing or appending.
    void SetInt(std::string_view column, int64_t value);
    void SetBool(std::string_view column, bool value);
    void SetText(std::string_view column, const QString& value);
    void SetBytes(std::string_view column, const QByteArray& value);
    void SetNull(std::string_view column);
    // Converted to the column's type; a text that is no number for a number
    // column throws.
    void SetValue(std::string_view column, const QVariant& value);
    void LoadBytesFromFile(std::string_view column, const QString& path);

    // Columns of the view: the table's, then the calculated ones.
    int ColumnCount() const;
    int ColumnIndex(std::string_view column) const;  // -1 when absent
    QString ColumnName(int index) const;
    bool IsCalcColumn(int index) const;
    // Row `index` (0-based) of the view, read when needed. The reference
    // stays valid until the view has read five more batches of rows from
    // the database, or its rows change (a re-query, refresh, re-filter,
    // post or delete): read what is needed of it before moving on.
    const TableRow& RowAt(int index);

    int AddListener(Listener listener);
    void RemoveListener(int token);

private:
    friend class TableRow;
    // The rows' values as read, by place: at most Capacity of them, those
    // used least lately let go first, never the one the caller pins.
    class RowCache {
    public:
        static constexpr size_t Capacity = 512;
        void Reset(size_t places);  // that many places, none held
        const TableRow* Peek(int index) const;
        TableRow* Use(int index);  // null when not held; else marks it used
        void Put(int index, std::unique_ptr<TableRow> row);
        void Append(std::unique_ptr<TableRow> row);  // a new last place
        void Erase(int index);                       // the places after it move up one
        void Trim(int pinned);

    private:
        struct Place {
            std::unique_ptr<TableRow> row;
            uint64_t used = 0;
        };
        std::vector<Place> places_;
        std::vector<int> held_;  // places that hold a row
        uint64_t clock_ = 0;
    };

    // Identity of the current row: none, the appended row not yet posted,
    // or a row by its ID.
    struct Key {
        enum Kind { None, Pending, Row } kind = None;
        RowId id = 0;
        bool operator==(const Key&) const = default;
    };

    int RequireColumn(std::string_view column) const;
    void RequireOpen() const;
    void CheckBrowse();
    Key KeyAt(int index) const;
    std::vector<RowId> QueryIds();
    void EnsureLoaded(int index);
    void SettleOnCurrent();
    void PostDetailEdits();
    TableRow NullRow() const;
    void Calc(TableRow& row);
    void MoveTo(int index);
    void ReplaceRows(std::vector<RowId> ids, int newIndex, bool fireBefore, bool fireAfter);
    void MasterChanged();
    void Notify(Change change, int row = -1);
    void SetColumn(int index, const QVariant& value);
    RowId MasterId(bool& has) const;
    QSqlQuery& Prepared(const std::string& key, const std::function<QString()>& sql);

    QString name_;
    Connection& conn_;
    const TableDef& table_;
    TableView* master_ = nullptr;
    std::vector<TableView*> details_;
    std::vector<std::string> calcNames_;
    QString orderText_;
    std::vector<std::pair<int, bool>> orderTerms_;  // column, descending

    State state_ = State::Inactive;
    std::vector<RowId> ids_;
    RowCache rows_;  // the values of rows of ids_, by place
    int cur_ = -1;
    bool eof_ = true;
    bool bof_ = true;
    TableRow edit_;
    std::vector<bool> modified_;
    int insertReturn_ = -1;  // the row current before Append
    TableRow nullRow_;
    std::unique_ptr<QSqlQuery> idsQuery_;
    std::unique_ptr<QSqlQuery> rowsQuery_;
    std::map<std::string, std::unique_ptr<QSqlQuery>> writeQueries_;

    struct ListenerEntry {
        int token;
        Listener fn;
    };
    std::vector<ListenerEntry> listeners_;
    int nextToken_ = 1;
};

}  // namespace tovanel

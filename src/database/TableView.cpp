#include "database/TableView.h"

#include <algorithm>
#include <limits>
#include <climits>

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

#include "capture/Setup/Quoting.h"
#include "database/Connection.h"

namespace tovanel {

namespace {

constexpr int BatchRows = 64;

QString Latin1(const char* s) { return QString::fromLatin1(s); }

bool IsNumber(ColumnType t) {
    return t == ColumnType::Id || t == ColumnType::Int16 || t == ColumnType::UInt16 ||
           t == ColumnType::Int32;
}

QMetaType MetaTypeOf(ColumnType t) {
    switch (t) {
        case ColumnType::Bool: return QMetaType::fromType<bool>();
        case ColumnType::Text:
        case ColumnType::LongText: return QMetaType::fromType<QString>();
        case ColumnType::Blob: return QMetaType::fromType<QByteArray>();
        default: return QMetaType::fromType<int>();
    }
}

// One ordering term in SQL. Text sorts case-blind over ASCII letters, then
// exactly, the same way on both engines; nulls come first ascending.
QString OrderTerm(const ColumnDef& c, bool desc, Engine engine) {
    const QString col = QuoteIdentifier(c.name);
    const QString dir = desc ? QStringLiteral(" DESC NULLS LAST") : QStringLiteral(" ASC NULLS FIRST");
    if (c.type != ColumnType::Text && c.type != ColumnType::LongText) return col + dir;
    if (engine == Engine::Sqlite) return col + QStringLiteral(" COLLATE NOCASE") + dir + QStringLiteral(", ") + col + dir;
    return QStringLiteral("translate(%1, 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz') COLLATE \"C\"")
               .arg(col) +
           dir + QStringLiteral(", ") + col + QStringLiteral(" COLLATE \"C\"") + dir;
}

// Whether the schema makes ID a key: unique, never null and (on SQLite,
// which stores what it is given) a whole number.
bool IdIsKey(QSqlDatabase& db, Engine engine, const TableDef& table) {
    QSqlQuery q(db);
    if (engine == Engine::Sqlite) {
        // An INTEGER PRIMARY KEY of one column is the row's own number.
        q.prepare(QStringLiteral("SELECT COUNT(*) FROM pragma_table_info(?) WHERE pk > 0 "
                                 "HAVING SUM(name = 'ID' AND upper(type) = 'INTEGER') = 1 AND COUNT(*) = 1"));
        q.addBindValue(Latin1(table.name));
    } else {
        // A primary key or a unique, not-null index on ID alone.
        q.prepare(QStringLiteral("SELECT COUNT(*) FROM pg_index i JOIN pg_attribute a "
                                 "ON a.attrelid = i.indrelid AND a.attnum = i.indkey[0] "
                                 "WHERE i.indrelid = to_regclass(?) AND i.indisunique AND i.indnkeyatts = 1 "
                                 "AND i.indpred IS NULL AND a.attname = 'ID' AND a.attnotnull"));
        q.addBindValue(QuoteIdentifier(table.name));
    }
    return q.exec() && q.next() && q.value(0).toInt() > 0;
}

// Rows are told apart by their IDs alone: a table whose IDs are missing or
// repeated (one without its primary key) would have the wrong rows
// rewritten, so it is refused. Where the schema already says that ID is a
// key, the rows need not be looked at.
void CheckRowIds(QSqlDatabase& db, Engine engine, const TableDef& table) {
    if (IdIsKey(db, engine, table)) return;
    const QString name = QuoteIdentifier(table.name);
    QString sql = QStringLiteral("SELECT COUNT(*) - COUNT(DISTINCT \"ID\")");
    if (engine == Engine::Sqlite) sql += QStringLiteral(" + COALESCE(SUM(typeof(\"ID\") <> 'integer'), 0)");
    QSqlQuery q(db);
    if (!q.exec(sql + QStringLiteral(" FROM ") + name) || !q.next()) throw DbError(ErrorText(q.lastError()));
    if (q.value(0).toLongLong() != 0)
        throw DbError(QStringLiteral("Table %1 has rows without an ID or with the ID of another row: "
                                     "its column ID must be its primary key")
                          .arg(Latin1(table.name)));
}

}  // namespace

// ---------------------------------------------------------------- TableRow

RowId TableRow::Id() const { return values_.empty() ? 0 : values_[0].toLongLong(); }

bool TableRow::IsNull(std::string_view column) const {
    return values_[static_cast<size_t>(view_->RequireColumn(column))].isNull();
}

int32_t TableRow::Int(std::string_view column) const {
    const QVariant& v = values_[static_cast<size_t>(view_->RequireColumn(column))];
    if (v.isNull()) return 0;
    if (v.typeId() == QMetaType::Bool) return v.toBool() ? 1 : 0;
    return static_cast<int32_t>(v.toLongLong());
}

bool TableRow::Bool(std::string_view column) const {
    const QVariant& v = values_[static_cast<size_t>(view_->RequireColumn(column))];
    if (v.isNull()) return false;
    if (v.typeId() == QMetaType::QString) return v.toString() == u"1" || v.toString().toLower() == u"true";
    return v.toLongLong() != 0;
}

QString TableRow::Text(std::string_view column) const {
    const QVariant& v = values_[static_cast<size_t>(view_->RequireColumn(column))];
    return v.isNull() ? QString() : v.toString();
}

QByteArray TableRow::Bytes(std::string_view column) const {
    const QVariant& v = values_[static_cast<size_t>(view_->RequireColumn(column))];
    return v.isNull() ? QByteArray() : v.toByteArray();
}

QVariant TableRow::Value(std::string_view column) const {
    return values_[static_cast<size_t>(view_->RequireColumn(column))];
}

void TableRow::SetCalc(std::string_view column, const QVariant& value) {
    const int i = view_->RequireColumn(column);
    if (!view_->IsCalcColumn(i))
        throw DbError(QStringLiteral("%1 is not a calculated column of %2")
                          .arg(QString::fromUtf8(column.data(), qsizetype(column.size())), view_->Name()));
    values_[static_cast<size_t>(i)] = value;
}

// ------------------------------------------------------------ RowCache

void TableView::RowCache::Reset(size_t places) {
    places_.clear();
    places_.resize(places);
    held_.clear();
}

const TableRow* TableView::RowCache::Peek(int index) const {
    return index >= 0 && index < static_cast<int>(places_.size()) ? places_[static_cast<size_t>(index)].row.get()
                                                                  : nullptr;
}

TableRow* TableView::RowCache::Use(int index) {
    if (index < 0 || index >= static_cast<int>(places_.size())) return nullptr;
    Place& p = places_[static_cast<size_t>(index)];
    if (p.row) p.used = ++clock_;
    return p.row.get();
}

void TableView::RowCache::Put(int index, std::unique_ptr<TableRow> row) {
    Place& p = places_[static_cast<size_t>(index)];
    if (!p.row) held_.push_back(index);
    p.row = std::move(row);
    p.used = ++clock_;
}

void TableView::RowCache::Append(std::unique_ptr<TableRow> row) {
    places_.emplace_back();
    Put(static_cast<int>(places_.size()) - 1, std::move(row));
}

void TableView::RowCache::Erase(int index) {
    held_.erase(std::remove(held_.begin(), held_.end(), index), held_.end());
    for (int& h : held_)
        if (h > index) --h;
    places_.erase(places_.begin() + index);
}

void TableView::RowCache::Trim(int pinned) {
    if (held_.size() <= Capacity) return;
    // Down to three quarters, so that trimming is rare: the rows used least
    // lately go.
    const auto keep = static_cast<std::ptrdiff_t>(Capacity * 3 / 4);
    std::nth_element(held_.begin(), held_.begin() + keep, held_.end(), [this](int a, int b) {
        return places_[static_cast<size_t>(a)].used > places_[static_cast<size_t>(b)].used;
    });
    std::vector<int> kept(held_.begin(), held_.begin() + keep);
    for (auto it = held_.begin() + keep; it != held_.end(); ++it) {
        if (*it == pinned)
            kept.push_back(pinned);
        else
            places_[static_cast<size_t>(*it)].row.reset();
    }
    held_ = std::move(kept);
}

// --------------------------------------------------------------- TableView

TableView::TableView(QString name, Connection& connection, const TableDef& table)
    : name_(std::move(name)), conn_(connection), table_(table) {
    nullRow_ = NullRow();
}

TableView::~TableView() {
    if (master_ != nullptr) {
        auto& d = master_->details_;
        d.erase(std::remove(d.begin(), d.end(), this), d.end());
    }
    for (TableView* d : details_) d->master_ = nullptr;
}

void TableView::SetMaster(TableView* master) {
    if (IsOpen()) throw DbError(QStringLiteral("%1: the master is set while the view is closed").arg(name_));
    if (master != nullptr && table_.IndexOf("UnitID") < 0)
        throw DbError(QStringLiteral("%1: a view with a master needs a UnitID column").arg(name_));
    if (master_ != nullptr) {
        auto& d = master_->details_;
        d.erase(std::remove(d.begin(), d.end(), this), d.end());
    }
    master_ = master;
    if (master_ != nullptr) master_->details_.push_back(this);
}

void TableView::AddCalcColumn(const char* name) {
    if (IsOpen()) throw DbError(QStringLiteral("%1: calculated columns are added while the view is closed").arg(name_));
    calcNames_.emplace_back(name);
    nullRow_ = NullRow();
}

void TableView::SetOrder(const QString& order) {
    std::vector<std::pair<int, bool>> terms;
    for (const QString& raw : order.split(u',', Qt::SkipEmptyParts)) {
        QStringList words = raw.simplified().split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty()) continue;
        bool desc = false;
        if (words.size() == 2 && (words[1].compare(u"DESC", Qt::CaseInsensitive) == 0 ||
                                  words[1].compare(u"ASC", Qt::CaseInsensitive) == 0)) {
            desc = words[1].compare(u"DESC", Qt::CaseInsensitive) == 0;
            words.removeLast();
        }
        const int i = words.size() == 1 ? table_.IndexOf(words[0].toStdString()) : -1;
        if (i < 0)
            throw DbError(QStringLiteral("%1: '%2' in the order is no column of %3")
                              .arg(name_, raw.trimmed(), Latin1(table_.name)));
        terms.emplace_back(i, desc);
    }
    orderText_ = order;
    orderTerms_ = std::move(terms);
    idsQuery_.reset();
    if (!IsOpen()) return;
    CheckBrowse();
    std::vector<RowId> ids = QueryIds();
    const Key key = KeyAt(cur_);
    int index = ids.empty() ? -1 : 0;
    for (size_t k = 0; k < ids.size(); ++k)
        if (Key{Key::Row, ids[k]} == key) index = static_cast<int>(k);
    ReplaceRows(std::move(ids), index, true, true);
}

int TableView::RecordCount() const {
    return static_cast<int>(ids_.size()) + (state_ == State::Insert ? 1 : 0);
}

int TableView::ColumnCount() const { return static_cast<int>(table_.columns.size() + calcNames_.size()); }

int TableView::ColumnIndex(std::string_view column) const {
    const int i = table_.IndexOf(column);
    if (i >= 0) return i;
    for (size_t k = 0; k < calcNames_.size(); ++k)
        if (calcNames_[k] == column) return static_cast<int>(table_.columns.size() + k);
    return -1;
}

QString TableView::ColumnName(int index) const {
    if (index < 0 || index >= ColumnCount()) return {};
    if (index < static_cast<int>(table_.columns.size()))
        return Latin1(table_.columns[static_cast<size_t>(index)].name);
    return QString::fromStdString(calcNames_[static_cast<size_t>(index) - table_.columns.size()]);
}

bool TableView::IsCalcColumn(int index) const {
    return index >= static_cast<int>(table_.columns.size()) && index < ColumnCount();
}

int TableView::RequireColumn(std::string_view column) const {
    const int i = ColumnIndex(column);
    if (i < 0)
        throw DbError(QStringLiteral("%1 has no column %2")
                          .arg(name_, QString::fromUtf8(column.data(), qsizetype(column.size()))));
    return i;
}

void TableView::RequireOpen() const {
    if (!IsOpen()) throw DbError(QStringLiteral("%1 is not open").arg(name_));
}

TableRow TableView::NullRow() const {
    TableRow row;
    row.view_ = this;
    row.values_.reserve(table_.columns.size() + calcNames_.size());
    for (const ColumnDef& c : table_.columns) row.values_.emplace_back(MetaTypeOf(c.type));
    row.values_.resize(table_.columns.size() + calcNames_.size());
    return row;
}

void TableView::Calc(TableRow& row) {
    if (CalcFields && !calcNames_.empty()) CalcFields(row);
}

TableView::Key TableView::KeyAt(int index) const {
    if (index < 0) return {};
    if (index >= static_cast<int>(ids_.size())) return {Key::Pending, 0};
    return {Key::Row, ids_[static_cast<size_t>(index)]};
}

RowId TableView::MasterId(bool& has) const {
    has = master_ != nullptr && master_->IsOpen() && master_->cur_ >= 0 &&
          master_->cur_ < static_cast<int>(master_->ids_.size());
    return has ? master_->ids_[static_cast<size_t>(master_->cur_)] : 0;
}

std::vector<RowId> TableView::QueryIds() {
    std::vector<RowId> ids;
    bool hasMaster = false;
    const RowId masterId = MasterId(hasMaster);
    if (master_ != nullptr && !hasMaster) return ids;
    if (!idsQuery_) {
        idsQuery_ = std::make_unique<QSqlQuery>(conn_.Db());
        QString sql = QStringLiteral("SELECT \"ID\" FROM ") + QuoteIdentifier(table_.name);
        if (master_ != nullptr) sql += QStringLiteral(" WHERE \"UnitID\" = ?");
        QStringList terms;
        for (const auto& [column, desc] : orderTerms_)
            terms << OrderTerm(table_.columns[static_cast<size_t>(column)], desc, conn_.engine());
        terms << QStringLiteral("\"ID\"");
        sql += QStringLiteral(" ORDER BY ") + terms.join(QStringLiteral(", "));
        idsQuery_->setForwardOnly(true);
        if (!idsQuery_->prepare(sql)) {
            const QString message = ErrorText(idsQuery_->lastError());
            idsQuery_.reset();
            throw DbError(message);
        }
    }
    if (master_ != nullptr) idsQuery_->bindValue(0, qlonglong{masterId});
    if (!idsQuery_->exec()) throw DbError(ErrorText(idsQuery_->lastError()));
    while (idsQuery_->next()) ids.push_back(idsQuery_->value(0).toLongLong());
    idsQuery_->finish();
    return ids;
}

void TableView::EnsureLoaded(int index) {
    if (index < 0 || index >= static_cast<int>(ids_.size()) || rows_.Use(index) != nullptr) return;
    // The next rows not held, from `index` on, in one query.
    std::vector<int> wanted;
    for (int i = index; i < static_cast<int>(ids_.size()) && static_cast<int>(wanted.size()) < BatchRows; ++i)
        if (rows_.Peek(i) == nullptr) wanted.push_back(i);
    if (!rowsQuery_) {
        QStringList cols, marks;
        for (const ColumnDef& c : table_.columns) cols << QuoteIdentifier(c.name);
        for (int k = 0; k < BatchRows; ++k) marks << QStringLiteral("?");
        rowsQuery_ = std::make_unique<QSqlQuery>(conn_.Db());
        rowsQuery_->setForwardOnly(true);
        if (!rowsQuery_->prepare(QStringLiteral("SELECT %1 FROM %2 WHERE \"ID\" IN (%3)")
                                     .arg(cols.join(u", "), QuoteIdentifier(table_.name), marks.join(u", ")))) {
            const QString message = ErrorText(rowsQuery_->lastError());
            rowsQuery_.reset();
            throw DbError(message);
        }
    }
    // The wanted rows by ID, to place each row the query returns.
    std::vector<std::pair<RowId, int>> where;
    where.reserve(wanted.size());
    for (int k = 0; k < BatchRows; ++k) {
        // The first wanted ID again fills the unused places: any other
        // number could be the ID of a row that is not wanted.
        const size_t w = k < static_cast<int>(wanted.size()) ? static_cast<size_t>(k) : 0;
        const RowId id = ids_[static_cast<size_t>(wanted[w])];
        rowsQuery_->bindValue(k, qlonglong{id});
        if (k < static_cast<int>(wanted.size())) where.emplace_back(id, wanted[w]);
    }
    std::sort(where.begin(), where.end());
    if (!rowsQuery_->exec()) throw DbError(ErrorText(rowsQuery_->lastError()));
    const size_t n = table_.columns.size();
    while (rowsQuery_->next()) {
        const RowId id = rowsQuery_->value(0).toLongLong();
        const auto it = std::lower_bound(where.begin(), where.end(), std::pair<RowId, int>(id, INT_MIN));
        if (it == where.end() || it->first != id) continue;
        auto row = std::make_unique<TableRow>();
        row->view_ = this;
        row->values_.reserve(n + calcNames_.size());
        for (size_t c = 0; c < n; ++c) {
            QVariant v = rowsQuery_->value(static_cast<int>(c));
            if (v.isNull())
                row->values_.emplace_back(MetaTypeOf(table_.columns[c].type));
            else
                row->values_.push_back(std::move(v));
        }
        row->values_.resize(n + calcNames_.size());
        Calc(*row);
        rows_.Put(it->second, std::move(row));
    }
    rowsQuery_->finish();
    // A row deleted through another view since the IDs were read: all null
    // but its ID, until the next re-query.
    for (int i : wanted) {
        if (rows_.Peek(i) != nullptr) continue;
        auto row = std::make_unique<TableRow>(NullRow());
        row->values_[0] = qlonglong{ids_[static_cast<size_t>(i)]};
        Calc(*row);
        rows_.Put(i, std::move(row));
    }
    // The row asked for was put last but one batch ago at most: it stays.
    rows_.Use(index);
    rows_.Trim(cur_);
}

const TableRow& TableView::Current() const {
    if (state_ == State::Edit || state_ == State::Insert) return edit_;
    const TableRow* row = rows_.Peek(cur_);
    return row != nullptr ? *row : nullRow_;
}

const TableRow& TableView::RowAt(int index) {
    if (state_ == State::Insert && index == static_cast<int>(ids_.size())) return edit_;
    if (state_ == State::Edit && index == cur_) return edit_;
    if (index < 0 || index >= static_cast<int>(ids_.size())) return nullRow_;
    EnsureLoaded(index);
    return *rows_.Peek(index);
}

void TableView::Notify(Change change, int row) {
    if (listeners_.empty()) return;
    // A copy: a listener may remove itself.
    const std::vector<ListenerEntry> copy = listeners_;
    for (const ListenerEntry& l : copy) l.fn(change, row);
}

int TableView::AddListener(Listener listener) {
    listeners_.push_back({nextToken_, std::move(listener)});
    return nextToken_++;
}

void TableView::RemoveListener(int token) {
    listeners_.erase(std::remove_if(listeners_.begin(), listeners_.end(),
                                    [token](const ListenerEntry& l) { return l.token == token; }),
                     listeners_.end());
}

// Puts a new list of rows in place with `newIndex` current. BeforeScroll
// runs first and AfterScroll last when the current row changes (when asked
// to); the details follow a change of the current row.
// After the row list changed: the current row's values are at hand, and an
// empty view is at both ends.
void TableView::SettleOnCurrent() {
    if (cur_ >= 0) {
        EnsureLoaded(cur_);
        eof_ = bof_ = false;
    } else {
        eof_ = bof_ = true;
    }
}

void TableView::ReplaceRows(std::vector<RowId> ids, int newIndex, bool fireBefore, bool fireAfter) {
    const Key oldKey = KeyAt(cur_);
    const Key newKey = newIndex < 0 ? Key{} : Key{Key::Row, ids[static_cast<size_t>(newIndex)]};
    const bool changed = oldKey != newKey;
    if (changed && fireBefore && BeforeScroll) BeforeScroll(*this);
    Notify(Change::AboutToReset);
    ids_ = std::move(ids);
    rows_.Reset(ids_.size());
    cur_ = newIndex;
    SettleOnCurrent();
    Notify(Change::Reset);
    if (changed)
        for (TableView* d : details_) d->MasterChanged();
    if (changed && fireAfter && AfterScroll) AfterScroll(*this);
}

void TableView::Open() {
    if (IsOpen()) return;
    if (!conn_.IsOpen()) throw DbError(QStringLiteral("%1: the database is not open").arg(name_));
    if (master_ != nullptr && !master_->IsOpen())
        throw DbError(QStringLiteral("%1: its master %2 is not open").arg(name_, master_->Name()));
    // Every column the program uses must be there.
    {
        QStringList cols;
        for (const ColumnDef& c : table_.columns) cols << QuoteIdentifier(c.name);
        QSqlQuery probe(conn_.Db());
        if (!probe.exec(QStringLiteral("SELECT * FROM %1 WHERE 1 = 0").arg(QuoteIdentifier(table_.name))))
            throw DbError(QStringLiteral("The database has no table %1 (%2)")
                              .arg(Latin1(table_.name), ErrorText(probe.lastError())));
        const QSqlRecord record = probe.record();
        QStringList missing;
        for (const ColumnDef& c : table_.columns)
            if (record.indexOf(Latin1(c.name)) < 0) missing << Latin1(c.name);
        if (!missing.isEmpty())
            throw DbError(QStringLiteral("Table %1 has no column %2")
                              .arg(Latin1(table_.name), missing.join(QStringLiteral(", "))));
    }
    CheckRowIds(conn_.Db(), conn_.engine(), table_);
    std::vector<RowId> ids = QueryIds();
    state_ = State::Browse;
    cur_ = -1;
    ReplaceRows(std::move(ids), -1, false, false);
    if (!ids_.empty()) {
        // Opening makes the first row current: AfterScroll only.
        cur_ = 0;
        EnsureLoaded(0);
        eof_ = false;
        bof_ = true;
        Notify(Change::CurrentChanged, 0);
        for (TableView* d : details_) d->MasterChanged();
        if (AfterScroll) AfterScroll(*this);
    }
}

void TableView::Close() {
    if (!IsOpen()) return;
    Notify(Change::AboutToReset);
    state_ = State::Inactive;
    ids_.clear();
    rows_.Reset(0);
    cur_ = -1;
    eof_ = bof_ = true;
    edit_ = TableRow();
    idsQuery_.reset();
    rowsQuery_.reset();
    writeQueries_.clear();
    Notify(Change::Reset);
    for (TableView* d : details_) d->MasterChanged();
}

// Write statements are prepared once per view and kept until it closes,
// found by what they do (`key`), so that their text is only made once.
QSqlQuery& TableView::Prepared(const std::string& key, const std::function<QString()>& sql) {
    auto& q = writeQueries_[key];
    if (!q) {
        q = std::make_unique<QSqlQuery>(conn_.Db());
        if (!q->prepare(sql())) {
            const QString message = ErrorText(q->lastError());
            writeQueries_.erase(key);
            throw DbError(message);
        }
    }
    return *q;
}

// Posts the edits in progress here and in every detail view before this
// view moves: a detail's rows belong to the current master row, so its edit
// must be saved (or the move refused, if saving fails) while that row is
// still current.
void TableView::CheckBrowse() {
    RequireOpen();
    if (state_ == State::Edit || state_ == State::Insert) Post();
    PostDetailEdits();
}

void TableView::PostDetailEdits() {
    for (TableView* d : details_) {
        if (!d->IsOpen()) continue;
        if (d->state_ == State::Edit || d->state_ == State::Insert) d->Post();
        d->PostDetailEdits();
    }
}

void TableView::MoveTo(int index) {
    const Key oldKey = KeyAt(cur_);
    const Key newKey = KeyAt(index);
    if (oldKey == newKey) return;
    EnsureLoaded(index);
    if (BeforeScroll) BeforeScroll(*this);
    cur_ = index;
    Notify(Change::CurrentChanged, cur_);
    for (TableView* d : details_) d->MasterChanged();
    if (AfterScroll) AfterScroll(*this);
}

void TableView::First() {
    CheckBrowse();
    if (ids_.empty()) {
        eof_ = bof_ = true;
        return;
    }
    MoveTo(0);
    bof_ = true;
    eof_ = false;
}

void TableView::Last() {
    CheckBrowse();
    if (ids_.empty()) {
        eof_ = bof_ = true;
        return;
    }
    MoveTo(static_cast<int>(ids_.size()) - 1);
    bof_ = eof_ = false;
}

void TableView::Next() {
    CheckBrowse();
    if (eof_) return;
    if (cur_ + 1 < static_cast<int>(ids_.size())) {
        MoveTo(cur_ + 1);
        bof_ = false;
    } else {
        eof_ = true;
    }
}

void TableView::Prior() {
    CheckBrowse();
    if (bof_) return;
    if (cur_ > 0) {
        MoveTo(cur_ - 1);
        eof_ = false;
    } else {
        bof_ = true;
    }
}

void TableView::SetRecNo(int recNo) {
    CheckBrowse();
    if (ids_.empty()) return;
    MoveTo(std::clamp(recNo, 1, static_cast<int>(ids_.size())) - 1);
    bof_ = eof_ = false;
}

bool TableView::Locate(RowId id) {
    CheckBrowse();
    const int row = IndexOf(id);
    if (row < 0) return false;
    MoveTo(row);
    bof_ = eof_ = false;
    return true;
}

void ExecRowUpdate(QSqlQuery& update, RowId id, const char* table) {
    const bool ok = update.exec();
    const int affected = ok ? update.numRowsAffected() : 0;
    const QString message = ok ? QString() : ErrorText(update.lastError());
    update.finish();
    if (!ok) throw DbError(message);
    if (affected == 0) throw DbError(QStringLiteral("Row %1 of %2 no longer exists").arg(id).arg(Latin1(table)));
}

RowId TableView::IdAt(int index) const {
    if (index < 0 || index >= static_cast<int>(ids_.size()))
        throw DbError(QStringLiteral("%1 has no row %2").arg(name_).arg(index + 1));
    return ids_[static_cast<size_t>(index)];
}

int TableView::IndexOf(RowId id) const {
    const auto it = std::find(ids_.begin(), ids_.end(), id);
    return it == ids_.end() ? -1 : static_cast<int>(it - ids_.begin());
}

void TableView::MasterChanged() {
    if (!IsOpen()) return;
    // An edit in progress belongs to the old master row: post it; if that
    // fails the edit is dropped and the error reported after re-filtering.
    QString failure;
    if (state_ == State::Edit || state_ == State::Insert) {
        try {
            Post();
        } catch (const DbError& e) {
            failure = e.Text();
            Cancel();
        }
    }
    std::vector<RowId> ids = QueryIds();
    const int index = ids.empty() ? -1 : 0;
    ReplaceRows(std::move(ids), index, true, true);
    if (index >= 0) bof_ = true;
    if (!failure.isEmpty()) throw DbError(failure);
}

void TableView::Requery() {
    CheckBrowse();
    std::vector<RowId> ids = QueryIds();
    const bool any = !ids.empty();
    // Like opening: AfterScroll when there is a row; the details follow
    // when the current row is another one (ReplaceRows sees to that).
    ReplaceRows(std::move(ids), any ? 0 : -1, false, false);
    if (any) bof_ = true;
    if (any && AfterScroll) AfterScroll(*this);
}

void TableView::Refresh() {
    CheckBrowse();
    std::vector<RowId> ids = QueryIds();
    const Key key = KeyAt(cur_);
    int index = -1;
    for (size_t k = 0; k < ids.size(); ++k)
        if (Key{Key::Row, ids[k]} == key) index = static_cast<int>(k);
    if (index < 0 && !ids.empty()) index = std::clamp(cur_, 0, static_cast<int>(ids.size()) - 1);
    const bool eof = eof_, bof = bof_;
    ReplaceRows(std::move(ids), index, true, true);
    if (index >= 0 && KeyAt(index) == key) {
        eof_ = eof;
        bof_ = bof;
    }
}

void TableView::ForgetValues() {
    CheckBrowse();
    Notify(Change::AboutToReset);
    rows_.Reset(ids_.size());
    if (cur_ >= 0) EnsureLoaded(cur_);
    Notify(Change::Reset);
}

bool TableView::Observed() const {
    return BeforeScroll || AfterScroll || !listeners_.empty() || !details_.empty() ||
           (CalcFields && !calcNames_.empty());
}

void TableView::Append() {
    CheckBrowse();
    TableRow row = NullRow();
    std::vector<bool> modified(table_.columns.size(), false);
    bool hasMaster = false;
    const RowId masterId = MasterId(hasMaster);
    if (hasMaster) {
        const int u = table_.IndexOf("UnitID");
        row.values_[static_cast<size_t>(u)] = qlonglong{masterId};
        modified[static_cast<size_t>(u)] = true;
    }
    if (BeforeScroll) BeforeScroll(*this);
    Notify(Change::AboutToReset);
    insertReturn_ = cur_;
    edit_ = std::move(row);
    modified_ = std::move(modified);
    state_ = State::Insert;
    cur_ = static_cast<int>(ids_.size());
    eof_ = bof_ = false;
    Notify(Change::Reset);
    for (TableView* d : details_) d->MasterChanged();
    if (AfterScroll) AfterScroll(*this);
}

void TableView::Edit() {
    RequireOpen();
    if (state_ != State::Browse) return;
    if (cur_ < 0) throw DbError(QStringLiteral("%1 has no row to edit").arg(name_));
    EnsureLoaded(cur_);
    edit_ = *rows_.Peek(cur_);
    modified_.assign(table_.columns.size(), false);
    state_ = State::Edit;
}

void TableView::Post() {
    RequireOpen();
    if (state_ == State::Browse) return;
    // The columns written, and the statement's key: its kind, then one
    // character per column, '1' for a written one.
    std::vector<size_t> which;
    std::string key(1, state_ == State::Insert ? 'I' : 'U');
    for (size_t c = 1; c < table_.columns.size(); ++c) {
        if (modified_[c]) which.push_back(c);
        key += modified_[c] ? '1' : '0';
    }
    auto columns = [&](const QString& each) {
        QStringList list;
        for (size_t c : which) list << QuoteIdentifier(table_.columns[c].name) + each;
        return list.join(u", ");
    };
    if (state_ == State::Insert) {
        QSqlQuery& q = Prepared(key, [&] {
            QString sql = QStringLiteral("INSERT INTO ") + QuoteIdentifier(table_.name);
            if (which.empty()) {
                sql += QStringLiteral(" DEFAULT VALUES");
            } else {
                QStringList marks;
                for (size_t k = 0; k < which.size(); ++k) marks << QStringLiteral("?");
                sql += QStringLiteral(" (%1) VALUES (%2)").arg(columns(QString()), marks.join(u", "));
            }
            return sql + QStringLiteral(" RETURNING \"ID\"");
        });
        for (size_t k = 0; k < which.size(); ++k) q.bindValue(static_cast<int>(k), edit_.values_[which[k]]);
        if (!q.exec()) throw DbError(ErrorText(q.lastError()));
        const bool gotId = q.next();
        const RowId id = gotId ? q.value(0).toLongLong() : 0;
        q.finish();
        if (!gotId) throw DbError(QStringLiteral("%1: the new row got no ID").arg(name_));
        edit_.values_[0] = qlonglong{id};
        Calc(edit_);
        ids_.push_back(id);
        rows_.Append(std::make_unique<TableRow>(std::move(edit_)));
        rows_.Trim(cur_);
        edit_ = TableRow();
        state_ = State::Browse;
        Notify(Change::RowChanged, cur_);
        // The details of a new row are now its (still absent) rows.
        for (TableView* d : details_) d->MasterChanged();
        return;
    }
    if (!which.empty()) {
        QSqlQuery& q = Prepared(key, [&] {
            return QStringLiteral("UPDATE %1 SET %2 WHERE \"ID\" = ?")
                .arg(QuoteIdentifier(table_.name), columns(QStringLiteral(" = ?")));
        });
        for (size_t k = 0; k < which.size(); ++k) q.bindValue(static_cast<int>(k), edit_.values_[which[k]]);
        q.bindValue(static_cast<int>(which.size()), qlonglong{edit_.Id()});
        ExecRowUpdate(q, edit_.Id(), table_.name);
    }
    Calc(edit_);
    if (TableRow* held = rows_.Use(cur_); held != nullptr)
        *held = std::move(edit_);
    else
        rows_.Put(cur_, std::make_unique<TableRow>(std::move(edit_)));
    edit_ = TableRow();
    state_ = State::Browse;
    Notify(Change::RowChanged, cur_);
}

void TableView::Cancel() {
    if (state_ == State::Edit) {
        state_ = State::Browse;
        edit_ = TableRow();
        Notify(Change::RowChanged, cur_);
        return;
    }
    if (state_ != State::Insert) return;
    if (BeforeScroll) BeforeScroll(*this);
    Notify(Change::AboutToReset);
    state_ = State::Browse;
    edit_ = TableRow();
    cur_ = ids_.empty() ? -1 : std::clamp(insertReturn_, 0, static_cast<int>(ids_.size()) - 1);
    eof_ = bof_ = cur_ < 0;
    Notify(Change::Reset);
    for (TableView* d : details_) d->MasterChanged();
    if (AfterScroll) AfterScroll(*this);
}

void TableView::Delete() {
    RequireOpen();
    if (state_ == State::Insert) {
        Cancel();
        return;
    }
    if (state_ == State::Edit) Cancel();
    if (cur_ < 0) throw DbError(QStringLiteral("%1 has no row to delete").arg(name_));
    PostDetailEdits();
    // The hook sees the row that is about to go while it still exists.
    if (BeforeScroll) BeforeScroll(*this);
    QSqlQuery& q =
        Prepared("D", [&] { return QStringLiteral("DELETE FROM %1 WHERE \"ID\" = ?").arg(QuoteIdentifier(table_.name)); });
    q.bindValue(0, qlonglong{ids_[static_cast<size_t>(cur_)]});
    const bool ok = q.exec();
    const QString message = ok ? QString() : ErrorText(q.lastError());
    q.finish();
    if (!ok) throw DbError(message);
    Notify(Change::AboutToReset);
    ids_.erase(ids_.begin() + cur_);
    rows_.Erase(cur_);
    if (cur_ >= static_cast<int>(ids_.size())) cur_ = static_cast<int>(ids_.size()) - 1;
    SettleOnCurrent();
    Notify(Change::Reset);
    for (TableView* d : details_) d->MasterChanged();
    if (AfterScroll) AfterScroll(*this);
}

void TableView::SetColumn(int index, const QVariant& value) {
    RequireOpen();
    if (state_ != State::Edit && state_ != State::Insert)
        throw DbError(QStringLiteral("%1 is not in editing").arg(name_));
    if (index == 0) throw DbError(QStringLiteral("ID of %1 is read-only").arg(Latin1(table_.name)));
    if (IsCalcColumn(index))
        throw DbError(QStringLiteral("%1 is a calculated column of %2").arg(ColumnName(index), name_));
    edit_.values_[static_cast<size_t>(index)] = value;
    modified_[static_cast<size_t>(index)] = true;
}

void TableView::SetInt(std::string_view column, int64_t value) {
    const int i = RequireColumn(column);
    const ColumnType t = i < static_cast<int>(table_.columns.size()) ? table_.columns[static_cast<size_t>(i)].type
                                                                      : ColumnType::Int32;
    if (t == ColumnType::Bool)
        SetColumn(i, QVariant(value != 0));
    else if (IsNumber(t))
        SetColumn(i, QVariant(static_cast<qlonglong>(value)));
    else if (t == ColumnType::Blob)
        SetColumn(i, QVariant(QByteArray::number(static_cast<qlonglong>(value))));
    else
        SetColumn(i, QVariant(QString::number(value)));
}

void TableView::SetBool(std::string_view column, bool value) {
    const int i = RequireColumn(column);
    const ColumnType t = i < static_cast<int>(table_.columns.size()) ? table_.columns[static_cast<size_t>(i)].type
                                                                      : ColumnType::Bool;
    if (IsNumber(t))
        SetColumn(i, QVariant(value ? 1 : 0));
    else
        SetColumn(i, QVariant(value));
}

void TableView::SetText(std::string_view column, const QString& value) {
    const int i = RequireColumn(column);
    if (i < static_cast<int>(table_.columns.size()) &&
        table_.columns[static_cast<size_t>(i)].type != ColumnType::Text &&
        table_.columns[static_cast<size_t>(i)].type != ColumnType::LongText) {
        SetValue(column, QVariant(value));
        return;
    }
    SetColumn(i, QVariant(value));
}

void TableView::SetBytes(std::string_view column, const QByteArray& value) {
    const int i = RequireColumn(column);
    SetColumn(i, QVariant(value));
}

void TableView::SetNull(std::string_view column) {
    const int i = RequireColumn(column);
    const ColumnType t = i < static_cast<int>(table_.columns.size()) ? table_.columns[static_cast<size_t>(i)].type
                                                                      : ColumnType::LongText;
    SetColumn(i, QVariant(MetaTypeOf(t)));
}

void TableView::SetValue(std::string_view column, const QVariant& value) {
    const int i = RequireColumn(column);
    if (value.isNull() || !value.isValid()) {
        SetNull(column);
        return;
    }
    const ColumnType t = i < static_cast<int>(table_.columns.size()) ? table_.columns[static_cast<size_t>(i)].type
                                                                      : ColumnType::LongText;
    switch (t) {
        case ColumnType::Bool:
            if (value.typeId() == QMetaType::QString) {
                const QString s = value.toString().trimmed().toLower();
                SetColumn(i, QVariant(s == u"1" || s == u"true"));
            } else {
                SetColumn(i, QVariant(value.toBool()));
            }
            return;
        case ColumnType::Text:
        case ColumnType::LongText: SetColumn(i, QVariant(value.toString())); return;
        case ColumnType::Blob: SetColumn(i, QVariant(value.toByteArray())); return;
        default: break;
    }
    bool ok = false;
    const qlonglong n = value.typeId() == QMetaType::QString ? value.toString().trimmed().toLongLong(&ok)
                                                             : value.toLongLong(&ok);
    if (!ok)
        throw DbError(QStringLiteral("%1 is not a whole number (column %2)")
                          .arg(QString::fromStdString(Quoted(value.toString().toStdString())), ColumnName(i)));
    SetColumn(i, QVariant(n));
}

void TableView::LoadBytesFromFile(std::string_view column, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DbError(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    SetBytes(column, file.readAll());
}

}  // namespace tovanel

#include "database/KeyCodes.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include "analysis/Analyzer.h"
#include "analysis/rc/RcReading.h"
#include "database/CodeDatabase.h"
#include "database/CodeText.h"
#include "database/Schema.h"
#include "database/TableView.h"

namespace tovanel {

namespace {

std::u16string_view View(const QString& s) {
    return {reinterpret_cast<const char16_t*>(s.constData()), static_cast<size_t>(s.size())};
}

int32_t Low32(uint64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// Whether a stored value is exactly this whole number (not null, not text,
// not a wider value that reads the same).
bool Holds(const QVariant& v, int32_t value) {
    if (v.isNull()) return false;
    switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong: return v.toLongLong() == value;
        default: return false;
    }
}

// A recompute's work on one key: Code1 analysed as the first frame of its
// burst, with no earlier values, and Mode, Adr and Cmd written by one
// prepared statement when the key does not already hold them (writing the
// same values again changes nothing but costs an index update).
class KeyRecompute {
public:
    KeyRecompute(QSqlDatabase& db, int32_t modulation, int32_t protocol, const DecodeSettings& layout)
        : modulation_(modulation), protocol_(protocol), layout_(layout), update_(db),
          scratch_(std::make_unique<CodeFrame>()) {
        if (!update_.prepare(QStringLiteral("UPDATE %1 SET %2 = ?, %3 = ?, %4 = ? WHERE %5 = ?")
                                 .arg(Table(), QuoteIdentifier("Mode"), QuoteIdentifier("Adr"),
                                      QuoteIdentifier("Cmd"), QuoteIdentifier("ID"))))
            throw DbError(ErrorText(update_.lastError()));
    }

    void Key(RowId id, const QString& code1, const QVariant& mode, const QVariant& adr, const QVariant& cmd) {
        ClearFrame(*scratch_);
        AnalyzeCodeText(View(code1), 0, modulation_, protocol_, layout_, *scratch_);
        const int32_t newMode = scratch_->Mode, newAdr = Low32(scratch_->Adr), newCmd = Low32(scratch_->Cmd);
        if (Holds(mode, newMode) && Holds(adr, newAdr) && Holds(cmd, newCmd)) return;
        update_.bindValue(0, newMode);
        update_.bindValue(1, newAdr);
        update_.bindValue(2, newCmd);
        update_.bindValue(3, qlonglong{id});
        ExecRowUpdate(update_, id, CodesTable().name);
    }

    static QString Table() { return QuoteIdentifier(CodesTable().name); }

private:
    const int32_t modulation_, protocol_;
    const DecodeSettings layout_;
    QSqlQuery update_;
    std::unique_ptr<CodeFrame> scratch_;
};

// Reads what a recompute needs of keys (Code1, Mode, Adr, Cmd) by their
// IDs, a batch at a time, through one prepared statement.
class KeyReader {
public:
    static constexpr int Batch = 256;

    explicit KeyReader(QSqlDatabase& db) : select_(db) {
        QStringList marks;
        for (int k = 0; k < Batch; ++k) marks << QStringLiteral("?");
        select_.setForwardOnly(true);
        if (!select_.prepare(QStringLiteral("SELECT %1, %2, %3, %4, %5 FROM %6 WHERE %1 IN (%7) ORDER BY %1")
                                 .arg(QuoteIdentifier("ID"), QuoteIdentifier("Code1"), QuoteIdentifier("Mode"),
                                      QuoteIdentifier("Adr"), QuoteIdentifier("Cmd"), KeyRecompute::Table(),
                                      marks.join(u", "))))
            throw DbError(ErrorText(select_.lastError()));
    }

    // Hands each key of `ids` (at most Batch) to `recompute`, by ascending
    // ID; a key no longer stored reads as no text and no values.
    void Read(std::vector<RowId>& ids, KeyRecompute& recompute) {
        std::sort(ids.begin(), ids.end());
        // The first ID again fills the unused places: any other number
        // could be the ID of a key that is not wanted.
        for (int k = 0; k < Batch; ++k)
            select_.bindValue(k, qlonglong{ids[k < static_cast<int>(ids.size()) ? static_cast<size_t>(k) : 0]});
        if (!select_.exec()) throw DbError(ErrorText(select_.lastError()));
        rows_.clear();
        while (select_.next())
            rows_.push_back({select_.value(0).toLongLong(), select_.value(1).toString(), select_.value(2),
                             select_.value(3), select_.value(4)});
        select_.finish();
        size_t r = 0;
        for (RowId id : ids) {
            while (r < rows_.size() && rows_[r].id < id) ++r;
            if (r < rows_.size() && rows_[r].id == id) {
                const Row& row = rows_[r];
                recompute.Key(id, row.code1, row.mode, row.adr, row.cmd);
            } else {
                recompute.Key(id, QString(), QVariant(), QVariant(), QVariant());
            }
        }
    }

private:
    struct Row {
        RowId id;
        QString code1;
        QVariant mode, adr, cmd;
    };
    QSqlQuery select_;
    std::vector<Row> rows_;
};

QString Hex(int32_t v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%.*X", digits, static_cast<unsigned>(static_cast<uint32_t>(v)));
    return QString::fromLatin1(buf);
}

}  // namespace

DecodeSettings UnitLayout(const TableRow& unit) {
    auto control = [&](std::string_view column) { return std::clamp(unit.Int(column), 0, 100); };
    DecodeSettings s;
    s.AdrStart = 2 * control("AdrStart");
    s.CmdStart = 2 * control("CmdStart");
    s.AdrBits = control("AdrBits");
    s.CmdBits = control("CmdBits");
    s.AdrOrder = unit.Bool("AdrOrder");
    s.CmdOrder = unit.Bool("CmdOrder");
    s.AdrInverse = unit.Bool("AdrInverse");
    s.CmdInverse = unit.Bool("CmdInverse");
    return s;
}

std::array<bool, SlotCount> LoadKeyIntoBuffer(CodeDatabase& db, FrameBuffer& buffer,
                                              const DecodeSettings& layout) {
    const TableView& codes = db.ADOTableCodes;
    const TableView& units = db.ADOTableUnits;
    const QString texts[4] = {codes.Text("Code1"), codes.Text("Code2"), codes.Text("Code3"),
                              codes.Text("Code4")};
    return LoadCodeTextsIntoBuffer({View(texts[0]), View(texts[1]), View(texts[2]), View(texts[3])},
                                   units.Int("Modulation"), units.Int("Protocol"), layout, buffer);
}

std::array<bool, SlotCount> LoadKeyIntoBuffer(CodeDatabase& db, SharedFrameBuffer& buffer,
                                              const DecodeSettings& layout) {
    std::lock_guard lock(buffer.Mutex());
    return LoadKeyIntoBuffer(db, buffer.Locked(), layout);
}

int RecomputeUnitKeys(CodeDatabase& db, const DecodeSettings& layout) {
    TableView& keys = db.ADOTableCodes2;
    if (!keys.IsOpen()) return 0;
    ReloadGuardScope guard(db.ReloadGuard);
    KeyRecompute recompute(db.ADOConnection.Db(), db.ADOTableUnits.Int("Modulation"),
                           db.ADOTableUnits.Int("Protocol"), layout);
    int count = 0;
    db.ADOConnection.Begin();
    try {
        // Keys added through the key view since the unit became current
        // are keys of the unit too: read the unit's keys anew.
        keys.Refresh();
        count = keys.RecordCount();
        if (keys.Observed()) {
            // Whoever watches the view sees it walk key by key.
            for (keys.First(); !keys.Eof(); keys.Next())
                recompute.Key(keys.Current().Id(), keys.Text("Code1"), keys.Value("Mode"), keys.Value("Adr"),
                              keys.Value("Cmd"));
        } else {
            // Nobody watches: the keys are read in batches of the columns
            // needed, and the view only moves to where a walk ends.
            KeyReader reader(db.ADOConnection.Db());
            std::vector<RowId> ids;
            for (int i = 0; i < count; i += KeyReader::Batch) {
                ids.clear();
                for (int k = i; k < std::min(count, i + KeyReader::Batch); ++k) ids.push_back(keys.IdAt(k));
                reader.Read(ids, recompute);
            }
            keys.First();
            if (count > 1) keys.Last();
            keys.Next();
        }
        // The rows were written past the view: it reads them again.
        keys.ForgetValues();
        db.ADOConnection.Commit();
    } catch (...) {
        db.ADOConnection.Rollback();
        // The view may hold values written before the error.
        try {
            if (keys.state() == TableView::State::Edit) keys.Cancel();
            keys.Refresh();
        } catch (const DbError&) {
        }
        throw;
    }
    return count;
}

std::optional<RcReading> KeyRcReading(const TableRow& key) {
    // The stored frames up to the first empty one, as a recording buffer
    // holds a burst.
    std::vector<std::vector<int32_t>> frames;
    auto scratch = std::make_unique<CodeFrame>();
    for (const char* column : {"Code1", "Code2", "Code3", "Code4"}) {
        ParseCodeText(View(key.Text(column)), *scratch);
        if (scratch->Count <= 0) break;
        frames.emplace_back(scratch->Durations, scratch->Durations + scratch->Count);
    }
    if (frames.empty()) return std::nullopt;
    const std::vector<RcDurations> burst(frames.begin(), frames.end());
    return ReadRcBurst(burst)[0];
}

QString AdrText(int32_t adr) { return Hex(adr, 4); }
QString CmdText(int32_t cmd) { return Hex(cmd, 2); }

}  // namespace tovanel

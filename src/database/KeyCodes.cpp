#include "database/KeyCodes.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "analysis/Analyzer.h"
#include "analysis/rc/RcReading.h"
#include "database/CodeDatabase.h"
#include "database/CodeText.h"

namespace tovanel {

namespace {

std::u16string_view View(const QString& s) {
    return {reinterpret_cast<const char16_t*>(s.constData()), static_cast<size_t>(s.size())};
}

int32_t Low32(uint64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// Whether a column of the current row holds exactly this whole number (not
// null, not text, not a wider value that reads the same).
bool Holds(const TableView& view, std::string_view column, int32_t value) {
    const QVariant v = view.Value(column);
    if (v.isNull()) return false;
    switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong: return v.toLongLong() == value;
        default: return false;
    }
}

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
    const int32_t modulation = db.ADOTableUnits.Int("Modulation");
    const int32_t protocol = db.ADOTableUnits.Int("Protocol");
    auto scratch = std::make_unique<CodeFrame>();
    int count = 0;
    db.ADOConnection.Begin();
    try {
        // Keys added through the key view since the unit became current
        // are keys of the unit too: read the unit's keys anew.
        keys.Refresh();
        keys.First();
        while (!keys.Eof()) {
            // A first frame of its burst, with no earlier values.
            ClearFrame(*scratch);
            AnalyzeCodeText(View(keys.Text("Code1")), 0, modulation, protocol, layout, *scratch);
            const int32_t mode = scratch->Mode, adr = Low32(scratch->Adr), cmd = Low32(scratch->Cmd);
            // A key that already holds its values keeps them as they are:
            // writing them again changes nothing but costs an index update.
            if (!Holds(keys, "Mode", mode) || !Holds(keys, "Adr", adr) || !Holds(keys, "Cmd", cmd)) {
                keys.Edit();
                keys.SetInt("Mode", mode);
                keys.SetInt("Adr", adr);
                keys.SetInt("Cmd", cmd);
                keys.Post();
            }
            ++count;
            keys.Next();
        }
        db.ADOConnection.Commit();
    } catch (...) {
        db.ADOConnection.Rollback();
        // The view still holds the values written before the error.
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

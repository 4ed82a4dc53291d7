#include "tools/db/SampleData.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/Recognition.h"
#include "database/CodeDatabase.h"
#include "database/CodeText.h"
#include "database/KeyCodes.h"

namespace tovanel {

namespace {

using Durations = std::vector<int32_t>;
using Bits = std::vector<int>;

Bits BitsOf(uint32_t value, int n, bool lowFirst) {
    Bits bits;
    for (int k = 0; k < n; ++k) bits.push_back(lowFirst ? (value >> k) & 1 : (value >> (n - 1 - k)) & 1);
    return bits;
}

void Append(Bits& to, const Bits& from) { to.insert(to.end(), from.begin(), from.end()); }

// Pulse distance: header pair, a mark and a space per bit, final mark.
Durations PulseDistance(int32_t headerMark, int32_t headerSpace, int32_t mark, int32_t zero, int32_t one,
                        const Bits& bits) {
    Durations d;
    if (headerMark > 0) d = {headerMark, headerSpace};
    for (int b : bits) {
        d.push_back(mark);
        d.push_back(b ? one : zero);
    }
    d.push_back(mark);
    return d;
}

// Half-bit levels (1 carrier on) of `unit` µs run-length encoded, leading
// and trailing spaces dropped.
Durations FromLevels(const std::vector<int>& levels, int32_t unit) {
    Durations d;
    size_t i = 0, end = levels.size();
    while (i < end && levels[i] == 0) ++i;
    while (end > i && levels[end - 1] == 0) --end;
    while (i < end) {
        size_t j = i;
        while (j < end && levels[j] == levels[i]) ++j;
        d.push_back(static_cast<int32_t>(j - i) * unit);
        i = j;
    }
    return d;
}

Durations Nec(uint8_t adr, uint8_t cmd) {
    Bits bits = BitsOf(adr, 8, true);
    Append(bits, BitsOf(uint8_t(~adr), 8, true));
    Append(bits, BitsOf(cmd, 8, true));
    Append(bits, BitsOf(uint8_t(~cmd), 8, true));
    return PulseDistance(9000, 4500, 560, 560, 1690, bits);
}

Durations NecRepeat() { return {9000, 2250, 560}; }

// RC-5: two start bits, toggle, 5 address and 6 command bits, high first;
// a 1 is a space half then a mark half, 889 µs each.
Durations Rc5(int toggle, uint8_t adr, uint8_t cmd) {
    Bits bits{1, 1, toggle};
    Append(bits, BitsOf(adr, 5, false));
    Append(bits, BitsOf(cmd, 6, false));
    std::vector<int> levels;
    for (int b : bits) {
        levels.push_back(b ? 0 : 1);
        levels.push_back(b ? 1 : 0);
    }
    return FromLevels(levels, 889);
}

// RC-6 mode 0: leader 6T/2T, start bit, 3 mode bits, double toggle, 8
// address and 8 command bits; a 1 is a mark half then a space half, T 444.
Durations Rc6(int toggle, uint8_t adr, uint8_t cmd) {
    std::vector<int> levels(6, 1);
    levels.insert(levels.end(), 2, 0);
    auto bit = [&](int b, int halves) {
        levels.insert(levels.end(), static_cast<size_t>(halves), b ? 1 : 0);
        levels.insert(levels.end(), static_cast<size_t>(halves), b ? 0 : 1);
    };
    bit(1, 1);
    for (int b : BitsOf(0, 3, false)) bit(b, 1);
    bit(toggle, 2);
    for (int b : BitsOf(adr, 8, false)) bit(b, 1);
    for (int b : BitsOf(cmd, 8, false)) bit(b, 1);
    return FromLevels(levels, 444);
}

// SONY 12 bits: header mark 2400, then per bit a 600 space and a mark of
// 600 (0) or 1200 (1); 7 command then 5 address bits, low first.
Durations Sony(uint8_t adr, uint8_t cmd) {
    Durations d{2400};
    Bits bits = BitsOf(cmd, 7, true);
    Append(bits, BitsOf(adr, 5, true));
    for (int b : bits) {
        d.push_back(600);
        d.push_back(b ? 1200 : 600);
    }
    return d;
}

// JVC: 8400/4200 header on the first frame only, 8 address and 8 command
// bits low first, mark 526, spaces 526 / 1578.
Durations Jvc(uint8_t adr, uint8_t cmd, bool header) {
    Bits bits = BitsOf(adr, 8, true);
    Append(bits, BitsOf(cmd, 8, true));
    return PulseDistance(header ? 8400 : 0, 4200, 526, 526, 1578, bits);
}

// A receiver stretches marks and shortens spaces, and no two durations
// come out alike.
Durations Received(Durations d, int32_t stretch, uint32_t seed) {
    for (size_t i = 0; i < d.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        const int32_t range = d[i] / 30;
        const int32_t jitter = range > 0 ? static_cast<int32_t>((seed >> 8) % uint32_t(2 * range + 1)) - range : 0;
        d[i] += (i % 2 == 0 ? stretch : -stretch) + jitter;
        if (d[i] < 1) d[i] = 1;
    }
    return d;
}

QString Code(int32_t periodUs, const Durations& d) {
    auto frame = std::make_unique<CodeFrame>();
    ClearFrame(*frame);
    frame->Period = periodUs;
    frame->Count = static_cast<int32_t>(d.size());
    for (size_t i = 0; i < d.size(); ++i) frame->Durations[i] = d[i];
    std::string text, error;
    if (!FormatCodeText(*frame, text, &error)) throw DbError(QString::fromStdString(error));
    return QString::fromStdString(text);
}

struct Key {
    const char* name;
    std::vector<QString> codes;  // up to four frames
};

struct Unit {
    const char* name;
    const char* desc;
    const char* carrier;
    std::vector<Key> keys;
};

// One key press: `frames` frames `periodUs` apart, each received anew.
std::vector<QString> Press(const Durations& first, const Durations& later, int frames, int32_t periodUs,
                           int32_t stretch, uint32_t seed) {
    std::vector<QString> codes;
    for (int k = 0; k < frames; ++k)
        codes.push_back(Code(k == 0 ? 0 : periodUs, Received(k == 0 ? first : later, stretch, seed + 31u * k)));
    return codes;
}

std::vector<Unit> Units() {
    uint32_t seed = 1;
    auto nec = [&](const char* name, uint8_t adr, uint8_t cmd) {
        return Key{name, Press(Nec(adr, cmd), NecRepeat(), 4, 108000, 80, seed += 7)};
    };
    auto rc5 = [&](const char* name, uint8_t adr, uint8_t cmd) {
        return Key{name, Press(Rc5(1, adr, cmd), Rc5(1, adr, cmd), 3, 113778, 60, seed += 7)};
    };
    auto rc6 = [&](const char* name, uint8_t adr, uint8_t cmd) {
        return Key{name, Press(Rc6(0, adr, cmd), Rc6(0, adr, cmd), 2, 107000, 50, seed += 7)};
    };
    auto sony = [&](const char* name, uint8_t adr, uint8_t cmd) {
        return Key{name, Press(Sony(adr, cmd), Sony(adr, cmd), 3, 45000, 70, seed += 7)};
    };
    auto jvc = [&](const char* name, uint8_t adr, uint8_t cmd) {
        return Key{name, Press(Jvc(adr, cmd, true), Jvc(adr, cmd, false), 3, 59000, 90, seed += 7)};
    };
    return {
        {"Living-room TV", "Demo unit: a 32\" LCD television, remote \"RC-1\" (NEC).", "38",
         {nec("Power", 0x04, 0x08), nec("Vol+", 0x04, 0x02), nec("Vol-", 0x04, 0x03), nec("Mute", 0x04, 0x09),
          nec("Ch+", 0x04, 0x00), nec("Ch-", 0x04, 0x01), nec("Menu", 0x04, 0x43), nec("OK", 0x04, 0x44)}},
        {"Video recorder", "Demo unit: a video recorder (RC-5, address 5).", "36",
         {rc5("Play", 5, 53), rc5("Stop", 5, 54), rc5("Rewind", 5, 50), rc5("Fast forward", 5, 52),
          rc5("Record", 5, 55), rc5("Pause", 5, 41)}},
        {"Media centre", "Demo unit: a media centre (RC-6 mode 0).", "36",
         {rc6("Up", 0x00, 0x58), rc6("Down", 0x00, 0x59), rc6("Left", 0x00, 0x5A), rc6("Right", 0x00, 0x5B),
          rc6("OK", 0x00, 0x5C)}},
        {"Amplifier", "Demo unit: an amplifier (SONY, 12 bits).", "40",
         {sony("Power", 16, 21), sony("Volume up", 16, 18), sony("Volume down", 16, 19), sony("Mute", 16, 20)}},
        {"Kitchen radio", "Demo unit: Grandma's kitchen radio (JVC); names may hold quotes: 'as here'.", "38",
         {jvc("Power", 0x03, 0x17), jvc("Tuner", 0x03, 0x1A), jvc("Vol+", 0x03, 0x1E), jvc("Vol-", 0x03, 0x1F)}},
    };
}

}  // namespace

int WriteNewDatabase(CodeDatabase& db, bool sample) {
    int keys = 0;
    db.ADOConnection.Begin();
    try {
        QString error;
        if (!CreateSchema(db.ADOConnection, error)) throw DbError(error);
        for (TableView* v : db.Views()) v->Open();
        if (sample) keys = AddSampleData(db);
        db.ADOConnection.Commit();
    } catch (...) {
        db.ADOConnection.Rollback();
        // The views may hold rows that are gone with the transaction. The
        // details close first: a detail whose master closes would post its
        // unfinished row again, now outside the transaction.
        const auto views = db.Views();
        for (auto v = views.rbegin(); v != views.rend(); ++v) (*v)->Close();
        throw;
    }
    return keys;
}

int AddSampleData(CodeDatabase& db) {
    int written = 0;
    const std::vector<Unit> units = Units();
    TableView& unitView = db.ADOTableUnits;
    TableView& keyView = db.ADOTableCodes;
    for (const Unit& u : units) {
        unitView.Append();
        unitView.SetText("Name", QString::fromUtf8(u.name));
        unitView.SetText("Desc", QString::fromUtf8(u.desc));
        unitView.SetText("Carrier", QString::fromUtf8(u.carrier));
        unitView.Post();
        for (const Key& k : u.keys) {
            keyView.Append();  // UnitID from the current unit
            keyView.SetText("Name", QString::fromUtf8(k.name));
            static const char* const columns[4] = {"Code1", "Code2", "Code3", "Code4"};
            for (size_t c = 0; c < 4; ++c) keyView.SetText(columns[c], c < k.codes.size() ? k.codes[c] : QString());
            keyView.Post();
            ++written;
        }
        // Mode, address and command as the analyser reads the first frames.
        RecomputeUnitKeys(db, UnitLayout(unitView.Current()));
    }
    for (TableView* v : db.Views()) v->Requery();
    return written;
}

}  // namespace tovanel

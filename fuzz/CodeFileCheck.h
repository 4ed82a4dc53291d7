// What every code file reader must give for any text: reports on lines
// that exist, keys of whole frames, and keys that the writers put into a
// file which reads back as the same frames.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

#include "database/formats/CodeFile.h"
#include "database/formats/CodeFileWriters.h"
#include "fuzz/FuzzInput.h"

namespace tovanel::fuzz {

class CheckingSink : public CodeFileSink {
public:
    explicit CheckingSink(std::string_view text)
        : lines_(static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1) {}

    void BeginUnit(const CodeFileUnit& unit) override {
        FUZZ_CHECK(unit.carrierHz >= 0);
        unitBegun_ = true;
    }
    void AddKey(const CodeFileKey& key) override {
        FUZZ_CHECK(unitBegun_);
        FUZZ_CHECK(key.line >= 1 && key.line <= lines_);
        FUZZ_CHECK(!key.frames.empty());
        FUZZ_CHECK(key.frames[0].period == 0);
        bool writable = true;
        for (const CodeFileFrame& f : key.frames) {
            FUZZ_CHECK(f.period >= 0);
            FUZZ_CHECK(f.durations.size() % 2 == 1);
            for (int32_t d : f.durations) FUZZ_CHECK(d >= 1);
        }
        const std::vector<int32_t> signal = JoinFrames(key.frames);
        for (int32_t d : signal) writable = writable && d <= MaxSignalDurationUs;
        if (writable) ReadsBack(key, signal);
    }
    void Skip(int line, const std::string&, const std::string& reason) override {
        FUZZ_CHECK(line >= 1 && line <= lines_);
        FUZZ_CHECK(!reason.empty());
    }
    void Error(int line, const std::string& message) override {
        FUZZ_CHECK(line >= 1 && line <= lines_);
        FUZZ_CHECK(!message.empty());
    }

private:
    // As a raw lircd.conf code and as an .ir raw signal, the key's signal
    // comes back unchanged.
    static void ReadsBack(const CodeFileKey& key, const std::vector<int32_t>& signal) {
        const ExportUnit unit{"u", DefaultCarrierHz, {{key.name, key.frames, {}}}};
        for (const std::string& text : {WriteLircdRaw(unit), WriteIrSignals(unit)}) {
            CodeFileCollector back;
            ReadCodeFileText(text, back);
            FUZZ_CHECK(back.errors.empty());
            FUZZ_CHECK(back.units.size() == 1 && back.units[0].keys.size() == 1);
            FUZZ_CHECK(JoinFrames(back.units[0].keys[0].frames) == signal);
        }
    }

    int lines_;
    bool unitBegun_ = false;
};

// Runs one reader on the fuzzer's bytes.
template <typename Reader>
int CheckReader(const uint8_t* data, size_t size, Reader read) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckingSink sink(text);
    read(text, sink);
    return 0;
}

}  // namespace tovanel::fuzz

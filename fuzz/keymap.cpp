// The keymap reader on any text (fuzz/CodeFileCheck.h), and the writer on
// what it read: each unit written as a keymap reads back as the same keys'
// frames, whichever tables they land in.
#include <algorithm>
#include <tuple>

#include "database/formats/Keymap.h"
#include "fuzz/CodeFileCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tovanel;
    fuzz::CheckReader(data, size, ReadKeymap);

    CodeFileCollector read;
    ReadKeymap(std::string_view(reinterpret_cast<const char*>(data), size), read);
    for (const CodeFileCollector::Unit& u : read.units) {
        ExportUnit unit{u.unit.name, u.unit.carrierHz, {}};
        std::vector<std::vector<CodeFileFrame>> sent, back;
        for (const CodeFileKey& key : u.keys) {
            unit.keys.push_back({key.name, key.frames, {}});
            sent.push_back(key.frames);
        }
        const std::string text = WriteKeymap(unit);
        FUZZ_CHECK(text.empty() == u.keys.empty());
        if (text.empty()) continue;  // a table whose scancodes all failed: no keymap
        CodeFileCollector again;
        ReadKeymap(text, again);
        FUZZ_CHECK(again.errors.empty() && again.skipped.empty());
        for (const CodeFileCollector::Unit& a : again.units)
            for (const CodeFileKey& key : a.keys) back.push_back(key.frames);
        const auto order = [](const auto& x, const auto& y) {
            return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(),
                                                [](const CodeFileFrame& f, const CodeFileFrame& g) {
                                                    return std::tie(f.period, f.durations) < std::tie(g.period, g.durations);
                                                });
        };
        std::sort(sent.begin(), sent.end(), order);
        std::sort(back.begin(), back.end(), order);
        FUZZ_CHECK(sent == back);
    }
    return 0;
}

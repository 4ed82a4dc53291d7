// The analysis pipeline on any record a producer can hand it (up to 200
// durations of any value, any slot) with any forced modulation, protocol
// and generic layout (a unit row written by another program may hold any
// numbers). The durations come out untouched (an even count loses its
// trailing space, by design, and the record reads zero there) and the results in range, but for a forced
// modulation or protocol out of range, which the record carries as given.
#include <cstring>
#include <memory>

#include "analysis/Analyzer.h"
#include "analysis/CodeFrame.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tovanel;
    fuzz::FuzzInput input(data, size);
    const int32_t modulation = input.Take<int32_t>();
    const int32_t protocol = input.Take<int32_t>();
    DecodeSettings layout;
    layout.AdrStart = input.Take<int32_t>();
    layout.AdrBits = input.Take<int32_t>();
    layout.AdrOrder = input.TakeBool();
    layout.AdrInverse = input.TakeBool();
    layout.CmdStart = input.Take<int32_t>();
    layout.CmdBits = input.Take<int32_t>();
    layout.CmdOrder = input.TakeBool();
    layout.CmdInverse = input.TakeBool();
    auto frame = std::make_unique<CodeFrame>();
    ClearFrame(*frame);
    frame->SlotIndex = input.TakeInRange(0, SlotCount - 1);
    frame->Period = input.Take<int32_t>();
    while (frame->Count < MaxDurations && input.Left() >= 4) frame->Durations[frame->Count++] = input.Take<int32_t>();
    int64_t total = 0;
    for (int32_t i = 0; i < frame->Count; ++i) total += frame->Durations[i];
    frame->Total = static_cast<int32_t>(total);
    auto before = std::make_unique<CodeFrame>(*frame);

    AnalyzeFrame(*frame, modulation, protocol, layout);
    FUZZ_CHECK(frame->Count == before->Count - (before->Count > 0 && before->Count % 2 == 0 ? 1 : 0));
    if (frame->Count < before->Count) {
        FUZZ_CHECK(frame->Durations[frame->Count] == 0);
        before->Durations[frame->Count] = 0;
    }
    FUZZ_CHECK(std::memcmp(frame->Durations, before->Durations, sizeof frame->Durations) == 0);
    FUZZ_CHECK((frame->Modulation >= -1 && frame->Modulation <= 3) || frame->Modulation == modulation);
    FUZZ_CHECK((frame->Protocol >= -1 && frame->Protocol <= 19) || frame->Protocol == protocol);
    FUZZ_CHECK(frame->MarkClassCount >= 0 && frame->MarkClassCount <= MaxClasses);
    FUZZ_CHECK(frame->SpaceClassCount >= 0 && frame->SpaceClassCount <= MaxClasses);
    return 0;
}

// Key code texts both ways. First byte even: any text is read, and the text
// written from what was read reads back to the same frame. Odd: any frame is
// written, and reads back with every value at its nearest representable one.
#include <memory>

#include "database/CodeText.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tovanel;
    fuzz::FuzzInput input(data, size);
    auto frame = std::make_unique<CodeFrame>();
    auto back = std::make_unique<CodeFrame>();
    ClearFrame(*frame);
    ClearFrame(*back);
    std::string text;
    if (input.Take<uint8_t>() % 2 == 0) {
        ParseCodeText(std::string_view(input.Rest()), *frame);
        FUZZ_CHECK(frame->Count >= 0 && frame->Count <= MaxCodeTextDurations);
        FUZZ_CHECK(FormatCodeText(*frame, text));
        FUZZ_CHECK(text.size() <= size_t{CodeTextColumnSize});
        for (unsigned char c : text) FUZZ_CHECK(c >= 32 && c <= 127);
        ParseCodeText(std::string_view(text), *back);
        FUZZ_CHECK(back->Count == frame->Count);
        FUZZ_CHECK(back->Count == 0 || back->Period == frame->Period);
        for (int32_t i = 0; i < frame->Count; ++i) FUZZ_CHECK(back->Durations[i] == frame->Durations[i]);
        return 0;
    }
    frame->Period = input.Take<int32_t>();
    frame->Count = input.TakeInRange(-1, MaxCodeTextDurations + 1);
    for (int32_t i = 0; i < MaxDurations; ++i) frame->Durations[i] = input.Take<int32_t>();
    std::string error;
    if (!FormatCodeText(*frame, text, &error)) {
        FUZZ_CHECK(frame->Count > MaxCodeTextDurations && text.empty() && !error.empty());
        return 0;
    }
    ParseCodeText(std::string_view(text), *back);
    if (frame->Count <= 0) {
        FUZZ_CHECK(text.empty() && back->Count == 0);
        return 0;
    }
    FUZZ_CHECK(back->Count == frame->Count);
    const int64_t periodMs = frame->Period > 0 ? (int64_t{frame->Period} + 500) / 1000 : 0;
    FUZZ_CHECK(back->Period == NearestCodeTextValue(periodMs) * 1000);
    for (int32_t i = 0; i < frame->Count; ++i) FUZZ_CHECK(back->Durations[i] == NearestCodeTextValue(frame->Durations[i]));
    return 0;
}

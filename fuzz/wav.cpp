// The WAV reader on any bytes, and what it reads through the sound card's
// edge detector in the millisecond blocks tovanel-analyze uses. The last
// three bytes choose the detector's PulseTime and PulseLevel.
#include <algorithm>
#include <sstream>
#include <vector>

#include "capture/EdgeDetector.h"
#include "fuzz/FuzzInput.h"
#include "tools/analyze/WavInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tovanel::EdgeDetector;
    const size_t wavSize = size >= 3 ? size - 3 : size;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), wavSize));
    std::vector<int16_t> samples;
    std::string error;
    if (!tovanel::ReadWav(in, samples, error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    FUZZ_CHECK(samples.size() * 2 <= wavSize);
    tovanel::fuzz::FuzzInput settings(data + wavSize, size - wavSize);
    EdgeDetector detector([](uint32_t, const int32_t* d, int32_t n, const int16_t*, int32_t sampleCount) {
        FUZZ_CHECK(n >= 1 && n <= EdgeDetector::MaxPending);
        FUZZ_CHECK(sampleCount >= 0 && sampleCount <= EdgeDetector::MaxFrameSamples);
        for (int32_t i = 0; i < n; ++i) FUZZ_CHECK(d[i] > 0);
    });
    detector.SetPulseTime(settings.Take<uint16_t>() % 1001);  // 0 and 1000 at the edges of the range
    detector.SetPulseLevel(settings.Take<uint8_t>() % 101);
    constexpr size_t PerMs = EdgeDetector::SampleRate / 1000;
    for (size_t at = 0; at < samples.size(); at += PerMs)
        detector.DetectEdges(samples.data() + at, 2 * std::min(PerMs, samples.size() - at));
    const std::vector<int16_t> silence(PerMs * 20, samples.empty() ? int16_t{0} : samples.back());
    detector.DetectEdges(silence.data(), 2 * silence.size());
    return 0;
}

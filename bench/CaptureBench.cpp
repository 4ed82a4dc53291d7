// The sound card's edge detector in samples per second, and the serial
// frame thread's cost per edge.
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "capture/ComCapture.h"
#include "capture/EdgeDetector.h"
#include "capture/EdgeQueue.h"
#include "capture/FrameCutter.h"

namespace tovanel {
namespace {

// Input as a receiver delivers it: an NEC-like frame of 68 edges every
// 108 ms with noise, the rest silence.
std::vector<int16_t> ReceiverSignal(size_t samples) {
    std::vector<int16_t> s(samples);
    uint32_t seed = 1;
    auto noise = [&] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % 301) - 150;
    };
    std::vector<int> intervals{432, 216};
    for (int k = 0; k < 32; ++k) {
        intervals.push_back(27);
        intervals.push_back(k % 2 ? 81 : 27);
    }
    intervals.push_back(27);
    const size_t period = 5184;  // 108 ms
    for (size_t i = 0; i < samples; ++i) {
        const size_t t = i % period;
        size_t edge = 200;
        int level = -6000;
        for (int d : intervals) {
            if (t < edge) break;
            edge += static_cast<size_t>(d);
            level = -level;
        }
        if (t >= edge) level = -6000;
        s[i] = static_cast<int16_t>(level + noise());
    }
    return s;
}

void DetectEdges(benchmark::State& state, const std::vector<int16_t>& signal) {
    int64_t frames = 0;
    EdgeDetector detector([&frames](uint32_t, const int32_t*, int32_t, const int16_t*, int32_t) { ++frames; });
    constexpr size_t Block = 4096;
    size_t at = 0;
    for (auto _ : state) {
        detector.DetectEdges(signal.data() + at, Block * 2);
        at = (at + Block) % (signal.size() - Block);
    }
    benchmark::DoNotOptimize(frames);
    state.SetItemsProcessed(state.iterations() * int64_t{Block});
    state.counters["frames"] = static_cast<double>(frames);
}

void BM_DetectEdgesReceiverSignal(benchmark::State& state) { DetectEdges(state, ReceiverSignal(4096 * 64)); }

void BM_DetectEdgesNoiseOnly(benchmark::State& state) {
    std::vector<int16_t> s(4096 * 64);
    uint32_t seed = 7;
    for (int16_t& v : s) {
        seed = seed * 1103515245u + 12345u;
        v = static_cast<int16_t>(static_cast<int>((seed >> 16) % 2001) - 1000);
    }
    DetectEdges(state, s);
}

// Edge items of NEC frames with the gap between them.
std::vector<uint32_t> EdgeItems() {
    std::vector<uint32_t> items{EdgeIntervalMask};
    for (int k = 0; k < 34; ++k) {
        items.push_back((k == 0 ? 9000u : 560u) | EdgeMarkBit);
        items.push_back(k == 0 ? 4500u : (k % 2 ? 1690u : 560u));
    }
    items.back() = 40000;
    return items;
}

// The frame thread's work per edge, without waiting: through the queue and
// the frame rules into a sink.
void BM_ComFrameRulesPerEdge(benchmark::State& state) {
    const std::vector<uint32_t> items = EdgeItems();
    int64_t frames = 0;
    EdgeQueue queue;
    FrameCutter cutter([&frames](uint32_t, const int32_t*, int32_t) { ++frames; });
    size_t k = 0;
    for (auto _ : state) {
        queue.Push(items[k]);
        uint32_t item = 0;
        queue.Pop(item);
        cutter.Push(item & EdgeIntervalMask, (item & EdgeMarkBit) != 0);
        k = (k + 1) % items.size();
    }
    benchmark::DoNotOptimize(frames);
    state.SetItemsProcessed(state.iterations());
}

// A port that never changes: the edge thread just waits until stopped.
class QuietPort final : public SerialPort {
public:
    bool Open(const std::string&) override { return open_ = true; }
    bool IsOpen() const override { return open_; }
    void Close() override { open_ = false; }
    bool SetPower(bool) override { return true; }
    bool ReadLines(uint32_t& lines) override {
        lines = 0;
        return true;
    }
    Wait WaitForChange(ModemLine) override {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return stop_; });
        return Wait::Interrupted;
    }
    void Interrupt() override {
        std::lock_guard lock(mutex_);
        stop_ = true;
        cv_.notify_all();
    }

private:
    bool open_ = false, stop_ = false;
    std::mutex mutex_;
    std::condition_variable cv_;
};

// The whole hand-over, as the edge thread does it (push, set the eventfd)
// with the frame thread consuming on another core; per edge.
void BM_ComFrameThreadPerEdge(benchmark::State& state) {
    const std::vector<uint32_t> items = EdgeItems();
    std::atomic<int64_t> frames{0};
    CaptureSinks sinks;
    sinks.frame = [&frames](uint32_t, const int32_t*, int32_t, const int16_t*, int32_t) { ++frames; };
    ComCapture::Options o;
    o.port = std::make_unique<QuietPort>();
    auto event = std::make_unique<EventFdEvent>();
    EventFdEvent* wake = event.get();
    o.dataEvent = std::move(event);
    o.sleep = [](int) {};
    o.realtime = false;
    ComCapture com(sinks, std::move(o));
    if (!com.StartComCapture()) {
        state.SkipWithError("frame thread did not start");
        return;
    }
    size_t k = 0;
    for (auto _ : state) {
        while (!com.Queue().Push(items[k])) {
        }
        wake->Set();
        k = (k + 1) % items.size();
    }
    while (!com.Queue().Empty()) {
    }
    com.StopComCapture();
    state.SetItemsProcessed(state.iterations());
    state.counters["frames"] = static_cast<double>(frames.load());
}

BENCHMARK(BM_DetectEdgesReceiverSignal);
BENCHMARK(BM_DetectEdgesNoiseOnly);
BENCHMARK(BM_ComFrameRulesPerEdge);
BENCHMARK(BM_ComFrameThreadPerEdge)->UseRealTime();

}  // namespace
}  // namespace tovanel

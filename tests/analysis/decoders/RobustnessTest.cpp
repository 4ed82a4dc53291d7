// Every decoder on records it was never meant for: forced protocols on short
// frames, garbage durations, class tables and counts out of range. Reads and
// marks must stay inside the record's arrays (the sanitizer build checks
// each access); the input fields must come out untouched.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>

#include "analysis/Recognition.h"
#include "analysis/decoders/Dispatch.h"
#include "support/Frames.h"

namespace tovanel {
namespace {

using namespace test;

TEST(Robustness, DecodersOnGarbageRecords) {
    std::mt19937 rng(20261209);
    auto any = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
    auto f = NewFrame();
    for (int round = 0; round < 400; ++round) {
        for (int i = 0; i < MaxDurations; ++i) {
            f->Durations[i] = round % 2 ? any(0, 20000) : any(INT32_MIN, INT32_MAX);
            f->ClassIndex[i] = round % 3 ? any(0, 7) : any(-1000, 1000);
        }
        for (int k = 0; k < MaxClasses; ++k) {
            f->MarkMeans[k] = any(0, 10000);
            f->SpaceMeans[k] = any(0, 10000);
        }
        f->Count = round % 5 ? any(0, MaxDurations) : any(-10, 100000);
        f->MarkClassCount = any(-2, 12);
        f->SpaceClassCount = any(-2, 12);
        f->HasHeader = round % 2;
        f->SlotIndex = any(0, 9);
        const int32_t count = f->Count;
        for (int32_t p = 1; p < Protocol::Count; ++p) {
            const Decoder decode = DecoderFor(p);
            if (decode == nullptr) continue;
            std::memset(f->Flags, 0, sizeof f->Flags);
            f->Protocol = p;
            decode(*f);
            ASSERT_EQ(f->Count, count) << ProtocolName(p);
        }
    }
}

TEST(Robustness, ForcedProtocolsOnShortAndOddFrames) {
    const Durations frames[] = {
        {560, 560, 560},
        {9000, 4500, 560, 1690, 560},
        {2666, 889, 444, 444, 444, 889, 444},
        {417, 278, 167, 778, 167},
        {1, 2147483647, 1, 2147483647, 1},
        {100, 300, 100, 100, 100, 200, 100, 300, 100},
    };
    for (const Durations& d : frames) {
        for (int32_t m = 0; m <= Modulation::BiPhase; ++m) {
            for (int32_t p = 1; p < Protocol::Count; ++p) {
                for (int32_t slot : {0, 1}) {
                    auto a = Analyse(d, slot, m, p);
                    ASSERT_EQ(a->Count, static_cast<int32_t>(d.size()));
                    if (!a.decoded && a->Modulation != 0 && DecoderFor(p) != nullptr) {
                        EXPECT_EQ(a->Protocol, -1) << ProtocolName(p);
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace tovanel

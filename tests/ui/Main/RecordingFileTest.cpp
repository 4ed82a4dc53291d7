// "Open recording...": reading a file's first burst and playing it through
// the frame assembler as a receiver would.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "analysis/Recognition.h"
#include "capture/FrameAssembler.h"
#include "tests/support/Files.h"
#include "ui/Main/RecordingFile.h"

namespace tovanel::test {
namespace {

TEST(RecordingFileTest, GuessesTheFormatFromTheFirstBytes) {
    const std::pair<const char*, InputFormat> cases[] = {
        {"RIFF\x24\x08\0\0WAVEfmt ", InputFormat::Wav},
        {"Using driver default on device /dev/lirc0\npulse 9000\n", InputFormat::Mode2},
        {"# a comment\n\nspace 16777215\npulse 9000\n", InputFormat::Mode2},
        {"timeout 20000\n", InputFormat::Mode2},
        {"+9000 -4500 +560\n", InputFormat::Durations},
        {"# pulse 9000 in a comment\n9000 4500 560\n", InputFormat::Durations},
        {"", InputFormat::Durations},
        {"  }Zz-:t3H:d3p:(c(:$3x:\n$PPWz<:t\n", InputFormat::CodeText},
        {"\x89PNG\r\n\x1a\n\x01\x02garbage", InputFormat::Durations},
    };
    for (const auto& [head, format] : cases) EXPECT_EQ(GuessRecordingFormat(head), format) << head;
}

TEST(RecordingFileTest, ReadsTheFirstBurstOfEachFormat) {
    struct Case {
        const char* file;
        size_t frames;
        bool samples;
    };
    const Case cases[] = {
        {"nec-burst.mode2", 4, false},
        {"nec-burst.txt", 4, false},
        {"nec-burst.wav", 3, true},
        {"nec-burst.codes", 4, false},
        {"rc5-burst.txt", 2, false},
    };
    for (const Case& k : cases) {
        Recording r;
        std::string error;
        ASSERT_TRUE(ReadRecording(std::string(TOVANEL_SOURCE_DIR "/samples/") + k.file, 2, 10, r, error)) << error;
        EXPECT_EQ(r.frames.size(), k.frames) << k.file;
        EXPECT_EQ(r.frames[0].gap, 0u) << k.file;
        EXPECT_EQ(r.frames[0].samples.empty(), !k.samples) << k.file;
        EXPECT_GT(r.frames[1].gap, 30000u) << k.file;  // the pause between frames, µs
    }
}

TEST(RecordingFileTest, RefusesWhatIsNoRecording) {
    TempDir dir;
    const std::pair<std::string, const char*> cases[] = {
        {dir.File("picture.png", "\x89PNG\r\n\x1a\n\x01\x02garbage"), "is not a recording of IR frames: line 1:"},
        {dir.File("half.txt", "9000 4500 560\nnine thousand\n9000 4500 560 x\n"),
         "line 2: 'nine' is not a whole number (and 1 more bad lines)"},
        {dir.File("fake.wav", "RIFF1234WAVEjunk"), "is not a recording of IR frames:"},
        {dir.File("empty.mode2", "# nothing recorded\n"), "holds no IR frame"},
        {(dir.path / "missing.txt").string(), "Cannot open"},
    };
    for (const auto& [file, message] : cases) {
        Recording r;
        std::string error;
        EXPECT_FALSE(ReadRecording(file, 2, 10, r, error)) << file;
        EXPECT_NE(error.find(message), std::string::npos) << error;
        EXPECT_TRUE(r.frames.empty());
    }
}

// The sample of an NEC key held for three repeat codes, played into an
// assembler on the real clock: decoded as a receiver's burst would be.
TEST(RecordingFileTest, PlaysIntoTheAssemblerAsOneBurst) {
    Recording r;
    std::string error;
    ASSERT_TRUE(ReadRecording(TOVANEL_SOURCE_DIR "/samples/nec-burst.mode2", 2, 10, r, error)) << error;
    SharedFrameBuffer buffer;
    SharedDecodeSettings settings;
    std::atomic<int> notified{0};
    FrameAssembler assembler(buffer, settings, SteadyTickMs, [&](int32_t, bool) { ++notified; });
    RecordingPlayer player([&](uint32_t gap, const int32_t* d, int32_t n, const int16_t* s, int32_t sc) {
        assembler.SubmitFrame(gap, d, n, s, sc);
    });
    player.Start(std::move(r));
    for (int i = 0; i < 300 && notified < 4; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    player.Stop();
    ASSERT_EQ(notified, 4);
    auto snapshot = std::make_unique<FrameBuffer>();
    buffer.CopyTo(*snapshot);
    EXPECT_EQ(snapshot->FillCount, 4);
    EXPECT_EQ(snapshot->Slots[0].Protocol, Protocol::Nec);
    EXPECT_EQ(snapshot->Slots[0].Adr, 0xFB04u);
    EXPECT_EQ(snapshot->Slots[0].Cmd, 0x08u);
    for (int k = 1; k < 4; ++k) {
        EXPECT_TRUE(snapshot->Slots[k].IsRepeat) << k;
        EXPECT_NEAR(snapshot->Slots[k].Period, 108000, 1000) << k;
    }
}

TEST(RecordingFileTest, StoppingEndsThePlayAtOnce) {
    Recording r;
    r.frames = {{0, {9000, 4500, 560}, {}}, {5000000, {9000, 2250, 560}, {}}};
    int frames = 0;
    RecordingPlayer player([&](uint32_t, const int32_t*, int32_t, const int16_t*, int32_t) { ++frames; });
    const auto start = std::chrono::steady_clock::now();
    player.Start(r);
    player.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_LE(frames, 1);
    EXPECT_FALSE(player.Running());
}

}  // namespace
}  // namespace tovanel::test

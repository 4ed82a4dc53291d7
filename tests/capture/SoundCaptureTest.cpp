// The sound-card path: blocks from a scripted audio layer through the
// capture thread, its start failures and its end, and PortAudio on this
// machine, which has no sound card.
#include <gtest/gtest.h>

#include "capture/FrameAssembler.h"
#include "capture/SoundCapture.h"
#include "tests/capture/CaptureSupport.h"
#include "tests/capture/Fakes.h"

namespace tovanel {
namespace {

const char* const CantOpen =
    "Can't open the PortAudio capture stream: Default input device: fake failure.\n"
    "Device is busy or the PortAudio\nsubsystem is not properly installed";
const char* const CantStart = "Can't start PortAudio capture: fake failure";

struct SoundHarness {
    std::shared_ptr<test::AudioScript> audio = std::make_shared<test::AudioScript>();
    test::Recorder rec;
    std::unique_ptr<SoundCapture> sound;

    explicit SoundHarness(int stallMs = 0) {
        SoundCapture::Options o;
        o.input = std::make_unique<test::FakeAudio>(audio);
        o.stallMs = stallMs;
        sound = std::make_unique<SoundCapture>(rec.Sinks(), std::move(o));
    }
};

// Square wave: silent, then level changes after the given intervals, then
// silence up to a whole number of blocks.
std::vector<int16_t> Burst(const std::vector<int>& intervals, int blocks) {
    std::vector<int16_t> s(static_cast<size_t>(blocks) * SoundCapture::BlockSamples, -5000);
    size_t at = 2000;
    int16_t level = 5000;
    for (int d : intervals) {
        for (int k = 0; k < d; ++k) s[at++] = level;
        level = static_cast<int16_t>(-level);
    }
    return s;
}

TEST(SoundCapture, BlocksReachTheDetectorInOrderWhateverThePieces) {
    const std::vector<int> intervals{432, 216, 27, 27, 27, 81, 27};
    for (size_t piece : {size_t{4096}, size_t{1000}, size_t{37}, size_t{9000}}) {
        SoundHarness h;
        ASSERT_TRUE(h.sound->StartSoundCapture());
        h.audio->Deliver(Burst(intervals, 3), piece);
        ASSERT_TRUE(h.rec.WaitFrames(1)) << piece;
        h.sound->StopSoundCapture();
        const auto frames = h.rec.FramesSoFar();
        ASSERT_EQ(frames.size(), 1u);
        std::vector<int32_t> expected;
        for (int d : intervals) expected.push_back(d * 1000 / 48);
        EXPECT_EQ(frames[0].durations, expected) << piece;
        EXPECT_FALSE(h.audio->open);
    }
}

TEST(SoundCapture, DeviceIndexPicksAListEntryOrTheDefault) {
    struct Case {
        int32_t index;
        int opened;
    } cases[] = {{0, 0}, {2, 2}, {3, -1}, {-1, -1}, {1000, -1}};
    for (const Case& c : cases) {
        SoundHarness h;
        h.sound->SetDeviceIndex(c.index);
        ASSERT_TRUE(h.sound->StartSoundCapture());
        EXPECT_EQ(h.audio->openedIndex, c.opened) << c.index;
        h.sound->StopSoundCapture();
    }
}

TEST(SoundCapture, StartFailuresShowTheirMessageAndReleaseEverything) {
    struct Case {
        const char* message;
        bool failOpen, failWatch;
        double rate;
    } cases[] = {
        {CantOpen, true, false, 48000},
        {"Can't create the PortAudio capture buffer: Default input device runs at 44100 Hz, not 48000 Hz", false,
         false, 44100},
        {"Query PortAudio stream notification failed: fake failure", false, true, 48000},
    };
    for (const Case& c : cases) {
        SoundHarness h;
        h.audio->failOpen = c.failOpen;
        h.audio->failWatch = c.failWatch;
        h.audio->rate = c.rate;
        const test::Resources before;
        EXPECT_FALSE(h.sound->StartSoundCapture());
        EXPECT_EQ(h.rec.Errors(), std::vector<std::string>{c.message});
        EXPECT_FALSE(h.audio->open);
        EXPECT_FALSE(h.sound->Running());
        EXPECT_EQ(test::Resources(), before) << c.message;
    }
}

TEST(SoundCapture, FailureToStartIsShownOncePerRunOfFailures) {
    SoundHarness h;
    h.audio->failStart = true;
    EXPECT_FALSE(h.sound->StartSoundCapture());
    EXPECT_FALSE(h.sound->StartSoundCapture());
    EXPECT_EQ(h.rec.Errors(), std::vector<std::string>{CantStart});
    EXPECT_FALSE(h.audio->open);
    h.audio->failStart = false;
    EXPECT_TRUE(h.sound->StartSoundCapture());
    h.sound->StopSoundCapture();
    h.audio->failStart = true;
    EXPECT_FALSE(h.sound->StartSoundCapture());
    EXPECT_EQ(h.rec.Errors(), (std::vector<std::string>{CantStart, CantStart}));
}

TEST(SoundCapture, StreamThatEndsOrGoesSilentEndsCaptureWithAMessage) {
    struct Case {
        const char* name;
        int stallMs;
        bool endStream;
    } cases[] = {{"the stream ended", 0, true}, {"no more blocks", 50, false}};
    for (const Case& c : cases) {
        SoundHarness h(c.stallMs);
        ASSERT_TRUE(h.sound->StartSoundCapture());
        if (c.endStream) {
            std::lock_guard lock(h.audio->mutex);
            h.audio->ended();
        }
        ASSERT_TRUE(h.rec.WaitLost()) << c.name;
        EXPECT_EQ(h.rec.Errors(), std::vector<std::string>{"Capture stopped: the sound device is gone: Default input device"});
        h.sound->StopSoundCapture();
        EXPECT_FALSE(h.audio->open);
    }
}

TEST(SoundCapture, StopIsHarmlessWhenNothingRuns) {
    SoundHarness h;
    h.sound->StopSoundCapture();
    h.sound->StopSoundCapture();
    EXPECT_TRUE(h.rec.Errors().empty());
}

TEST(SoundCaptureOnThisMachine, PortAudioWithoutASoundCardFailsCleanly) {
    test::Recorder rec;
    SoundCapture sound(rec.Sinks());
    const std::vector<std::string> devices = sound.RefreshDevices();
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(devices[0], "Default input device");
    const test::Resources before;
    if (sound.StartSoundCapture()) {
        // A machine with a sound input: it runs, and stops cleanly.
        sound.StopSoundCapture();
    } else {
        // PortAudio's own reason after the device.
        ASSERT_EQ(rec.Errors().size(), 1u);
        EXPECT_EQ(rec.Errors()[0].rfind("Can't open the PortAudio capture stream: Default input device: ", 0), 0u)
            << rec.Errors()[0];
    }
    EXPECT_FALSE(sound.Running());
    EXPECT_EQ(test::Resources(), before);
    sound.StopSoundCapture();
}

}  // namespace
}  // namespace tovanel

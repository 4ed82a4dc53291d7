// The capture settings in the settings file, and the receiver switch.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "capture/Setup/AppPaths.h"
#include "capture/Setup/CaptureConfig.h"
#include "capture/Setup/CaptureSources.h"
#include "capture/UsbDecoding.h"
#include "tests/capture/CaptureSupport.h"
#include "tests/capture/Fakes.h"
#include "support/Files.h"

namespace tovanel {
namespace {

namespace fs = std::filesystem;

// The settings file of a test, in a folder of its own.
struct IniDir : test::TempDir {
    const std::filesystem::path& dir = path;
    std::string Write(const std::string& content) const { return File("tovanel.ini", content); }
    std::string Read() const { return TempDir::Read("tovanel.ini"); }
};

CaptureConfig Load(const std::string& path) {
    CaptureConfig c;
    LoadCaptureConfig(IniFile(path), c);
    return c;
}

TEST(CaptureConfig, MissingFileGivesTheDefaults) {
    IniDir d;
    const std::string path = (d.dir / "none.ini").string();
    const CaptureConfig c = Load(path);
    EXPECT_EQ(c.CaptureSource, Source::Com);
    EXPECT_EQ(c.Com, 2);
    EXPECT_TRUE(c.DualPower);
    EXPECT_EQ(c.SignalSource, 0);
    EXPECT_EQ(c.DeviceIndex, 0);
    EXPECT_EQ(c.PulseTime, 2);
    EXPECT_EQ(c.PulseLevel, 10);
    EXPECT_EQ(c.ComDevice, "");
    EXPECT_EQ(c.LircDevice, "/dev/lirc0");
    EXPECT_EQ(DatabaseConnectionString(IniFile(path)), "FILE NAME=" + ExecutableDir() + "/tovanel.dsn");
}

TEST(CaptureConfig, SourceNamesMatchExactly) {
    struct Case {
        const char* text;
        int32_t source;
    } cases[] = {{"COM", Source::Com},       {"Sound", Source::Sound}, {"USB", Source::IgorPlug},
                 {"USB2", Source::IgorPlug2}, {"LIRC", Source::Lirc},   {"usb", Source::Com},
                 {"Usb", Source::Com},        {"sound", Source::Com},   {"lirc", Source::Com},
                 {"USB3", Source::Com},       {"", Source::Com}};
    for (const Case& c : cases) {
        IniDir d;
        EXPECT_EQ(Load(d.Write(std::string("[Setup]\nSource=") + c.text + "\n")).CaptureSource, c.source)
            << c.text;
    }
    // A wrong name keeps what was chosen before, not the default.
    IniDir d;
    CaptureConfig c;
    c.CaptureSource = Source::Sound;
    LoadCaptureConfig(IniFile(d.Write("[setup]\nsource=Usb\n")), c);
    EXPECT_EQ(c.CaptureSource, Source::Sound);
}

TEST(CaptureConfig, GarbageAndMissingKeysKeepTheDefaultsAndRangesAreClamped) {
    IniDir d;
    const CaptureConfig c = Load(d.Write("[Sound]\nDeviceIndex=two\nPulseTime=0\nPulseLevel=250\n"
                                         "[COM]\nCOM=\nDualPower=yes\nSignalSource=7\nDevice=/dev/ttyUSB0\n"
                                         "[LIRC]\nDevice=\n"));
    EXPECT_EQ(c.DeviceIndex, 0);
    EXPECT_EQ(c.PulseTime, 1);
    EXPECT_EQ(c.PulseLevel, 100);
    EXPECT_EQ(c.Com, 2);
    EXPECT_TRUE(c.DualPower);
    EXPECT_EQ(c.SignalSource, 7);  // not range-checked: it selects DCD
    EXPECT_EQ(c.ComDevice, "/dev/ttyUSB0");
    EXPECT_EQ(c.LircDevice, "/dev/lirc0");
    const CaptureConfig big = Load(d.Write("[Sound]\nPulseTime=5000\nPulseLevel=-4\n[COM]\nDualPower=0\n"));
    EXPECT_EQ(big.PulseTime, 1000);
    EXPECT_EQ(big.PulseLevel, 1);
    EXPECT_FALSE(big.DualPower);
}

TEST(CaptureConfig, WritesTheKeysInTheirOrderAndKeepsTheRest) {
    IniDir d;
    const std::string path = d.Write("; my settings\n[Setup]\nDB=Driver=QSQLITE;Database=codes.db\n");
    CaptureConfig c;
    c.CaptureSource = Source::IgorPlug2;
    c.PulseTime = 4;
    c.DualPower = false;
    c.Com = 3;
    IniFile ini(path);
    SaveCaptureConfig(ini, c);
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(d.Read(),
              "; my settings\n[Setup]\nDB=Driver=QSQLITE;Database=codes.db\nSource=USB2\n\n"
              "[Sound]\nPulseTime=4\nPulseLevel=10\nDeviceIndex=0\n\n"
              "[COM]\nCOM=3\nDualPower=0\nSignalSource=0\n\n"
              "[LIRC]\nDevice=/dev/lirc0\n");
    const CaptureConfig back = Load(path);
    EXPECT_EQ(back.CaptureSource, Source::IgorPlug2);
    EXPECT_EQ(back.PulseTime, 4);
    EXPECT_EQ(back.Com, 3);
    EXPECT_FALSE(back.DualPower);
    EXPECT_EQ(DatabaseConnectionString(IniFile(path)), "Driver=QSQLITE;Database=codes.db");
}

// ---- the receiver switch -----------------------------------------------------

struct Sources {
    std::shared_ptr<test::AudioScript> audio = std::make_shared<test::AudioScript>();
    std::shared_ptr<test::PortScript> port = std::make_shared<test::PortScript>();
    std::shared_ptr<test::LircScript> lirc = std::make_shared<test::LircScript>();
    std::unique_ptr<SharedFrameBuffer> buffer = std::make_unique<SharedFrameBuffer>();
    SharedDecodeSettings settings;
    std::vector<int32_t> notes;
    FrameAssembler assembler{*buffer, settings, SteadyTickMs,
                             [this](int32_t slot, bool) { notes.push_back(slot); }};
    test::Recorder rec;
    std::unique_ptr<CaptureSources> sources;

    Sources() {
        CaptureSources::Backends b;
        b.audio = std::make_unique<test::FakeAudio>(audio);
        b.serial = std::make_unique<test::FakePort>(port);
        b.lirc = std::make_unique<test::FakeLirc>(lirc);
        b.usbLibraries = {FAKE_IGORUSB};
        b.sleep = [](int) {};
        b.realtime = false;
        b.soundStallMs = 0;
        CaptureSinks sinks = rec.Sinks();
        sinks.frame = nullptr;  // frames go to the assembler
        sources = std::make_unique<CaptureSources>(assembler, *buffer, sinks, std::move(b));
    }
    void Select(int32_t source) {
        CaptureConfig c = sources->Config();
        c.CaptureSource = source;
        sources->SetConfig(c);
    }
};

TEST(CaptureSources, StartStopsWhatRunsEmptiesTheBufferAndStartsTheSelection) {
    Sources s;
    s.Select(Source::Lirc);
    ASSERT_TRUE(s.sources->StartSource());
    s.lirc->Words({0x01000000u | 560, 40000});
    ASSERT_TRUE(s.lirc->WaitIdle());
    EXPECT_EQ(s.buffer->FillCount(), 1);
    EXPECT_FALSE(s.sources->StatusTimerOn());

    s.Select(Source::Sound);
    ASSERT_TRUE(s.sources->StartSource());
    EXPECT_FALSE(s.lirc->open);  // the running receiver was stopped first
    EXPECT_TRUE(s.audio->open);
    EXPECT_EQ(s.buffer->FillCount(), 0);
    EXPECT_EQ(s.assembler.CaptureSource(), Source::Sound);
    EXPECT_TRUE(s.sources->StatusTimerOn());

    s.Select(Source::Com);
    ASSERT_TRUE(s.sources->StartSource());
    EXPECT_FALSE(s.audio->open);
    EXPECT_TRUE(s.port->open);
    EXPECT_FALSE(s.sources->StatusTimerOn());
    s.sources->StopSource();
    EXPECT_FALSE(s.port->open);
    EXPECT_EQ(s.sources->RunningSource(), 0);
    s.sources->StopSource();  // harmless
    EXPECT_TRUE(s.rec.Errors().empty());
}

TEST(CaptureSources, SwitchingUsbReceiversReleasesTheLibraryAndRewritesTheStatus) {
    Sources s;
    s.Select(Source::IgorPlug);
    ASSERT_TRUE(s.sources->StartSource());
    EXPECT_EQ(s.assembler.CaptureSource(), Source::IgorPlug);
    const auto until = std::chrono::steady_clock::now() + test::HangGuard;
    while (s.sources->Usb().UsbStatus() != 2 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(s.sources->TakeUsbStatusLabel(), std::optional<std::string>("Status: no data"));
    EXPECT_EQ(s.sources->TakeUsbStatusLabel(), std::nullopt);  // unchanged: not rewritten

    s.Select(Source::IgorPlug2);
    ASSERT_TRUE(s.sources->StartSource());
    EXPECT_TRUE(s.sources->Usb().LibraryLoaded());
    EXPECT_EQ(s.assembler.CaptureSource(), Source::IgorPlug2);
    // The same status after a stop and a start is shown again.
    EXPECT_EQ(s.sources->TakeUsbStatusLabel(), std::optional<std::string>("Status: no data"));
    s.sources->StopSource();
    EXPECT_FALSE(s.sources->Usb().LibraryLoaded());
}

TEST(CaptureSources, LevelMeterShowsPercentOfFullScaleAndClears) {
    Sources s;
    std::vector<int16_t> step(100, -16384);
    for (size_t i = 50; i < step.size(); ++i) step[i] = 16384;
    s.sources->Sound().Detector().DetectEdges(step.data(), step.size() * 2);
    EXPECT_EQ(s.sources->TakeLevelPercent(), 50);
    EXPECT_EQ(s.sources->TakeLevelPercent(), 0);
}

TEST(CaptureSources, DetectorParametersChangeAtOnceAndAreClamped) {
    Sources s;
    s.sources->SetPulseTime(12);
    s.sources->SetPulseLevel(0);
    EXPECT_EQ(s.sources->Sound().Detector().PulseTime(), 12);
    EXPECT_EQ(s.sources->Sound().Detector().PulseLevel(), 1);
    EXPECT_EQ(s.sources->Config().PulseLevel, 1);
}

TEST(CaptureSources, FailedStartReportsOnceAndLeavesNothingRunning) {
    Sources s;
    s.port->failOpen = true;
    EXPECT_FALSE(s.sources->StartSource());
    EXPECT_EQ(s.rec.Errors(), std::vector<std::string>{"Can't open COM port /dev/ttyS1: fake failure"});
    EXPECT_FALSE(s.sources->Com().Running());
    s.sources->StopAll();
}

}  // namespace
}  // namespace tovanel

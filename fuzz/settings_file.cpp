// The settings file reader on any file, and a saved setting reads back:
// the receivers' settings written into whatever the file held come out of
// the written file as they went in. The first bytes give the settings, the
// rest is the file.
#include <fstream>

#include "capture/Setup/CaptureConfig.h"
#include "capture/Setup/IniFile.h"
#include "fuzz/FuzzInput.h"

namespace {

// A value the LIRC device key can hold: a path without blanks at its ends.
std::string DevicePath(tovanel::fuzz::FuzzInput& input) {
    std::string path = "/dev/";
    for (char c : input.TakeString(16)) path += "abcdefghijklmnopqrstuvwxyz0123456789_./"[static_cast<uint8_t>(c) % 39];
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tovanel;
    static const std::string file = [] {
        const std::string dir = fuzz::ScratchFolder();
        return dir + "/tovanel.ini";
    }();
    fuzz::FuzzInput input(data, size);
    CaptureConfig saved;
    saved.CaptureSource = input.TakeInRange(Source::Com, Source::Lirc);
    saved.DeviceIndex = input.Take<int32_t>();
    saved.PulseTime = input.TakeInRange(1, 1000);
    saved.PulseLevel = input.TakeInRange(1, 100);
    saved.Com = input.Take<int32_t>();
    saved.DualPower = input.TakeBool();
    saved.SignalSource = input.Take<int32_t>();
    saved.LircDevice = DevicePath(input);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << input.Rest();

    IniFile ini(file);
    CaptureConfig read;
    LoadCaptureConfig(ini, read);
    FUZZ_CHECK(read.PulseTime >= 1 && read.PulseTime <= 1000 && read.PulseLevel >= 1 && read.PulseLevel <= 100);
    (void)DatabaseConnectionString(ini);

    SaveCaptureConfig(ini, saved);
    std::string error;
    FUZZ_CHECK(ini.Save(&error));
    CaptureConfig again;
    LoadCaptureConfig(IniFile(file), again);
    FUZZ_CHECK(again.CaptureSource == saved.CaptureSource);
    FUZZ_CHECK(again.DeviceIndex == saved.DeviceIndex);
    FUZZ_CHECK(again.PulseTime == saved.PulseTime);
    FUZZ_CHECK(again.PulseLevel == saved.PulseLevel);
    FUZZ_CHECK(again.Com == saved.Com);
    FUZZ_CHECK(again.DualPower == saved.DualPower);
    FUZZ_CHECK(again.SignalSource == saved.SignalSource);
    FUZZ_CHECK(again.LircDevice == saved.LircDevice);
    return 0;
}

#include "capture/Setup/CaptureConfig.h"

#include <algorithm>
#include <cstdlib>

#include "capture/EdgeDetector.h"
#include "capture/Setup/AppPaths.h"

namespace tovanel {

namespace {

constexpr const char* SourceNames[] = {"COM", "Sound", "USB", "USB2", "LIRC"};

}  // namespace

std::string SourceName(int32_t source) {
    if (source < Source::Com || source > Source::Lirc) return "";
    return SourceNames[source - Source::Com];
}

std::optional<int32_t> SourceFromName(const std::string& text) {
    for (int32_t s = Source::Com; s <= Source::Lirc; ++s)
        if (text == SourceNames[s - Source::Com]) return s;
    return std::nullopt;
}

void LoadCaptureConfig(const IniFile& ini, CaptureConfig& c) {
    if (auto text = ini.Get("Setup", "Source"))
        if (auto source = SourceFromName(*text)) c.CaptureSource = *source;
    c.DeviceIndex = ini.GetInt("Sound", "DeviceIndex", c.DeviceIndex);
    c.PulseTime = std::clamp(ini.GetInt("Sound", "PulseTime", c.PulseTime), EdgeDetector::MinPulseTime,
                             EdgeDetector::MaxPulseTime);
    c.PulseLevel = std::clamp(ini.GetInt("Sound", "PulseLevel", c.PulseLevel), EdgeDetector::MinPulseLevel,
                              EdgeDetector::MaxPulseLevel);
    c.Com = ini.GetInt("COM", "COM", c.Com);
    c.DualPower = ini.GetBool("COM", "DualPower", c.DualPower);
    c.SignalSource = ini.GetInt("COM", "SignalSource", c.SignalSource);
    c.ComDevice = ini.GetString("COM", "Device", c.ComDevice);
    c.LircDevice = ini.GetString("LIRC", "Device", c.LircDevice);
    if (c.LircDevice.empty()) c.LircDevice = CaptureConfig{}.LircDevice;
    c.LircTransmitDevice = ini.GetString("LIRC", "TransmitDevice", c.LircTransmitDevice);
    if (c.LircTransmitDevice.empty()) c.LircTransmitDevice = CaptureConfig{}.LircTransmitDevice;
}

void SaveCaptureConfig(IniFile& ini, const CaptureConfig& c) {
    const std::string source = SourceName(c.CaptureSource);
    ini.Set("Setup", "Source", source.empty() ? SourceName(Source::Com) : source);
    ini.SetInt("Sound", "PulseTime", c.PulseTime);
    ini.SetInt("Sound", "PulseLevel", c.PulseLevel);
    ini.SetInt("Sound", "DeviceIndex", c.DeviceIndex);
    ini.SetInt("COM", "COM", c.Com);
    ini.SetBool("COM", "DualPower", c.DualPower);
    ini.SetInt("COM", "SignalSource", c.SignalSource);
    ini.Set("LIRC", "Device", c.LircDevice);
}

IniFile LoadSettingsFile(std::string& warning) {
    IniFile ini(SettingsFilePath());
    warning.clear();
    if (!ini.ReadError().empty())
        warning = "the settings file " + ini.Path() + " cannot be read (" + ini.ReadError() + "); using the defaults";
    else if (!ini.Exists() && std::getenv("TOVANEL_INI") != nullptr && *std::getenv("TOVANEL_INI") != '\0')
        warning = "the settings file " + ini.Path() + " named by TOVANEL_INI does not exist; using the defaults";
    return ini;
}

std::string DatabaseConnectionString(const IniFile& ini) {
    return ini.GetString("Setup", "DB", "FILE NAME=" + MainPathWithExtension(".dsn"));
}

}  // namespace tovanel

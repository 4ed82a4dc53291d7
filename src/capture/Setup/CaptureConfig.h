// The receiver selection and the receivers' parameters, as the settings
// file keeps them:
//
//   [Setup]  Source=COM|Sound|USB|USB2|LIRC   (DB: the database's, not here)
//   [Sound]  DeviceIndex, PulseTime, PulseLevel
//   [COM]    COM, DualPower, SignalSource, and optionally Device
//   [LIRC]   Device, TransmitDevice
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "capture/FrameAssembler.h"
#include "capture/Setup/IniFile.h"

namespace tovanel {

struct CaptureConfig {
    int32_t CaptureSource = Source::Com;
    int32_t DeviceIndex = 0;
    int32_t PulseTime = 2;
    int32_t PulseLevel = 10;
    int32_t Com = 2;
    bool DualPower = true;
    int32_t SignalSource = 0;
    std::string ComDevice;  // "COM"/"Device": opened instead of /dev/ttyS{COM-1}
    std::string LircDevice = "/dev/lirc0";
    // The IR transmitter the transmit list is sent through.
    std::string LircTransmitDevice = "/dev/lirc0";
};

// "COM", "Sound", "USB", "USB2", "LIRC" for sources 1..5; empty otherwise.
std::string SourceName(int32_t source);
// The source whose name is exactly `text` (letter case counts).
std::optional<int32_t> SourceFromName(const std::string& text);

// Reads every key; a missing key or an unreadable value keeps the value
// `config` holds, and so does a "Source" that names no receiver exactly.
// PulseTime and PulseLevel outside 1..1000 and 1..100 are clamped into them.
void LoadCaptureConfig(const IniFile& ini, CaptureConfig& config);
// Writes, in this order: Source, PulseTime, PulseLevel, DeviceIndex, COM,
// DualPower, SignalSource, then the LIRC device. "DB", "COM"/"Device" and
// "LIRC"/"TransmitDevice" (which no dialog changes) are left as they are.
void SaveCaptureConfig(IniFile& ini, const CaptureConfig& config);

// The settings file the programs read, SettingsFilePath(). `warning` tells
// when it exists but cannot be read (it then counts as missing) or when
// $TOVANEL_INI names a file that does not exist; otherwise it is empty.
IniFile LoadSettingsFile(std::string& warning);

// "Setup"/"DB", by default "FILE NAME=" and the main executable's path with
// the extension ".dsn".
std::string DatabaseConnectionString(const IniFile& ini);

}  // namespace tovanel

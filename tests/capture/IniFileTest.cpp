// The settings file format: reading, defaults for garbage, writing in place.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "capture/Setup/IniFile.h"
#include "support/Files.h"

namespace tovanel {
namespace {

namespace fs = std::filesystem;

using test::TempDir;

TEST(IniFile, ReadsSectionsKeysAndTypes) {
    TempDir dir;
    IniFile ini(dir.File("a.ini", "; comment\n[Setup]\r\nSource = Sound\r\nDB=Driver=QSQLITE;Database=x.db\n"
                                  "[COM]\ncom=5\nDualPower=0\nSignalSource=2junk\nBig=99999999999\n"
                                  "Neg=-3\nEmpty=\n"));
    EXPECT_EQ(ini.GetString("setup", "SOURCE", "COM"), "Sound");
    EXPECT_EQ(ini.GetString("Setup", "DB", ""), "Driver=QSQLITE;Database=x.db");
    EXPECT_EQ(ini.GetInt("COM", "COM", 2), 5);
    EXPECT_FALSE(ini.GetBool("COM", "DualPower", true));
    EXPECT_EQ(ini.GetInt("COM", "SignalSource", 0), 0);  // unreadable: the default
    EXPECT_EQ(ini.GetInt("COM", "Big", 7), 7);
    EXPECT_EQ(ini.GetInt("COM", "Neg", 7), -3);
    EXPECT_EQ(ini.GetInt("COM", "Empty", 7), 7);
    EXPECT_TRUE(ini.GetBool("COM", "Neg", false));
    EXPECT_TRUE(ini.GetBool("COM", "Missing", true));
    EXPECT_EQ(ini.GetString("Sound", "DeviceIndex", "none"), "none");
}

TEST(IniFile, AByteOrderMarkDoesNotHideTheFirstSection) {
    TempDir dir;
    IniFile ini(dir.File("bom.ini", "\xEF\xBB\xBF[Setup]\r\nSource=Sound\r\n"));
    EXPECT_EQ(ini.GetString("Setup", "Source", "COM"), "Sound");
}

TEST(IniFile, MissingFileIsEmpty) {
    IniFile ini("/dev/null/dir/tovanel.ini");
    EXPECT_FALSE(ini.Get("Setup", "DB").has_value());
    std::string error;
    EXPECT_FALSE(ini.Save(&error));
    EXPECT_NE(error.find("/dev/null/dir/tovanel.ini"), std::string::npos);
}

TEST(IniFile, WritesInPlaceAndKeepsEverythingElse) {
    TempDir dir;
    const std::string path = dir.File("b.ini", "; keep me\n[Setup]\nDB=old\nSource=COM\n\n[Other]\nx=1\n");
    IniFile ini(path);
    ini.Set("Setup", "Source", "USB");
    ini.SetInt("Sound", "PulseTime", 4);
    ini.SetBool("COM", "DualPower", true);
    ini.Set("other", "y", "2");
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(TempDir::ReadFile(path),
              "; keep me\n[Setup]\nDB=old\nSource=USB\n\n[Other]\nx=1\ny=2\n\n[Sound]\nPulseTime=4\n\n"
              "[COM]\nDualPower=1\n");
    IniFile again(path);
    EXPECT_EQ(again.GetInt("Sound", "PulseTime", 0), 4);
    EXPECT_TRUE(again.GetBool("COM", "DualPower", false));
}

TEST(IniFile, SaveCreatesTheFolder) {
    TempDir dir;
    const std::string path = (dir.path / "sub" / "tovanel.ini").string();
    IniFile ini(path);
    ini.Set("Setup", "Source", "LIRC");
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(IniFile(path).GetString("Setup", "Source", ""), "LIRC");
}

}  // namespace
}  // namespace tovanel

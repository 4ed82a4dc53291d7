// The settings file format: reading, defaults for garbage, writing in place.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

#include "capture/Setup/CaptureConfig.h"
#include "capture/Setup/IniFile.h"
#include "capture/Setup/SmallFile.h"
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

TEST(IniFile, OnlyRegularFilesOfAtMostOneMebibyteAreRead) {
    TempDir dir;
    const std::string fifo = (dir.path / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = dir.File("big.ini", "[Setup]\nSource=Sound\n" + std::string(MaxSmallFileBytes, ';'));
    struct Case {
        std::string path;
        const char* reason;
    } cases[] = {
        {"/dev/zero", "not a regular file"},
        {fifo, "not a regular file"},  // never opened, so never waited on
        {dir.path.string(), "a folder"},
        {big, "larger than 1 MiB"},
    };
    for (const Case& c : cases) {
        const IniFile ini(c.path);
        EXPECT_TRUE(ini.Exists()) << c.path;
        EXPECT_EQ(ini.ReadError(), c.reason) << c.path;
        EXPECT_FALSE(ini.Get("Setup", "Source")) << c.path;
    }
    // What could not be read is not replaced by the little that was.
    IniFile ini(big);
    ini.Set("Setup", "Source", "COM");
    std::string error;
    EXPECT_FALSE(ini.Save(&error));
    EXPECT_NE(error.find("could not be read (larger than 1 MiB)"), std::string::npos) << error;
    EXPECT_EQ(fs::file_size(big), 21 + MaxSmallFileBytes);

    // The programs say so, and go on with the defaults as without a file.
    struct Named {
        std::string path;
        const char* warning;
    } named[] = {
        {(dir.path / "missing.ini").string(), "named by TOVANEL_INI does not exist; using the defaults"},
        {dir.path.string(), "cannot be read (a folder); using the defaults"},
        {dir.File("fine.ini", "[Setup]\nSource=Sound\n"), ""},
    };
    for (const Named& n : named) {
        ::setenv("TOVANEL_INI", n.path.c_str(), 1);
        std::string warning;
        LoadSettingsFile(warning);
        if (*n.warning == '\0')
            EXPECT_EQ(warning, "");
        else
            EXPECT_NE(warning.find(n.path + " " + n.warning), std::string::npos) << warning;
    }
    ::unsetenv("TOVANEL_INI");
}

}  // namespace
}  // namespace tovanel

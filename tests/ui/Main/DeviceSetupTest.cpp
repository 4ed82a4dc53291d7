// The setup dialog's logic: which changes restart the receiver, what the
// settings file holds after a hide, and the status timer's texts.
#include <gtest/gtest.h>

#include <functional>

#include "tests/ui/Main/UiTestSupport.h"
#include "ui/Main/DeviceSetup.h"

namespace tovanel::test {
namespace {

class DeviceSetupTest : public testing::Test {
protected:
    TempDir dir;
    ScriptedCapture capture;
    int reapplied = 0;
    DeviceSetup setup{capture, (dir.path / "tovanel.ini").string(), [this] { ++reapplied; }};
};

TEST_F(DeviceSetupTest, RestartsOnShowSourceDeviceAndApplyOnly) {
    struct Case {
        const char* what;
        std::function<void(DeviceSetup&)> steps;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"show", [](DeviceSetup& s) { s.Show(); }, {"start COM"}},
        {"source while hidden", [](DeviceSetup& s) { s.SelectSource(Source::Sound); }, {}},
        {"source while shown",
         [](DeviceSetup& s) {
             s.Show();
             s.SelectSource(Source::IgorPlug2);
         },
         {"start COM", "stop", "start USB2"}},
        {"serial settings wait for Apply",
         [](DeviceSetup& s) {
             s.Show();
             s.SetCom(5);
             s.SetSignalSource(2);
             s.SetDualPower(false);
             s.Apply();
         },
         {"start COM", "stop", "start COM"}},
        {"sound device",
         [](DeviceSetup& s) {
             s.SelectSource(Source::Sound);
             s.Show();
             s.SetDeviceIndex(1);
             s.SetPulseTime(7);
         },
         {"start Sound", "stop", "start Sound"}},
        {"LIRC device", [](DeviceSetup& s) {
             s.SelectSource(Source::Lirc);
             s.Show();
             s.SetLircDevice("/dev/lirc1");
             s.SetLircDevice("/dev/lirc1");
         },
         {"start LIRC", "stop", "start LIRC"}},
        {"hide", [](DeviceSetup& s) {
             s.Show();
             s.Hide();
         },
         {"start COM", "stop"}},
    };
    for (const Case& k : cases) {
        ScriptedCapture fresh;
        DeviceSetup s(fresh, (dir.path / "case.ini").string(), nullptr);
        k.steps(s);
        EXPECT_EQ(fresh.log, k.log) << k.what;
    }
}

TEST_F(DeviceSetupTest, HideWritesTheSettingsInOrderAndHandsRecordBack) {
    dir.File("tovanel.ini", "[Setup]\nDB=Driver=QSQLITE;Database=codes.db\n");
    EXPECT_EQ(setup.Create(), "Driver=QSQLITE;Database=codes.db");
    setup.Show();
    setup.SelectSource(Source::Sound);
    setup.SetPulseLevel(25);
    setup.SetCom(4);
    ASSERT_TRUE(setup.Hide());
    EXPECT_EQ(reapplied, 1);
    EXPECT_EQ(dir.Read("tovanel.ini"),
              "[Setup]\nDB=Driver=QSQLITE;Database=codes.db\nSource=Sound\n\n"
              "[Sound]\nPulseTime=2\nPulseLevel=25\nDeviceIndex=0\n\n"
              "[COM]\nCOM=4\nDualPower=1\nSignalSource=0\n\n"
              "[LIRC]\nDevice=/dev/lirc0\n");
}

TEST_F(DeviceSetupTest, ApplyIsEnabledByEachSerialChange) {
    EXPECT_TRUE(setup.Create().rfind("FILE NAME=", 0) == 0);
    EXPECT_TRUE(setup.ApplyEnabled());  // double power is on by default
    setup.Apply();
    EXPECT_FALSE(setup.ApplyEnabled());
    setup.SetSignalSource(3);
    EXPECT_TRUE(setup.ApplyEnabled());
    EXPECT_EQ(setup.Config().SignalSource, 3);
}

TEST_F(DeviceSetupTest, StatusTimerShowsLevelOrNewUsbStatus) {
    capture.level = 50;
    capture.usbLabel = "Status: no device";
    EXPECT_EQ(setup.StatusTimerTimer().level, std::nullopt);  // serial port: nothing
    setup.SelectSource(Source::Sound);
    EXPECT_EQ(setup.StatusTimerTimer().level, "50");
    setup.SelectSource(Source::IgorPlug);
    EXPECT_EQ(setup.StatusTimerTimer().usbStatus, "Status: no device");
    EXPECT_EQ(setup.StatusTimerTimer().usbStatus, std::nullopt);
}

// Opening the dialog while recording restarts capture once; closing it
// restarts it once more through the Record state.
TEST(DeviceSetupWithRecord, ShowAndHideWhileRecording) {
    ScriptedCapture capture;
    SharedFrameBuffer buffer;
    SharedDecodeSettings settings;
    MainController controller(capture, buffer, settings);
    controller.FormCreate();
    TempDir dir;
    DeviceSetup setup(capture, (dir.path / "tovanel.ini").string(), [&] { controller.Record0Execute(); });
    controller.UserRecord(true);
    setup.Show();
    setup.Hide();
    EXPECT_EQ(capture.log, (std::vector<std::string>{"start COM", "start COM", "stop", "start COM"}));
    controller.UserRecord(false);
    setup.Show();
    setup.Hide();
    EXPECT_EQ(capture.log.size(), 8u);
    EXPECT_EQ(capture.log.back(), "stop");
}

}  // namespace
}  // namespace tovanel::test

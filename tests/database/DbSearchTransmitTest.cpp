// tovanel-db search, transmit and send on both engines: recordings of every
// input format looked up, exit statuses, and what a fake transmitter gets.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "DbTestSupport.h"
#include "database/CodeText.h"
#include "support/Files.h"
#include "support/FakeLircOutput.h"
#include "support/Frames.h"
#include "support/Protocols.h"
#include "tools/db/DbTool.h"

namespace tovanel {
namespace {

const std::string Samples = TOVANEL_SOURCE_DIR "/samples/";

std::string CodeText(const test::Durations& d) {
    auto f = test::FrameOf(d);
    std::string text;
    FormatCodeText(*f, text);
    return text;
}

// A REC80 frame whose 32-bit address has bit 31 set.
test::Durations Rec80Frame() {
    return test::Distort(test::PulseDistance(
        test::Rec80Timing, test::Concat({test::BitsOf(0x80FF0004, 32, true), test::BitsOf(0x12, 8, true)})));
}

std::string Line(const test::Durations& d) {
    std::string line;
    for (int32_t v : d) line += std::to_string(v) + ' ';
    return line + '\n';
}

// Units "Radio" (Hi: the REC80 frame) and "TV" (Power: NEC 4/8, as the
// samples send it).
class DbSearchTransmit : public test::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) return;
        radio = Db().AddUnit(QStringLiteral("Radio"));
        tv = Db().AddUnit(QStringLiteral("TV"));
        hi = Key(radio, "Hi", Rec80Frame());
        power = Key(tv, "Power", test::Distort(test::NecFrame(4, 8)));
    }
    int32_t Key(int32_t unit, const char* name, const test::Durations& d) {
        const test::Analysed a = test::Analyse(d);
        return Db().AddKey(unit, QLatin1String(name), a->Mode, static_cast<int32_t>(a->Adr),
                           static_cast<int32_t>(a->Cmd), QString::fromStdString(CodeText(d)));
    }
    struct Run {
        int status;
        std::string out, err;
    };
    Run On(std::vector<std::string> args, const DbEnvironment& env = {}) {
        args.insert(args.begin(), {"--connection", Db().ConnectionString().toStdString()});
        std::ostringstream out, err;
        const int status = DbMain(args, out, err, env);
        return {status, out.str(), err.str()};
    }
    // A fake transmitter; the wait ends with the sending, or at once (a
    // stop signal) when `interrupt`.
    DbEnvironment Fake(test::FakeLircOutput::Script script = {}, bool interrupt = false) {
        DbEnvironment env;
        env.transmitter = [this, script, interrupt] {
            LircTransmitter::Options o = test::FakeTransmitterOptions(log, script);
            if (interrupt) o.waitHook = nullptr;
            return std::make_unique<LircTransmitter>(std::move(o));
        };
        env.wait = [interrupt](const std::function<bool()>& finished) {
            while (!interrupt && !finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        return env;
    }

    test::TempDir dir;
    std::shared_ptr<test::LircLog> log = std::make_shared<test::LircLog>();
    int32_t radio = 0, tv = 0, hi = 0, power = 0;
};
TOVANEL_BOTH_ENGINES(DbSearchTransmit);

TEST_P(DbSearchTransmit, SearchLooksTheFirstFrameUp) {
    const std::string rec80 = dir.File("rec80.txt", Line(Rec80Frame()));
    const std::string code = dir.File("power.code", CodeText(test::Distort(test::NecFrame(4, 8))) + "\n");
    const std::string tvId = std::to_string(tv), powerId = std::to_string(power), hiId = std::to_string(hi);
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;  // the start of the output
    } cases[] = {
        {{"search", Samples + "nec-burst.txt"}, 0,
         "{\"found\":true,\"unit_id\":" + tvId + ",\"unit\":\"TV\",\"key_id\":" + powerId + ",\"key\":\"Power\","},
        {{"search", "--input", "mode2", "--format", "text", Samples + "nec-burst.mode2"}, 0,
         "Found unit \"TV\", key \"Power\"\n"},
        {{"search", "--input", "wav", "--format", "text", Samples + "nec-burst.wav"}, 0,
         "Found unit \"TV\", key \"Power\"\n"},
        {{"search", "--input", "codetext", "--all-units", "--format", "text", code}, 0,
         "Found unit \"TV\", key \"Power\"\n"},
        {{"search", "--unit", "Radio", "--format", "text", Samples + "nec-burst.txt"}, 3, "Not found\n"},
        {{"search", "--unit", "Radio", Samples + "nec-burst.txt"}, 3, "{\"found\":false,\"protocol\":3,"},
        {{"search", "--unit", tvId, "--format", "text", rec80}, 3, "Not found\n"},
        {{"search", "--format", "text", rec80}, 0, "Found unit \"Radio\", key \"Hi\"\n"},
        {{"search", "--unit", "Nowhere", rec80}, 1, ""},
        {{"search", "--unit", "TV", "--all-units", rec80}, 2, ""},
        {{"search", "--input", "wav", rec80}, 2, ""},
        {{"search", (dir.path / "missing.txt").string()}, 2, ""},
        {{"search", dir.File("empty.txt", "# nothing\n")}, 2, ""},
    };
    for (const Case& c : cases) {
        const Run r = On(c.args);
        std::string args;
        for (const std::string& a : c.args) args += a + ' ';
        EXPECT_EQ(r.status, c.status) << args << r.err;
        EXPECT_EQ(r.out.substr(0, c.out.size()), c.out) << args;
        EXPECT_EQ(r.err.empty(), c.status == 0 || c.status == 3) << args << r.err;
    }
    EXPECT_NE(On({"search", "--unit", "Radio", Samples + "nec-burst.txt"}).out.find("\"adr\":64260,\"cmd\":8}"),
              std::string::npos);
}

TEST_P(DbSearchTransmit, TransmitAndSendGoThroughTheTransmitter) {
    Db().Exec(QStringLiteral("INSERT INTO \"tblTransmit\" (\"UnitName\", \"KeyName\", \"Code1\", \"Repeat\", "
                             "\"Pause\") SELECT 'TV', \"Name\", \"Code1\", 1, 200 FROM \"tblCodes\""));
    Db().Exec(QStringLiteral("UPDATE \"tblUnits\" SET \"Carrier\" = '36' WHERE \"Name\" = 'TV'"));

    Run r = On({"transmit", "--device", "/dev/lirc5"}, Fake());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"device\":\"/dev/lirc5\",\"entries\":2,\"sent\":2,\"stopped\":false}\n");
    EXPECT_EQ(log->Lines().front(), "open /dev/lirc5");

    // One key, once, with its unit's carrier, through the settings file's device.
    log->lines.clear();
    const std::string ini = dir.File("tovanel.ini", "[LIRC]\nTransmitDevice=/dev/lirc8\n");
    ::setenv("TOVANEL_INI", ini.c_str(), 1);
    r = On({"send", std::to_string(power), "--format", "text"}, Fake());
    ::unsetenv("TOVANEL_INI");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Sent 1 of 1 entry through /dev/lirc8\n");
    const std::vector<std::string> lines = log->Lines();
    ASSERT_EQ(lines.size(), 4u);  // open, carrier, the frame, close
    EXPECT_EQ(lines[1], "carrier 36000");

    EXPECT_EQ(On({"send", "99999"}, Fake()).status, 1);
    r = On({"transmit", "--device", "/dev/lirc5"}, Fake({.features = LIRC_CAN_REC_MODE2}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tovanel-db: LIRC device /dev/lirc5 cannot transmit\n");
    // A stop signal: what was sent so far, and no failure.
    r = On({"transmit", "--device", "/dev/lirc5", "--format", "text"}, Fake({}, true));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Stopped after ", 0), 0u) << r.out;
}

}  // namespace
}  // namespace tovanel

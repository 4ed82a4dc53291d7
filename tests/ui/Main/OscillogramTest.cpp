// The oscillogram checked by its pixels. Coordinates and colours are the
// layout's own numbers written out here (row k at 53k, levels 53k + 10 and
// 53k + 42, trace from x = 180 at 0.012 px/µs, ...), not taken from the
// painter, so a wrong constant in the painter fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <QColor>
#include <QImage>

#include "support/Files.h"
#include "support/Frames.h"
#include "support/Json.h"
#include "ui/Main/Oscillogram.h"
#include "ui/Main/OscillogramBox.h"

namespace tovanel {
namespace {

using test::Durations;

std::unique_ptr<FrameBuffer> EmptyBuffer() {
    auto b = std::make_unique<FrameBuffer>();
    std::memset(b.get(), 0, sizeof *b);
    return b;
}

void Fill(CodeFrame& f, const Durations& d, const std::vector<uint32_t>& flags = {}) {
    f.Count = static_cast<int32_t>(d.size());
    f.Total = 0;
    for (size_t i = 0; i < d.size(); ++i) {
        f.Durations[i] = d[i];
        f.Flags[i] = i < flags.size() ? flags[i] : 0;
        f.Total += d[i];
    }
}

void FillSamples(CodeFrame& f, int16_t value, int count) {
    f.SampleCount = count;
    for (int j = 0; j < count; ++j) f.Samples[j] = value;
}

std::string ColourAt(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y)).name().toStdString();
}

const std::string White = "#ffffff", Black = "#000000", Silver = "#c0c0c0", Green = "#008000";

TEST(Oscillogram, TraceLevelsAndRawSignal) {
    // Mark, space, mark of 1 ms each: 12 pixels from x = 180, 192 and 204.
    struct Case {
        int row;
        int16_t sample;  // 0: no raw samples
        int rawDy;       // raw signal's y below its centre line
    };
    const Case cases[] = {{0, 0, 0}, {9, 0, 0}, {0, 16384, -4}, {4, -16384, 4}, {9, 100, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(c.row) + " sample " + std::to_string(c.sample));
        auto buffer = EmptyBuffer();
        CodeFrame& f = buffer->Slots[c.row];
        Fill(f, {1000, 1000, 1000});
        f.Total = 20000;  // room for the raw signal
        if (c.sample != 0) FillSamples(f, c.sample, 400);
        const QImage image = RenderOscillogram(*buffer);
        const int hi = 53 * c.row + 10, lo = hi + (c.sample != 0 ? 13 : 32);
        EXPECT_EQ(ColourAt(image, 186, hi), Black);
        EXPECT_EQ(ColourAt(image, 186, hi - 1), White);
        EXPECT_EQ(ColourAt(image, 186, hi + 1), White);
        EXPECT_EQ(ColourAt(image, 186, lo), White);
        EXPECT_EQ(ColourAt(image, 198, lo), Black);
        EXPECT_EQ(ColourAt(image, 198, lo - 1), White);
        EXPECT_EQ(ColourAt(image, 198, lo + 1), White);
        EXPECT_EQ(ColourAt(image, 198, hi), White);
        EXPECT_EQ(ColourAt(image, 180, hi + 5), Black);
        EXPECT_EQ(ColourAt(image, 192, hi + 5), Black);
        if (c.sample == 0) continue;
        // One column per four samples from x = 177: 400 samples end at 276.
        const int y = lo + 14 + c.rawDy;
        EXPECT_EQ(ColourAt(image, 200, y), Green);
        EXPECT_EQ(ColourAt(image, 275, y), Green);
        EXPECT_EQ(ColourAt(image, 200, y - 1), White);
        EXPECT_EQ(ColourAt(image, 200, y + 1), White);
        EXPECT_EQ(ColourAt(image, 176, y), White);
        EXPECT_EQ(ColourAt(image, 278, y), White);
    }
}

TEST(Oscillogram, Shading) {
    // Mark 0 at 180..192 (box to 192 inclusive: 12 + 1 pixels), space 1 at
    // 192..204 (its strip 193..204 under the low level 42), mark 2 at 204.
    struct Probe {
        int x, y;
    };
    const Probe probes[] = {
        {186, 26},  // inside mark 0's box
        {192, 44},  // the box's last column, below the falling edge
        {198, 45},  // space strip
        {198, 42},  // the space's line at the low level
        {210, 26},  // inside mark 2's box
        {204, 44},  // strip of mark 0 meets box of mark 2
        {186, 47},  // below the shading
    };
    // Expected colour per probe: W white, K black, G header/trailer grey,
    // S start bit, T toggle bit, M mode, A address, a address check copy,
    // C command, c command check copy.
    const std::pair<char, std::string> colours[] = {
        {'W', White},     {'K', Black},     {'G', "#d0d0d0"}, {'S', "#808080"}, {'T', "#ff4040"},
        {'M', "#ffff40"}, {'A', "#c0ffc0"}, {'a', "#f0fff0"}, {'C', "#c0c0ff"}, {'c', "#f0f0ff"},
    };
    struct Case {
        uint32_t flags0, flags1, flags2;
        const char* expected;
    };
    const Case cases[] = {
        {Header, 0, 0, "GGGKWGW"},
        {0, 0, Trailer, "WGGGGGW"},  // the strip under the preceding space covers its line
        {Trailer, 0, 0, "GGWKWWW"},
        {StartBit, StartBit, 0, "SSSKWSW"},
        {ToggleBit, 0, 0, "TTWKWWW"},  // no strip when the space lacks the bit
        {ModeBit, ModeBit, 0, "MMMKWMW"},
        {AdrBit, AdrBit, 0, "AAAKWAW"},
        {AdrBit | CheckCopy, AdrBit, 0, "aaaKWaW"},
        {CmdBit, CmdBit, 0, "CCCKWCW"},
        {CmdBit | CheckCopy, CmdBit, 0, "cccKWcW"},
        {Header | AdrBit, 0, 0, "AAGKWGW"},
        {StartBit | ToggleBit, StartBit | ToggleBit, 0, "TTTKWTW"},
        {AdrBit | CmdBit, AdrBit, 0, "CCAKWAW"},
        {AdrBit, AdrBit, CmdBit, "AAAKCCW"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("expected ") + c.expected);
        auto buffer = EmptyBuffer();
        Fill(buffer->Slots[0], {1000, 1000, 1000}, {c.flags0, c.flags1, c.flags2});
        const QImage image = RenderOscillogram(*buffer);
        for (size_t p = 0; p < std::size(probes); ++p) {
            std::string want;
            for (const auto& [code, name] : colours)
                if (code == c.expected[p]) want = name;
            EXPECT_EQ(ColourAt(image, probes[p].x, probes[p].y), want)
                << "at " << probes[p].x << "," << probes[p].y;
        }
    }
}

TEST(Oscillogram, RowTexts) {
    auto make = [](auto&& edit) {
        auto f = test::NewFrame();
        Fill(*f, {1000, 1000, 1000});
        edit(*f);
        return f;
    };
    struct Case {
        const char* name;
        int row;
        std::unique_ptr<CodeFrame> frame;
        std::vector<std::string> texts;  // "x,y background text"
    };
    Case cases[] = {
        {"first frame", 0, make([](CodeFrame& f) {
             f.Count = 67;
             f.Total = 67500;
             f.Protocol = 3;
             f.AdrBits = 16;
             f.Adr = 0xFB04;
             f.CmdBits = 8;
             f.Cmd = 8;
         }),
         {"4,0 #c0ffc0 NEC", "4,26 #ffffff Pulses 34", "4,39 #ffffff Length 68 ms",
          "72,26 #c0ffc0 Adr: 0xFB04 (64260)", "72,39 #c0c0ff Cmd: 0x08 (8)"}},
        {"repeat code", 1, make([](CodeFrame& f) {
             f.Protocol = 3;
             f.IsRepeat = true;
             f.Period = 108000;
             f.Total = 11499;
         }),
         {"4,53 #c0ffc0 (Repeat code)", "4,66 #ffffff Period 108 ms", "4,79 #ffffff Pulses 2",
          "4,92 #ffffff Length 11 ms"}},
        {"modulation only, 499 us", 2, make([](CodeFrame& f) {
             f.Modulation = 2;
             f.Period = 499;
             f.Total = 500;
         }),
         {"4,106 #ffffc0 Pulse length", "4,119 #ffffff Period 0 ms", "4,132 #ffffff Pulses 2",
          "4,145 #ffffff Length 1 ms"}},
        {"nothing detected, command bits only, mode", 3, make([](CodeFrame& f) {
             f.Protocol = -1;
             f.CmdBits = 8;
             f.Cmd = 0xAB;
             f.Adr = 0x123456789ABCDEF0;
             f.ModeBits = 3;
             f.Mode = 0xA;
         }),
         {"4,159 #ffffff (not detected)", "4,172 #ffffff Period 0 ms", "4,185 #ffffff Pulses 2",
          "4,198 #ffffff Length 3 ms", "72,185 #c0ffc0 Adr: 0x123456789ABCDEF0 (1311768467463790320)",
          "72,198 #c0c0ff Cmd: 0xAB (171)", "72,172 #ffff40 Mode: A"}},
        {"empty slot with stale results", 4, make([](CodeFrame& f) {
             f.Protocol = 3;
             f.AdrBits = 8;
             f.Count = 0;
         }),
         {}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        OscillogramText texts[MaxRowTexts];
        const int n = RowTexts(*c.frame, c.row, texts);
        std::vector<std::string> got;
        for (int k = 0; k < n; ++k)
            got.push_back(std::to_string(texts[k].x) + "," + std::to_string(texts[k].y) + " " +
                          texts[k].background.name().toStdString() + " " + texts[k].text);
        EXPECT_EQ(got, c.texts);
    }
}

TEST(Oscillogram, TextCellBackgrounds) {
    auto buffer = EmptyBuffer();
    CodeFrame& decoded = buffer->Slots[2];  // row 2 begins at y = 106
    Fill(decoded, {1000, 1000, 1000});
    decoded.Protocol = 3;
    decoded.AdrBits = decoded.CmdBits = 8;
    buffer->Slots[3] = decoded;  // row 3 at 159: a modulation only
    buffer->Slots[3].Protocol = 0;
    buffer->Slots[3].Modulation = 1;
    Fill(buffer->Slots[4], {20000, 1000, 1000}, {Recovered});  // row 4 at 212, high level 222
    Fill(buffer->Slots[5], {1000, 1000, 1000});                // row 5 at 265
    buffer->Slots[5].ModeBits = 4;
    buffer->Slots[9] = decoded;  // row 9 at 477
    const QImage image = RenderOscillogram(*buffer);
    // The top pixel row of each cell lies above every glyph.
    struct Probe {
        int x, y;
        std::string colour;
    } const probes[] = {
        {5, 106, "#c0ffc0"},       // protocol name
        {73, 106 + 26, "#c0ffc0"},  // Adr:
        {73, 106 + 39, "#c0c0ff"},  // Cmd:
        {73, 265 + 13, "#ffff40"},  // Mode:
        {5, 159, "#ffffc0"},       // modulation name
        {191, 222 + 10, "#ffc0c0"},  // "Recovered" at the mark's x + 10, high level + 10
        {73, 477 + 52, "#c0c0ff"},  // cells are 14 pixels high...
        {73, 477 + 53, White},
        {73, 106 + 52, Silver},  // ...and the next row's separator is drawn over them
    };
    for (const Probe& p : probes) EXPECT_EQ(ColourAt(image, p.x, p.y), p.colour) << p.x << "," << p.y;
}

TEST(Oscillogram, EmptySlotsDrawOnlyTheirSeparators) {
    // Stale results, flags and samples stay in the slots after a reset.
    auto buffer = EmptyBuffer();
    for (int k = 0; k < SlotCount; ++k) {
        auto nec = test::Analyse(test::NecFrame(0x04, 0x08), k);
        buffer->Slots[k] = *nec;
        FillSamples(buffer->Slots[k], 16384, 4096);
    }
    ResetFrameBuffer(*buffer);
    const QImage image = RenderOscillogram(*buffer);
    ASSERT_EQ(image.size(), QSize(187, 562));
    for (int y = 0; y < image.height(); ++y) {
        const bool separator = y % 53 == 52 && y < 53 * 9;
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(ColourAt(image, x, y), separator ? Silver : White) << x << "," << y;
    }
}

TEST(Oscillogram, WidthRule) {
    struct Case {
        std::vector<std::pair<int, int32_t>> totals;  // slot, Total
        int width;
    };
    const Case cases[] = {
        {{}, 187},  // T = 100 µs
        {{{0, 99}}, 187},
        {{{0, 58000}}, 882},  // 58 × 12 + 186
        {{{0, 12000}, {7, 58000}, {9, 30000}}, 882},
        {{{3, 1000000}}, 12186},
        {{{0, INT32_MAX}}, 32767},  // no image of gigabytes
    };
    for (const Case& c : cases) {
        auto buffer = EmptyBuffer();
        for (const auto& [slot, total] : c.totals) buffer->Slots[slot].Total = total;
        EXPECT_EQ(OscillogramWidth(*buffer), c.width);
        if (c.width < 20000) {
            EXPECT_EQ(RenderOscillogram(*buffer).size(), QSize(c.width, 562));
        }
    }
}

TEST(Oscillogram, XAccumulatesInFloatingPointAndHitTestsAgree) {
    // 50 durations of 83 µs advance 0.996 px each: the last mark starts at
    // 229.8 and ends 99.6 px later at 329.4. Rounding per duration would
    // put it at 230, truncating per duration at 180.
    Durations d(50, 83);
    d.push_back(8300);
    auto buffer = EmptyBuffer();
    Fill(buffer->Slots[0], d);
    const QImage image = RenderOscillogram(*buffer);
    EXPECT_EQ(ColourAt(image, 229, 26), Black);
    EXPECT_EQ(ColourAt(image, 230, 26), White);
    EXPECT_EQ(ColourAt(image, 328, 26), White);
    EXPECT_EQ(ColourAt(image, 329, 26), Black);
    EXPECT_EQ(ColourAt(image, 330, 26), White);

    const CodeFrame& f = buffer->Slots[0];
    EXPECT_NEAR(DurationX(f, 50), 229.8, 1e-9);
    DurationStartArray starts;
    DurationStarts(f, starts);
    const std::pair<int, int> hits[] = {{179, -1}, {228, 49}, {229, 50}, {328, 50}, {329, -1}};
    for (const auto& [x, index] : hits) EXPECT_EQ(DurationAtX(f, starts, x), index) << "x " << x;
    const std::pair<int, int> rows[] = {{-1, -1}, {0, 0}, {52, 0}, {53, 1}, {529, 9}, {530, -1}};
    for (const auto& [y, row] : rows) EXPECT_EQ(OscillogramRowAt(y), row) << "y " << y;
}

TEST(Oscillogram, HighDpiImageCarriesTheRatio) {
    auto buffer = EmptyBuffer();
    Fill(buffer->Slots[0], {1000, 1000, 1000});
    const QImage image = RenderOscillogram(*buffer, 2.0);
    EXPECT_EQ(image.devicePixelRatio(), 2.0);
    EXPECT_EQ(image.size(), QSize(2 * 222, 2 * 562));
    // The high level at y = 10 is two device pixels thick.
    EXPECT_EQ(ColourAt(image, 372, 19), White);
    EXPECT_EQ(ColourAt(image, 372, 20), Black);
    EXPECT_EQ(ColourAt(image, 372, 21), Black);
    EXPECT_EQ(ColourAt(image, 372, 22), White);
}

TEST(Oscillogram, EveryPainterGetsTheSamePicture) {
    // Images take a direct path, other painters QPainter calls; with a
    // partial area both paint exactly that part of the whole picture.
    auto buffer = EmptyBuffer();
    for (int k = 0; k < 4; ++k) {
        buffer->Slots[k] = *test::Analyse(test::Distort(test::NecFrame(0x04, 0x08)), k);
        buffer->Slots[k].Period = 108000 * k;
    }
    buffer->Slots[1].Flags[0] |= Recovered;
    buffer->Slots[1].Flags[buffer->Slots[1].Count - 1] |= Trailer;
    for (int j = 0; j < 4096; ++j) buffer->Slots[2].Samples[j] = (j / 8) % 2 ? 32767 : -32768;
    buffer->Slots[2].SampleCount = 4096;
    const QImage whole = RenderOscillogram(*buffer);
    const QRect areas[] = {whole.rect(), QRect(230, 40, 300, 90)};
    for (bool viaPainter : {false, true}) {
        for (const QRect& area : areas) {
            SCOPED_TRACE(std::string(viaPainter ? "QPainter calls" : "direct") + " area width " +
                         std::to_string(area.width()));
            QImage image(whole.size(), QImage::Format_RGB32);
            image.fill(Qt::red);
            QPainter painter(&image);
            if (viaPainter) painter.setClipRect(image.rect());  // no direct path with a clip
            PaintOscillogram(painter, *buffer, area);
            painter.end();
            for (int y = 0; y < whole.height(); ++y)
                for (int x = 0; x < whole.width(); ++x)
                    ASSERT_EQ(image.pixel(x, y), area.contains(x, y) ? whole.pixel(x, y) : qRgb(255, 0, 0))
                        << x << "," << y;
        }
    }
}

TEST(OscillogramBox, ShowsTheBufferAndNamesTheDurationUnderThePointer) {
    auto buffer = EmptyBuffer();
    auto nec = test::Analyse(test::NecFrame(0x04, 0x08));
    buffer->Slots[0] = *nec;
    OscillogramBox box;
    box.ShowBuffer(*buffer);
    EXPECT_EQ(box.size(), QSize(static_cast<int>(nec->Total * 0.012 + 186), 562));
    // Header mark 9000 µs from 180, header space 4500, then bits of 560 µs
    // marks and 560 or 1690 µs spaces, address first.
    const int firstBit = 180 + (9000 + 4500) * 12 / 1000;
    struct Case {
        int x, y;
        const char* tip;
    } const cases[] = {
        {200, 26, "Slot 0, duration 0: mark, 9000 µs\nClass 1 of the marks (mean 9000 µs)\nRole: header"},
        {firstBit + 9, 50,
         "Slot 0, duration 3: space, 560 µs\nClass 0 of the spaces (mean 560 µs)\nRole: address"},
        {179, 26, ""},
        {200, 60, ""},  // row 1 is empty
    };
    for (const Case& c : cases) EXPECT_EQ(box.ToolTipAt(QPoint(c.x, c.y)).toStdString(), c.tip);
    // The inverted copy of the command after 16 address and 8 command bits.
    EXPECT_TRUE(DurationToolTip(*nec, 0, 2 + 48).endsWith("Role: command, check copy"));

    // A burst of the same width is painted over the cached image.
    buffer->Slots[0].Protocol = 0;
    std::memset(buffer->Slots[0].Flags, 0, sizeof buffer->Slots[0].Flags);
    box.ShowBuffer(*buffer);
    EXPECT_EQ(box.Image(), RenderOscillogram(*buffer));
}

struct PlotRun {
    int status;
    std::vector<std::string> lines;
    std::string err;
};

PlotRun RunPlot(const test::TempDir& dir, const std::string& args) {
    const std::string exe = std::string(TOVANEL_BINARY_DIR) + "/tovanel-analyze";
    const std::string out = (dir.path / "out.txt").string(), err = (dir.path / "err.txt").string();
    const int s = std::system((exe + " " + args + " >" + out + " 2>" + err).c_str());
    return {WIFEXITED(s) ? WEXITSTATUS(s) : -1, test::SplitLines(dir.ReadFile(out)), dir.ReadFile(err)};
}

TEST(AnalyzePlot, WritesTheLastBurstAsPng) {
    struct Case {
        const char* sample;
        const char* input;
        bool raw;  // sound recordings carry their samples
    } const cases[] = {{"nec-burst.txt", "durations", false}, {"nec-burst.wav", "wav", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sample);
        test::TempDir dir;
        const std::string png = (dir.path / "osc.png").string();
        const PlotRun r = RunPlot(dir, std::string("--input ") + c.input + " --plot " + png + " " +
                                           TOVANEL_SOURCE_DIR + "/samples/" + c.sample);
        ASSERT_EQ(r.status, 0) << r.err;
        int32_t widest = 100;
        for (const std::string& line : r.lines) widest = std::max(widest, std::stoi(test::Value(line, "total")));
        const QImage image(QString::fromStdString(png));
        EXPECT_EQ(image.size(), QSize(static_cast<int>(widest * 0.012 + 186), 562));
        bool green = false;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) green = green || image.pixel(x, y) == qRgb(0, 128, 0);
        EXPECT_EQ(green, c.raw);
    }
}

TEST(AnalyzePlot, UnwritableFileIsAnError) {
    test::TempDir dir;
    const PlotRun r = RunPlot(dir, "--plot " + (dir.path / "missing" / "osc.png").string() + " " +
                                       TOVANEL_SOURCE_DIR + "/samples/nec-burst.txt");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("tovanel-analyze: cannot write " + (dir.path / "missing" / "osc.png").string()),
              std::string::npos)
        << r.err;
}

}  // namespace
}  // namespace tovanel

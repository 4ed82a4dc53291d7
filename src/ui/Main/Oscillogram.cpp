#include "ui/Main/Oscillogram.h"

#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <mutex>

#include <QCoreApplication>
#include <QFont>
#include <QGlyphRun>
#include <QRawFont>

#include "analysis/Recognition.h"

namespace tovanel {

using namespace osc;

namespace {

// A drawing coordinate: truncated toward zero, and kept far outside any
// paint box but within what a QRect can hold, whatever the durations.
int Px(double v) {
    constexpr double Limit = 1 << 24;
    return static_cast<int>(std::clamp(v, -Limit, Limit));
}

// Milliseconds, halves rounded up.
int32_t Ms(int32_t us) { return static_cast<int32_t>((int64_t{us} + 500) / 1000); }

int ValidCount(const CodeFrame& slot) { return std::clamp<int32_t>(slot.Count, 0, MaxDurations); }
int ValidSampleCount(const CodeFrame& slot) {
    return std::clamp<int32_t>(slot.SampleCount, 0, MaxSamples);
}

// The texts' font: a face metrically compatible with Arial (same advance
// widths, ascent and descent), scaled so that ascent plus descent, the text
// cell, is 14 pixels. It is read from its font file rather than matched by
// family name, so the rendering does not depend on what else is installed.
class TextFont {
public:
    TextFont() {
        static const char* const files[] = {
            "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",  // Debian
            "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",   // older Debian
            "/usr/share/fonts/liberation-sans/LiberationSans-Regular.ttf",      // Fedora
        };
        for (const char* file : files) {
            raw_ = QRawFont(QString::fromLatin1(file), 12, Hinting);
            if (raw_.isValid()) break;
        }
        if (!raw_.isValid()) {
            QFont font;
            font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                              QStringLiteral("Arial")});
            font.setStyleHint(QFont::SansSerif);
            font.setPixelSize(12);
            font.setHintingPreference(Hinting);
            raw_ = QRawFont::fromFont(font);
        }
        if (!raw_.isValid()) return;
        // Design units: at one pixel per unit the metrics are the font's own.
        raw_.setPixelSize(raw_.unitsPerEm());
        const qreal cell = raw_.ascent() + raw_.descent();
        if (cell > 0) raw_.setPixelSize(raw_.unitsPerEm() * TextCellHeight / cell);
        baseline_ = qRound(raw_.ascent());
        for (int c = 0; c < 128; ++c) {
            const QChar ch(c >= ' ' && c <= '~' ? c : '?');
            int n = 1;
            quint32 glyph = 0;
            QPointF advance;
            if (raw_.glyphIndexesForChars(&ch, 1, &glyph, &n) && n == 1)
                raw_.advancesForGlyphIndexes(&glyph, &advance, 1);
            glyph_[c] = glyph;
            advance_[c] = advance.x();
        }
    }

    // Writes `text` with its cell filled with `background`; the cell is as
    // wide as the text's advance and TextCellHeight high.
    void Draw(QPainter& p, QGlyphRun& run, int x, int y, const char* text,
              const QColor& background) const {
        constexpr int MaxLength = sizeof OscillogramText::text;
        quint32 glyphs[MaxLength];
        QPointF positions[MaxLength];
        int n = 0;
        qreal pen = 0;
        for (; n < MaxLength && text[n] != '\0'; ++n) {
            const auto c = static_cast<unsigned char>(text[n]) & 0x7F;
            glyphs[n] = glyph_[c];
            positions[n] = QPointF(pen, baseline_);
            pen += advance_[c];
        }
        p.fillRect(QRect(x, y, static_cast<int>(std::ceil(pen)), TextCellHeight), background);
        if (n == 0 || !raw_.isValid()) return;
        run.setRawFont(raw_);
        run.setRawData(glyphs, positions, n);
        p.drawGlyphRun(QPointF(x, y), run);
    }

private:
    // Whole-pixel advances and crisp stems at this small size, as on the
    // screens the layout was made for; fixed so every platform draws alike.
    static constexpr QFont::HintingPreference Hinting = QFont::PreferFullHinting;

    QRawFont raw_;
    int baseline_ = 11;
    quint32 glyph_[128] = {};
    qreal advance_[128] = {};
};

// The font lives until the application object goes: its glyph engine
// belongs to the GUI library and must not outlive it.
std::mutex fontMutex;
TextFont* font = nullptr;

void ReleaseFont() {
    std::lock_guard lock(fontMutex);
    delete font;
    font = nullptr;
}

const TextFont& Font() {
    std::lock_guard lock(fontMutex);
    if (font == nullptr) {
        font = new TextFont;
        qAddPostRoutine(ReleaseFont);
    }
    return *font;
}

// Pens and brushes made once per paint, so that switching between them
// inside the loops allocates nothing.
struct Tools {
    QBrush header{HeaderTrailerShade};
    QBrush start{StartBitShade};
    QBrush toggle{ToggleBitShade};
    QBrush mode{ModeColour};
    QBrush adr{AdrColour};
    QBrush adrCopy{AdrCheckCopyShade};
    QBrush cmd{CmdColour};
    QBrush cmdCopy{CmdCheckCopyShade};
    QBrush trace{Trace};
    QPen text{TextColour};
    QPen raw{RawSignal, 1, Qt::SolidLine, Qt::FlatCap};
    QGlyphRun run;
};

// The shading and the trace of one row, which must keep their paint order:
// later shading covers earlier shading, and the trace covers the shading
// drawn before it, but the shading of a trailer's preceding space covers the
// trace of that space. The trace's lines are horizontal or vertical and are
// drawn as one-pixel rectangles: a line covers its start point but not its
// end point, so consecutive lines meet without gaps.
//
// Rectangles are queued and painted in batches, all queued shading first
// (consecutive rectangles of one brush in one call), then the queued trace.
// That keeps the order as long as no queued shading covers queued trace, so
// a shading rectangle reaching back over the trace flushes the queue first.
class RowBatch {
public:
    RowBatch(QPainter& painter, const QBrush& trace) : p_(painter), trace_(trace) {}

    // Fills left..right-1 × top..bottom-1; nothing when empty or inverted.
    void Shade(int left, int top, int right, int bottom, const QBrush& brush) {
        if (right <= left || bottom <= top) return;
        if (left <= traceRight_ || shadeCount_ == MaxShades) Flush();
        shades_[shadeCount_] = QRect(left, top, right - left, bottom - top);
        brushes_[shadeCount_++] = &brush;
    }

    void MoveTo(int x, int y) {
        x_ = x;
        y_ = y;
    }

    // A horizontal or vertical line from the current point, without its end.
    void LineTo(int x, int y) {
        if (x == x_ && y > y_)
            AddTrace(QRect(x, y_, 1, y - y_));
        else if (x == x_ && y < y_)
            AddTrace(QRect(x, y + 1, 1, y_ - y));
        else if (y == y_ && x > x_)
            AddTrace(QRect(x_, y, x - x_, 1));
        else if (y == y_ && x < x_)
            AddTrace(QRect(x + 1, y, x_ - x, 1));
        MoveTo(x, y);
    }

    void Flush() {
        p_.setPen(Qt::NoPen);
        for (int i = 0; i < shadeCount_;) {
            int j = i + 1;
            while (j < shadeCount_ && brushes_[j] == brushes_[i]) ++j;
            p_.setBrush(*brushes_[i]);
            p_.drawRects(shades_ + i, j - i);
            i = j;
        }
        if (traceCount_ > 0) {
            p_.setBrush(trace_);
            p_.drawRects(traces_, traceCount_);
        }
        shadeCount_ = traceCount_ = 0;
        traceRight_ = INT_MIN;
    }

private:
    void AddTrace(const QRect& r) {
        if (traceCount_ == MaxTraces) Flush();
        traces_[traceCount_++] = r;
        traceRight_ = std::max(traceRight_, r.right());
    }

    static constexpr int MaxShades = 256;
    static constexpr int MaxTraces = 512;

    QPainter& p_;
    const QBrush& trace_;
    int x_ = 0, y_ = 0;
    QRect shades_[MaxShades];
    const QBrush* brushes_[MaxShades] = {};
    int shadeCount_ = 0;
    QRect traces_[MaxTraces];
    int traceCount_ = 0;
    int traceRight_ = INT_MIN;  // rightmost column of queued trace
};

// Shading of mark i, in paint order: header or trailer, then the bits.
void ShadeMark(QPainter& p, Tools& t, RowBatch& batch, const CodeFrame& f, int count, int i,
               double x, int hi, int lo) {
    const uint32_t flags = f.Flags[i];
    const bool hasSpace = i + 1 < count;
    // The box reaches one pixel past the mark's end, over its falling edge.
    const double w = std::trunc(f.Durations[i] * PixelsPerMicrosecond + 1);
    const int boxLeft = Px(x), boxRight = Px(x + w);
    const int stripRight = hasSpace ? Px(x + w + f.Durations[i + 1] * PixelsPerMicrosecond) : 0;
    const int bottom = lo + ShadeDepth;
    auto shade = [&](const QBrush& brush, bool withStrip) {
        batch.Shade(boxLeft, hi, boxRight, bottom, brush);
        if (withStrip) batch.Shade(boxRight, lo, stripRight, bottom, brush);
    };

    if (flags & Header) {
        shade(t.header, hasSpace);
    } else if (flags & Trailer) {
        shade(t.header, false);
        if (i > 0)
            batch.Shade(Px(x - f.Durations[i - 1] * PixelsPerMicrosecond), lo, Px(x), bottom, t.header);
    }
    if (flags & Recovered) {
        batch.Flush();
        Font().Draw(p, t.run, Px(x + RecoveredOffset), hi + RecoveredOffset, "Recovered",
                    RecoveredBackground);
    }
    const bool copy = flags & CheckCopy;
    const struct {
        uint32_t bit;
        const QBrush& brush;
    } bits[] = {
        {StartBit, t.start},
        {ToggleBit, t.toggle},
        {ModeBit, t.mode},
        {AdrBit, copy ? t.adrCopy : t.adr},
        {CmdBit, copy ? t.cmdCopy : t.cmd},
    };
    for (const auto& b : bits)
        if (flags & b.bit) shade(b.brush, hasSpace && (f.Flags[i + 1] & b.bit));
}

void PaintRow(QPainter& p, Tools& t, const CodeFrame& f, int row, const QRect& area) {
    const int top = row * RowHeight;
    if (row > 0) p.fillRect(QRect(area.left(), top - 1, area.width(), 1), Separator);
    const int count = ValidCount(f);
    if (count == 0) return;
    const RowLevels levels = OscillogramRowLevels(f, row);
    const int hi = levels.high, lo = levels.low;

    OscillogramText texts[MaxRowTexts];
    const int n = RowTexts(f, row, texts);
    p.setPen(t.text);
    for (int k = 0; k < n; ++k)
        Font().Draw(p, t.run, texts[k].x, texts[k].y, texts[k].text, texts[k].background);

    RowBatch batch(p, t.trace);
    double x = TraceStart;
    for (int i = 0; i < count; i += 2) {
        if (f.Flags[i] != 0) ShadeMark(p, t, batch, f, count, i, x, hi, lo);
        batch.MoveTo(Px(x), lo);
        batch.LineTo(Px(x), hi);
        x = NextDurationX(x, f.Durations[i]);
        batch.LineTo(Px(x), hi);
        batch.LineTo(Px(x), lo);
        if (i + 1 < count) {
            x = NextDurationX(x, f.Durations[i + 1]);
            batch.LineTo(Px(x), lo);
        }
    }
    batch.Flush();

    // Raw signal: the first sample, then the mean of every further group of
    // four, one column each.
    const int samples = ValidSampleCount(f);
    if (samples == 0) return;
    const int c = lo + RawCentreBelowLow;
    QPoint points[1 + MaxSamples / SamplesPerColumn];
    int m = 0;
    points[m++] = QPoint(RawStart, c - f.Samples[0] * RawRangePixels / 65536);
    for (int j = SamplesPerColumn; j + 3 < samples; j += SamplesPerColumn) {
        const int s = f.Samples[j] + f.Samples[j + 1] + f.Samples[j + 2] + f.Samples[j + 3];
        points[m] = QPoint(RawStart + m, Px(c - RawRangePixels * s * 0.25 / 65536));
        ++m;
    }
    if (m < 2) return;
    p.setPen(t.raw);
    p.drawPolyline(points, m);
}

}  // namespace

int OscillogramWidth(const FrameBuffer& buffer) {
    int32_t widest = MinWidthMicroseconds;
    for (const CodeFrame& slot : buffer.Slots) widest = std::max(widest, slot.Total);
    return std::min(static_cast<int>(widest * PixelsPerMicrosecond + WidthMargin), MaxBoxWidth);
}

int RowTexts(const CodeFrame& f, int row, OscillogramText (&texts)[MaxRowTexts]) {
    if (ValidCount(f) == 0) return 0;
    const int top = row * RowHeight;
    int n = 0;
    auto add = [&](int column, int line, const QColor& background, const char* format, auto... args) {
        OscillogramText& t = texts[n++];
        t.x = column;
        t.y = top + line * TextLineStep;
        t.background = background;
        std::snprintf(t.text, sizeof t.text, format, args...);
    };
    if (f.Protocol > 0)
        add(TextColumn1, 0, ProtocolBackground, "%s",
            f.IsRepeat ? "(Repeat code)" : ProtocolName(f.Protocol));
    else if (f.Modulation > 0)
        add(TextColumn1, 0, ModulationBackground, "%s", ModulationName(f.Modulation));
    else
        add(TextColumn1, 0, Background, "%s", "(not detected)");
    if (row > 0) add(TextColumn1, 1, Background, "Period %d ms", Ms(f.Period));
    add(TextColumn1, 2, Background, "Pulses %d", (ValidCount(f) + 1) / 2);
    add(TextColumn1, 3, Background, "Length %d ms", Ms(f.Total));
    if (f.AdrBits != 0 || f.CmdBits != 0) {
        add(TextColumn2, 2, AdrColour, "Adr: 0x%.4" PRIX64 " (%" PRIu64 ")", f.Adr, f.Adr);
        add(TextColumn2, 3, CmdColour, "Cmd: 0x%.2" PRIX64 " (%" PRIu64 ")", f.Cmd, f.Cmd);
    }
    if (f.ModeBits != 0) add(TextColumn2, 1, ModeColour, "Mode: %X", static_cast<unsigned>(f.Mode));
    return n;
}

void PaintOscillogram(QPainter& painter, const FrameBuffer& buffer, const QRect& area) {
    painter.save();
    painter.setClipRect(area, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.fillRect(area, Background);
    Tools tools;
    for (int row = 0; row < RowCount; ++row) {
        // A row paints from its separator down to its last text cell.
        const int top = row * RowHeight;
        if (area.bottom() < top - 1 || area.top() >= top + RowHeight) continue;
        PaintRow(painter, tools, buffer.Slots[row], row, area);
    }
    painter.restore();
}

QImage RenderOscillogram(const FrameBuffer& buffer) { return RenderOscillogram(buffer, 1.0); }

QImage RenderOscillogram(const FrameBuffer& buffer, qreal devicePixelRatio) {
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const QSize size(OscillogramWidth(buffer), OscillogramHeight);
    QImage image(static_cast<int>(std::ceil(size.width() * ratio)),
                 static_cast<int>(std::ceil(size.height() * ratio)), QImage::Format_RGB32);
    if (image.isNull()) return image;
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    PaintOscillogram(painter, buffer, QRect(QPoint(0, 0), size));
    return image;
}

int OscillogramRowAt(int y) { return y >= 0 && y < RowHeight * RowCount ? y / RowHeight : -1; }

RowLevels OscillogramRowLevels(const CodeFrame& slot, int row) {
    const int top = row * RowHeight;
    const int high = top + HighLevel;
    const int low = high + (slot.SampleCount > 0 ? LowBelowHighWithSamples : LowBelowHigh);
    return {top, high, low};
}

void DurationStarts(const CodeFrame& slot, DurationStartArray& starts) {
    const int count = ValidCount(slot);
    double x = TraceStart;
    starts[0] = x;
    for (int i = 0; i < count; ++i) starts[i + 1] = x = NextDurationX(x, slot.Durations[i]);
}

double DurationX(const CodeFrame& slot, int i) {
    const int end = std::clamp(i, 0, ValidCount(slot));
    double x = TraceStart;
    for (int k = 0; k < end; ++k) x = NextDurationX(x, slot.Durations[k]);
    return x;
}

int DurationAtX(const CodeFrame& slot, const DurationStartArray& starts, int x) {
    const int count = ValidCount(slot);
    // The first start drawn right of x; the duration before it holds x.
    const double* after = std::upper_bound(starts, starts + count + 1, x,
                                           [](int column, double start) { return column < Px(start); });
    const int i = static_cast<int>(after - starts) - 1;
    return i >= 0 && i < count ? i : -1;
}

QString DurationToolTip(const CodeFrame& slot, int row, int i) {
    if (i < 0 || i >= ValidCount(slot)) return {};
    const bool mark = i % 2 == 0;
    QString tip = QStringLiteral("Slot %1, duration %2: %3, %4 µs")
                      .arg(row)
                      .arg(i)
                      .arg(mark ? QStringLiteral("mark") : QStringLiteral("space"))
                      .arg(slot.Durations[i]);
    const int classes = mark ? slot.MarkClassCount : slot.SpaceClassCount;
    const int cls = slot.ClassIndex[i];
    if (classes > 0 && classes <= MaxClasses && cls >= 0 && cls < classes) {
        const int32_t mean = mark ? slot.MarkMeans[cls] : slot.SpaceMeans[cls];
        tip += QStringLiteral("\nClass %1 of the %2s (mean %3 µs)")
                   .arg(cls)
                   .arg(mark ? QStringLiteral("mark") : QStringLiteral("space"))
                   .arg(mean);
    } else {
        tip += QStringLiteral("\nNot classified");
    }
    static const struct {
        uint32_t bit;
        const char* name;
    } roles[] = {
        {Recovered, "recovered lead-in"}, {Header, "header"},    {Trailer, "trailer"},
        {StartBit, "start"},              {ToggleBit, "toggle"}, {ModeBit, "mode"},
        {AdrBit, "address"},              {CmdBit, "command"},   {CheckCopy, "check copy"},
    };
    QStringList names;
    for (const auto& r : roles)
        if (slot.Flags[i] & r.bit) names << QString::fromLatin1(r.name);
    tip += QStringLiteral("\nRole: ") + (names.isEmpty() ? QStringLiteral("none") : names.join(", "));
    return tip;
}

}  // namespace tovanel

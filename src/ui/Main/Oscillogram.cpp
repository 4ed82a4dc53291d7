#include "ui/Main/Oscillogram.h"

#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <optional>

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
    // Whole-pixel advances and crisp stems at this small size; fixed, so
    // that every platform draws alike.
    static constexpr QFont::HintingPreference Hinting = QFont::PreferFullHinting;

    QRawFont raw_;
    int baseline_ = 11;
    quint32 glyph_[128] = {};
    qreal advance_[128] = {};
};

// The font lives until the application object goes: its glyph engine
// belongs to the GUI library and must not outlive it.
std::mutex textFontMutex;
TextFont* textFont = nullptr;

void ReleaseFont() {
    std::lock_guard lock(textFontMutex);
    delete textFont;
    textFont = nullptr;
}

const TextFont& Font() {
    std::lock_guard lock(textFontMutex);
    if (textFont == nullptr) {
        textFont = new TextFont;
        qAddPostRoutine(ReleaseFont);
    }
    return *textFont;
}

// What the rectangles of the picture are filled with.
enum Ink : uint8_t {
    InkSeparator,
    InkTrace,
    InkRaw,
    InkHeader,
    InkStart,
    InkToggle,
    InkMode,
    InkAdr,
    InkAdrCopy,
    InkCmd,
    InkCmdCopy,
    InkCount
};
constexpr QColor InkColour[InkCount] = {
    Separator,      Trace,      RawSignal, HeaderTrailerShade, StartBitShade,
    ToggleBitShade, ModeColour, AdrColour, AdrCheckCopyShade, CmdColour,   CmdCheckCopyShade,
};

// Everything but the texts is drawn as axis-parallel rectangles in paint
// order, later ones covering earlier ones. Lines are rectangles one pixel
// wide that cover their start point but not their end point, so that
// consecutive lines meet without gaps, and a sloped line is two vertical
// runs. A canvas paints them.
class Canvas {
public:
    virtual ~Canvas() = default;
    // Fills left..right-1 × top..bottom-1; nothing when empty or inverted.
    virtual void Fill(int left, int top, int right, int bottom, Ink ink) = 0;
    // Paints whatever is still queued, before a text is written over it.
    virtual void Flush() {}
};

// Writes straight into the pixels of an image, clipped to the area being
// painted: the common case (the paint box's cached image, --plot), and
// many times faster than a QPainter call per rectangle.
class ImageCanvas final : public Canvas {
public:
    ImageCanvas(QImage& image, const QRect& area)
        : bits_(image.bits()),
          stride_(image.bytesPerLine()),
          width_(image.width()),
          height_(image.height()),
          ratio_(image.devicePixelRatio()),
          area_(area & QRect(0, 0, static_cast<int>(width_ / ratio_), static_cast<int>(height_ / ratio_))) {
        for (int k = 0; k < InkCount; ++k) rgb_[k] = InkColour[k].rgb();
    }

    // The painter draws with its own engine into an image in one of these
    // formats, with no clip and no transform but the image's pixel ratio.
    static bool Fits(const QPainter& p) {
        const QPaintDevice* device = p.device();
        if (device == nullptr || device->devType() != QInternal::Image) return false;
        const auto* image = static_cast<const QImage*>(device);
        const QImage::Format format = image->format();
        const qreal ratio = image->devicePixelRatio();
        return (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                format == QImage::Format_ARGB32_Premultiplied) &&
               !p.hasClipping() && p.compositionMode() == QPainter::CompositionMode_SourceOver &&
               p.opacity() == 1.0 && p.deviceTransform() == QTransform::fromScale(ratio, ratio);
    }

    void Fill(int left, int top, int right, int bottom, Ink ink) override {
        left = std::max(left, area_.left());
        top = std::max(top, area_.top());
        right = std::min(right, area_.right() + 1);
        bottom = std::min(bottom, area_.bottom() + 1);
        if (right <= left || bottom <= top) return;
        if (ratio_ != 1.0) {
            // A device pixel belongs to the rectangle when its centre does.
            left = Device(left, width_);
            top = Device(top, height_);
            right = Device(right, width_);
            bottom = Device(bottom, height_);
        }
        const QRgb rgb = rgb_[ink];
        auto* line = reinterpret_cast<QRgb*>(bits_ + static_cast<qsizetype>(top) * stride_);
        const qsizetype step = stride_ / static_cast<qsizetype>(sizeof(QRgb));
        if (right - left == 1) {  // the trace's vertical lines
            for (QRgb* p = line + left; top < bottom; ++top, p += step) *p = rgb;
            return;
        }
        for (; top < bottom; ++top, line += step) std::fill(line + left, line + right, rgb);
    }

private:
    int Device(int logical, int size) const {
        return std::clamp(static_cast<int>(std::ceil(logical * ratio_ - 0.5)), 0, size);
    }

    uchar* bits_;
    qsizetype stride_;
    int width_, height_;
    qreal ratio_;
    QRect area_;
    QRgb rgb_[InkCount];
};

// Paints through QPainter calls, for any other device. Rectangles are
// queued and painted in batches, all queued shading first (consecutive
// rectangles of one ink in one call), then the queued trace. That keeps the
// order as long as no queued shading covers queued trace, so a shading
// rectangle reaching back over the trace (a trailer's preceding space) or a
// full queue flushes first.
class PainterCanvas final : public Canvas {
public:
    explicit PainterCanvas(QPainter& painter) : p_(painter) {
        for (int k = 0; k < InkCount; ++k) brushes_[k] = QBrush(InkColour[k]);
    }

    void Fill(int left, int top, int right, int bottom, Ink ink) override {
        if (right <= left || bottom <= top) return;
        const QRect r(left, top, right - left, bottom - top);
        if (ink == InkTrace) {
            if (traceCount_ == MaxQueued) Flush();
            traces_[traceCount_++] = r;
            traceRight_ = std::max(traceRight_, r.right());
            return;
        }
        if (left <= traceRight_ || shadeCount_ == MaxQueued) Flush();
        shades_[shadeCount_] = r;
        inks_[shadeCount_++] = ink;
    }

    void Flush() override {
        p_.setPen(Qt::NoPen);
        for (int i = 0; i < shadeCount_;) {
            int j = i + 1;
            while (j < shadeCount_ && inks_[j] == inks_[i]) ++j;
            p_.setBrush(brushes_[inks_[i]]);
            p_.drawRects(shades_ + i, j - i);
            i = j;
        }
        if (traceCount_ > 0) {
            p_.setBrush(brushes_[InkTrace]);
            p_.drawRects(traces_, traceCount_);
        }
        shadeCount_ = traceCount_ = 0;
        traceRight_ = INT_MIN;
    }

private:
    static constexpr int MaxQueued = 512;

    QPainter& p_;
    QBrush brushes_[InkCount];
    QRect shades_[MaxQueued];
    Ink inks_[MaxQueued] = {};
    int shadeCount_ = 0;
    QRect traces_[MaxQueued];
    int traceCount_ = 0;
    int traceRight_ = INT_MIN;  // rightmost column of queued trace
};

// Move-to and line-to with a current point, for horizontal and vertical
// lines.
class Pen {
public:
    Pen(Canvas& canvas, Ink ink) : canvas_(canvas), ink_(ink) {}

    void MoveTo(int x, int y) {
        x_ = x;
        y_ = y;
    }

    void LineTo(int x, int y) {
        if (x == x_ && y > y_)
            canvas_.Fill(x, y_, x + 1, y, ink_);
        else if (x == x_ && y < y_)
            canvas_.Fill(x, y + 1, x + 1, y_ + 1, ink_);
        else if (y == y_ && x > x_)
            canvas_.Fill(x_, y, x, y + 1, ink_);
        else if (y == y_ && x < x_)
            canvas_.Fill(x + 1, y, x_ + 1, y + 1, ink_);
        MoveTo(x, y);
    }

private:
    Canvas& canvas_;
    Ink ink_;
    int x_ = 0, y_ = 0;
};

// A line from (x, y0) to (x + 1, y1), without its end point: one pixel
// when the step is at most one row, else a vertical run in each column,
// the first half of the rows in column x.
void RawStep(Canvas& canvas, int x, int y0, int y1) {
    const int n = std::abs(y1 - y0);
    if (n <= 1) {
        canvas.Fill(x, y0, x + 1, y0 + 1, InkRaw);
        return;
    }
    const int half = (n + 1) / 2;
    if (y1 > y0) {
        canvas.Fill(x, y0, x + 1, y0 + half, InkRaw);
        canvas.Fill(x + 1, y0 + half, x + 2, y1, InkRaw);
    } else {
        canvas.Fill(x, y0 - half + 1, x + 1, y0 + 1, InkRaw);
        canvas.Fill(x + 1, y1 + 1, x + 2, y0 - half + 1, InkRaw);
    }
}

struct Text {
    QPen pen{TextColour};
    QGlyphRun run;

    void Draw(QPainter& p, Canvas& canvas, int x, int y, const char* text, const QColor& background) {
        canvas.Flush();
        p.setPen(pen);
        Font().Draw(p, run, x, y, text, background);
    }
};

// Shading of mark i, in paint order: header or trailer, then the bits.
void ShadeMark(QPainter& p, Canvas& canvas, Text& text, const CodeFrame& f, int count, int i,
               double x, int hi, int lo) {
    const uint32_t flags = f.Flags[i];
    const bool hasSpace = i + 1 < count;
    // The box reaches one pixel past the mark's end, over its falling edge.
    const double w = std::trunc(f.Durations[i] * PixelsPerMicrosecond + 1);
    const int boxLeft = Px(x), boxRight = Px(x + w);
    const int stripRight = hasSpace ? Px(x + w + f.Durations[i + 1] * PixelsPerMicrosecond) : 0;
    const int bottom = lo + ShadeDepth;
    auto shade = [&](Ink ink, bool withStrip) {
        canvas.Fill(boxLeft, hi, boxRight, bottom, ink);
        if (withStrip) canvas.Fill(boxRight, lo, stripRight, bottom, ink);
    };

    if (flags & Header) {
        shade(InkHeader, hasSpace);
    } else if (flags & Trailer) {
        shade(InkHeader, false);
        if (i > 0)
            canvas.Fill(Px(x - f.Durations[i - 1] * PixelsPerMicrosecond), lo, Px(x), bottom, InkHeader);
    }
    if (flags & Recovered)
        text.Draw(p, canvas, Px(x + RecoveredOffset), hi + RecoveredOffset, "Recovered",
                  RecoveredBackground);
    const bool copy = flags & CheckCopy;
    const struct {
        uint32_t bit;
        Ink ink;
    } bits[] = {
        {StartBit, InkStart},
        {ToggleBit, InkToggle},
        {ModeBit, InkMode},
        {AdrBit, copy ? InkAdrCopy : InkAdr},
        {CmdBit, copy ? InkCmdCopy : InkCmd},
    };
    for (const auto& b : bits)
        if (flags & b.bit) shade(b.ink, hasSpace && (f.Flags[i + 1] & b.bit));
}

void PaintRow(QPainter& p, Canvas& canvas, Text& text, const CodeFrame& f, int row,
              const QRect& area) {
    const int top = row * RowHeight;
    if (row > 0) canvas.Fill(area.left(), top - 1, area.right() + 1, top, InkSeparator);
    const int count = ValidCount(f);
    if (count == 0) return;
    const RowLevels levels = OscillogramRowLevels(f, row);
    const int hi = levels.high, lo = levels.low;

    OscillogramText texts[MaxRowTexts];
    const int n = RowTexts(f, row, texts);
    for (int k = 0; k < n; ++k)
        text.Draw(p, canvas, texts[k].x, texts[k].y, texts[k].text, texts[k].background);

    Pen trace(canvas, InkTrace);
    double x = TraceStart;
    for (int i = 0; i < count; i += 2) {
        if (f.Flags[i] != 0) ShadeMark(p, canvas, text, f, count, i, x, hi, lo);
        trace.MoveTo(Px(x), lo);
        trace.LineTo(Px(x), hi);
        x = NextDurationX(x, f.Durations[i]);
        trace.LineTo(Px(x), hi);
        trace.LineTo(Px(x), lo);
        if (i + 1 < count) {
            x = NextDurationX(x, f.Durations[i + 1]);
            trace.LineTo(Px(x), lo);
        }
    }
    canvas.Flush();

    // Raw signal: the first sample, then the mean of every further group of
    // four, one column each.
    const int samples = ValidSampleCount(f);
    if (samples == 0) return;
    const int c = lo + RawCentreBelowLow;
    int y = c - f.Samples[0] * RawRangePixels / 65536;
    int column = RawStart;
    for (int j = SamplesPerColumn; j + 3 < samples; j += SamplesPerColumn, ++column) {
        const int s = f.Samples[j] + f.Samples[j + 1] + f.Samples[j + 2] + f.Samples[j + 3];
        const int next = Px(c - RawRangePixels * s * 0.25 / 65536);
        RawStep(canvas, column, y, next);
        y = next;
    }
    canvas.Flush();
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
    std::optional<ImageCanvas> direct;
    std::optional<PainterCanvas> queued;
    if (ImageCanvas::Fits(painter))
        direct.emplace(*static_cast<QImage*>(painter.device()), area);
    else
        queued.emplace(painter);
    Canvas& canvas = direct ? static_cast<Canvas&>(*direct) : *queued;

    painter.save();
    painter.setClipRect(area, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    // The painter's own fill: a vectorised one, where most of the time of
    // a paint goes.
    painter.fillRect(area, Background);
    Text text;
    for (int row = 0; row < RowCount; ++row) {
        // A row paints from its separator down to its last text cell.
        const int top = row * RowHeight;
        if (area.bottom() < top - 1 || area.top() >= top + RowHeight) continue;
        PaintRow(painter, canvas, text, buffer.Slots[row], row, area);
    }
    canvas.Flush();
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

// The captured-frame record, the ten-slot recording buffer and the user's
// decoding choices. Everything here is plain data: copying a CodeFrame copies
// the frame, and the arrays keep their full size because decoders read and
// mark fixed positions beyond Count. Every producer leaves the entries at and
// beyond Count zero (PrepareFrameInput), so that those reads give the same
// answer whatever the record held before.
#pragma once

#include <cstdint>
#include <mutex>

namespace tovanel {

inline constexpr int MaxDurations = 200;
inline constexpr int MaxSamples = 4096;
inline constexpr int MaxClasses = 8;
inline constexpr int SlotCount = 10;

// Role of one duration, OR-ed into CodeFrame::Flags for the oscillogram.
enum DurationFlag : uint32_t {
    Recovered = 0x001,  // lead-in mark put in place of a lost first mark
    Header = 0x002,
    Trailer = 0x004,
    StartBit = 0x008,
    ToggleBit = 0x010,
    ModeBit = 0x020,
    AdrBit = 0x040,
    CmdBit = 0x080,
    CheckCopy = 0x100,  // with AdrBit/CmdBit: an inverted check copy
};

struct CodeFrame {
    // Input, written by the producer (assembler, key loader, recomputation).
    int32_t Period;                    // µs from the previous frame's start
    int32_t Total;                     // sum of all durations, µs
    int32_t Durations[MaxDurations];   // even positions marks, odd spaces
    uint32_t Flags[MaxDurations];      // DurationFlag bits per duration
    int32_t Count;                     // valid durations, 0..200
    int16_t Samples[MaxSamples];       // raw sound-card samples
    int32_t SampleCount;
    int32_t SlotIndex;                 // 0..9; above 0 may be a repeat

    // Results of AnalyzeFrame.
    bool IsRepeat;
    bool HasHeader;
    bool HasTrailer;
    int32_t MarkMeans[MaxClasses];
    int32_t SpaceMeans[MaxClasses];
    int32_t MarkCounts[MaxClasses];
    int32_t SpaceCounts[MaxClasses];
    int32_t MarkClassCount;
    int32_t SpaceClassCount;
    int32_t ClassIndex[MaxDurations];
    int32_t Modulation;  // 0 none, 1 pulse distance, 2 pulse length, 3 bi-phase
    int32_t Protocol;    // 0..19, -1 reset or rejected
    int32_t ModeStart;
    int32_t ModeBits;
    int32_t Mode;
    bool AdrOrder;       // true: low bit first
    int32_t AdrStart;    // duration position (half-bit position in bi-phase)
    int32_t AdrBits;
    uint64_t Adr;
    bool CmdOrder;
    int32_t CmdStart;
    int32_t CmdBits;
    uint64_t Cmd;
};

struct FrameBuffer {
    CodeFrame Slots[SlotCount];
    int32_t FillCount;  // slots filled by the assembler since the last reset
};

// The user's decoding choices. Start values are duration positions (twice
// the bit position the main window shows).
struct DecodeSettings {
    int32_t ForcedModulation = 0;
    int32_t ForcedProtocol = 0;
    int32_t AdrStart = 0;
    int32_t AdrBits = 0;
    bool AdrOrder = false;
    bool AdrInverse = false;
    int32_t CmdStart = 0;
    int32_t CmdBits = 0;
    bool CmdOrder = false;
    bool CmdInverse = false;
};

// Empties the buffer: FillCount 0 and in every slot no durations, samples or
// classes. Results of earlier analyses stay; readers treat Count 0 as empty.
void ResetFrameBuffer(FrameBuffer& buffer);

// Zeroes a record completely (a fresh slot, as a scratch frame starts).
void ClearFrame(CodeFrame& frame);

// What every producer does once Durations and Count are in place, before
// the analysis: Total becomes the sum of the durations (saturated to
// 32 bits), Durations at and beyond Count are zeroed, and every Flags and
// ClassIndex entry is cleared. A decoder that reads a position the frame
// does not reach then reads a zero duration of class 0, and a frame the
// analysis leaves unclassified shows class 0, never a value left by an
// earlier frame.
void PrepareFrameInput(CodeFrame& frame);

// The recording buffer shared by a capture worker thread (which fills slots)
// and the GUI thread (which reads them). Writers hold the lock while a slot is
// rewritten; readers take a copy under the same lock, so a reader never sees
// a half-written slot.
class SharedFrameBuffer {
public:
    SharedFrameBuffer();
    SharedFrameBuffer(const SharedFrameBuffer&) = delete;
    SharedFrameBuffer& operator=(const SharedFrameBuffer&) = delete;

    std::mutex& Mutex() const { return mutex_; }
    // Only while holding Mutex().
    FrameBuffer& Locked() { return buffer_; }

    void Reset();
    void CopyTo(FrameBuffer& out) const;
    void CopySlot(int slot, CodeFrame& out) const;
    int32_t FillCount() const;

private:
    mutable std::mutex mutex_;
    FrameBuffer buffer_;
};

// The decoding choices shared between the GUI thread (which changes them) and
// the capture worker (which reads them for every frame). A frame is analysed
// with one consistent copy.
class SharedDecodeSettings {
public:
    DecodeSettings Get() const;
    void Set(const DecodeSettings& settings);

private:
    mutable std::mutex mutex_;
    DecodeSettings settings_;
};

// The program's single recording buffer and decoding settings.
SharedFrameBuffer& GlobalFrameBuffer();
SharedDecodeSettings& GlobalDecodeSettings();

}  // namespace tovanel

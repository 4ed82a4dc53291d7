// A recorded key press as one more capture source: the first burst of a
// durations, mode2 or WAV file (the formats tovanel-analyze reads), played
// frame by frame into the frame assembler with the file's own pauses, so
// that the window shows it exactly as a live capture.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/CaptureSink.h"
#include "tools/analyze/AnalyzeTool.h"
#include "tools/analyze/FirstBurst.h"

namespace tovanel {

// The format by the file's first bytes: a RIFF header is WAV, a first word
// "pulse", "space" or "timeout" (after mode2's own remarks) is mode2, a
// first word of other than digits, signs and commas a code text, anything
// else the durations list.
InputFormat GuessRecordingFormat(const std::string& head);

// Reads the first burst of `path`. WAV files run through the sound card's
// edge detector with the given parameters. False with a message that
// names the file and the first bad line when the file cannot be read, is
// not a recording or holds no frame.
bool ReadRecording(const std::string& path, int32_t pulseTime, int32_t pulseLevel, Recording& out,
                   std::string& error);

// Plays a recording on a thread of its own: each frame goes to the sink
// once the time a receiver would have needed for it has passed (the
// previous frame plus the pause before this one), never more than the
// burst pause, so the frames stay one burst.
class RecordingPlayer {
public:
    explicit RecordingPlayer(FrameSink sink);
    ~RecordingPlayer();
    RecordingPlayer(const RecordingPlayer&) = delete;
    RecordingPlayer& operator=(const RecordingPlayer&) = delete;

    // Stops a playing recording first.
    void Start(Recording recording);
    // Ends the playing at once; harmless when nothing plays.
    void Stop();
    bool Running() const { return thread_.joinable(); }

private:
    void Play(const Recording& recording);

    FrameSink sink_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stop_ = false;
};

}  // namespace tovanel

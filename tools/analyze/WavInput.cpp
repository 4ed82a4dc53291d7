#include "tools/analyze/WavInput.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace tovanel {

namespace {

constexpr uint16_t FormatPcm = 1;
constexpr uint16_t FormatExtensible = 0xFFFE;

uint32_t U32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }
uint16_t U16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void Put32(std::string& s, uint32_t v) {
    for (int k = 0; k < 4; ++k) s += static_cast<char>((v >> (8 * k)) & 0xFF);
}
void Put16(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

}  // namespace

bool ReadWav(std::istream& in, std::vector<int16_t>& samples, std::string& error) {
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t size = bytes.size();
    if (size < 12 || std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "WAVE", 4) != 0) {
        error = "not a WAV file";
        return false;
    }
    bool haveFormat = false;
    for (size_t at = 12; at + 8 <= size;) {
        const uint32_t length = U32(b + at + 4);
        const unsigned char* body = b + at + 8;
        const size_t available = size - (at + 8);
        if (std::memcmp(b + at, "fmt ", 4) == 0) {
            if (length < 16 || available < 16) break;
            uint16_t format = U16(body);
            const uint16_t channels = U16(body + 2), bits = U16(body + 14);
            const uint32_t rate = U32(body + 4);
            // The extensible header names the real format in its sub-format.
            if (format == FormatExtensible && length >= 40 && available >= 40) format = U16(body + 24);
            if (format != FormatPcm || channels != 1 || rate != 48000 || bits != 16) {
                error = "holds " + std::string(format == FormatPcm ? "PCM" : "non-PCM") + " audio at " +
                        std::to_string(rate) + " Hz, " + std::to_string(bits) + "-bit, " +
                        std::to_string(channels) + " channel(s); only 48000 Hz 16-bit mono PCM can be read";
                return false;
            }
            haveFormat = true;
        } else if (std::memcmp(b + at, "data", 4) == 0) {
            if (!haveFormat) break;
            const size_t n = std::min<size_t>(length, available) / 2;
            samples.resize(n);
            for (size_t i = 0; i < n; ++i) samples[i] = static_cast<int16_t>(U16(body + 2 * i));
            return true;
        }
        at += 8 + size_t{length} + (length & 1);  // chunks are padded to even lengths
    }
    error = haveFormat ? "WAV file without samples" : "WAV file without a format";
    return false;
}

std::string WavBytes(const std::vector<int16_t>& samples) {
    const auto data = static_cast<uint32_t>(samples.size() * 2);
    std::string s = "RIFF";
    Put32(s, 36 + data);
    s += "WAVEfmt ";
    Put32(s, 16);
    Put16(s, FormatPcm);
    Put16(s, 1);
    Put32(s, 48000);
    Put32(s, 96000);
    Put16(s, 2);
    Put16(s, 16);
    s += "data";
    Put32(s, data);
    for (int16_t v : samples) Put16(s, static_cast<uint16_t>(v));
    return s;
}

}  // namespace tovanel

#include "tools/analyze/WavInput.h"

#include <algorithm>
#include <cstring>

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

namespace {

// Reads up to `n` bytes; returns how many arrived.
size_t ReadSome(std::istream& in, unsigned char* to, size_t n) {
    in.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(n));
    return static_cast<size_t>(in.gcount());
}

}  // namespace

// The chunks are read one after the other from the stream, so a file that
// is no WAV file is refused after its first twelve bytes, whatever follows.
bool ReadWav(std::istream& in, std::vector<int16_t>& samples, std::string& error) {
    unsigned char head[12];
    if (ReadSome(in, head, 12) < 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) {
        error = "not a WAV file";
        return false;
    }
    bool haveFormat = false;
    unsigned char chunk[8];
    while (ReadSome(in, chunk, 8) == 8) {
        const uint32_t length = U32(chunk + 4);
        uint64_t skip = uint64_t{length} + (length & 1);  // chunks are padded to even lengths
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char body[40] = {};
            const size_t want = std::min<size_t>(length, sizeof body);
            const size_t got = ReadSome(in, body, want);
            if (length < 16 || got < 16) break;
            uint16_t format = U16(body);
            const uint16_t channels = U16(body + 2), bits = U16(body + 14);
            const uint32_t rate = U32(body + 4);
            // The extensible header names the real format in its sub-format.
            if (format == FormatExtensible && got >= 40) format = U16(body + 24);
            if (format != FormatPcm || channels != 1 || rate != 48000 || bits != 16) {
                error = "holds " + std::string(format == FormatPcm ? "PCM" : "non-PCM") + " audio at " +
                        std::to_string(rate) + " Hz, " + std::to_string(bits) + "-bit, " +
                        std::to_string(channels) + " channel(s); only 48000 Hz 16-bit mono PCM can be read";
                return false;
            }
            haveFormat = true;
            skip -= got;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) break;
            // The samples the chunk declares, or as many as the file holds.
            std::vector<unsigned char> bytes;
            unsigned char block[1 << 16];
            for (uint32_t left = length; left > 0;) {
                const size_t got = ReadSome(in, block, std::min<size_t>(left, sizeof block));
                bytes.insert(bytes.end(), block, block + got);
                if (got == 0) break;
                left -= static_cast<uint32_t>(got);
            }
            samples.resize(bytes.size() / 2);
            for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(U16(&bytes[2 * i]));
            return true;
        }
        in.ignore(static_cast<std::streamsize>(skip));
        if (!in) break;
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

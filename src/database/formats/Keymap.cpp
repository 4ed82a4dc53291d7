#include "database/formats/Keymap.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <vector>

#include <toml++/toml.h>

#include "analysis/rc/RcEncoders.h"
#include "analysis/rc/RcReading.h"
#include "database/formats/TextScan.h"

namespace tovanel {

using namespace codefile;

namespace {

// ---- Protocols ------------------------------------------------------------------

// Keymaps spell a name with or without dashes and underscores ("rc-5" and
// "rc5", "rc-mm-12"), in any letter case.
std::string Folded(std::string_view name) {
    std::string out;
    for (char c : name)
        if (c != '-' && c != '_') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool OfDecoder(const RcProtocolInfo& p, std::string_view decoder) { return Folded(p.keymapProtocol) == decoder; }

// The RC-6 6A customer codes the kernel reads as MCE, and the RC-MM 32
// modes that carry a toggle bit: scancodes that only one of two variants
// can produce.
constexpr uint32_t MceCustomers[] = {0x800f, 0x8034, 0x8046};
constexpr uint32_t RcmmModeBits = 0x000c0000, RcmmToggleBit = 0x8000;

// Whether the kernel reads the protocol's frame for this scancode as the
// same scancode. NEC's decoder takes a frame whose address or command bytes
// are each other's inverse for the shorter variant, RC-6 tells MCE by its
// customer code, and a toggle bit never belongs to a scancode.
bool ReadsBackAs(RcProtocol p, uint32_t scancode) {
    if (!RcScancodeFits(p, scancode)) return false;
    const auto inverse = [](uint32_t a, uint32_t b) { return ((a ^ b) & 0xff) == 0xff; };
    const bool mce = std::find(std::begin(MceCustomers), std::end(MceCustomers), scancode >> 16) !=
                     std::end(MceCustomers);
    switch (p) {
        case RcProtocol::Necx: return !inverse(scancode >> 16, scancode >> 8);
        case RcProtocol::Nec32: return !inverse(scancode >> 8, scancode);
        case RcProtocol::Rc6Mce: return mce;
        case RcProtocol::Rc6_6a_32: return !mce;
        case RcProtocol::Rcmm32:
            return (scancode & RcmmModeBits) == RcmmModeBits || (scancode & RcmmToggleBit) == 0;
        default: return true;
    }
}

// The frames of one short press: the first frame and a repeat (NEC's and
// Sanyo's repeat code, JVC's frame without leader, Sharp's inverted copy);
// a Sony remote sends its frame at least three times.
int FramesPerPress(RcProtocol p) {
    return p == RcProtocol::Sony12 || p == RcProtocol::Sony15 || p == RcProtocol::Sony20 ? 3 : 2;
}

// ---- Key names ------------------------------------------------------------------

std::string Upper(std::string_view s) {
    std::string out;
    for (char c : s) out += c == ' ' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// ---- The reader -------------------------------------------------------------------

// toml++ 3.3 (Debian 12) reaches __builtin_unreachable when it asks whether
// a character of three ranges outside ASCII (Latin-1 to Cyrillic among
// them) is a blank, which it asks wherever a token may end. So the parser
// never sees them: each is moved, one for one, into the private-use
// characters U+E000..U+EBFF, which it takes for no blank, and the strings
// it returns are moved back. A text that has a private-use character of
// its own is refused instead.
struct ShiftedRange {
    char32_t first, last, to;
};
constexpr ShiftedRange Shifted[] = {{0x00a1, 0x0499, 0xe000}, {0x2c5e, 0x3057, 0xe400}, {0xfb26, 0xfefe, 0xe800}};
constexpr char32_t ShiftedFirst = 0xe000, ShiftedLast = 0xebff;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x800) {
        out += static_cast<char>(0xc0 | (c >> 6));
    } else {
        out += static_cast<char>(0xe0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    }
    out += static_cast<char>(0x80 | (c & 0x3f));
}

// Rewrites the characters of two and three bytes for which `map` returns
// another (each stays as it is when map returns it, or when its bytes are
// no UTF-8, which the parser refuses). False when map refuses one (0).
template <typename Map>
bool MapUtf8(std::string_view text, std::string& out, Map map) {
    out.clear();
    out.reserve(text.size() + text.size() / 2);
    for (size_t i = 0; i < text.size();) {
        const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
        const auto continuation = [&](size_t k) { return k < text.size() && (byte(k) & 0xc0) == 0x80; };
        size_t length = 1;
        char32_t c = byte(i);
        if ((c & 0xe0) == 0xc0 && continuation(i + 1)) {
            length = 2;
            c = ((c & 0x1f) << 6) | (byte(i + 1) & 0x3f);
        } else if ((c & 0xf0) == 0xe0 && continuation(i + 1) && continuation(i + 2)) {
            length = 3;
            c = ((c & 0x0f) << 12) | ((byte(i + 1) & 0x3f) << 6) | (byte(i + 2) & 0x3f);
        }
        const char32_t to = length > 1 && c >= 0x80 ? map(c) : c;
        if (to == 0) return false;
        if (to == c) out.append(text.substr(i, length));
        else AppendUtf8(out, to);
        i += length;
    }
    return true;
}

bool ShiftForParser(std::string_view text, std::string& out) {
    return MapUtf8(text, out, [](char32_t c) -> char32_t {
        if (c >= ShiftedFirst && c <= ShiftedLast) return 0;
        for (const ShiftedRange& r : Shifted)
            if (c >= r.first && c <= r.last) return r.to + (c - r.first);
        return c;
    });
}

std::string ShiftedBack(std::string_view text) {
    std::string out;
    MapUtf8(text, out, [](char32_t c) -> char32_t {
        for (const ShiftedRange& r : Shifted)
            if (c >= r.to && c <= r.to + (r.last - r.first)) return r.first + (c - r.to);
        return c;
    });
    return out;
}

int LineOf(const toml::source_region& source, int lines) {
    return std::clamp(static_cast<int>(source.begin.line), 1, std::max(1, lines));
}

class KeymapReader {
public:
    KeymapReader(std::string_view text, CodeFileSink& sink)
        : sink_(sink), lines_(static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1) {}

    void Read(std::string_view text) {
        std::string shifted;
        if (!ShiftForParser(text, shifted)) {
            const size_t at = text.find("\xee");  // U+E000..U+EFFF begin so
            const int line = static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(
                                                                           std::min(at, text.size())), '\n')) + 1;
            return sink_.Error(line, "not a TOML keymap: a private-use character");
        }
        toml::table doc;
        try {
            doc = toml::parse(shifted);
        } catch (const toml::parse_error& e) {
            return sink_.Error(LineOf(e.source(), lines_), "not a TOML keymap: " + std::string(e.description()));
        }
        const toml::array* tables = doc["protocols"].as_array();
        if (tables == nullptr) return sink_.Error(1, "a keymap without a [[protocols]] table");
        for (const toml::node& node : *tables) {
            const toml::table* table = node.as_table();
            if (table == nullptr) return sink_.Error(Line(node), "'protocols' is not an array of tables");
            Table(*table);
        }
    }

private:
    int Line(const toml::node& node) const { return LineOf(node.source(), lines_); }

    // A string field of a table; none when it is missing, an error when it
    // is something else.
    bool Text(const toml::table& table, const char* field, std::string& out) {
        const toml::node* node = table.get(field);
        if (node == nullptr) return true;
        if (!node->is_string()) {
            sink_.Error(Line(*node), std::string("'") + field + "' is not a string");
            return false;
        }
        out = ShiftedBack(node->as_string()->get());
        return true;
    }

    void Table(const toml::table& table) {
        const int line = Line(table);
        std::string name, protocol, variant;
        if (!Text(table, "name", name) || !Text(table, "protocol", protocol) || !Text(table, "variant", variant))
            return;
        if (protocol.empty()) return sink_.Error(line, "a [[protocols]] table without 'protocol'");
        const std::string what = "protocols table " + Quoted(name);
        const std::string decoder = Folded(protocol);
        const RcProtocolInfo* family = nullptr;
        for (const RcProtocolInfo& p : RcProtocols())
            if (family == nullptr && OfDecoder(p, decoder)) family = &p;
        if (family == nullptr) return sink_.Skip(line, what, "no encoder here for the protocol " + Quoted(protocol));

        const toml::node* scancodes = table.get("scancodes");
        if (scancodes != nullptr && !scancodes->is_table())
            return sink_.Error(Line(*scancodes), "'scancodes' is not a table");
        sink_.BeginUnit({name, line, family->carrier});
        if (scancodes == nullptr) return;

        // In the order of the file: a TOML table keeps its keys sorted.
        std::vector<std::pair<std::string, const toml::node*>> entries;
        for (const auto& [key, value] : *scancodes->as_table()) entries.emplace_back(ShiftedBack(key.str()), &value);
        std::stable_sort(entries.begin(), entries.end(),
                         [&](const auto& a, const auto& b) { return Line(*a.second) < Line(*b.second); });
        std::map<uint32_t, int> seen;  // scancode, its line
        for (const auto& [key, value] : entries) {
            const int at = Line(*value);
            uint64_t scancode = 0;
            // ir-keytable reads a scancode as C's strtoul does: 0x hex, 0 octal.
            if (!ParseNumber(key, scancode, true) || scancode > UINT32_MAX)
                return sink_.Error(at, Quoted(key) + " is not a 32-bit scancode");
            if (!value->is_string() || value->as_string()->get().empty())
                return sink_.Error(at, "the scancode " + Quoted(key) + " is not mapped to a key code");
            const std::string code = ShiftedBack(value->as_string()->get());
            const std::string keyName = KeymapKeyName(code);
            const auto [previous, fresh] = seen.emplace(static_cast<uint32_t>(scancode), at);
            if (!fresh) {
                sink_.Skip(at, "key " + Quoted(keyName),
                           "the scancode " + Quoted(key) + " is mapped already on line " +
                               std::to_string(previous->second));
                continue;
            }
            const std::optional<RcProtocol> p = KeymapEncoding(protocol, variant, static_cast<uint32_t>(scancode));
            if (!p) {
                sink_.Skip(at, "key " + Quoted(keyName),
                           "no " + protocol + " frame is read as the scancode " + Quoted(key));
                continue;
            }
            std::vector<CodeFileFrame> frames;
            for (RcFrame& f : EncodeRc(*p, static_cast<uint32_t>(scancode), false, FramesPerPress(*p)))
                frames.push_back({f.period, std::move(f.durations)});
            sink_.AddKey({keyName, at, std::move(frames)});
        }
    }

    CodeFileSink& sink_;
    int lines_;
};

// ---- The writer -------------------------------------------------------------------

// A TOML basic string.
std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 32 || u == 127) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A name in a comment: on one line.
std::string Commented(std::string_view s) {
    std::string out;
    for (char c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        out += u < 32 || u == 127 ? '?' : c;
    }
    return out;
}

}  // namespace

void ReadKeymap(std::string_view text, CodeFileSink& sink) { KeymapReader(text, sink).Read(text); }

std::optional<RcProtocol> KeymapEncoding(std::string_view protocol, std::string_view variant, uint32_t scancode) {
    const std::string decoder = Folded(protocol), wanted = Folded(variant);
    for (const RcProtocolInfo& p : RcProtocols())
        if (!wanted.empty() && OfDecoder(p, decoder) && (Folded(p.name) == wanted || Folded(p.keymapVariant) == wanted) &&
            ReadsBackAs(p.protocol, scancode))
            return p.protocol;
    for (const RcProtocolInfo& p : RcProtocols())
        if (OfDecoder(p, decoder) && ReadsBackAs(p.protocol, scancode)) return p.protocol;
    return std::nullopt;
}

std::string WriteKeymap(const ExportUnit& unit) {
    struct Line {
        const ExportKey* key;
        RcReading reading;
    };
    std::vector<RcProtocol> order;  // the protocols, as they first appear
    std::vector<Line> lines;
    std::vector<const ExportKey*> unread;
    for (const ExportKey& key : unit.keys) {
        std::vector<RcDurations> burst;
        for (const CodeFileFrame& f : key.frames)
            if (!f.durations.empty()) burst.emplace_back(f.durations);
        const std::optional<RcReading> reading = burst.empty() ? std::nullopt : ReadRcBurst(burst)[0];
        if (!reading) {
            unread.push_back(&key);
            continue;
        }
        if (std::find(order.begin(), order.end(), reading->protocol) == order.end())
            order.push_back(reading->protocol);
        lines.push_back({&key, *reading});
    }
    if (lines.empty()) return {};

    const std::string unitName = unit.name.empty() ? std::string("tovanel") : unit.name;
    std::string s = "# " + Commented(unitName) + ", written by Tovanel as a keymap for ir-keytable\n";
    for (const ExportKey* key : unread)
        s += "# " + Commented(key->name) + ": no kernel protocol reads its frames\n";
    for (RcProtocol p : order) {
        const RcProtocolInfo& info = RcInfo(p);
        s += "[[protocols]]\nname = " + Quote(unitName) + "\nprotocol = " + Quote(info.keymapProtocol) +
             "\nvariant = " + Quote(info.keymapVariant) + "\n[protocols.scancodes]\n";
        std::map<uint32_t, const ExportKey*> written;
        for (const Line& l : lines) {
            if (l.reading.protocol != p) continue;
            const std::optional<std::string> code = KeymapKeyCode(l.key->name);
            std::string line = RcScancodeText(p, l.reading.scancode) + " = " + Quote(code ? *code : "KEY_UNKNOWN");
            if (!code) line += " # " + Commented(l.key->name);
            const auto [first, fresh] = written.emplace(l.reading.scancode, l.key);
            // ir-keytable refuses a scancode twice in one table.
            if (!fresh)
                line = "# " + line + (code ? " # " : ", ") + "the same scancode as " + Commented(first->second->name);
            s += line + "\n";
        }
    }
    return s;
}

std::optional<std::string> KeymapKeyCode(std::string_view keyName) {
    const std::string upper = Upper(Trim(keyName));
    if ((StartsWith(upper, "KEY_") || StartsWith(upper, "BTN_")) && IsLinuxKeyCode(upper)) return upper;
    if (IsLinuxKeyCode("KEY_" + upper)) return "KEY_" + upper;
    return std::nullopt;
}

std::string KeymapKeyName(std::string_view keyCode) {
    std::string_view rest = StartsWith(keyCode, "KEY_") ? keyCode.substr(4) : keyCode;
    if (rest.empty()) rest = keyCode;
    std::string name;
    for (char c : rest) {
        const unsigned char u = static_cast<unsigned char>(c);
        name += c == '_' ? ' ' : static_cast<char>(name.empty() ? std::toupper(u) : std::tolower(u));
    }
    return name;
}

}  // namespace tovanel

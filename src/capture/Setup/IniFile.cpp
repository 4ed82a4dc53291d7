#include "capture/Setup/IniFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include <unistd.h>

#include "capture/Setup/SmallFile.h"

namespace tovanel {

namespace {

std::string Trim(const std::string& s) {
    const char* blanks = " \t\r\n";
    const size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// "[Name]" gives Name; any other line gives nothing.
std::optional<std::string> SectionOf(const std::string& line) {
    const std::string t = Trim(line);
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']') return Trim(t.substr(1, t.size() - 2));
    return std::nullopt;
}

bool IsComment(const std::string& t) { return t.empty() || t[0] == ';' || t[0] == '#'; }

// Splits "key=value"; false for lines that are not assignments.
bool Assignment(const std::string& line, std::string& key, std::string& value) {
    const std::string t = Trim(line);
    if (IsComment(t)) return false;
    const size_t eq = t.find('=');
    if (eq == std::string::npos) return false;
    key = Trim(t.substr(0, eq));
    value = Trim(t.substr(eq + 1));
    return true;
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {
    std::string content, reason;
    const SmallFileResult result = ReadSmallFile(path_, content, reason);
    exists_ = result != SmallFileResult::Missing;
    if (result == SmallFileResult::Refused) readError_ = reason;
    std::istringstream in(content);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // Editors that save "UTF-8 with BOM" put one before the first section.
        if (lines_.empty() && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        lines_.push_back(line);
    }
}

std::optional<std::string> IniFile::Get(const std::string& section, const std::string& key) const {
    bool inSection = false;
    for (const std::string& line : lines_) {
        if (auto name = SectionOf(line)) {
            inSection = SameName(*name, section);
            continue;
        }
        std::string k, v;
        if (inSection && Assignment(line, k, v) && SameName(k, key)) return v;
    }
    return std::nullopt;
}

std::string IniFile::GetString(const std::string& section, const std::string& key,
                               const std::string& fallback) const {
    return Get(section, key).value_or(fallback);
}

int32_t IniFile::GetInt(const std::string& section, const std::string& key, int32_t fallback) const {
    const auto text = Get(section, key);
    if (!text || text->empty()) return fallback;
    size_t i = (*text)[0] == '-' || (*text)[0] == '+' ? 1 : 0;
    if (i == text->size()) return fallback;
    int64_t v = 0;
    for (; i < text->size(); ++i) {
        const char c = (*text)[i];
        if (c < '0' || c > '9') return fallback;
        v = v * 10 + (c - '0');
        if (v > int64_t{std::numeric_limits<int32_t>::max()} + 1) return fallback;
    }
    if ((*text)[0] == '-') v = -v;
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) return fallback;
    return static_cast<int32_t>(v);
}

bool IniFile::GetBool(const std::string& section, const std::string& key, bool fallback) const {
    // An unreadable value maps to a sentinel only a real 0 or 1 can't be.
    const int32_t a = GetInt(section, key, 0), b = GetInt(section, key, 1);
    if (a != b) return fallback;  // the fallback was used: unreadable or missing
    return a != 0;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    const std::string entry = key + "=" + value;
    bool inSection = false;
    size_t lastOfSection = std::string::npos;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (auto name = SectionOf(lines_[i])) {
            inSection = SameName(*name, section);
            if (inSection) lastOfSection = i;
            continue;
        }
        if (!inSection) continue;
        std::string k, v;
        if (Assignment(lines_[i], k, v) && SameName(k, key)) {
            lines_[i] = entry;
            return;
        }
        if (!Trim(lines_[i]).empty()) lastOfSection = i;
    }
    if (lastOfSection != std::string::npos) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastOfSection) + 1, entry);
        return;
    }
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.push_back("");
    lines_.push_back("[" + section + "]");
    lines_.push_back(entry);
}

void IniFile::SetInt(const std::string& section, const std::string& key, int32_t value) {
    Set(section, key, std::to_string(value));
}

void IniFile::SetBool(const std::string& section, const std::string& key, bool value) {
    Set(section, key, value ? "1" : "0");
}

bool IniFile::Save(std::string* error) const {
    namespace fs = std::filesystem;
    auto fail = [&](const std::string& what) {
        if (error) *error = "Can't write " + path_ + ": " + what;
        return false;
    };
    // What could not be read must not be replaced by what little was.
    if (!readError_.empty()) return fail("it could not be read (" + readError_ + ")");
    std::error_code ec;
    const fs::path target(path_);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    const std::string temp = path_ + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::trunc);
        if (!out) return fail(std::strerror(errno));
        for (const std::string& line : lines_) out << line << '\n';
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            return fail("write failed");
        }
    }
    if (std::rename(temp.c_str(), path_.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        std::remove(temp.c_str());
        return fail(why);
    }
    return true;
}

}  // namespace tovanel

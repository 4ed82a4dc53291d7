// A settings file in the Windows profile format: [sections] of key=value
// lines. Section and key names match without regard to letter case, as the
// profile format does; values are kept as written. Reading never fails: a
// missing file is an empty one, and so is one that cannot be read (a
// folder, a device, a file over 1 MiB), which is then never overwritten
// (ReadError says why). Writing keeps every other line of the file
// (comments, unknown keys) and replaces the file in one step, so a crash
// mid-write never leaves a half-written settings file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tovanel {

class IniFile {
public:
    // Reads `path`; a missing or unreadable file gives an empty one.
    explicit IniFile(std::string path);

    const std::string& Path() const { return path_; }
    bool Exists() const { return exists_; }
    // Why the file that exists could not be read; empty when it was read.
    const std::string& ReadError() const { return readError_; }

    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& fallback) const;
    // A whole decimal number in 32-bit range (surrounding blanks allowed);
    // anything else gives the fallback.
    int32_t GetInt(const std::string& section, const std::string& key, int32_t fallback) const;
    // True for any non-zero integer; an unreadable value gives the fallback.
    bool GetBool(const std::string& section, const std::string& key, bool fallback) const;

    // Sets a key in memory: replaced in place, or appended to its section,
    // or in a new section at the end.
    void Set(const std::string& section, const std::string& key, const std::string& value);
    void SetInt(const std::string& section, const std::string& key, int32_t value);
    void SetBool(const std::string& section, const std::string& key, bool value);

    // Writes the file (creating its folder if needed). False with a message
    // when it cannot be written, or was not read; the old file is then
    // untouched.
    bool Save(std::string* error = nullptr) const;

private:
    std::string path_;
    std::vector<std::string> lines_;
    bool exists_ = false;
    std::string readError_;
};

}  // namespace tovanel

#include "Common/IniFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>

#include "Common/Text.h"

namespace {

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// One line of the file as the reader sees it.
struct IniLine {
    enum Kind { kOther, kSection, kEntry } kind = kOther;
    std::string_view name;   // section name or key
    std::string_view value;  // entries only: trimmed, surrounding quotes removed
};

IniLine ParseLine(std::string_view raw) {
    const std::string_view line = Trim(raw);
    IniLine parsed;
    if (line.empty() || line.front() == ';') return parsed;
    if (line.front() == '[') {
        const size_t close = line.find(']');
        parsed.kind = IniLine::kSection;
        parsed.name = Trim(line.substr(1, close == std::string_view::npos ? close : close - 1));
        return parsed;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return parsed;
    parsed.kind = IniLine::kEntry;
    parsed.name = Trim(line.substr(0, equals));
    std::string_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    parsed.value = value;
    return parsed;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream file(path, std::ios::binary);
    for (std::string line; std::getline(file, line);) lines.push_back(std::move(line));
    return lines;
}

// Where a key lives in the lines of a file: its section header and its own line, if any.
struct KeyPlace {
    std::optional<size_t> section;
    std::optional<size_t> entry;
    size_t sectionEnd = 0;  // one past the last non-blank line of the section
};

KeyPlace FindKey(const std::vector<std::string>& lines, std::string_view section,
                 std::string_view key) {
    KeyPlace place;
    for (size_t i = 0; i < lines.size(); ++i) {
        const IniLine line = ParseLine(lines[i]);
        if (line.kind == IniLine::kSection) {
            if (place.section) break;  // the first section of that name is the one used
            if (SameName(line.name, section)) place = {i, std::nullopt, i + 1};
        } else if (place.section) {
            if (!Trim(lines[i]).empty()) place.sectionEnd = i + 1;
            if (line.kind == IniLine::kEntry && SameName(line.name, key)) {
                place.entry = i;
                break;
            }
        }
    }
    return place;
}

std::optional<std::string> ReadValue(const std::string& path, std::string_view section,
                                     std::string_view key) {
    if (path.empty() || key.empty()) return std::nullopt;
    const std::vector<std::string> lines = ReadLines(path);
    const KeyPlace place = FindKey(lines, section, key);
    if (!place.entry) return std::nullopt;
    return std::string(ParseLine(lines[*place.entry]).value);
}

// Copies `text` cut to the buffer's capacity less one; returns the copied length.
uint32_t CopyCut(std::string_view text, char* buffer, uint32_t capacity) {
    if (buffer == nullptr || capacity == 0) return 0;
    const size_t length = std::min<size_t>(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<uint32_t>(length);
}

IniResult CopyName(const std::string& name, char* buffer, uint32_t& size) {
    if (buffer == nullptr || name.size() >= size) return kIniFailed;
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    size = static_cast<uint32_t>(name.size());
    return kIniOk;
}

IniResult TakeName(const char* name, std::string& target) {
    if (name == nullptr || std::strlen(name) >= kIniNameCapacity) return kIniFailed;
    target = name;
    return kIniOk;
}

}  // namespace

IniResult IniWriteError(int systemError) {
    return static_cast<IniResult>(0x80070000u | (static_cast<uint32_t>(systemError) & 0xFFFFu));
}

IniResult CIniFileBase::SetFileName(const char* name) {
    return TakeName(name, fileName_);
}

IniResult CIniFileBase::GetFileName(char* buffer, uint32_t& size) const {
    return CopyName(fileName_, buffer, size);
}

CIniFile::CIniFile(const char* fileName) {
    SetFileName(fileName);
}

IniResult CIniFile::SetSection(const char* name) {
    return TakeName(name, section_);
}

IniResult CIniFile::GetSection(char* buffer, uint32_t& size) const {
    return CopyName(section_, buffer, size);
}

IniResult CIniFile::GetString(const char* key, char* buffer, uint32_t& size,
                              const char* defaultValue) const {
    const std::optional<std::string> value =
        key == nullptr ? std::nullopt : ReadValue(fileName_, section_, key);
    if (!value || *value == kIniMissingMarker || size == 0) {
        size = CopyCut(defaultValue != nullptr ? defaultValue : "", buffer, size);
        return kIniFailed;
    }
    const uint32_t length = CopyCut(*value, buffer, size);
    std::string_view text(buffer, length);
    if (const size_t hash = text.find('#'); hash != std::string_view::npos) {
        text = text.substr(0, hash);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
        buffer[text.size()] = '\0';
    }
    size = static_cast<uint32_t>(text.size());
    return kIniOk;
}

IniResult CIniFile::GetString(const char* key, char* buffer, uint32_t& size) const {
    return GetString(key, buffer, size, "");
}

IniResult CIniFile::SetString(const char* key, const char* value, const char* comment) {
    if (fileName_.empty() || key == nullptr || *key == '\0') return kIniFailed;
    std::string text = value != nullptr ? value : "";
    if (comment != nullptr) text += std::string(" \t\t # ") + comment;
    const std::string entry = std::string(key) + "=" + text;

    std::vector<std::string> lines = ReadLines(fileName_);
    const KeyPlace place = FindKey(lines, section_, key);
    if (place.entry) {
        lines[*place.entry] = entry;
    } else if (place.section) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(place.sectionEnd), entry);
    } else {
        lines.push_back("[" + section_ + "]");
        lines.push_back(entry);
    }

    std::ostringstream content;
    for (const std::string& line : lines) content << line << '\n';
    std::ofstream file(fileName_, std::ios::binary | std::ios::trunc);
    if (!file || !(file << content.str()) || !file.flush()) {
        return IniWriteError(errno != 0 ? errno : EIO);
    }
    return kIniOk;
}

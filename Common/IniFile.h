#pragma once

#include <cstdint>
#include <string>

// Results in the 32-bit convention of the INI layer: 0 success, negative failure.
using IniResult = int32_t;
inline constexpr IniResult kIniOk = 0;
inline constexpr IniResult kIniFailed = static_cast<IniResult>(0x80004005u);
inline constexpr IniResult kIniNotImplemented = static_cast<IniResult>(0x80004001u);
// A failed file write: 0x80070000 with the low 16 bits of the system error.
IniResult IniWriteError(int systemError);
inline bool IniSucceeded(IniResult result) {
    return result >= 0;
}

// File and section names must be shorter than this.
inline constexpr size_t kIniNameCapacity = 260;
// Handed to the reader as its default: a value that reads as this text counts as missing.
inline constexpr char kIniMissingMarker[] = "B78B1F8A-C796-42e4-B2C8-011F4F0D2340";

// Holds the file name; the reading and writing operations are the derived class's.
class CIniFileBase {
public:
    CIniFileBase() = default;
    virtual ~CIniFileBase() = default;

    // Takes names shorter than kIniNameCapacity; else kIniFailed.
    virtual IniResult SetFileName(const char* name);
    // Copies the name when it is shorter than `size` (the buffer's capacity) and sets `size` to
    // its length; else kIniFailed.
    virtual IniResult GetFileName(char* buffer, uint32_t& size) const;

    virtual IniResult SetSection(const char* name) = 0;
    virtual IniResult GetSection(char* buffer, uint32_t& size) const = 0;
    virtual IniResult GetString(const char* key, char* buffer, uint32_t& size,
                                const char* defaultValue) const = 0;
    virtual IniResult GetString(const char* key, char* buffer, uint32_t& size) const = 0;
    virtual IniResult SetString(const char* key, const char* value,
                                const char* comment = nullptr) = 0;

protected:
    std::string fileName_;
};

// An INI file read and written with these rules: section and key names match without regard
// to case; values lose surrounding blanks and then one pair of surrounding quotes; lines whose
// first non-blank character is ";" are comments; a value ends at its first "#" (then trailing
// blanks and tabs go). A missing file, section or key, and a value equal to kIniMissingMarker,
// read as missing.
class CIniFile : public CIniFileBase {
public:
    // Section "TorvoProxy"; a null or too long file name leaves the name empty (every reading
    // then gives its default).
    explicit CIniFile(const char* fileName = nullptr);

    IniResult SetSection(const char* name) override;
    IniResult GetSection(char* buffer, uint32_t& size) const override;

    // `size` is the buffer's capacity including the terminating zero; on return the length of
    // what the buffer holds. The value is cut to the capacity less one. A missing key copies
    // the default (cut likewise) and returns kIniFailed.
    IniResult GetString(const char* key, char* buffer, uint32_t& size,
                        const char* defaultValue) const override;
    IniResult GetString(const char* key, char* buffer, uint32_t& size) const override;

    // Writes key=value under the section, creating file, section or key as needed; with a
    // comment the text is "<value> \t\t # <comment>".
    IniResult SetString(const char* key, const char* value, const char* comment = nullptr) override;

private:
    std::string section_ = "TorvoProxy";
};

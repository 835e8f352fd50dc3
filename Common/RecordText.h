#pragma once
// The shown texts of times and addresses in the alarm and access-history records, and the
// case-insensitive substring test of their filter.
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// "192.168.0.1" for the number whose bytes, most significant first, are 192, 168, 0, 1.
void AppendDottedAddress(uint32_t address, std::string& out);
// A history row's client address: the stored IPv6 text when there is one, else the dotted
// IPv4 number.
void AppendClientAddress(uint32_t ipv4, std::string_view ipv6, std::string& out);

// Where a history row's client address sorts, compared byte by byte: IPv4 addresses by their
// number, then IPv6 ones by their 16 bytes (a zone, "%eth0", aside), then stored texts that
// read as no IPv6 address, by their first bytes.
class AddressOrderKey {
public:
    AddressOrderKey() = default;
    AddressOrderKey(uint32_t ipv4, std::string_view ipv6);
    std::string_view View() const { return {bytes_, size_}; }

private:
    char bytes_[17] = {};
    uint8_t size_ = 0;
};

// The local time of `seconds` of Unix time as "year-month-day hour:minute:second" without
// zero padding; a seconds value of 60 (a leap second) is shown as 59.
std::string TimeText(int64_t seconds);

// TimeText for many times in a row: the local clock of the last time is kept, so times within
// one minute of it take no time-zone lookup. Gives exactly the texts of TimeText.
class TimeTextWriter {
public:
    void Append(int64_t seconds, std::string& out);

private:
    bool haveLast_ = false;
    int64_t lastSeconds_ = 0;
    std::tm last_{};
};

// A filter text made ready for ContainsFolded (ASCII letters folded to lower case).
std::string FoldFilter(std::string_view filter);
// True when `folded` occurs in `text`, ASCII letters compared without case.
bool ContainsFolded(std::string_view text, std::string_view folded);

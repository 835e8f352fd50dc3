#include "Common/IniFile.h"
#include "tests/Common/TestSupport.h"

namespace {

// Names of 260 characters or more are refused.
TEST(IniFile, ReadingRulesAndNameLimits) {
    const test::TempDir dir;
    const std::string path = dir.file("version.ini");
    const std::string marker = std::string("[TorvoProxy]\nversion=") + kIniMissingMarker + "\n";
    // File content (nullptr: no file), buffer size, then what reading "VERSION" gives.
    const std::tuple<const char*, uint32_t, IniResult, const char*> cases[] = {
        {"[TORVOPROXY]\nVersion=3.0.1\n", 256, kIniOk, "3.0.1"},
        {"[TorvoProxy]\nversion=3.0.1 \t # build 7\n", 256, kIniOk, "3.0.1"},
        {"[ TorvoProxy ]\n  version   =   3.0.1  \r\n", 256, kIniOk, "3.0.1"},
        {"[TorvoProxy]\nversion = \" 3.0.1 \"\n", 256, kIniOk, " 3.0.1 "},
        {"[TorvoProxy]\nversion='3.0.1'\n", 256, kIniOk, "3.0.1"},
        {"[TorvoProxy]\n;version=1\nversion=2\nversion=3\n", 256, kIniOk, "2"},
        {"[Other]\nversion=3.0.1\n[TorvoProxy]\nplatform=x\n", 256, kIniFailed, "dflt"},
        {marker.c_str(), 256, kIniFailed, "dflt"},
        {"[TorvoProxy]\nversion=abcdef\n", 4, kIniOk, "abc"},
        {"[TorvoProxy]\n", 3, kIniFailed, "df"},
        {nullptr, 256, kIniFailed, "dflt"},
    };
    for (const auto& [content, capacity, result, text] : cases) {
        std::remove(path.c_str());
        if (content != nullptr) test::WriteText(path, content);
        char buffer[256];
        uint32_t size = capacity;
        SCOPED_TRACE(content != nullptr ? content : "no file");
        EXPECT_EQ(CIniFile(path.c_str()).GetString("VERSION", buffer, size, "dflt"), result);
        EXPECT_EQ(std::string(buffer), text);
        EXPECT_EQ(size, std::string(text).size());
    }
    CIniFile file(nullptr);
    EXPECT_EQ(file.SetFileName(std::string(260, 'n').c_str()), kIniFailed);
    EXPECT_EQ(file.SetSection(std::string(260, 'n').c_str()), kIniFailed);
    EXPECT_EQ(file.SetFileName(std::string(259, 'n').c_str()), kIniOk);
}

}  // namespace

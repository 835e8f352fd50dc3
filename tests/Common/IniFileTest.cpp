#include "Common/IniFile.h"
#include "tests/Common/TestSupport.h"

namespace {

struct ReadCase {
    const char* content;  // nullptr: no file; the key asked for is "VERSION"
    uint32_t capacity;
    IniResult result;
    const char* text;
};

TEST(IniFile, ReadingRules) {
    const test::TempDir dir;
    const std::string path = dir.file("version.ini");
    const std::string marker = std::string("[TorvoProxy]\nversion=") + kIniMissingMarker + "\n";
    const ReadCase cases[] = {
        {"[TORVOPROXY]\nVersion=3.0.1\n", 256, kIniOk, "3.0.1"},
        {"[TorvoProxy]\nversion=3.0.1 \t # build 7\n", 256, kIniOk, "3.0.1"},
        {"[TorvoProxy]\nversion=#\n", 256, kIniOk, ""},
        {"[ TorvoProxy ]\n  version   =   3.0.1  \r\n", 256, kIniOk, "3.0.1"},
        {"[TorvoProxy]\nversion = \" 3.0.1 \"\n", 256, kIniOk, " 3.0.1 "},
        {"[TorvoProxy]\nversion='3.0.1'\n", 256, kIniOk, "3.0.1"},
        {"[TorvoProxy]\nversion=\"3.0.1\n", 256, kIniOk, "\"3.0.1"},
        {"[TorvoProxy]\n;version=1\nversion=2\nversion=3\n", 256, kIniOk, "2"},
        {"[Other]\nversion=3.0.1\n[TorvoProxy]\nplatform=x\n", 256, kIniFailed, "dflt"},
        {"version=3.0.1\n[TorvoProxy]\n", 256, kIniFailed, "dflt"},
        {marker.c_str(), 256, kIniFailed, "dflt"},
        {"[TorvoProxy]\nversion=abcdef\n", 4, kIniOk, "abc"},
        {"[TorvoProxy]\nversion=ab #cdef\n", 5, kIniOk, "ab"},
        {"[TorvoProxy]\n", 3, kIniFailed, "df"},
        {nullptr, 256, kIniFailed, "dflt"},
    };
    for (const ReadCase& c : cases) {
        std::remove(path.c_str());
        if (c.content != nullptr) test::WriteText(path, c.content);
        char buffer[256];
        uint32_t size = c.capacity;
        const std::string where = c.content != nullptr ? c.content : "no file";
        EXPECT_EQ(CIniFile(path.c_str()).GetString("VERSION", buffer, size, "dflt"), c.result)
            << where;
        EXPECT_EQ(std::string(buffer), c.text) << where;
        EXPECT_EQ(size, std::string(c.text).size()) << where;
    }
}

TEST(IniFile, NamesOf260CharactersOrMoreAreRefused) {
    const test::TempDir dir;
    const std::string path = dir.file("version.ini");
    CIniFile file(nullptr);
    EXPECT_EQ(file.SetFileName(std::string(260, 'n').c_str()), kIniFailed);
    EXPECT_EQ(file.SetSection(std::string(260, 'n').c_str()), kIniFailed);
    EXPECT_EQ(file.SetFileName(std::string(259, 'n').c_str()), kIniOk);
    char buffer[300];
    uint32_t size = 259;  // no room for the terminator
    EXPECT_EQ(file.GetFileName(buffer, size), kIniFailed);
    // A name refused at construction leaves it empty, so every read gives its default.
    test::WriteText(path, "[TorvoProxy]\nversion=1\n");
    size = sizeof buffer;
    EXPECT_EQ(CIniFile((path + std::string(260, '/')).c_str()).GetString("VERSION", buffer, size),
              kIniFailed);
    EXPECT_EQ(size, 0u);
}

}  // namespace

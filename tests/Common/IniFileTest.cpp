#include <gtest/gtest.h>

#include <string>

#include "Common/IniFile.h"
#include "tests/Common/TestSupport.h"

namespace {

struct ReadCase {
    const char* name;
    const char* content;
    const char* key;
    uint32_t capacity;
    IniResult result;
    const char* text;
};

class IniFileTest : public testing::Test {
protected:
    std::string Path() const { return dir_.file("version.ini"); }
    test::TempDir dir_;
};

TEST_F(IniFileTest, ReadingRules) {
    const std::string marker = kIniMissingMarker;
    const std::string markerLine = "[TorvoProxy]\nversion=" + marker + "\n";
    const ReadCase cases[] = {
        {"plain", "[TorvoProxy]\nversion=3.0.1\n", "version", 256, kIniOk, "3.0.1"},
        {"names in other case", "[TORVOPROXY]\nVersion=3.0.1\n", "vERSION", 256, kIniOk, "3.0.1"},
        {"comment after blanks", "[TorvoProxy]\nversion=3.0.1 \t # build 7\n", "version", 256,
         kIniOk, "3.0.1"},
        {"only a comment", "[TorvoProxy]\nversion=#\n", "version", 256, kIniOk, ""},
        {"blanks around", "[ TorvoProxy ]\n  version   =   3.0.1  \r\n", "version", 256, kIniOk,
         "3.0.1"},
        {"double quotes", "[TorvoProxy]\nversion = \" 3.0.1 \"\n", "version", 256, kIniOk,
         " 3.0.1 "},
        {"single quotes", "[TorvoProxy]\nversion='3.0.1'\n", "version", 256, kIniOk, "3.0.1"},
        {"unpaired quote", "[TorvoProxy]\nversion=\"3.0.1\n", "version", 256, kIniOk, "\"3.0.1"},
        {"empty value", "[TorvoProxy]\nversion=\n", "version", 256, kIniOk, ""},
        {"semicolon comment line", "[TorvoProxy]\n;version=1\nversion=2\n", "version", 256, kIniOk,
         "2"},
        {"first of two", "[TorvoProxy]\nversion=1\nversion=2\n", "version", 256, kIniOk, "1"},
        {"other section only", "[Other]\nversion=3.0.1\n[TorvoProxy]\nplatform=x\n", "version", 256,
         kIniFailed, "dflt"},
        {"key before any section", "version=3.0.1\n[TorvoProxy]\n", "version", 256, kIniFailed,
         "dflt"},
        {"marker value", markerLine.c_str(), "version", 256, kIniFailed, "dflt"},
        {"cut to the buffer", "[TorvoProxy]\nversion=abcdef\n", "version", 4, kIniOk, "abc"},
        {"cut then comment", "[TorvoProxy]\nversion=ab #cdef\n", "version", 5, kIniOk, "ab"},
        {"default cut too", "[TorvoProxy]\n", "version", 3, kIniFailed, "df"},
        {"no file", nullptr, "version", 256, kIniFailed, "dflt"},
    };
    for (const ReadCase& c : cases) {
        std::remove(Path().c_str());
        if (c.content != nullptr) test::WriteText(Path(), c.content);
        CIniFile file(Path().c_str());
        char buffer[256];
        uint32_t size = c.capacity;
        EXPECT_EQ(file.GetString(c.key, buffer, size, "dflt"), c.result) << c.name;
        EXPECT_EQ(std::string(buffer), c.text) << c.name;
        EXPECT_EQ(size, std::string(c.text).size()) << c.name;
    }
}

TEST_F(IniFileTest, NamesOf260CharactersOrMoreAreRefused) {
    const std::string longest(259, 'n');
    const std::string tooLong(260, 'n');
    CIniFile file(nullptr);
    EXPECT_EQ(file.SetFileName(tooLong.c_str()), kIniFailed);
    EXPECT_EQ(file.SetSection(tooLong.c_str()), kIniFailed);
    EXPECT_EQ(file.SetFileName(longest.c_str()), kIniOk);
    EXPECT_EQ(file.SetSection("Other"), kIniOk);

    char buffer[300];
    uint32_t size = 260;
    EXPECT_EQ(file.GetFileName(buffer, size), kIniOk);
    EXPECT_EQ(size, 259u);
    size = 259;
    EXPECT_EQ(file.GetFileName(buffer, size), kIniFailed);
    size = 6;
    EXPECT_EQ(file.GetSection(buffer, size), kIniOk);
    EXPECT_STREQ(buffer, "Other");

    // A file name refused at construction leaves the name empty: every read gives its default.
    test::WriteText(Path(), "[TorvoProxy]\nversion=1\n");
    const std::string padded = Path() + std::string(260, '/');
    CIniFile refused(padded.c_str());
    size = sizeof buffer;
    EXPECT_EQ(refused.GetFileName(buffer, size), kIniOk);
    EXPECT_EQ(size, 0u);
    size = sizeof buffer;
    EXPECT_EQ(refused.GetString("version", buffer, size), kIniFailed);
    EXPECT_EQ(size, 0u);
}

TEST_F(IniFileTest, WritingCreatesReplacesAndAppendsAndReadsBack) {
    CIniFile file(Path().c_str());
    EXPECT_EQ(file.SetString("version", "3.0.1", "build 7"), kIniOk);
    EXPECT_EQ(test::ReadText(Path()), "[TorvoProxy]\nversion=3.0.1 \t\t # build 7\n");

    test::WriteText(Path(), "; top\n[torvoproxy]\nplatform=x64\nVERSION=1\n\n[Other]\nk=v\n");
    EXPECT_EQ(file.SetString("version", "3.0.2"), kIniOk);
    EXPECT_EQ(file.SetString("channel", "beta"), kIniOk);
    file.SetSection("Third");
    EXPECT_EQ(file.SetString("a", "b"), kIniOk);
    EXPECT_EQ(test::ReadText(Path()),
              "; top\n[torvoproxy]\nplatform=x64\nversion=3.0.2\nchannel=beta\n\n[Other]\nk=v\n"
              "[Third]\na=b\n");

    file.SetSection("TorvoProxy");
    char buffer[64];
    uint32_t size = sizeof buffer;
    EXPECT_EQ(file.GetString("Version", buffer, size), kIniOk);
    EXPECT_STREQ(buffer, "3.0.2");

    CIniFile unwritable(dir_.file("missing/dir/x.ini").c_str());
    EXPECT_LT(unwritable.SetString("k", "v"), 0);
}

}  // namespace

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "Common/Paths.h"
#include "tests/Common/TestSupport.h"

namespace {

std::string CopyProbeInto(const test::TempDir& dir) {
    const std::string copy = dir.file("MainUI");
    std::filesystem::copy_file(test::ProbePath(), copy);
    return copy;
}

TEST(Paths, ACopiedExecutableFindsItsFilesBesideItself) {
    test::TempDir dir;
    const std::string output = test::RunToEnd(CopyProbeInto(dir), {"paths"});
    const std::string d = dir.path();
    EXPECT_EQ(output, d + "\n" + d + "/main.db\n" + d + "/version.ini\n" + d + "/busy.gif\n");
}

TEST(Paths, ACopiedExecutableLoadsItsOwnSettings) {
    test::TempDir dir;
    test::CreateSchemaDb(dir.file("main.db"));
    CppSQLite3DB db;
    db.open(dir.file("main.db").c_str());
    db.execDML(
        "insert into configuration (key, value) values ('listen_port', '7000'),"
        " ('torvoagent_allow', '1'), ('lang', 'en')");
    db.close();
    test::WriteText(dir.file("version.ini"), "[TorvoProxy]\nplatform=x64\nversion=3.0.9\n");
    EXPECT_EQ(test::RunToEnd(CopyProbeInto(dir), {"load"}), "1 7000 1 en 3.0.9 3.0.9\n");
}

TEST(Paths, JoinRule) {
    const struct {
        const char* directory;
        const char* name;
        const char* joined;
    } cases[] = {{"", "main.db", "main.db"},
                 {"/opt/torvo", "main.db", "/opt/torvo/main.db"},
                 {"/", "busy.gif", "/busy.gif"}};
    for (const auto& c : cases) EXPECT_EQ(JoinPath(c.directory, c.name), c.joined);
}

TEST(Paths, TheDatabasePathIsOneForAllThreadsAndTheOverrideRedirectsIt) {
    const std::string expected =
        std::filesystem::path(test::ProbePath()).parent_path().string() + "/main.db";
    std::vector<std::future<std::string>> answers;
    for (int i = 0; i < 8; ++i) answers.push_back(std::async(std::launch::async, GetMainDbPath));
    for (auto& answer : answers) EXPECT_EQ(answer.get(), expected);

    OverrideModuleDirectory("/srv/torvo");
    EXPECT_EQ(GetMainDbPath(), "/srv/torvo/main.db");
    EXPECT_EQ(GetVersionFilePath(), "/srv/torvo/version.ini");
    EXPECT_EQ(GetModuleFilePath("TorvoProxyServer"), "/srv/torvo/TorvoProxyServer");
    OverrideModuleDirectory("");
    EXPECT_EQ(GetMainDbPath(), expected);
}

}  // namespace

#include "tests/Common/TestSupport.h"

namespace {

TEST(Paths, ACopiedExecutableFindsAndLoadsItsOwnFiles) {
    test::TempDir dir;
    test::CreateSchemaDb(dir.file("main.db"),
                         "insert into configuration (key, value) values ('listen_port', '7000'),"
                         " ('torvoagent_allow', '1'), ('lang', 'en')");
    test::WriteText(dir.file("version.ini"), "[TorvoProxy]\nplatform=x64\nversion=3.0.9\n");
    std::filesystem::copy_file(TORVO_COMMON_PROBE, dir.file("MainUI"));
    test::Probe copy("paths", dir.file("MainUI"));
    const std::string d = dir.path();
    EXPECT_EQ(copy.Read(), d + "\n" + d + "/main.db\n" + d + "/version.ini\n1 7000 3.0.9\n");
    EXPECT_EQ(copy.Close(), 0);
}

}  // namespace

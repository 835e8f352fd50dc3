// The plain start-up rules, without Qt (also under the sanitizers).
#include <gtest/gtest.h>

#include "ui/StartupRules.h"

namespace {

TEST(StartupRules, RightsDecisions) {
    using enum RightsAction;
    // {systemd backend, root, install directory writable, can elevate}
    const std::pair<RightsFacts, RightsAction> rights[] = {
        {{true, true, false, false}, GoOn},
        {{true, false, true, true}, RelaunchElevated},
        {{true, false, true, false}, ReportNoRoot},
        {{false, false, true, false}, GoOn},
        {{false, false, false, true}, RelaunchElevated},
        {{false, false, false, false}, ReportNoWriteAccess},
        {{false, true, false, true}, ReportNoWriteAccess}};
    for (const auto& [f, action] : rights) {
        EXPECT_EQ(DecideRights(f), action)
            << f.systemdBackend << f.isRoot << f.installDirWritable << f.canElevate;
    }
}

TEST(StartupRules, OnlyZhExactlySelectsChinese) {
    EXPECT_EQ(UiLanguageForSetting("zh"), res::UiLanguage::Chinese);
    for (const char* other : {"", "en", "ZH", "zh ", "zh_CN"})
        EXPECT_EQ(UiLanguageForSetting(other), res::UiLanguage::English) << other;
}

TEST(StartupRules, RestartCommandLineIsExactlyRestart) {
    EXPECT_TRUE(IsRestartCommandLine({"--restart"}));
    EXPECT_FALSE(IsRestartCommandLine({}));
    EXPECT_FALSE(IsRestartCommandLine({"--restart", "x"}));
    EXPECT_FALSE(IsRestartCommandLine({"--Restart"}));
    EXPECT_FALSE(IsRestartCommandLine({"--re", "start"}));
}

}  // namespace

// What a console does about the rights it lacks.
#include <gtest/gtest.h>

#include <utility>

#include "service/ServiceRights.h"

namespace {

TEST(ServiceRights, Decisions) {
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

}  // namespace

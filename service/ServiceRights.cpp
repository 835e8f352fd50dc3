#include "service/ServiceRights.h"

#include <unistd.h>

#include "Common/Paths.h"
#include "service/ServiceManagerFactory.h"

RightsAction DecideRights(const RightsFacts& facts) {
    if (facts.systemdBackend) {
        if (facts.isRoot) return RightsAction::GoOn;
        return facts.canElevate ? RightsAction::RelaunchElevated : RightsAction::ReportNoRoot;
    }
    if (facts.installDirWritable) return RightsAction::GoOn;
    // root that cannot write there gains nothing by elevating again
    if (!facts.isRoot && facts.canElevate) return RightsAction::RelaunchElevated;
    return RightsAction::ReportNoWriteAccess;
}

RightsFacts GatherRightsFacts(const std::string& installDir, bool canElevate) {
    RightsFacts facts;
    facts.systemdBackend = ChooseServiceBackend() == ServiceBackend::kSystemd;
    facts.isRoot = geteuid() == 0;
    // The settings are written into main.db, so the file must be writable too when it exists.
    const std::string db = JoinPath(installDir, "main.db");
    facts.installDirWritable = !installDir.empty() && access(installDir.c_str(), W_OK) == 0 &&
                               (access(db.c_str(), F_OK) != 0 || access(db.c_str(), W_OK) == 0);
    facts.canElevate = canElevate;
    return facts;
}

#include "ui/StartupRules.h"

res::UiLanguage UiLanguageForSetting(const std::string& language) {
    return language == "zh" ? res::UiLanguage::Chinese : res::UiLanguage::English;
}

bool IsRestartCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) line += ' ';
        line += arguments[i];
    }
    return line == kRestartCommandLine;
}

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

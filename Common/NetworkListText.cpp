#include "Common/NetworkListText.h"

#include "Common/Texts.h"

std::string NetworkListProblem(const NetworkListCheck& check, res::UiLanguage language) {
    const auto text = [language](int id) { return res::TextOf(id, language); };
    if (check.badLine == 0) return check.empty ? text(res::IDS_NETWORKS_EMPTY) : std::string();
    // One pass for all, so an entry holding "%3" is shown as typed.
    const std::string line = std::to_string(check.badLine);
    switch (check.bad.problem) {
        case NetworkProblem::kBadPrefix:
            return res::FormatText(text(res::IDS_NETWORK_BAD_PREFIX),
                                   {line, check.badEntry, check.bad.network.v4 ? "32" : "128"});
        case NetworkProblem::kHostBits:
            return res::FormatText(text(res::IDS_NETWORK_HOST_BITS),
                                   {line, check.badEntry, FormatClientNetwork(check.bad.network)});
        default:
            return res::FormatText(text(res::IDS_NETWORK_NOT_ADDRESS), {line, check.badEntry});
    }
}

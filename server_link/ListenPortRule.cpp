#include "server_link/ListenPortRule.h"

#include "Common/Text.h"
#include "Common/Texts.h"
#include "server_link/MQClient.h"

ListenPortCheck CheckListenPort(std::string_view typed, uint16_t controlPort) {
    std::string_view digits = Trim(typed);
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    uint32_t port = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return {ListenPortProblem::kOutOfRange};
        port = port * 10 + static_cast<uint32_t>(c - '0');
        if (port > 65535) return {ListenPortProblem::kOutOfRange};
    }
    if (digits.empty() || port == 0) return {ListenPortProblem::kOutOfRange};
    const auto chosen = static_cast<uint16_t>(port);
    return {chosen == controlPort ? ListenPortProblem::kControlPort : ListenPortProblem::kNone,
            chosen};
}

ListenPortCheck CheckListenPort(std::string_view typed) {
    return CheckListenPort(typed, MQClient::kDefaultPort);
}

std::string ListenPortRefusal(const ListenPortCheck& check, res::UiLanguage language) {
    switch (check.problem) {
        case ListenPortProblem::kNone:
            break;
        case ListenPortProblem::kOutOfRange:
            return res::TextOf(res::Ctl::PortOutOfRange, language);
        case ListenPortProblem::kControlPort:
            return res::FormatText(res::TextOf(res::IDS_PORT_IS_CONTROL_PORT, language),
                                   {std::to_string(check.port)});
    }
    return {};
}

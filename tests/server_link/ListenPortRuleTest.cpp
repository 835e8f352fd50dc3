// The listen port as typed, beside the control channel's port.
#include <gtest/gtest.h>

#include "server_link/ListenPortRule.h"
#include "server_link/MQClient.h"

namespace {

TEST(ListenPortRule, NumbersFromOneTo65535ButNotTheControlPort) {
    using enum ListenPortProblem;
    const struct {
        const char* typed;
        ListenPortProblem problem;
        uint16_t port;
    } cases[] = {{" 8089 ", kNone, 8089},         {"+1", kNone, 1},
                 {"065535", kNone, 65535},        {"0", kOutOfRange, 0},
                 {"65536", kOutOfRange, 0},       {"", kOutOfRange, 0},
                 {"80a", kOutOfRange, 0},         {"-80", kOutOfRange, 0},
                 {"99999999999", kOutOfRange, 0}, {"8090", kControlPort, 8090}};
    for (const auto& c : cases) {
        const ListenPortCheck check = CheckListenPort(c.typed);
        EXPECT_EQ(check.problem, c.problem) << c.typed;
        EXPECT_EQ(check.port, c.port) << c.typed;
    }
    EXPECT_EQ(CheckListenPort("8090", 9000).problem, kNone);
    EXPECT_EQ(CheckListenPort("9000", 9000).problem, kControlPort);
    EXPECT_EQ(ListenPortRefusal(CheckListenPort("8090"), res::UiLanguage::English),
              "Port 8090 is the control channel's own port: the proxy server cannot listen on "
              "it. Please choose another listen port.");
    EXPECT_EQ(ListenPortRefusal(CheckListenPort("1"), res::UiLanguage::English), "");
}

}  // namespace

// Allowed client networks: how a typed entry reads (or why it does not), which addresses pass.
#include <gtest/gtest.h>

#include "Common/ClientNetworks.h"

namespace {

// Rows: entry, problem, the network formatted (for kNone and kHostBits).
using EntryCase = std::tuple<const char*, NetworkProblem, const char*>;
class ClientNetworkEntry : public testing::TestWithParam<EntryCase> {};

TEST_P(ClientNetworkEntry, ReadsAsANetworkOrSaysWhyNot) {
    const auto& [text, problem, formatted] = GetParam();
    const ParsedNetwork parsed = ParseClientNetwork(text);
    EXPECT_EQ(parsed.problem, problem) << text;
    if (!formatted) return;
    EXPECT_EQ(FormatClientNetwork(parsed.network), formatted) << text;
}

const EntryCase kEntries[] = {
    {"10.0.0.0/8", NetworkProblem::kNone, "10.0.0.0/8"},
    {" 192.168.1.7\t", NetworkProblem::kNone, "192.168.1.7/32"},
    {"FE80::/10", NetworkProblem::kNone, "fe80::/10"},
    {"::1", NetworkProblem::kNone, "::1/128"},
    {"::ffff:10.0.0.0/104", NetworkProblem::kNone, "10.0.0.0/8"},
    {"::ffff:0.0.0.0/96", NetworkProblem::kNone, "0.0.0.0/0"},  // every mapped address
    {"10.1.2.3/8", NetworkProblem::kHostBits, "10.0.0.0/8"},
    {"2001:db8::1/32", NetworkProblem::kHostBits, "2001:db8::/32"},
    {"10.0.0.0/33", NetworkProblem::kBadPrefix, nullptr},
    {"::/129", NetworkProblem::kBadPrefix, nullptr},
    {"10.0.0.0/-1", NetworkProblem::kBadPrefix, nullptr},
    {"10.0.0.0/0008", NetworkProblem::kBadPrefix, nullptr},
    {"10.0.0/8", NetworkProblem::kNotAnAddress, nullptr},
    {"256.0.0.0/8", NetworkProblem::kNotAnAddress, nullptr},
    {"fe80::1%lo", NetworkProblem::kNotAnAddress, nullptr},
    {"", NetworkProblem::kNotAnAddress, nullptr},
};
INSTANTIATE_TEST_SUITE_P(Entries, ClientNetworkEntry, testing::ValuesIn(kEntries));

TEST(ClientNetworks, AListIsCheckedLineByLineAndStoredCommaSeparated) {
    const NetworkListCheck good = CheckNetworkList("10.0.0.0/8\n\n 192.168.1.1, ::/0\n");
    EXPECT_EQ(good.badLine, 0);
    EXPECT_EQ(good.stored, "10.0.0.0/8,192.168.1.1/32,::/0");
    EXPECT_TRUE(good.everyAddress);
    const NetworkListCheck bad = CheckNetworkList("10.0.0.0/8\n10.1.0.0/8\nnonsense");
    EXPECT_EQ(bad.badLine, 2);
    EXPECT_EQ(bad.badEntry, "10.1.0.0/8");
    EXPECT_EQ(bad.bad.problem, NetworkProblem::kHostBits);
    EXPECT_TRUE(CheckNetworkList(" \n").empty);
    EXPECT_EQ(SplitNetworkList(" 10.0.0.0/8,,::1;\n1.2.3.4 "),
              (std::vector<std::string>{"10.0.0.0/8", "::1", "1.2.3.4"}));
}

TEST(ClientNetworks, AListAllowsExactlyTheAddressesInItsNetworks) {
    const ClientNetworks defaults(kDefaultClientNetworks);
    const ClientNetworks open("0.0.0.0/0, not-a-network, 2001:db8:0:0:8000::/65");
    // Rows: address, by default, by `open`.
    const std::tuple<const char*, bool, bool> cases[] = {
        {"127.0.0.2", true, true},
        {"172.31.255.255", true, true},
        {"172.32.0.0", false, true},
        {"100.127.255.255", true, true},
        {"100.128.0.0", false, true},
        {"169.254.1.1", true, true},
        {"8.8.8.8", false, true},
        {"::1", true, false},
        {"fd00::1", true, false},
        {"fe80::1", false, false},  // link-local: left to the administrator
        {"fec0::1", false, false},
        {"::ffff:192.168.1.1", true, true},
        {"::ffff:8.8.8.8", false, true},
        {"2001:db8::8000:0:0:1", false, true},
        {"2001:db8::1", false, false},
    };
    for (const auto& [text, byDefault, byOpen] : cases) {
        const ClientNetwork address = ParseClientNetwork(text).network;
        uint32_t v4 = 0;
        for (int i = 0; i < 4; ++i) v4 = v4 << 8 | address.bytes[i];
        for (const auto& [list, expected] :
             {std::pair(&defaults, byDefault), std::pair(&open, byOpen)})
            EXPECT_EQ(address.v4 ? list->Allows(v4) : list->Allows(address.bytes), expected)
                << text;
        // A mapped IPv6 peer is checked both ways: as the server sees it and as given.
        if (std::string(text).starts_with("::ffff:")) {
            std::array<uint8_t, 16> raw{};
            raw[10] = raw[11] = 0xff;
            std::copy_n(address.bytes.begin(), 4, raw.begin() + 12);
            EXPECT_EQ(defaults.Allows(raw), byDefault) << text;
        }
    }
    EXPECT_TRUE(ClientNetworks().Empty());
    EXPECT_FALSE(ClientNetworks().Allows(uint32_t{0x7f000001}));
}

}  // namespace

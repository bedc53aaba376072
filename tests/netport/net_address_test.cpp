// Network port names as a technician types them: the good ones, and a reason for each bad one.
#include "netport/net_address.hpp"

#include <gtest/gtest.h>

namespace {

using namespace trx::net;

std::string refusal(std::string_view name) {
    const auto a = parse_net_address(name);
    EXPECT_FALSE(a.ok()) << name;
    if (a.ok()) {
        return {};
    }
    EXPECT_EQ(a.error().kind, trx::ErrorKind::bad_input);
    return a.error().message;
}

TEST(NetAddress, TakesBothKindsWithNamesIpv4AndBracketedIpv6) {
    auto a = parse_net_address("socket://ser2net.plant.local:3001");
    ASSERT_TRUE(a.ok()) << a.error().message;
    EXPECT_EQ(a->kind, NetKind::raw_tcp);
    EXPECT_EQ(a->host, "ser2net.plant.local");
    EXPECT_EQ(a->port, 3001);
    a = parse_net_address("rfc2217://192.168.0.7:65535");
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(a->kind, NetKind::rfc2217);
    EXPECT_EQ(a->endpoint(), "192.168.0.7:65535");
    a = parse_net_address("rfc2217://[fe80::1%eth0]:1");
    ASSERT_TRUE(a.ok()) << a.error().message;
    EXPECT_EQ(a->host, "fe80::1%eth0");
    EXPECT_EQ(a->port, 1);
    EXPECT_EQ(a->endpoint(), "[fe80::1%eth0]:1");
}

TEST(NetAddress, TellsNetworkNamesFromDevicePaths) {
    EXPECT_TRUE(is_network_port("socket://x:1"));
    EXPECT_TRUE(is_network_port("rfc2217://"));
    EXPECT_FALSE(is_network_port("/dev/ttyUSB0"));
    EXPECT_FALSE(is_network_port("COM1"));
    EXPECT_FALSE(is_network_port("telnet://x:1"));
}

TEST(NetAddress, RefusesAMissingOrOutOfRangePort) {
    EXPECT_NE(refusal("socket://host").find("names no port"), std::string::npos);
    EXPECT_NE(refusal("socket://host:").find("names no port"), std::string::npos);
    EXPECT_NE(refusal("rfc2217://[::1]").find("names no port"), std::string::npos);
    for (const char* bad : {"socket://host:0", "socket://host:65536", "socket://host:99999999",
                            "socket://host:-1", "socket://host:12a", "socket://host: 80"}) {
        EXPECT_NE(refusal(bad).find("not a number from 1 to 65535"), std::string::npos) << bad;
    }
}

TEST(NetAddress, RefusesBareIpv6AndBrokenBrackets) {
    EXPECT_NE(refusal("socket://::1:4000").find("IPv6 address goes in brackets: socket://"),
              std::string::npos);
    EXPECT_NE(refusal("socket://[::1:4000").find("no closing bracket"), std::string::npos);
    EXPECT_NE(refusal("socket://[::1]4000").find("text after the bracket"), std::string::npos);
    EXPECT_NE(refusal("socket://[]:4000").find("is no IPv6 address"), std::string::npos);
    EXPECT_NE(refusal("socket://[::1/x]:4000").find("is no IPv6 address"), std::string::npos);
}

TEST(NetAddress, RefusesOverlongAndMalformedHostNamesWithAShortReason) {
    const std::string long_name = "socket://" + std::string(1000, 'a') + ":4000";
    const std::string why = refusal(long_name);
    EXPECT_NE(why.find("1000 characters long (at most 253)"), std::string::npos) << why;
    EXPECT_LT(why.size(), 100U);
    const std::string label = "socket://" + std::string(64, 'b') + ".example:1";
    EXPECT_NE(refusal(label).find("longer than 63"), std::string::npos);
    EXPECT_NE(refusal("socket://a..b:1").find("empty part"), std::string::npos);
    EXPECT_NE(refusal("socket://bad host:1").find("characters a host name cannot have"),
              std::string::npos);
    EXPECT_NE(refusal("socket://:1").find("names no host"), std::string::npos);
    EXPECT_NE(refusal("socket://").find("names no host"), std::string::npos);
    EXPECT_NE(refusal("/dev/ttyS0").find("no network address"), std::string::npos);
}

} // namespace

// "Network port...": the address asked for, checked, remembered (five, newest first) and
// opened like any port; a bad address refused with its reason.
#include "testkit/driver.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace trx::testkit {
namespace {

constexpr const char* k_port = "main.Toolbar1.comport";
constexpr const char* k_network = "main.Toolbar1.comport.network";

TEST(NetworkPort, TheAddressIsChosenOpenedAndRememberedNewestFirst) {
    Driver d;
    d.start();
    EXPECT_EQ(d.text(k_network), "Network port...");

    d.answer_address_dialog("  rfc2217://ser2net.plant:3001 ");
    d.choose(k_network);
    EXPECT_TRUE(d.offered_addresses().empty());
    EXPECT_EQ(d.text(k_port), "Open rfc2217://ser2net.plant:3001");
    d.click(k_port);
    EXPECT_TRUE(d.port_open());
    EXPECT_EQ(d.port_name(), "rfc2217://ser2net.plant:3001");
    EXPECT_EQ(d.text(k_port), "Close rfc2217://ser2net.plant:3001");
    d.click(k_port);

    for (int n = 1; n <= 5; ++n) {
        d.answer_address_dialog("socket://10.0.0." + std::to_string(n) + ":4000");
        d.choose(k_network);
    }
    // The first is used again: it moves to the front instead of standing twice.
    d.answer_address_dialog("socket://10.0.0.2:4000");
    d.choose(k_network);
    EXPECT_EQ(d.offered_addresses(),
              (std::vector<std::string>{"socket://10.0.0.5:4000", "socket://10.0.0.4:4000",
                                        "socket://10.0.0.3:4000", "socket://10.0.0.2:4000",
                                        "socket://10.0.0.1:4000"}));
    d.choose(k_network); // cancelled: the choice stays
    EXPECT_EQ(d.offered_addresses(),
              (std::vector<std::string>{"socket://10.0.0.2:4000", "socket://10.0.0.5:4000",
                                        "socket://10.0.0.4:4000", "socket://10.0.0.3:4000",
                                        "socket://10.0.0.1:4000"}));
    EXPECT_EQ(d.text(k_port), "Open socket://10.0.0.2:4000");
    EXPECT_TRUE(d.messages().empty());
}

TEST(NetworkPort, ABadAddressIsRefusedWithItsReasonAndTheChoiceStays) {
    Driver d;
    d.start();
    const std::string caption = d.text(k_port);
    for (const auto& [typed, why] : std::vector<std::pair<std::string, std::string>>{
             {"socket://scanner", "names no port (HOST:PORT)"},
             {"rfc2217://scanner:70000", "the port 70000 is not a number from 1 to 65535"},
             {"socket://fe80::1:4000", "an IPv6 address goes in brackets"},
             {"socket://" + std::string(1000, 'x') + ":1", "1000 characters long"},
             {"192.168.0.7:4000", "is no network address"}}) {
        d.answer_address_dialog(typed);
        d.choose(k_network);
        const auto box = d.messages();
        ASSERT_EQ(box.size(), 1U) << typed;
        EXPECT_EQ(box[0].title, "Network port");
        EXPECT_TRUE(box[0].text.starts_with("The address cannot be used: ")) << box[0].text;
        EXPECT_NE(box[0].text.find(why), std::string::npos) << box[0].text;
        EXPECT_LT(box[0].text.size(), 160U);
        EXPECT_EQ(d.text(k_port), caption);
    }
    // Nothing bad was remembered.
    d.choose(k_network);
    EXPECT_TRUE(d.offered_addresses().empty());
}

} // namespace
} // namespace trx::testkit

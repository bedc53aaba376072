// The search for the port a scanner is on: what counts as a scanner (a status frame whose
// checksum holds, even split across reads), why every other port is passed over, and which
// ports are tried at all.
#include "link/frame.hpp"
#include "service/scanner_search.hpp"
#include "testkit/scripted_search.hpp"
#include "testkit/status_frames.hpp"

#include <gtest/gtest.h>

#include <set>

namespace trx::service {
namespace {

using testkit::ScriptedPortListener;

SearchCandidate adapter(const std::string& path) {
    return {path, path, {}};
}

// The status frame with its last checksum digit changed.
std::string damaged_status() {
    std::string f = testkit::status_frame({});
    char& digit = f[f.size() - 2];
    digit = digit == '0' ? '1' : '0';
    return f;
}

TEST(ScannerSearch, OnlyAStatusFrameWithAGoodChecksumMakesAPortTheScanners) {
    ScriptedPortListener listener;
    const std::string half_frame = testkit::status_frame({}).substr(0, 9);
    listener.delivers("/dev/ttyUSB0", "\x7f\x01junk" + testkit::status_frame({}));
    listener.delivers("/dev/ttyUSB1", damaged_status() + damaged_status());
    listener.delivers("/dev/ttyUSB2", link::build_frame('P', ""));
    listener.delivers("/dev/ttyUSB3", "hello, world");
    listener.delivers("/dev/ttyUSB4", half_frame);
    const auto outcome =
        search_scanner({adapter("/dev/ttyUSB0"), adapter("/dev/ttyUSB1"), adapter("/dev/ttyUSB2"),
                        adapter("/dev/ttyUSB3"), adapter("/dev/ttyUSB4"), adapter("/dev/ttyUSB5")},
                       listener);

    ASSERT_EQ(outcome.tried.size(), 6U);
    EXPECT_TRUE(outcome.tried[0].scanner);
    EXPECT_EQ(outcome.tried[0].why, "a status frame with a good checksum");
    for (std::size_t i = 1; i < outcome.tried.size(); ++i) {
        EXPECT_FALSE(outcome.tried[i].scanner) << outcome.tried[i].port.name;
    }
    EXPECT_NE(outcome.tried[1].why.find("2 frames with a bad checksum, none good"),
              std::string::npos)
        << outcome.tried[1].why;
    EXPECT_NE(outcome.tried[2].why.find("frames but no status frame"), std::string::npos)
        << outcome.tried[2].why;
    EXPECT_EQ(outcome.tried[3].why, "12 bytes, no frame within 1 s");
    EXPECT_EQ(outcome.tried[4].why, "9 bytes, no frame within 1 s");
    EXPECT_EQ(outcome.tried[5].why, "nothing received within 1 s");
    ASSERT_EQ(outcome.found().size(), 1U);
    EXPECT_EQ(outcome.found().front().device, "/dev/ttyUSB0");
}

TEST(ScannerSearch, APortPassedOverUnopenedKeepsItsReasonAndIsNeverTheScanner) {
    ScriptedPortListener listener;
    listener.delivers("/dev/ttyUSB0", testkit::status_frame({}));
    listener.refuses("/dev/ttyUSB0", "in use by minicom (process 42)");
    const auto outcome = search_scanner({adapter("/dev/ttyUSB0")}, listener);
    ASSERT_EQ(outcome.tried.size(), 1U);
    EXPECT_FALSE(outcome.tried[0].scanner);
    EXPECT_EQ(outcome.tried[0].why, "in use by minicom (process 42)");
    EXPECT_TRUE(outcome.found().empty());
}

TEST(ScannerSearch, FindsEveryScannerAndListsEachPortTriedWithItsDevice) {
    ScriptedPortListener listener;
    listener.delivers("/dev/ttyS2", testkit::status_frame({}));
    listener.delivers("/dev/ttyUSB1", testkit::status_frame({}));
    const auto outcome = search_scanner(
        {{"COM3", "/dev/ttyS2", {}}, adapter("/dev/ttyUSB0"), adapter("/dev/ttyUSB1")}, listener,
        std::chrono::milliseconds(500));
    const auto found = outcome.found();
    ASSERT_EQ(found.size(), 2U);
    EXPECT_EQ(found[0].name, "COM3");
    EXPECT_EQ(found[1].name, "/dev/ttyUSB1");
    EXPECT_EQ(outcome.tried_lines(), "  COM3 (/dev/ttyS2): a status frame with a good checksum\n"
                                     "  /dev/ttyUSB0: nothing received within 500 ms\n"
                                     "  /dev/ttyUSB1: a status frame with a good checksum");
    EXPECT_EQ(listener.listened(),
              (std::vector<std::string>{"/dev/ttyS2", "/dev/ttyUSB0", "/dev/ttyUSB1"}));
}

// COM ports only where a device stands behind them; every adapter, with its stable name.
class SomeDevices final : public ui::SerialDevices {
public:
    [[nodiscard]] std::vector<ui::SerialDevice> list() const override {
        return {{"/dev/ttyUSB0", "usb-FTDI-if00"}, {"/dev/ttyACM0", ""}};
    }
    [[nodiscard]] bool present(const std::string& device) const override {
        return std::set<std::string>{"/dev/ttyS0", "/dev/ttyS9"}.contains(device);
    }
};

TEST(ScannerSearch, TriesThePresentComPortsAndEveryAdapter) {
    const SomeDevices devices;
    const auto candidates = search_candidates(devices);
    ASSERT_EQ(candidates.size(), 4U);
    EXPECT_EQ(candidates[0].name, "COM1");
    EXPECT_EQ(candidates[0].device, "/dev/ttyS0");
    EXPECT_EQ(candidates[1].name, "COM10");
    EXPECT_EQ(candidates[1].device, "/dev/ttyS9");
    EXPECT_EQ(candidates[2].name, "/dev/ttyUSB0");
    EXPECT_EQ(candidates[2].by_id, "usb-FTDI-if00");
    EXPECT_EQ(candidates[3].device, "/dev/ttyACM0");
}

} // namespace
} // namespace trx::service

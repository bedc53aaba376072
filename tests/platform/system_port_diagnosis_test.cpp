// Why a port will not open, read from a system of real files in a temporary folder.
#include "platform/system_port_diagnosis.hpp"
#include "tests/platform/fake_system.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace trx::platform {
namespace {

using trx::testing::FakeSystem;

constexpr const char* k_by_id = "usb-FTDI_FT232R_A1-if00-port0";

// One USB adapter, open to its group "dialout"; the technician "alice" is no member.
class PortDiagnosis : public ::testing::Test {
protected:
    PortDiagnosis() {
        sys.file("/dev/ttyUSB0", "", 0660);
        sys.link(std::string("/dev/serial/by-id/") + k_by_id, "../../ttyUSB0");
        sys.file("/etc/group", "dialout:x:" + std::to_string(sys.group("/dev/ttyUSB0")) + ":bob\n");
        sys.file("/etc/passwd",
                 "operator:x:" + std::to_string(sys.owner("/dev/ttyUSB0")) + ":0::/root:/bin/sh\n");
        alice.uid = sys.owner("/dev/ttyUSB0") + 1;
        alice.groups = {sys.group("/dev/ttyUSB0") + 1};
        alice.name = "alice";
        alice.pid = 900;
    }

    [[nodiscard]] std::string explain(const std::string& port, const std::string& reason = "os") {
        return SystemPortDiagnosis(sys.root(), alice).explain(port, reason);
    }
    void join_dialout() { alice.groups.push_back(sys.group("/dev/ttyUSB0")); }

    FakeSystem sys;
    SystemPortDiagnosis::User alice;
};

TEST_F(PortDiagnosis, AMissingDeviceSaysSoAndNamesTheAdaptersThatArePresent) {
    EXPECT_EQ(explain("/dev/ttyUSB3", "No such file or directory"),
              "There is no device /dev/ttyUSB3. Check that the adapter is plugged in.\n"
              "Serial adapters present: /dev/ttyUSB0 (usb-FTDI_FT232R_A1-if00-port0).");
    // A menu port maps to its device; with no adapter at all the list says that instead.
    std::filesystem::remove(sys.at("/dev/ttyUSB0"));
    EXPECT_EQ(explain("COM3"), "There is no device /dev/ttyS2.\n"
                               "No USB serial adapter is plugged in.");
}

TEST_F(PortDiagnosis, AComPortWithoutASerialChipBehindItSaysSo) {
    sys.file("/dev/ttyS0", "", 0666);
    sys.file("/sys/class/tty/ttyS0/type", "0\n");
    EXPECT_EQ(explain("COM1").rfind("/dev/ttyS0 has no serial port behind it: this computer has "
                                    "no such port. Use a USB serial adapter",
                                    0),
              0U)
        << explain("COM1");
    sys.file("/sys/class/tty/ttyS0/type", "4\n"); // a 16550A answers: nothing to say
    EXPECT_EQ(explain("COM1", "Input/output error"), "Input/output error");
}

TEST_F(PortDiagnosis, NoPermissionNamesTheGroupToJoinAndTheNewLogin) {
    EXPECT_EQ(explain("/dev/ttyUSB0", "Permission denied"),
              "No permission to open /dev/ttyUSB0: it is open to the group \"dialout\", and you "
              "are not a member. Join the group, then log out and in again (a new group counts "
              "from the next login):\n    sudo usermod -aG dialout alice");

    // Added to the group, but this session began before.
    sys.file("/etc/group",
             "dialout:x:" + std::to_string(sys.group("/dev/ttyUSB0")) + ":bob,alice\n");
    const std::string later = explain("/dev/ttyUSB0");
    EXPECT_NE(later.find("You were added to that group after you logged in: log out and in "
                         "again"),
              std::string::npos)
        << later;

    // A member may open it: the open's own words stand.
    join_dialout();
    EXPECT_EQ(explain("/dev/ttyUSB0", "Permission denied"), "Permission denied");

    // Closed to the group too: only the owner may.
    ::chmod(sys.at("/dev/ttyUSB0").c_str(), 0600);
    EXPECT_EQ(explain("/dev/ttyUSB0"),
              "No permission to open /dev/ttyUSB0: only its owner operator may open it.");
    alice.uid = sys.owner("/dev/ttyUSB0");
    EXPECT_EQ(explain("/dev/ttyUSB0", "busy"), "busy");
}

TEST_F(PortDiagnosis, ADeviceInUseNamesTheProgramsThatHoldIt) {
    join_dialout();
    sys.process(4242, "minicom", "/dev/ttyUSB0");
    sys.process(4300, "bash", "/dev/ttyUSB1");
    sys.process(alice.pid, "trx81500", "/dev/ttyUSB0"); // the program itself is no holder
    sys.file("/dev/ttyUSB1", "", 0660);
    EXPECT_EQ(explain("/dev/ttyUSB0"), "/dev/ttyUSB0 is in use by minicom (process 4242). Close "
                                       "that program, then open the port again.");

    // Another user's program, seen only through its lock file; a lock whose process has
    // ended holds nothing.
    sys.process(77, "cu");
    sys.file("/run/lock/LCK..ttyUSB0", "        77\n");
    sys.file("/var/lock/LCK..ttyUSB1", "78\ncu\nhost\n");
    EXPECT_EQ(explain("/dev/ttyUSB0"),
              "/dev/ttyUSB0 is in use by minicom (process 4242), cu (process 77, lock file "
              "/run/lock/LCK..ttyUSB0). Close that program, then open the port again.");
    EXPECT_EQ(explain("/dev/ttyUSB1", "locked"),
              "/dev/ttyUSB1 is in use by bash (process 4300). Close that program, then open "
              "the port again.");
}

// Qt takes a lock over from a program that has ended, when the user may remove its file.
TEST_F(PortDiagnosis, AStaleLockTheUserMayNotRemoveIsNamedWithHowToRemoveIt) {
    join_dialout();
    sys.file("/run/lock/LCK..ttyUSB0", "16460\ntrx81500\nhost\n");
    ::chmod(sys.at("/run/lock").c_str(), 01777); // another user's file in a sticky folder
    EXPECT_EQ(explain("/dev/ttyUSB0", "The device is already locked"),
              "/dev/ttyUSB0 is locked by /run/lock/LCK..ttyUSB0, left by a program that has "
              "ended. It belongs to operator, so only an administrator may remove it:\n    "
              "sudo rm /run/lock/LCK..ttyUSB0");
    ::chmod(sys.at("/run/lock").c_str(), 0777);
    EXPECT_EQ(explain("/dev/ttyUSB0", "locked"), "locked");
}

TEST_F(PortDiagnosis, ServicesThatGrabUsbAdaptersAreNamedWhileTheyRun) {
    join_dialout();
    sys.process(310, "ModemManager", "/dev/ttyUSB0");
    const std::string held = explain("/dev/ttyUSB0");
    EXPECT_EQ(held.rfind("/dev/ttyUSB0 is in use by ModemManager (process 310).", 0), 0U) << held;
    EXPECT_NE(held.find("\nModemManager is running: it tries every new USB serial adapter as a "
                        "modem"),
              std::string::npos)
        << held;

    // brltty makes adapters vanish: the hint follows the missing device.
    sys.process(311, "brltty");
    const std::string gone = explain("/dev/ttyUSB1");
    EXPECT_EQ(gone.rfind("There is no device /dev/ttyUSB1.", 0), 0U) << gone;
    EXPECT_NE(gone.find("\nbrltty (for braille displays) is running"), std::string::npos) << gone;

    // Neither takes a built-in port.
    sys.file("/dev/ttyS1", "", 0666);
    EXPECT_EQ(explain("COM2", "Input/output error"), "Input/output error");
}

// Every line the diagnosis writes, whatever its level.
struct Lines final : Log {
    struct Line {
        LogLevel level;
        std::string category;
        std::string text;
    };
    std::vector<Line> seen;
    [[nodiscard]] bool enabled(LogLevel /*level*/, std::string_view /*category*/) const override {
        return true;
    }
    void write(LogLevel level, std::string_view category, std::string_view text) override {
        seen.push_back({level, std::string(category), std::string(text)});
    }
};

// The log gets the system's reason beside what the diagnosis found, on one line per port.
TEST_F(PortDiagnosis, ThePortThatWillNotOpenIsLoggedWithTheSystemsReasonAndTheCause) {
    Lines log;
    const SystemPortDiagnosis diagnosis(log, sys.root(), alice);
    sys.process(311, "brltty");
    (void)diagnosis.explain("/dev/ttyUSB1", "No such file or directory");
    ASSERT_EQ(log.seen.size(), 1U);
    EXPECT_EQ(log.seen[0].level, LogLevel::warning);
    EXPECT_EQ(log.seen[0].category, "trx.platform");
    const std::string& line = log.seen[0].text;
    EXPECT_EQ(line.rfind("/dev/ttyUSB1 (/dev/ttyUSB1) will not open: No such file or directory; "
                         "found: There is no device /dev/ttyUSB1. Check that the adapter is "
                         "plugged in. Serial adapters present: /dev/ttyUSB0",
                         0),
              0U)
        << line;
    EXPECT_NE(line.find("; brltty (for braille displays) is running"), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;

    sys.file("/dev/ttyS1", "", 0666);
    (void)diagnosis.explain("COM2", "Input/output error");
    ASSERT_EQ(log.seen.size(), 2U);
    EXPECT_EQ(log.seen[1].text,
              "COM2 (/dev/ttyS1) will not open: Input/output error; the system shows no cause");
}

} // namespace
} // namespace trx::platform

// trx81500-cli through a real serial device server: trx81500-sim on a pseudo-terminal, offered
// by ser2net on 127.0.0.1 as raw TCP and as RFC 2217, and the tool on each address.
#include "capture/reader.hpp"
#include "flashlib/hex_reader.hpp"
#include "tests/child_processes.hpp"
#include "tests/cli/cli_process.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace cli_e2e;
using namespace trx::test;
using namespace std::chrono_literals;

struct Ser2net : Cli {
    pid_t sim_pid = -1;
    pid_t server_pid = -1;
    std::uint16_t raw_port = 0;
    std::uint16_t telnet_port = 0;

    void SetUp() override {
        Cli::SetUp();
        const fs::path tty = dir / "tty";
        sim_pid = spawn({TRX_SIM_EXE, "--quiet", "--flash", (dir / "flash.bin").string(), "--state",
                         (dir / "state").string(), "--link", tty.string()},
                        dir / "sim.log");
        // Generous: a sanitized simulator on a busy machine takes its time to start.
        for (int i = 0; i < 500 && !fs::exists(tty); ++i) {
            std::this_thread::sleep_for(20ms);
        }
        ASSERT_TRUE(fs::exists(tty)) << read_file(dir / "sim.log");
        raw_port = free_port();
        telnet_port = free_port();
        const std::string device = "  connector: serialdev," + tty.string() + ",57600n81,local\n";
        std::ofstream(dir / "ser2net.yaml")
            << "connection: &raw\n  accepter: tcp,127.0.0.1," << raw_port << "\n"
            << device << "  options:\n    kickolduser: true\n"
            << "connection: &rfc2217\n  accepter: telnet(rfc2217),tcp,127.0.0.1," << telnet_port
            << "\n"
            << device << "  options:\n    kickolduser: true\n";
        start_server();
    }
    void start_server() {
        server_pid = spawn({"ser2net", "-n", "-u", "-c", (dir / "ser2net.yaml").string(), "-P",
                            (dir / "ser2net.pid").string()},
                           dir / "ser2net.log");
        for (int i = 0; i < 100 && !(listening(raw_port) && listening(telnet_port)); ++i) {
            std::this_thread::sleep_for(20ms);
        }
        ASSERT_TRUE(listening(raw_port) && listening(telnet_port))
            << "ser2net does not listen (scripts/setup.sh installs it): "
            << read_file(dir / "ser2net.log");
    }
    void TearDown() override {
        stop(server_pid);
        stop(sim_pid);
        Cli::TearDown();
    }
    [[nodiscard]] std::string address(std::string_view scheme) const {
        return std::string(scheme) +
               "://127.0.0.1:" + std::to_string(scheme == "socket" ? raw_port : telnet_port);
    }
    [[nodiscard]] Outcome run(std::string_view scheme, std::vector<std::string> args) const {
        return cli(std::vector<std::string>{"--port", address(scheme)} + args);
    }
};

// The flash memory holds the image wherever the image has data.
void expect_flash_holds(const fs::path& flash, const std::string& hex_path) {
    const auto hex = trx::flash::read_firmware_file(hex_path);
    ASSERT_TRUE(hex.ok()) << hex.error.message;
    const std::string content = read_file(flash);
    std::size_t compared = 0;
    for (const auto& [start, page] : hex.image.pages()) {
        for (std::uint32_t i = 0; i < trx::flash::HexImage::k_page; ++i) {
            if (!page.present[i]) {
                continue;
            }
            ASSERT_LT(start + i, content.size());
            ASSERT_EQ(static_cast<std::uint8_t>(content[start + i]), page.bytes[i])
                << "at 0x" << std::hex << start + i;
            ++compared;
        }
    }
    EXPECT_EQ(compared, hex.image.size());
}

// The rate of "Transfer at N baud" in the update's log; 0 without one.
std::uint32_t transfer_rate(const std::string& out) {
    const std::string_view tag = "Transfer at ";
    const auto at = out.find(tag);
    return at == std::string::npos
               ? 0U
               : static_cast<std::uint32_t>(std::stoul(out.substr(at + tag.size())));
}

class Through : public Ser2net, public ::testing::WithParamInterface<const char*> {
public:
    void SetUp() override { Ser2net::SetUp(); }
    void TearDown() override { Ser2net::TearDown(); }
};

TEST_P(Through, InfoParamsMonitorAndTheDemoImage) {
    const std::string_view scheme = GetParam();
    const Outcome info = run(scheme, {"info"});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out, "type = YA\nserial_number = 1223476\nversion = 1.09\nindex = 1\n");

    const Outcome set = run(scheme, {"params", "set", "speed=12,5", "can_identifier=0x7FF"});
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out, "speed = 12.5\ncan_identifier = 0x7FF\n");
    EXPECT_NE(read_file(dir / "state").find("can_identifier 2047"), std::string::npos);

    const Outcome monitor = run(scheme, {"monitor", "--turns", "3", "--json"});
    ASSERT_EQ(monitor.status, 0) << monitor.err;
    EXPECT_EQ(std::count(monitor.out.begin(), monitor.out.end(), '\n'), 3) << monitor.out;
    EXPECT_TRUE(monitor.out.starts_with("{\"t_ms\":")) << monitor.out;

    const Outcome flash = run(scheme, {"flash", TRX_DEMO_FIRMWARE});
    ASSERT_EQ(flash.status, 0) << flash.err;
    EXPECT_NE(flash.out.find("OpenCom: " + address(scheme) + ", 57600 Baud     Ok\n"),
              std::string::npos)
        << flash.out;
    EXPECT_TRUE(flash.out.ends_with("ProgramFlash:     Ok\nProgramming finished\n")) << flash.out;
    EXPECT_EQ(flash.errors(), "");
    expect_flash_holds(dir / "flash.bin", TRX_DEMO_FIRMWARE);
    // Through RFC 2217 ser2net sets the pseudo-terminal to the rate the transfer runs at, and
    // the simulator reads it there; a raw port stays at 57600.
    const auto rate = transfer_rate(flash.out);
    if (scheme == "rfc2217") {
        EXPECT_GT(rate, 57600U) << flash.out;
    } else {
        EXPECT_EQ(rate, 0U) << flash.out;
    }

    // The scanner runs again after the update, on the same address.
    EXPECT_EQ(run(scheme, {"info"}).status, 0);
}

INSTANTIATE_TEST_SUITE_P(Ser2net, Through, ::testing::Values("socket", "rfc2217"),
                         [](const auto& p) { return std::string(p.param); });

// ser2net's raw port does not speak Telnet: an rfc2217:// address for it says so and how to
// write the address instead.
TEST_F(Ser2net, AnRfc2217AddressOnARawPortIsRefusedWithTheRightAddress) {
    const std::string raw = "127.0.0.1:" + std::to_string(raw_port);
    const Outcome o = cli({"--port", "rfc2217://" + raw, "info"});
    EXPECT_EQ(o.status, 3);
    EXPECT_TRUE(o.err.starts_with("trx81500-cli: cannot open rfc2217://" + raw + ": " + raw +
                                  " does not speak Telnet (no RFC 2217 answer within 3 s"))
        << o.err;
    EXPECT_TRUE(o.err.ends_with("a raw TCP port is socket://" + raw + ".\n")) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1);
}

// The server stops in the middle of a run: the command fails with status 3 and the reason,
// never hangs.
TEST_F(Ser2net, AServerThatGoesAwayEndsAMonitorWithItsReason) {
    std::thread killer([this] {
        std::this_thread::sleep_for(1500ms);
        stop(server_pid);
    });
    const Outcome o = run("socket", {"monitor", "--json"});
    killer.join();
    EXPECT_EQ(o.status, 3) << o.err;
    EXPECT_NE(o.err.find("closed the connection"), std::string::npos) << o.err;
    EXPECT_FALSE(o.out.empty());
}

// The server goes away in the middle of the flash run: the run fails with the connection's
// reason, as on a pulled adapter, and the library's port is released (CloseCom).
TEST_F(Ser2net, AServerThatGoesAwayDuringTheFlashFailsTheRunWithItsReason) {
    std::thread killer([this] {
        std::this_thread::sleep_for(3s);
        stop(server_pid);
    });
    const Outcome o = run("rfc2217", {"flash", TRX_DEMO_FIRMWARE});
    killer.join();
    EXPECT_EQ(o.status, 6) << o.out << o.err;
    const std::string errors = o.errors();
    EXPECT_NE(errors.find("closed the connection"), std::string::npos) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
}

// The device server restarts under `monitor --follow`: the tool says it waits, finds the
// port again and goes on printing turns, on both kinds of address.
TEST_F(Ser2net, MonitorFollowWaitsForARestartedServerAndGoesOn) {
    for (const std::string_view scheme : {"socket", "rfc2217"}) {
        std::thread restart([this] {
            std::this_thread::sleep_for(1500ms);
            stop(server_pid);
            std::this_thread::sleep_for(2500ms);
            start_server();
        });
        // 10 turns a second: 60 lines need turns from after the restart.
        const auto enough = [](const std::string& out) {
            return std::count(out.begin(), out.end(), '\n') >= 60;
        };
        const Outcome o = cli(Invocation{
            {"--port", address(scheme), "monitor", "--json", "--follow"}, {}, {}, enough});
        restart.join();
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_NE(o.err.find("closed the connection; waiting for " + address(scheme) + " ...\n"),
                  std::string::npos)
            << o.err;
        EXPECT_NE(o.err.find(address(scheme) + " is back\n"), std::string::npos) << o.err;
        EXPECT_GE(std::count(o.out.begin(), o.out.end(), '\n'), 60);
    }
}

// The device server restarts under `record --follow`: the capture goes on, with the loss and
// the reopening of the address among its events and the scanner's bytes after it.
TEST_F(Ser2net, RecordFollowKeepsRecordingAcrossAServerRestart) {
    using trx::capture::Kind;
    for (const std::string_view scheme : {"socket", "rfc2217"}) {
        std::thread restart([this] {
            std::this_thread::sleep_for(1500ms);
            stop(server_pid);
            std::this_thread::sleep_for(2500ms);
            start_server();
        });
        const fs::path file = dir / (std::string(scheme) + ".trxcap");
        const Outcome o = run(scheme, {"record", file.string(), "--seconds", "8", "--follow"});
        restart.join();
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_NE(o.err.find("closed the connection; waiting for " + address(scheme) + " ...\n"),
                  std::string::npos)
            << o.err;
        EXPECT_NE(o.err.find(address(scheme) + " is back\n"), std::string::npos) << o.err;

        const auto c = trx::capture::read_all(trx::capture::Reader::open(file));
        ASSERT_EQ(c.refusal, "");
        EXPECT_EQ(c.stop_reason, "");
        const auto at = [&](Kind kind, std::size_t from) {
            const auto it =
                std::find_if(c.records.begin() + static_cast<std::ptrdiff_t>(from), c.records.end(),
                             [kind](const auto& r) { return r.kind == kind; });
            return static_cast<std::size_t>(it - c.records.begin());
        };
        const std::size_t lost = at(Kind::lost, 0);
        ASSERT_LT(lost, c.records.size()) << "no loss recorded";
        EXPECT_NE(c.records[lost].data.find("closed the connection"), std::string::npos);
        EXPECT_LT(at(Kind::received, 0), lost) << "bytes before the restart";
        const std::size_t reopened = at(Kind::opened, lost);
        ASSERT_LT(reopened, c.records.size()) << "no reopening recorded";
        EXPECT_EQ(c.records[reopened].data, address(scheme));
        EXPECT_LT(at(Kind::received, reopened), c.records.size()) << "no bytes after it";
        EXPECT_EQ(c.records.back().kind, Kind::closed);
        EXPECT_GE(c.records.back().time_us, 8'000'000U);
    }
}

} // namespace

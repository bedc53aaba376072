// --port auto against two simulators and a pseudo-terminal that sends garbage, all offered
// through a device folder of the test's own, so the machine's real ports are never touched.
#include "tests/child_processes.hpp"
#include "tests/cli/cli_process.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <termios.h>
#include <thread>

namespace {

using namespace cli_e2e;
using trx::test::spawn;
using namespace std::chrono_literals;

// A device that sends frames whose checksums never hold, and noise between them; it
// remembers whether anything was written to it.
class GarbagePty {
public:
    explicit GarbagePty(const fs::path& link) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            return;
        }
        // A serial line echoes nothing: what the master reads is only what was written to
        // the device.
        termios tio{};
        ::tcgetattr(master_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(master_, TCSANOW, &tio);
        fs::create_symlink(::ptsname(master_), link);
        writer_ = std::thread([this] {
            const std::string junk = "\x02S1FFF93000100\x03\x02SZZ\x03~~\xff\x01";
            while (!stop_) {
                (void)::write(master_, junk.data(), junk.size());
                std::this_thread::sleep_for(30ms);
            }
        });
    }
    GarbagePty(const GarbagePty&) = delete;
    GarbagePty& operator=(const GarbagePty&) = delete;
    GarbagePty(GarbagePty&&) = delete;
    GarbagePty& operator=(GarbagePty&&) = delete;
    ~GarbagePty() {
        stop_ = true;
        if (writer_.joinable()) {
            writer_.join();
        }
        ::close(master_);
    }
    // What reached the master side: bytes written to the device.
    [[nodiscard]] std::string written_to() const {
        std::array<char, 256> buf{};
        const ssize_t n = ::read(master_, buf.data(), buf.size());
        return n > 0 ? std::string(buf.data(), static_cast<std::size_t>(n)) : std::string();
    }

private:
    int master_ = -1;
    std::atomic<bool> stop_{false};
    std::thread writer_;
};

struct FindScanner : Cli {
    fs::path dev;
    std::vector<pid_t> sims;

    void SetUp() override {
        Cli::SetUp();
        dev = dir / "dev";
        fs::create_directories(dev);
    }
    void TearDown() override {
        for (pid_t pid : sims) {
            trx::test::stop(pid);
        }
        Cli::TearDown();
    }
    void start_sim(const std::string& name) {
        const fs::path link = dev / name;
        sims.push_back(
            spawn({TRX_SIM_EXE, "--quiet", "--state", (dir / (name + ".state")).string(), "--flash",
                   (dir / (name + ".flash")).string(), "--link", link.string()},
                  dir / (name + ".log")));
        for (int i = 0; i < 100 && !fs::exists(link); ++i) {
            std::this_thread::sleep_for(20ms);
        }
        ASSERT_TRUE(fs::exists(link)) << read_file(dir / (name + ".log"));
    }
    [[nodiscard]] Outcome run(std::vector<std::string> args) const {
        return cli(Invocation{std::vector<std::string>{"--port", "auto"} + args,
                              {{"TRX81500_DEVICE_FOLDER", dev.string()}},
                              {},
                              {}});
    }
};

TEST_F(FindScanner, OpensTheOneSimulatorAmongGarbageAndSilence) {
    start_sim("ttyUSB1");
    const GarbagePty garbage(dev / "ttyACM0");
    const Outcome r = run({"info"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("the scanner is on " + (dev / "ttyUSB1").string()), std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("type = YA"), std::string::npos) << r.out;
    EXPECT_EQ(garbage.written_to(), "");
}

TEST_F(FindScanner, SeveralScannersAreListedForTheUserToChooseWithStatus2) {
    start_sim("ttyUSB0");
    start_sim("ttyUSB1");
    const GarbagePty garbage(dev / "ttyACM0");
    const Outcome r = run({"info"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("several ports"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("  " + (dev / "ttyUSB0").string()), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("  " + (dev / "ttyUSB1").string()), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("ttyACM0"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(garbage.written_to(), "");
}

TEST_F(FindScanner, NoScannerListsWhatWasTriedAndWhyWithStatus3) {
    const GarbagePty garbage(dev / "ttyACM0");
    fs::create_symlink(dir / "nowhere", dev / "ttyUSB3"); // a device that went away
    const Outcome r = run({"info"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("no scanner found; tried:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find((dev / "ttyACM0").string() + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("with a bad checksum, none good within 1 s"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find((dev / "ttyUSB3").string() + ": No such file or directory"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(garbage.written_to(), "");

    fs::remove_all(dev);
    fs::create_directories(dev);
    const Outcome none = run({"info"});
    EXPECT_EQ(none.status, 3);
    EXPECT_EQ(none.err, "trx81500-cli: no scanner found: no serial device is present\n");
}

} // namespace

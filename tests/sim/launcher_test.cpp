// trx81500-sim as a process: started by SimulatorProcess, talked to over its pseudo-terminal,
// stopped by signal; its link and state file.
#include "host.hpp"
#include "raw_port.hpp"
#include "sim/launcher.hpp"
#include "sim/state_file.hpp"

#include "temp_dir.hpp"

#include <gtest/gtest.h>

#include <set>

#include <memory>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>

namespace trx::sim {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Host;
using test::RawPort;
using test::TempDir;

const fs::path k_sim = TRX_SIM_EXE;
constexpr auto k_patience = 20s; // generous: the machine may be busy

bool wait_for(const std::function<bool()>& done, std::chrono::milliseconds patience = k_patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// Sends one command and returns the body of its answer: the first good frame, other than a
// status frame, whose letter is `answer`; empty when none comes.
std::string ask(const RawPort& port, const std::string& frame, char answer) {
    EXPECT_TRUE(port.write(frame));
    std::string body;
    const auto answered = [&](const std::string& got) {
        Host host; // judged afresh on all that came, with the program's receive assembly
        host.take(got);
        for (auto& f : host.drain()) {
            if (f.front() == answer) {
                body = f;
                return true;
            }
        }
        return false;
    };
    (void)port.read_until(answered, k_patience);
    return body;
}

TEST(Launcher, StartsTheSimulatorLearnsItsDeviceAndStopsIt) {
    TempDir dir;
    const fs::path link = dir.path / "ttyTRX";
    SimulatorProcess sim;
    ASSERT_TRUE(sim.start({"--link", link.string()}, k_sim)) << sim.error();
    EXPECT_TRUE(sim.running());
    ASSERT_EQ(sim.device().rfind("/dev/", 0), 0U) << sim.device();
    struct stat st {};
    ASSERT_EQ(::stat(sim.device().c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(fs::read_symlink(link), sim.device());

    {
        RawPort port(link.string());
        ASSERT_TRUE(port.is_open());
        EXPECT_EQ(ask(port, link::build_frame('L', ""), 'L'), "L00010D");
    }
    const pid_t pid = sim.pid();
    sim.stop();
    EXPECT_FALSE(sim.running());
    EXPECT_TRUE(sim.device().empty());
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "its link goes with it";
    EXPECT_NE(::kill(pid, 0), 0) << "and the child is reaped";
}

TEST(Launcher, InterruptEndsTheSimulatorCleanly) {
    TempDir dir;
    const fs::path link = dir.path / "ttyTRX";
    // A link left by a killed run is taken over.
    fs::create_symlink("/dev/null", link);
    SimulatorProcess sim;
    ASSERT_TRUE(sim.start({"--link", link.string()}, k_sim)) << sim.error();
    EXPECT_EQ(fs::read_symlink(link), sim.device());
    ::kill(sim.pid(), SIGINT);
    EXPECT_TRUE(wait_for([&] { return !sim.running(); }));
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

// A child that ignores SIGTERM is killed once the grace is over, and reaped.
TEST(Launcher, AChildThatIgnoresTerminationIsKilledAfterTheGrace) {
    TempDir dir;
    const fs::path stubborn = dir.write("stubborn", "#!/bin/sh\ntrap '' TERM\necho /dev/null\n"
                                                    "exec sleep 60\n");
    fs::permissions(stubborn, fs::perms::owner_all);
    SimulatorProcess sim(50ms);
    ASSERT_TRUE(sim.start({}, stubborn)) << sim.error();
    const pid_t pid = sim.pid();
    sim.stop();
    EXPECT_TRUE(wait_for([&] { return !sim.running(); }));
    EXPECT_NE(::kill(pid, 0), 0) << "killed and reaped";
}

TEST(Launcher, SaysWhyTheSimulatorDidNotStart) {
    SimulatorProcess sim;
    EXPECT_FALSE(sim.start({}, "/no/such/trx81500-sim"));
    EXPECT_EQ(sim.error(), "/no/such/trx81500-sim is not an executable file");

    EXPECT_FALSE(sim.start({"--type", "XA"}, k_sim));
    EXPECT_EQ(sim.error(), "trx81500-sim ended before it named its device (see its messages)");

    EXPECT_FALSE(sim.start({"hello"}, "/bin/echo"));
    EXPECT_EQ(sim.error(), "trx81500-sim printed \"hello\" instead of a device");

    EXPECT_FALSE(sim.start({"30"}, "/bin/sleep", 300ms));
    EXPECT_EQ(sim.error(), "trx81500-sim named no device within 300 ms");
    EXPECT_FALSE(sim.running()) << "the silent child is stopped";
    EXPECT_TRUE(sim.device().empty());

    TempDir dir;
    dir.write("file", "x");
    EXPECT_FALSE(sim.start({"--link", (dir.path / "file").string()}, k_sim))
        << "a link over a plain file is refused";
}

// Several launched before any is waited for: each names a device of its own; a launch that
// failed says why when waited for, and a launcher never launched says so.
TEST(Launcher, SeveralLaunchedSideBySideEachNameTheirOwnDevice) {
    std::vector<std::unique_ptr<SimulatorProcess>> sims;
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(sims.emplace_back(std::make_unique<SimulatorProcess>())->launch({}, k_sim));
    }
    std::set<std::string> devices;
    for (auto& sim : sims) {
        ASSERT_TRUE(sim->await_device()) << sim->error();
        EXPECT_TRUE(sim->running());
        devices.insert(sim->device());
    }
    EXPECT_EQ(devices.size(), 3U);

    SimulatorProcess missing;
    EXPECT_FALSE(missing.launch({}, "/no/such/trx81500-sim"));
    EXPECT_FALSE(missing.await_device());
    EXPECT_NE(missing.error().find("not an executable"), std::string::npos) << missing.error();
    SimulatorProcess never;
    EXPECT_FALSE(never.await_device());
    EXPECT_FALSE(never.error().empty());
}

TEST(Launcher, FindsTheSimulatorByVariableOrBesideTheProgram) {
    ::setenv("TRX81500_SIM", k_sim.c_str(), 1);
    EXPECT_EQ(SimulatorProcess::find_executable(), k_sim);
    ::setenv("TRX81500_SIM", "/no/such/file", 1);
    EXPECT_EQ(SimulatorProcess::find_executable(), fs::path{});
    ::unsetenv("TRX81500_SIM");
    EXPECT_EQ(SimulatorProcess::find_executable("/bin/sh"), "/bin/sh");

    // Installed beside the program, or in the build tree's sim/ beside app/.
    TempDir dir;
    fs::create_directories(dir.path / "app");
    fs::create_directories(dir.path / "sim");
    EXPECT_EQ(SimulatorProcess::find_beside(dir.path / "app"), fs::path{});
    dir.write("sim/trx81500-sim", "#!/bin/sh\n");
    EXPECT_EQ(SimulatorProcess::find_beside(dir.path / "app"), fs::path{}) << "not executable";
    fs::permissions(dir.path / "sim" / "trx81500-sim", fs::perms::owner_all);
    EXPECT_EQ(SimulatorProcess::find_beside(dir.path / "app"), dir.path / "sim" / "trx81500-sim");
    fs::copy_file(dir.path / "sim" / "trx81500-sim", dir.path / "app" / "trx81500-sim");
    EXPECT_EQ(SimulatorProcess::find_beside(dir.path / "app"), dir.path / "app" / "trx81500-sim");
}

TEST(Launcher, StateFileKeepsSetAndIndexAcrossRuns) {
    TempDir dir;
    const fs::path state = dir.path / "scanner.state";
    const std::string set_za = "075BCD15"
                               "006D"
                               "0096"
                               "0002"
                               "0001";
    {
        SimulatorProcess sim;
        ASSERT_TRUE(sim.start({"--type", "ZA", "--state", state.string()}, k_sim)) << sim.error();
        RawPort port(sim.device());
        ASSERT_TRUE(port.is_open());
        EXPECT_EQ(ask(port, link::build_frame('W', set_za), 'P'), "P50");
        EXPECT_EQ(ask(port, link::build_frame('I', "1234"), 'I'), "I49");
    }
    const auto kept = load_state(state, SimState{});
    ASSERT_TRUE(kept.state) << kept.error;
    EXPECT_EQ(kept.state->index, 0x1234);
    EXPECT_EQ(kept.state->params.serial, 123456789U);

    SimulatorProcess sim;
    ASSERT_TRUE(sim.start({"--type", "ZA", "--state", state.string()}, k_sim)) << sim.error();
    RawPort port(sim.device());
    EXPECT_EQ(test::payload_of(ask(port, link::build_frame('R', ""), 'W')), set_za);
    EXPECT_EQ(ask(port, link::build_frame('L', ""), 'L').substr(0, 5), "L1234");
}

} // namespace
} // namespace trx::sim

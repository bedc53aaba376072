// What the tool and the simulator do with files that are not what they should be, as a
// hurried user meets it: an earlier recording kept when a new one cannot start, a pipe, a
// device or a folder refused before the scanner is touched, a simulator file that never ends.
#include "tests/cli/cli_process.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace cli_e2e;

const std::string k_not_regular = "it is not a regular file (a folder, a device or a pipe)";

// The files beside the recording; "data" is the tool's data folder the fixture puts there
// (backups and the service history), which every run may create.
std::vector<std::string> in(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (e.path().filename() != "data") {
            names.push_back(e.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(Cli, ARecordThatCannotStartLeavesTheEarlierRecordingAsItWas) {
    const fs::path keep = dir / "keep.trxcap";
    std::ofstream(keep) << "an earlier recording";
    const Outcome no_port = cli({"--port", (dir / "no-tty").string(), "record", keep.string()});
    EXPECT_EQ(no_port.status, 3) << no_port.err;
    EXPECT_EQ(read_file(keep), "an earlier recording");
    EXPECT_EQ(in(dir), (std::vector<std::string>{"keep.trxcap"})); // no temporary file left

    // A simulator that fails to start (its scene file is missing).
    const Outcome no_sim = cli({"--sim", "--sim-arg", "--scene", "--sim-arg",
                                (dir / "none.scene").string(), "record", keep.string()});
    EXPECT_EQ(no_sim.status, 3) << no_sim.err;
    EXPECT_EQ(read_file(keep), "an earlier recording");
    EXPECT_EQ(in(dir), (std::vector<std::string>{"keep.trxcap"}));

    // Once the port is open, the new recording takes the name.
    const Outcome recorded =
        cli(sim("YA") + std::vector<std::string>{"record", keep.string(), "--seconds", "1"});
    ASSERT_EQ(recorded.status, 0) << recorded.err;
    EXPECT_TRUE(read_file(keep).starts_with("TRXCAP")) << read_file(keep).substr(0, 16);
    EXPECT_EQ(in(dir), (std::vector<std::string>{"keep.trxcap"}));
}

// A pipe would block the open for ever, a device node would be replaced; both, a folder and a
// link to a device are refused with status 2 before the port is opened (a missing port would
// otherwise give status 3).
TEST_F(Cli, RecordAndExportRefuseAPipeADeviceOrAFolderBeforeThePort) {
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("/proc/self/fd/1", dir / "to-stdout");
    fs::create_symlink("/dev/null", dir / "to-null");
    const std::string port = (dir / "no-tty").string();
    for (const fs::path& odd : {fifo, fs::path("/dev/null"), dir, dir / "to-null"}) {
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"record", odd.string()},
              std::vector<std::string>{"params", "export", odd.string()}}) {
            const Outcome r = cli(std::vector<std::string>{"--port", port} + command);
            EXPECT_EQ(r.status, 2) << command[0] << " " << odd << ": " << r.err;
            EXPECT_EQ(r.err,
                      "trx81500-cli: cannot write " + odd.string() + ": " + k_not_regular + "\n");
        }
    }
    const Outcome to_stdout =
        cli({"--port", port, "params", "export", (dir / "to-stdout").string()});
    EXPECT_EQ(to_stdout.status, 2) << to_stdout.err;
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_symlink(dir / "to-stdout"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_F(Cli, ExportToADashWritesStandardOutputAndALinkKeepsLinking) {
    const Outcome dash = cli(sim("YA") + std::vector<std::string>{"params", "export", "-"});
    ASSERT_EQ(dash.status, 0) << dash.err;
    EXPECT_NE(dash.out.find("\ntype = "), std::string::npos) << dash.out;
    EXPECT_TRUE(dash.out.ends_with("\nend\n")) << dash.out;
    EXPECT_FALSE(fs::exists("-"));

    std::ofstream(dir / "real.trxp") << "old\n";
    fs::create_symlink(dir / "real.trxp", dir / "link.trxp");
    const Outcome linked =
        cli(sim("YA") + std::vector<std::string>{"params", "export", (dir / "link.trxp").string()});
    ASSERT_EQ(linked.status, 0) << linked.err;
    EXPECT_TRUE(fs::is_symlink(dir / "link.trxp"));
    EXPECT_TRUE(read_file(dir / "real.trxp").ends_with("\nend\n"));
}

// ---- the simulator's own files -----------------------------------------------------------

struct SimRun {
    int status = -1;
    std::string err;
    std::chrono::milliseconds took{};
};

// trx81500-sim with args; SIGTERM after `grace` if it still runs, SIGKILL after 10 s.
SimRun run_sim(const std::vector<std::string>& args) {
    std::array<int, 2> err{};
    if (::pipe2(err.data(), O_CLOEXEC) != 0) {
        return {};
    }
    std::vector<std::string> words{TRX_SIM_EXE, "--quiet"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(err[1], STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(err[1]);
    SimRun r;
    bool termed = false;
    int status = 0;
    for (;;) {
        const auto waited = std::chrono::steady_clock::now() - start;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            break;
        }
        if (!termed && waited > std::chrono::seconds(3)) {
            ::kill(pid, SIGTERM);
            termed = true;
        }
        if (waited > std::chrono::seconds(10)) {
            ::kill(pid, SIGKILL);
        }
        ::usleep(20'000);
    }
    r.took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::array<char, 4096> buf{};
    for (ssize_t n = 0; (n = ::read(err[0], buf.data(), buf.size())) > 0;) {
        r.err.append(buf.data(), static_cast<std::size_t>(n));
    }
    ::close(err[0]);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

// A pipe nobody writes, /dev/zero and a folder: each file option refuses them at once with
// status 2 and the reason, instead of hanging, growing or aborting.
TEST_F(Cli, TheSimulatorRefusesFilesThatAreNotRegularOrTooLarge) {
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const char* option : {"--flash", "--state", "--scene"}) {
        for (const fs::path& odd : {fifo, fs::path("/dev/zero"), dir}) {
            const SimRun r = run_sim({option, odd.string()});
            EXPECT_EQ(r.status, 2) << option << " " << odd << ": " << r.err;
            EXPECT_NE(r.err.find(odd.string() + ": not a regular file (a folder, a device or a "
                                                "pipe)"),
                      std::string::npos)
                << option << " " << odd << ": " << r.err;
            EXPECT_LT(r.took, std::chrono::seconds(3)) << option << " " << odd;
        }
    }
    std::ofstream(dir / "big.scene") << std::string(70'000, '#');
    const SimRun big = run_sim({"--scene", (dir / "big.scene").string()});
    EXPECT_EQ(big.status, 2);
    EXPECT_NE(big.err.find("it is 70000 bytes long, more than the 65536 its format allows"),
              std::string::npos)
        << big.err;

    // A flash image of the wrong size is refused, and left as it was.
    std::ofstream(dir / "short.bin") << std::string(1000, '\0');
    const SimRun wrong = run_sim({"--flash", (dir / "short.bin").string()});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("it is 1000 bytes long; a flash image is exactly 262144"),
              std::string::npos)
        << wrong.err;
    EXPECT_EQ(fs::file_size(dir / "short.bin"), 1000U);
}

// The flash file follows every erase and program step: a simulator that dies in the middle
// of an update (killed here once the erase is done, while the image is programmed at the
// line's pace) leaves on disk what a real controller's flash would hold, not the image before.
TEST_F(Cli, ASimulatorKilledDuringAnUpdateLeavesTheErasedFlashInItsFile) {
    const fs::path flash = dir / "flash.bin";
    std::ofstream(flash, std::ios::binary) << std::string(0x40000, '\0');
    // Bytes that do not compress, so that programming takes the line's time (about 11 s).
    std::vector<std::uint8_t> image(0x10000);
    std::uint32_t x = 12345;
    for (auto& b : image) {
        x = x * 1103515245U + 12345U;
        b = static_cast<std::uint8_t>(x >> 24U);
    }
    std::ofstream(dir / "big.h86") << hex_file(0, image);
    const fs::path link = dir / "ttyTRX";
    std::vector<std::string> words{TRX_SIM_EXE,    "--quiet", "--pace",     "--flash",
                                   flash.string(), "--link",  link.string()};
    std::vector<char*> argv;
    for (auto& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    const pid_t sim = ::fork();
    if (sim == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    for (int i = 0; i < 500 && !fs::exists(link); ++i) {
        ::usleep(10'000);
    }
    ASSERT_TRUE(fs::exists(link));
    bool killed = false;
    const Outcome run =
        cli(Invocation{{"--port", link.string(), "flash", (dir / "big.h86").string()},
                       {},
                       {},
                       [&](const std::string& out) {
                           if (!killed && out.find("EraseFlash:     Ok\n") != std::string::npos) {
                               ::kill(sim, SIGKILL);
                               killed = true;
                           }
                           return false;
                       }});
    ::kill(sim, SIGKILL);
    ::waitpid(sim, nullptr, 0);
    ASSERT_TRUE(killed) << run.out << run.err;
    EXPECT_EQ(run.status, 6) << run.err;
    const std::string kept = read_file(flash);
    ASSERT_EQ(kept.size(), 0x40000U);
    // Erased, and programmed at most in part: the image's end still reads erased.
    EXPECT_NE(kept[0x100], '\0');
    EXPECT_EQ(static_cast<unsigned char>(kept[0xFFFF]), 0xFFU);
    EXPECT_EQ(kept[0x10000], '\0'); // beyond the image: untouched
}

} // namespace

#pragma once

// trx81500-cli run as a process against trx81500-sim on a pseudo-terminal: what a test starts
// and what it gets back.
#include "base/numtext.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <poll.h>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace cli_e2e {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
    // Stderr without the update's progress lines: the tool's own error line and nothing
    // else, not even the simulator's events.
    [[nodiscard]] std::string errors() const {
        std::istringstream in(err);
        std::string line;
        std::string rest;
        while (std::getline(in, line)) {
            const bool progress = line.starts_with("Erasing") || line.starts_with("Programming") ||
                                  line.starts_with("Verifying");
            if (!progress) {
                rest += line + "\n";
            }
        }
        return rest;
    }
};

struct Invocation {
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    std::string interrupt_after; // SIGINT once stdout holds this
    // SIGINT once this holds for stdout so far
    std::function<bool(const std::string& out)> interrupt_when;
};

// Runs the tool and collects both streams until it ends (killed after a minute).
inline Outcome cli(const Invocation& what) {
    std::array<int, 2> out{};
    std::array<int, 2> err{};
    if (::pipe2(out.data(), O_CLOEXEC) != 0 || ::pipe2(err.data(), O_CLOEXEC) != 0) {
        return {};
    }
    std::vector<std::string> words{TRX_CLI_EXE};
    words.insert(words.end(), what.args.begin(), what.args.end());
    std::vector<char*> argv;
    for (auto& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::setenv("TRX81500_SIM", TRX_SIM_EXE, 1);
        for (const auto& [k, v] : what.env) {
            ::setenv(k.c_str(), v.c_str(), 1);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    Outcome r;
    bool interrupted = false;
    std::array<pollfd, 2> fds{{{out[0], POLLIN, 0}, {err[0], POLLIN, 0}}};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ADD_FAILURE() << "trx81500-cli did not end within a minute";
            break;
        }
        if (::poll(fds.data(), fds.size(), 100) <= 0) {
            continue;
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            std::array<char, 4096> buf{};
            const ssize_t n = ::read(fds[i].fd, buf.data(), buf.size());
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                continue;
            }
            (i == 0 ? r.out : r.err).append(buf.data(), static_cast<std::size_t>(n));
        }
        const bool due = (!what.interrupt_after.empty() &&
                          r.out.find(what.interrupt_after) != std::string::npos) ||
                         (what.interrupt_when && what.interrupt_when(r.out));
        if (!interrupted && due) {
            ::kill(pid, SIGINT);
            interrupted = true;
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

inline Outcome cli(std::vector<std::string> args) {
    return cli(Invocation{std::move(args), {}, {}, {}});
}

// The simulator of the given type, with what it keeps in `state` when not empty.
inline std::vector<std::string> sim(std::string_view type, const fs::path& state = {}) {
    std::vector<std::string> a{"--sim", "--sim-arg", "--type", "--sim-arg", std::string(type)};
    if (!state.empty()) {
        a.insert(a.end(), {"--sim-arg", "--state", "--sim-arg", state.string()});
    }
    return a;
}

inline std::vector<std::string> operator+(std::vector<std::string> a,
                                          const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A small firmware image of `size` bytes whose content depends on `salt`, so that two salts
// give two images that differ in every block.
inline std::vector<std::uint8_t> sample_firmware(std::uint8_t salt, std::size_t size = 0x300) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + salt);
    }
    return image;
}

// Intel HEX of `bytes` from linear address `base` on, 16 per record.
inline std::string hex_file(std::uint32_t base, const std::vector<std::uint8_t>& bytes) {
    auto record = [](unsigned type, unsigned addr, const std::uint8_t* data, std::size_t n) {
        unsigned sum = static_cast<unsigned>(n) + (addr >> 8U) + (addr & 0xFFU) + type;
        std::string line = ":" + trx::num::hex_upper(n, 2) + trx::num::hex_upper(addr, 4) +
                           trx::num::hex_upper(type, 2);
        for (std::size_t i = 0; i < n; ++i) {
            line += trx::num::hex_upper(data[i], 2);
            sum += data[i];
        }
        return line + trx::num::hex_upper((0x100U - (sum & 0xFFU)) & 0xFFU, 2) + "\r\n";
    };
    const std::array<std::uint8_t, 2> upper{static_cast<std::uint8_t>(base >> 24U),
                                            static_cast<std::uint8_t>(base >> 16U)};
    std::string text = record(4, 0, upper.data(), 2);
    for (std::size_t i = 0; i < bytes.size(); i += 16) {
        text += record(0, static_cast<unsigned>((base + i) & 0xFFFFU), bytes.data() + i,
                       std::min<std::size_t>(16, bytes.size() - i));
    }
    return text + record(1, 0, nullptr, 0);
}

struct Cli : ::testing::Test {
    fs::path dir;
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() /
              ("trx_cli_" + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        // The automatic backups go here, not into the home of whoever runs the tests.
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("XDG_DATA_HOME");
        fs::remove_all(dir);
    }
    [[nodiscard]] std::vector<fs::path> backups(const std::string& serial) const {
        std::vector<fs::path> out;
        std::error_code ec;
        for (const auto& e :
             fs::directory_iterator(dir / "data" / "trx81500" / "backups" / serial, ec)) {
            out.push_back(e.path());
        }
        return out;
    }
};

} // namespace cli_e2e

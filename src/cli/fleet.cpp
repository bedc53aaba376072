#include "cli/fleet.hpp"

#include "base/numtext.hpp"
#include "cli/exit_status.hpp"
#include "service/time_left.hpp"
#include "sim/launcher.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ; // NOLINT: POSIX hands the environment over only this way

namespace trx::cli {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto k_redraw = std::chrono::milliseconds(200);
constexpr std::string_view k_error_prefix = "trx81500-cli: ";

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) {
        text.append(width - text.size(), ' ');
    }
    return text;
}

std::string one_decimal(double v) {
    const auto tenths = static_cast<std::int64_t>(v * 10 + 0.5);
    return num::dec(tenths / 10) + "." + num::dec(tenths % 10);
}

std::string timeout_text(std::chrono::milliseconds t) {
    const std::string ms = num::dec(t.count() % 1000);
    return num::dec(t.count() / 1000) + "." + std::string(3 - ms.size(), '0') + ms;
}

// One child run: its process and the two pipes it writes into.
struct Child {
    FleetPortState state;
    pid_t pid = -1;
    std::array<int, 2> fds{-1, -1}; // stdout, stderr
    std::array<std::string, 2> pending;
    Clock::time_point started;

    [[nodiscard]] bool reading() const { return fds[0] >= 0 || fds[1] >= 0; }
};

// Starts the tool again on one port; false with the reason in the child's state.
bool spawn(Child& child, const std::string& exe, const std::vector<std::string>& args) {
    std::array<int, 2> out{-1, -1};
    std::array<int, 2> err{-1, -1};
    if (::pipe2(out.data(), O_CLOEXEC) != 0 || ::pipe2(err.data(), O_CLOEXEC) != 0) {
        child.state.reason = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    std::vector<std::string> words{exe};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    // A group of its own: a terminal's Ctrl+C reaches the parent alone, which hands it on once
    // (a second one would end the child at once, in the middle of its step).
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    const int r =
        ::posix_spawn(&child.pid, exe.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out[1]);
    ::close(err[1]);
    if (r != 0) {
        ::close(out[0]);
        ::close(err[0]);
        child.pid = -1;
        child.state.reason = "cannot start " + exe + ": " + std::strerror(r);
        return false;
    }
    child.fds = {out[0], err[0]};
    child.started = Clock::now();
    return true;
}

class Fleet {
public:
    Fleet(const CommandLine& line, CliServices& services)
        : line_(line), services_(services), json_(line.has("--json")) {}

    int run() {
        std::vector<std::string> ports = line_.global.ports;
        start_simulators(ports);
        const std::string exe =
            services_.self_executable.empty() ? "/proc/self/exe" : services_.self_executable;
        for (const std::string& port : ports) {
            Child& c = *children_.emplace_back(std::make_unique<Child>());
            c.state.port = port;
            if (!port.empty() && spawn(c, exe, child_arguments(line_, port))) {
                continue;
            }
            c.state.status = static_cast<int>(ExitStatus::port);
            if (c.state.reason.empty()) {
                c.state.reason = sim_errors_.empty() ? "no port" : sim_errors_.front();
            }
        }
        watch();
        return finish();
    }

private:
    // --sim N: one simulator per port, each on its own pseudo-terminal.
    void start_simulators(std::vector<std::string>& ports) {
        if (line_.global.sims <= 0) {
            return;
        }
        std::vector<std::string> args{"--quiet"};
        args.insert(args.end(), line_.global.sim_args.begin(), line_.global.sim_args.end());
        // All launched first, then each waited for: they start side by side.
        for (int i = 0; i < line_.global.sims; ++i) {
            simulators_.emplace_back(std::make_unique<sim::SimulatorProcess>())->launch(args);
        }
        for (auto& sim : simulators_) {
            if (sim->await_device()) {
                ports.push_back(sim->device());
            } else {
                ports.emplace_back(); // the slot fails with the reason below
                sim_errors_.push_back("cannot start the simulator: " + sim->error());
            }
        }
    }

    void watch() {
        auto next_draw = Clock::now();
        bool forwarded = false;
        while (std::any_of(children_.begin(), children_.end(),
                           [](const auto& c) { return c->reading(); })) {
            read_some();
            // Ctrl+C is handed on once, so that each child stops after its step and closes its
            // port.
            if (!forwarded && services_.interrupted && services_.interrupted()) {
                forwarded = true;
                for (const auto& c : children_) {
                    if (c->pid > 0) {
                        ::kill(c->pid, SIGINT);
                    }
                }
            }
            if (!json_ && services_.err_is_terminal && Clock::now() >= next_draw) {
                draw();
                next_draw = Clock::now() + k_redraw;
            }
        }
        for (const auto& c : children_) {
            reap(*c);
        }
        if (!json_ && services_.err_is_terminal) {
            draw();
        }
    }

    void read_some() {
        std::vector<pollfd> fds;
        std::vector<std::pair<Child*, int>> owners;
        for (const auto& c : children_) {
            for (int i = 0; i < 2; ++i) {
                if (c->fds[i] >= 0) {
                    fds.push_back({c->fds[i], POLLIN, 0});
                    owners.emplace_back(c.get(), i);
                }
            }
        }
        if (::poll(fds.data(), fds.size(), 100) <= 0) {
            return;
        }
        for (std::size_t k = 0; k < fds.size(); ++k) {
            if (fds[k].revents != 0) {
                read_from(*owners[k].first, owners[k].second);
            }
        }
    }

    void read_from(Child& c, int which) {
        std::array<char, 4096> buf{};
        const ssize_t n = ::read(c.fds[which], buf.data(), buf.size());
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                return;
            }
            ::close(c.fds[which]);
            c.fds[which] = -1;
            if (!c.pending[which].empty()) {
                take_line(c, which, c.pending[which]);
                c.pending[which].clear();
            }
            return;
        }
        std::string& pending = c.pending[which];
        pending.append(buf.data(), static_cast<std::size_t>(n));
        for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            take_line(c, which, pending.substr(0, end));
            pending.erase(0, end + 1);
        }
    }

    void take_line(Child& c, int which, const std::string& line) {
        if (which == 1) {
            c.state.take_error_line(line);
            return;
        }
        if (c.state.take_json_line(line) && json_) {
            services_.out << line << '\n' << std::flush; // each line whole, as the child wrote it
        }
    }

    void reap(Child& c) {
        if (c.pid <= 0) {
            return;
        }
        int status = 0;
        while (::waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
        }
        c.state.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (!c.state.has_result) {
            c.state.seconds = std::chrono::duration<double>(Clock::now() - c.started).count();
        }
    }

    void draw() {
        std::string text;
        if (drawn_ > 0) {
            text += "\x1b[" + num::dec(drawn_) + "A";
        }
        for (const auto& c : children_) {
            text += "\r\x1b[K" + c->state.progress_line() + "\n";
        }
        drawn_ = static_cast<int>(children_.size());
        services_.err << text << std::flush;
    }

    int finish() {
        std::vector<FleetPortState> states;
        bool all_ok = true;
        for (const auto& c : children_) {
            FleetPortState& s = states.emplace_back(c->state);
            if (s.reason.empty() && s.status != 0) {
                s.reason = s.last_error;
            }
            all_ok = all_ok && s.status == 0;
            if (json_ && !s.has_result) {
                // A child that ended before its update began (a port that would not open)
                // still gets its result line.
                nlohmann::ordered_json j{{"event", "result"}, {"port", s.port}, {"ok", false}};
                j["status"] = s.status;
                j["reason"] = s.reason;
                services_.out << j.dump() << '\n';
            }
        }
        if (json_) {
            const auto ok = std::count_if(states.begin(), states.end(),
                                          [](const FleetPortState& s) { return s.status == 0; });
            services_.out << nlohmann::ordered_json{{"event", "summary"},
                                                    {"ports", states.size()},
                                                    {"succeeded", ok},
                                                    {"failed", states.size() - ok}}
                                 .dump()
                          << '\n';
        } else {
            services_.out << summary_table(states);
        }
        services_.out.flush();
        return all_ok ? 0 : static_cast<int>(ExitStatus::update_failed);
    }

    const CommandLine& line_;
    CliServices& services_;
    bool json_;
    std::vector<std::unique_ptr<sim::SimulatorProcess>> simulators_;
    std::vector<std::string> sim_errors_;
    std::vector<std::unique_ptr<Child>> children_;
    int drawn_ = 0;
};

std::string json_text(const nlohmann::json& j, std::string_view key) {
    const auto it = j.find(key);
    if (it == j.end() || it->is_null()) {
        return "-";
    }
    return it->is_string() ? it->get<std::string>() : it->dump();
}

} // namespace

bool is_fleet(const CommandLine& line) {
    return line.global.ports.size() > 1 || line.global.sims > 1;
}

std::optional<Error> check_fleet(const CommandLine& line) {
    const auto& ports = line.global.ports;
    if (!is_fleet(line)) {
        return std::nullopt;
    }
    if (line.command == nullptr || line.command->id != CommandId::flash) {
        return usage_error("several ports are for flash only");
    }
    if (line.has("--verify") || line.has("--read")) {
        return usage_error("--verify and --read run on one port");
    }
    if (ports.size() > k_max_fleet || line.global.sims > static_cast<int>(k_max_fleet)) {
        return usage_error("flash updates at most " + num::dec(k_max_fleet) + " ports at once");
    }
    if (std::set<std::string>(ports.begin(), ports.end()).size() != ports.size()) {
        return usage_error("a port is given twice");
    }
    return std::nullopt;
}

std::vector<std::string> child_arguments(const CommandLine& line, const std::string& port) {
    std::vector<std::string> args{"--port", port,    "--timeout", timeout_text(line.global.timeout),
                                  "flash",  "--json"};
    for (const auto& [name, value] : line.options) {
        if (name == "--json") {
            continue;
        }
        args.push_back(name);
        if (!value.empty()) {
            args.push_back(value);
        }
    }
    args.emplace_back("--");
    args.insert(args.end(), line.args.begin(), line.args.end());
    return args;
}

bool FleetPortState::take_json_line(std::string_view line) {
    const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
    if (!j.is_object()) {
        return false;
    }
    const std::string event = json_text(j, "event");
    if (event == "phase") {
        phase = json_text(j, "phase");
    } else if (event == "progress") {
        phase = json_text(j, "phase");
        done = j.value("done", std::int64_t{0});
        total = j.value("total", std::int64_t{0});
        const auto left = j.find("seconds_left");
        seconds_left = left != j.end() && left->is_number() ? std::optional(left->get<double>())
                                                            : std::nullopt;
    } else if (event == "rate") {
        baud = j.value("baud", std::int64_t{0});
    } else if (event == "result") {
        has_result = true;
        ok = j.value("ok", false);
        serial = json_text(j, "serial_number");
        skipped = json_text(j, "sectors_skipped");
        seconds = j.value("duration_s", 0.0);
        reason = ok ? "" : json_text(j, "reason");
        phase = ok ? "done" : "failed";
    }
    return true;
}

void FleetPortState::take_error_line(std::string_view line) {
    // Progress and warnings are no reason; the tool's own error line is.
    if (!line.starts_with(k_error_prefix) || line.find("warning:") != std::string_view::npos) {
        return;
    }
    last_error = std::string(line.substr(k_error_prefix.size()));
}

std::string FleetPortState::progress_line() const {
    std::string text = padded(port, 14) + "  ";
    if (status >= 0 && !has_result) {
        return text + "failed: " + (reason.empty() ? last_error : reason);
    }
    if (has_result) {
        return text + (ok ? "done" : "failed: " + reason);
    }
    text += phase.empty() ? "starting" : phase;
    if (total > 0) {
        text += "  " + num::dec(std::clamp<std::int64_t>(done, 0, total) * 100 / total) + " %";
    }
    if (seconds_left) {
        text += "  " + service::time_left_text(*seconds_left);
    }
    if (baud > 0) {
        text += "  " + num::dec(baud) + " baud";
    }
    return text;
}

std::string summary_table(const std::vector<FleetPortState>& ports) {
    std::size_t width = 4;
    for (const FleetPortState& s : ports) {
        width = std::max(width, s.port.size());
    }
    std::string out = padded("port", width) + "  result  serial      skipped  seconds  reason\n";
    for (const FleetPortState& s : ports) {
        const bool ok = s.status == 0;
        out += padded(s.port.empty() ? "-" : s.port, width) + "  " +
               padded(ok ? "ok" : "failed", 6) + "  " +
               padded(s.serial.empty() ? "-" : s.serial, 10) + "  " +
               padded(s.skipped.empty() ? "-" : s.skipped, 7) + "  " +
               padded(one_decimal(s.seconds), 7) + "  " + (ok ? "" : s.reason);
        out.erase(out.find_last_not_of(' ') + 1);
        out += '\n';
    }
    return out;
}

int run_flash_fleet(const CommandLine& line, CliServices& services) {
    return Fleet(line, services).run();
}

} // namespace trx::cli

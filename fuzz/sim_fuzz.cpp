// Arbitrary input to the simulated scanner: bytes from the host in pieces with time passing
// between them (also straight into its bootstrap loader), and arbitrary scene, state and
// command-line text. The scanner must never crash, and its clock must never run backwards.
#include "link/frame.hpp"
#include "sim/options.hpp"
#include "sim/scanner.hpp"
#include "sim/state_file.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace trx::sim;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

constexpr nanoseconds k_longest_input = std::chrono::seconds(1);

// A loader that echoes, answers late on poll, and ends on "Q".
class FuzzTarget : public BootTarget {
public:
    void enter(nanoseconds) override {}
    void receive(std::string_view bytes, nanoseconds, std::string& out) override {
        out.append(bytes.substr(0, 64));
        pending_ += bytes.size();
        done_ = done_ || bytes.find('Q') != std::string_view::npos;
    }
    void poll(nanoseconds, std::string& out) override {
        if (pending_ > 0) {
            out += '.';
            --pending_;
        }
    }
    [[nodiscard]] bool finished() const override { return done_; }

private:
    std::size_t pending_ = 0;
    bool done_ = false;
};

void run_scanner(std::uint8_t mode, std::string_view data) {
    ScannerConfig c;
    c.type = (mode & 1U) != 0 ? ScannerType::za : ScannerType::ya;
    c.pace = (mode & 2U) != 0;
    if ((mode & 4U) != 0) {
        c.faults.bad_checksum_ppm = 300'000;
        c.faults.garbage_ppm = 300'000;
        c.faults.drop_ppm = 300'000;
        c.faults.silence_after = milliseconds(400);
        c.faults.silence_for = milliseconds(200);
    }
    nanoseconds now{0};
    Scanner s(c, now, [] { return std::make_unique<FuzzTarget>(); });
    if ((mode & 8U) != 0) {
        // Straight into the loader: reset, then the bootstrap string.
        s.feed(trx::link::build_frame('F', ""), now);
        now += milliseconds(200);
        (void)s.poll(now);
        s.feed(Scanner::k_bootstrap_string, now);
    }
    // Pieces: one byte of time step (ms), one of length, then that many bytes. Every turn
    // is a status frame to build, so an input covers at most a second of the scanner's
    // life: enough for the silence fault to come and go, and a rate that reaches depth.
    const nanoseconds end = now + k_longest_input;
    while (data.size() >= 2 && now < end) {
        now += milliseconds(static_cast<std::uint8_t>(data[0]));
        const std::size_t len =
            std::min<std::size_t>(static_cast<std::uint8_t>(data[1]), data.size() - 2);
        s.feed(data.substr(2, len), now);
        data.remove_prefix(2 + len);
        (void)s.poll(now);
        if (s.next_event(now) < now) {
            std::abort();
        }
    }
    if (s.mode() == Mode::bootstrap) {
        (void)s.poll(now + milliseconds(6000)); // out of the loader again by silence
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t mode = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (mode >> 6U) {
    case 0:
        (void)parse_scene(rest);
        break;
    case 1: {
        (void)parse_state(rest, SimState{});
        std::vector<std::string_view> args;
        for (std::size_t from = 0; from <= rest.size();) {
            const auto nul = std::min(rest.find('\0', from), rest.size());
            args.push_back(rest.substr(from, nul - from));
            from = nul + 1;
        }
        (void)parse_options(args);
        break;
    }
    default:
        run_scanner(mode, rest);
        break;
    }
    return 0;
}

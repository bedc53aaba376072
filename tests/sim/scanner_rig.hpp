#pragma once

// The scanner model in virtual time with the program's own receive assembly as its host:
// the fixture shared by the scanner tests.
#include "host.hpp"
#include "sim/scanner.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace trx::sim {
namespace {

using namespace std::chrono_literals;
using std::chrono::nanoseconds;
using test::Host;
using test::payload_of;

constexpr std::string_view k_default_ya_set = "0012AB34" // serial 1223476
                                              "006D"     // version 1,09
                                              "0064"     // 10.0 turns per second
                                              "0000"     // 8192 increments
                                              "0003"     // heater and motor enable
                                              "0005"
                                              "0005"
                                              "000A"
                                              "0064"
                                              "03"
                                              "04"
                                              "0014"
                                              "0014"
                                              "0064"
                                              "0123"
                                              "00000000000000000000";

struct Status {
    std::int32_t resolution_field = 0;
    std::int32_t temperature_field = 0;
    std::uint32_t word = 0;
    std::vector<Record> records;
};

inline Status decode_status(const std::string& body, ScannerType t) {
    const std::string p = payload_of(body);
    Status s;
    s.resolution_field = static_cast<std::int32_t>(link::read_hex(p.substr(0, 4)));
    s.temperature_field = static_cast<std::int32_t>(link::read_hex(p.substr(4, 2)));
    s.word = link::read_hex(p.substr(6, 4));
    const std::size_t len = record_length(t);
    EXPECT_EQ((p.size() - 10) % len, 0U) << body;
    for (std::size_t pos = 10; pos + len <= p.size(); pos += len) {
        Record r;
        r.start = static_cast<std::int32_t>(link::read_hex(p.substr(pos, 4)));
        r.width = static_cast<std::int32_t>(link::read_hex(p.substr(pos + 4, 4)));
        r.code = t == ScannerType::ya
                     ? static_cast<std::uint8_t>(link::read_hex(p.substr(pos + 8, 2)))
                     : std::uint8_t{0};
        s.records.push_back(r);
    }
    return s;
}

struct Sim : ::testing::Test {
    nanoseconds now{0};
    ScannerConfig config;
    std::unique_ptr<Scanner> scanner;
    std::unique_ptr<Host> host = std::make_unique<Host>();

    Scanner& start(BootTargetFactory boot = {}) {
        scanner = std::make_unique<Scanner>(config, now, std::move(boot));
        return *scanner;
    }
    void send(char letter, std::string_view payload = {}) {
        scanner->feed(link::build_frame(letter, payload), now);
    }
    // Time passes in steps; what the scanner sends goes to the host.
    void run(nanoseconds d, nanoseconds step = 1ms) {
        const auto end = now + d;
        while (now < end) {
            now = std::min(end, now + step);
            host->take(scanner->poll(now));
        }
    }
    // The frames received since the last look, other than status frames.
    std::vector<std::string> answers() {
        std::vector<std::string> out;
        for (auto& f : host->drain()) {
            if (f.front() != 'S') {
                out.push_back(f);
            }
        }
        return out;
    }
    // The answers to one command.
    std::vector<std::string> ask(char letter, std::string_view payload = {}) {
        host->drain();
        send(letter, payload);
        run(1ms);
        return answers();
    }
    std::vector<std::string> status_frames() {
        std::vector<std::string> out;
        for (auto& f : host->drain()) {
            if (f.front() == 'S') {
                out.push_back(f);
            }
        }
        return out;
    }
};

} // namespace
} // namespace trx::sim

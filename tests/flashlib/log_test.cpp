// The built-in library's log callback: a whole update against the simulated controller shows
// every frame type of the protocol at debug level, retries and failures as warnings, and a
// library without a callback says nothing.
#include "flashlib/frame_text.hpp"
#include "sim_rig.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace trx::flash::testing {
namespace {

struct Lines {
    struct Line {
        int level;
        std::string text;
    };
    std::vector<Line> seen;

    static void record(void* self, int level, const char* text) {
        static_cast<Lines*>(self)->seen.push_back({level, text});
    }
    [[nodiscard]] std::vector<std::string> at(LogLevel level) const {
        std::vector<std::string> out;
        for (const Line& l : seen) {
            if (l.level == static_cast<int>(level)) {
                out.push_back(l.text);
            }
        }
        return out;
    }
    // The frame types named by debug lines that start with `direction` ("sent ", "received ").
    [[nodiscard]] std::set<std::string> types(std::string_view direction) const {
        std::set<std::string> out;
        for (const std::string& t : at(LogLevel::debug)) {
            if (t.starts_with(direction) && t.find(" seq ") != std::string::npos) {
                const std::string rest = t.substr(direction.size());
                out.insert(rest.substr(0, rest.find(' ')));
            }
        }
        return out;
    }
    [[nodiscard]] bool any(LogLevel level, std::string_view part) const {
        const auto lines = at(level);
        return std::ranges::any_of(
            lines, [&](const std::string& t) { return t.find(part) != std::string::npos; });
    }
};

// Code in sector 0 (with the reset vector) travels as ZDATA; random data in sector 1 does not
// compress and goes as DATA.
Chunks mixed_image() {
    Chunks c = code_chunk(0x0000, 0x1000, 31);
    c.merge(random_chunk(0x4000, 0x300, 32));
    return c;
}

TEST(FlashLog, AWholeUpdateShowsEveryFrameTypeAtDebugLevelAndNoWarning) {
    SimRig rig(30);
    const Chunks image = mixed_image();
    TempHex hex(to_intel_hex(image));
    Lines lines;
    rig.library.set_log(&Lines::record, &lines);

    const UpdateRun run = rig.update(hex.path());

    ASSERT_TRUE(run.ok()) << run.failed_step << ": " << run.error;
    EXPECT_GT(rig.target.counters().zrun_executed, 0U);
    EXPECT_EQ(lines.types("sent "),
              (std::set<std::string>{"HELLO", "CLOCK", "ERASE", "DATA", "ZRUN", "CRC", "GO"}));
    EXPECT_EQ(lines.types("received "),
              (std::set<std::string>{"HELLO_REPLY", "CLOCK_REPLY", "ACK", "CRC_REPLY"}));
    // With what they carry: the target's identity, each sector's address, the blocks.
    EXPECT_TRUE(lines.any(LogLevel::debug, "received HELLO_REPLY seq 1, FLASHMON-TRX81500, "
                                           "20000000 Hz, 7 sectors"));
    // Each sector's CRC first (seq 3 and 4): neither holds the image yet.
    EXPECT_TRUE(lines.any(LogLevel::debug, "sent CRC seq 3, 0x000000"));
    EXPECT_TRUE(lines.any(LogLevel::debug, "sent ERASE seq 5, sector at 0x000000"));
    EXPECT_TRUE(lines.any(LogLevel::debug, "sent ERASE seq 6, sector at 0x004000"));
    EXPECT_TRUE(lines.any(LogLevel::debug, ", 0x004000, 256 bytes"));
    EXPECT_TRUE(lines.any(LogLevel::debug, "sent DATA seq ") &&
                lines.any(LogLevel::debug, ", 0x000000, 4 bytes")); // the reset vector, last
    EXPECT_TRUE(lines.any(LogLevel::debug, "received ACK seq 5, BUSY"));
    EXPECT_TRUE(lines.any(LogLevel::info, "connected to FLASHMON-TRX81500"));
    EXPECT_TRUE(lines.any(LogLevel::info, "CRC of sector 1"));
    EXPECT_TRUE(lines.at(LogLevel::warning).empty()) << lines.at(LogLevel::warning).front();
}

TEST(FlashLog, RetriesAreWarningsAndAFailureNamesItsReason) {
    const Chunks image = mixed_image();
    TempHex hex(to_intel_hex(image));
    {
        SCOPED_TRACE("two NAKs: go-back, then success");
        SimRig rig(33);
        rig.target.faults().nak_run_from = 2;
        rig.target.faults().nak_run_length = 2;
        Lines lines;
        rig.library.set_log(&Lines::record, &lines);
        const UpdateRun run = rig.update(hex.path());
        ASSERT_TRUE(run.ok()) << run.failed_step << ": " << run.error;
        EXPECT_TRUE(lines.any(LogLevel::warning, "the target reports a damaged frame for "));
        EXPECT_TRUE(lines.any(LogLevel::warning, "go-back"));
        EXPECT_TRUE(lines.any(LogLevel::warning, "transmission 3 of 4"));
        EXPECT_TRUE(lines.any(LogLevel::debug, "CRC_ERROR, expects seq "));
        EXPECT_FALSE(lines.any(LogLevel::warning, "failed: "));
    }
    {
        SCOPED_TRACE("a lost acknowledgement: timeout and go-back");
        SimRig rig(34);
        rig.target.faults().lose_data_answers = {3, 4};
        Lines lines;
        rig.library.set_log(&Lines::record, &lines);
        const UpdateRun run = rig.update(hex.path());
        ASSERT_TRUE(run.ok()) << run.failed_step << ": " << run.error;
        EXPECT_TRUE(lines.any(LogLevel::warning, "within 500 ms: go-back"));
    }
    {
        SCOPED_TRACE("a NAK for every transmission: the run fails");
        SimRig rig(35);
        rig.target.faults().nak_run_from = 0;
        rig.target.faults().nak_run_length = 4;
        Lines lines;
        rig.library.set_log(&Lines::record, &lines);
        const UpdateRun run = rig.update(hex.path());
        ASSERT_FALSE(run.ok());
        EXPECT_TRUE(lines.any(LogLevel::warning, "failed: " + run.error));
        EXPECT_TRUE(lines.any(LogLevel::warning, "no GO"));
    }
}

TEST(FlashLog, AnOlderMonitorIsAFallbackToRawData) {
    sim::TargetConfig config;
    config.legacy_hello = true;
    SimRig rig(36, config);
    TempHex hex(to_intel_hex(mixed_image()));
    Lines lines;
    rig.library.set_log(&Lines::record, &lines);
    const UpdateRun run = rig.update(hex.path());
    ASSERT_TRUE(run.ok()) << run.failed_step << ": " << run.error;
    EXPECT_TRUE(lines.any(LogLevel::warning, "older flash monitor"));
    EXPECT_EQ(lines.types("sent ").count("ZDATA"), 0U);
    EXPECT_TRUE(lines.any(LogLevel::debug, "received HELLO_REPLY seq 1, FLASHMON-TRX81500, "
                                           "20000000 Hz, 7 sectors, no extension"));
}

TEST(FlashLog, NoCallbackNoLines) {
    SimRig rig(37);
    TempHex hex(to_intel_hex(mixed_image()));
    Lines lines;
    rig.library.set_log(&Lines::record, &lines);
    rig.library.set_log(nullptr, &lines);
    const UpdateRun run = rig.update(hex.path());
    ASSERT_TRUE(run.ok()) << run.failed_step << ": " << run.error;
    EXPECT_TRUE(lines.seen.empty());
}

TEST(FlashLog, AFrameInWords) {
    using proto::Frame;
    using proto::Type;
    EXPECT_EQ(describe_frame(proto::make_ack(7, {proto::Status::verify_failed, 0x6010})),
              "ACK seq 7, VERIFY_FAILED at 0x006010");
    EXPECT_EQ(describe_frame(proto::make_ack(8, {proto::Status::ok, 0})), "ACK seq 8, OK");
    EXPECT_EQ(describe_frame(Frame{Type::crc, 9, proto::Writer().u32(0x8000).u32(0x8000).take()}),
              "CRC seq 9, 0x008000, 32768 bytes");
    EXPECT_EQ(describe_frame(Frame{Type::crc_reply, 9,
                                   proto::Writer().u32(0x8000).u32(16).u32(0x1A2B3C4D).take()}),
              "CRC_REPLY seq 9, 0x008000, 16 bytes, CRC 0x1A2B3C4D");
    EXPECT_EQ(describe_frame(Frame{Type::go, 65535, {}}), "GO seq 65535");
    const std::vector<std::uint8_t> stream(200, 0x5A);
    EXPECT_EQ(describe_frame(Frame{Type::zrun, 10, proto::zrun_payload(0x4200, 8192, 272, stream)}),
              "ZRUN seq 10, run 0x004200 of 8192 bytes, stream offset 272, 200 compressed");
    EXPECT_EQ(describe_frame(Frame{Type::zrun, 11, proto::zrun_payload(0x4200, 0, 0, stream)}),
              "ZRUN seq 11, malformed (208 bytes)")
        << "a run of no length";
    // A payload that does not read as its type's, and a type the protocol does not have.
    EXPECT_EQ(describe_frame(Frame{Type::data, 1, {1, 2}}), "DATA seq 1, malformed (2 bytes)");
    EXPECT_EQ(describe_frame(Frame{Type::clock, 2, {0}}), "CLOCK seq 2, malformed (1 byte)");
    EXPECT_EQ(describe_frame(Frame{static_cast<Type>(0x42), 3, {0, 0, 0}}),
              "type 0x42 seq 3, 3 bytes");
    EXPECT_EQ(printable(std::string("AB\x1b[2J\x7f", 7)), "AB?[2J?");
}

} // namespace
} // namespace trx::flash::testing

// The rate negotiation on a paced virtual line with a cable: the fastest rate that holds,
// 57600 when none does, a step down when the cable degrades, and whatever the target or the
// port does wrong, a correct image or a failure with the vector blank, the port at 57600.
#include "flashlib/flash_host.hpp"
#include "flashlib/protocol.hpp"
#include "sim/flash/flash_target.hpp"
#include "sim/flash/virtual_line.hpp"
#include "sim_rig.hpp"

#include <gtest/gtest.h>

namespace trx::flash {
namespace {

using namespace std::chrono_literals;

// 48 KiB of code in sectors 0 to 3 (16 + 8 + 8 of 32 KiB), the vector at 0 included.
HexImage code_image() {
    HexImage image;
    const auto bytes = testing::code_like(48 * 1024, 5);
    for (std::uint32_t a = 0; a < bytes.size(); ++a) {
        (void)image.put(a, bytes[a]);
    }
    return image;
}

struct RunResult {
    Outcome result;
    bool image_whole = false;
    bool vector_blank = false;
    std::uint32_t rate_in_transfer = 0; // after connect
    std::uint32_t rate_at_end = 0;      // the host's port after the session
    std::uint32_t target_rate_at_end = 0;
    std::vector<std::int64_t> rates_reported;
    std::chrono::nanoseconds connect_time{};
    std::chrono::nanoseconds total_time{};
    std::chrono::nanoseconds program_time{};
    std::uint64_t switches = 0;
    std::uint64_t target_fallbacks = 0;
};

struct Case {
    sim::TargetConfig target;
    sim::LineConfig line;
    std::uint32_t max_baud = 0xFFFFFFFFU;
    // Called with each program progress (bytes done, total) and the line.
    std::function<void(std::int64_t, std::int64_t, sim::VirtualLine&)> during;
};

RunResult run(Case c, const HexImage& image = code_image()) {
    if (c.line.port_max_baud == 57600) {
        c.line.port_max_baud = 921600;
    }
    sim::FlashMemory memory(trx81500_layout());
    sim::FlashTarget target(memory, c.target);
    sim::VirtualLine line(target, c.line);
    target.enter(line.now());
    RunResult out;
    FlashHost host(line, [&](const FlashProgress& p) {
        if (p.phase == FlashProgress::Phase::rate) {
            out.rates_reported.push_back(p.done);
        } else if (p.phase == FlashProgress::Phase::program && c.during) {
            c.during(p.done, p.total, line);
        }
    });
    host.set_max_baud(c.max_baud);
    std::uint32_t erased = 0;
    out.result = host.connect();
    out.connect_time = line.now();
    out.rate_in_transfer = line.host_rate();
    if (out.result.ok()) {
        out.result = host.erase(image.sector_mask(trx81500_layout()), erased);
    }
    if (out.result.ok()) {
        out.result = host.program(image, erased);
    }
    if (out.result.ok()) {
        out.result = host.go();
    }
    host.end_session();
    out.total_time = line.now();
    out.program_time = host.stats().program_time;
    line.advance(50ms); // the target's port follows what it last sent
    out.rate_at_end = line.host_rate();
    out.target_rate_at_end = target.line_rate();
    out.switches = target.rate().switches();
    out.target_fallbacks = target.rate().fallbacks();
    out.vector_blank = memory.read(0) == 0xFF && memory.read(1) == 0xFF && memory.read(2) == 0xFF &&
                       memory.read(3) == 0xFF;
    out.image_whole = true;
    for (const auto& [address, page] : image.pages()) {
        for (std::size_t i = 0; i < page.bytes.size(); ++i) {
            out.image_whole = out.image_whole &&
                              memory.read(address + static_cast<std::uint32_t>(i)) == page.bytes[i];
        }
    }
    return out;
}

// Success with the whole image, or a failure that leaves the controller in its loader; the
// port at 57600 either way.
void expect_sound(const RunResult& o) {
    if (o.result.ok()) {
        EXPECT_TRUE(o.image_whole);
    } else {
        EXPECT_TRUE(o.vector_blank) << o.result.error;
        EXPECT_FALSE(o.result.error.empty());
    }
    EXPECT_EQ(o.rate_at_end, 57600U);
    EXPECT_EQ(o.target_rate_at_end, 57600U);
}

TEST(RateNegotiation, TheFastestRateTheCableCarriesIsUsedAndTheEndIsAt57600) {
    Case c;
    c.line.cable_max_baud = 230400;
    const RunResult fast = run(c);
    ASSERT_TRUE(fast.result.ok()) << fast.result.error;
    expect_sound(fast);
    EXPECT_EQ(fast.rate_in_transfer, 230400U) << "460800 garbles on this cable";
    EXPECT_EQ(fast.rates_reported, (std::vector<std::int64_t>{230400}));
    EXPECT_GE(fast.target_fallbacks, 1U) << "the target left 460800 by itself";

    Case slow;
    slow.max_baud = 57600;
    slow.line.cable_max_baud = 230400;
    const RunResult base = run(slow);
    ASSERT_TRUE(base.result.ok()) << base.result.error;
    EXPECT_EQ(base.switches, 0U) << "57600 turns the negotiation off";
    EXPECT_LT(fast.program_time * 10, base.program_time * 4)
        << "at 230400: " << fast.program_time.count()
        << " ns, at 57600: " << base.program_time.count();
}

TEST(RateNegotiation, ACableOf57600EndsAt57600WithACorrectImage) {
    Case c;
    c.line.cable_max_baud = 57600;
    const RunResult o = run(c);
    ASSERT_TRUE(o.result.ok()) << o.result.error;
    expect_sound(o);
    EXPECT_EQ(o.rate_in_transfer, 57600U);
    EXPECT_EQ(o.switches, 3U) << "460800, 230400 and 115200 tried";
    EXPECT_TRUE(o.rates_reported.empty());
    EXPECT_LT(o.connect_time, 3s) << "three failed rates cost about a second each at most";
}

TEST(RateNegotiation, ACableThatDegradesInTheMiddleStepsDownAndFinishes) {
    Case c;
    c.line.cable_max_baud = 460800;
    c.during = [](std::int64_t done, std::int64_t total, sim::VirtualLine& line) {
        if (done * 2 >= total) {
            line.set_cable_max_baud(115200);
        }
    };
    const RunResult o = run(c);
    ASSERT_TRUE(o.result.ok()) << o.result.error;
    expect_sound(o);
    EXPECT_EQ(o.rate_in_transfer, 460800U);
    ASSERT_GE(o.rates_reported.size(), 2U);
    EXPECT_EQ(o.rates_reported.front(), 460800);
    EXPECT_EQ(o.rates_reported.back(), 115200) << "one notch at a time until it holds";
}

TEST(RateNegotiation, ATargetThatNeverAcknowledgesTheSwitchStaysAt57600) {
    Case c;
    c.target.faults.rates.ignore_requests = true;
    const RunResult o = run(c);
    ASSERT_TRUE(o.result.ok()) << o.result.error;
    expect_sound(o);
    EXPECT_EQ(o.rate_in_transfer, 57600U);
    EXPECT_LT(o.connect_time, 1s) << "one RATE's three transmissions, then on at 57600";
}

// A target that lies about its rates, acknowledges and goes silent, or answers at another
// rate; a line noisy at the new rate; a port that loses bytes once raised.
TEST(RateNegotiation, EveryMisbehaviourEndsSoundAndAt57600) {
    std::vector<std::pair<std::string, Case>> cases;
    {
        Case c;
        c.target.faults.rates.switch_to = 921600; // acknowledges, then runs elsewhere
        cases.emplace_back("answers at the wrong rate", c);
    }
    {
        Case c;
        c.target.faults.rates.mute_when_raised = true;
        cases.emplace_back("silent after the switch", c);
    }
    {
        Case c;
        c.target.rates = {115200, 230400, 460800, 1000000, 12345};
        c.line.cable_max_baud = 115200;
        cases.emplace_back("rates the port does not know", c);
    }
    {
        Case c;
        c.line.cable_max_baud = 57600;
        c.line.bit_error_rate = 0.00005;
        cases.emplace_back("a line a little noisy above 57600", c);
    }
    {
        Case c;
        c.line.lose_one_in = 400;
        cases.emplace_back("a port that loses bytes once raised", c);
    }
    for (auto& [name, c] : cases) {
        SCOPED_TRACE(name);
        const RunResult o = run(c);
        expect_sound(o);
        EXPECT_LT(o.total_time, 120s);
    }
}

TEST(RateNegotiation, HelloReplyCarriesTheRatesAfterItsExtension) {
    proto::TargetInfo info;
    info.name = "T";
    info.layout = trx81500_layout();
    info.rates = {115200, 230400};
    const auto payload = proto::hello_reply_payload(info);
    const auto back = proto::parse_hello_reply(proto::Frame{proto::Type::hello_reply, 1, payload});
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->rates, info.rates);

    info.rates.clear();
    const auto none = proto::parse_hello_reply(
        proto::Frame{proto::Type::hello_reply, 1, proto::hello_reply_payload(info)});
    ASSERT_TRUE(none.has_value()) << "a monitor without the field still connects";
    EXPECT_TRUE(none->rates.empty());

    auto too_many = payload;
    too_many[too_many.size() - 9] = 9; // the count byte before two rates
    EXPECT_FALSE(
        proto::parse_hello_reply(proto::Frame{proto::Type::hello_reply, 1, too_many}).has_value());
}

} // namespace
} // namespace trx::flash

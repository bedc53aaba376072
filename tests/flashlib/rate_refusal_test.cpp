// A port that agrees to a rate before the switch and refuses it at the switch (a device
// server that answers SET-BAUDRATE with another rate): the negotiation takes the next lower
// rate, the image arrives whole, and the line ends at 57600.
#include "flashlib/flash_host.hpp"
#include "sim/flash/flash_target.hpp"
#include "sim/flash/virtual_line.hpp"
#include "sim_rig.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace trx::flash {
namespace {

// The virtual line, with the switch to some rates refused; every switch asked for is noted.
class RefusingPort : public sim::LineEnd {
public:
    RefusingPort(sim::VirtualLine& line, std::vector<std::uint32_t> refused)
        : LineEnd(line), refused_(std::move(refused)) {}

    std::vector<std::uint32_t> asked;

    [[nodiscard]] bool set_rate(std::uint32_t baud) override {
        asked.push_back(baud);
        if (std::find(refused_.begin(), refused_.end(), baud) != refused_.end()) {
            return false;
        }
        return LineEnd::set_rate(baud);
    }

private:
    std::vector<std::uint32_t> refused_;
};

TEST(RateRefusedAtTheSwitch, TheNextLowerRateCarriesTheImageAndTheEndIsAt57600) {
    HexImage image;
    const auto bytes = testing::code_like(40 * 1024, 7);
    for (std::uint32_t a = 0; a < bytes.size(); ++a) {
        (void)image.put(a, bytes[a]);
    }
    sim::FlashMemory memory(trx81500_layout());
    sim::FlashTarget target(memory, {});
    sim::LineConfig config;
    config.port_max_baud = 921600;
    sim::VirtualLine line(target, config);
    target.enter(line.now());
    RefusingPort port(line, {460800});
    std::vector<std::int64_t> rates;
    FlashHost host(port, [&](const FlashProgress& p) {
        if (p.phase == FlashProgress::Phase::rate) {
            rates.push_back(p.done);
        }
    });

    Outcome o = host.connect();
    ASSERT_TRUE(o.ok()) << o.error;
    EXPECT_EQ(line.host_rate(), 230400U);
    std::uint32_t erased = 0;
    o = host.erase(image.sector_mask(trx81500_layout()), erased);
    ASSERT_TRUE(o.ok()) << o.error;
    o = host.program(image, erased);
    ASSERT_TRUE(o.ok()) << o.error;
    host.end_session();

    EXPECT_EQ(rates, (std::vector<std::int64_t>{230400}));
    // 460800 refused, back to 57600 while the target's bounds pass, 230400, and 57600 at the end.
    EXPECT_EQ(port.asked, (std::vector<std::uint32_t>{460800, 57600, 230400, 57600}));
    EXPECT_EQ(line.host_rate(), 57600U);
    for (std::uint32_t a = 0; a < bytes.size(); ++a) {
        ASSERT_EQ(memory.read(a), bytes[a]) << "at " << a;
    }
}

} // namespace
} // namespace trx::flash

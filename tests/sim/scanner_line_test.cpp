// The scanner model's line: reset and bootstrap, noise and injected faults, and its pace.
#include "scanner_rig.hpp"

namespace trx::sim {
namespace {

using namespace std::chrono_literals;

// Its own suite name: a fixture of another translation unit may not share one.
using SimLine = Sim;

// --- reset and bootstrap ------------------------------------------------------------------

// Answers every byte with its echo; "Q" ends the loader.
class EchoTarget : public BootTarget {
public:
    explicit EchoTarget(std::string& log) : log_(log) {}
    void enter(nanoseconds) override { log_ += "[enter]"; }
    void receive(std::string_view bytes, nanoseconds, std::string& out) override {
        log_ += bytes;
        out += bytes;
        done_ = done_ || bytes.find('Q') != std::string_view::npos;
    }
    void poll(nanoseconds, std::string&) override {}
    [[nodiscard]] bool finished() const override { return done_; }

private:
    std::string& log_;
    bool done_ = false;
};

TEST_F(SimLine, ResetIsSilentForAMomentAndForgetsTheControlFlags) {
    auto& s = start();
    send('C', "03");
    run(30ms);
    host->drain();
    const auto bytes_before = host->bytes;
    send('F');
    EXPECT_EQ(s.mode(), Mode::resetting);
    run(50ms);
    send('R'); // lost: the controller is restarting
    run(49ms);
    EXPECT_EQ(host->bytes, bytes_before);
    run(2ms);
    EXPECT_EQ(s.mode(), Mode::running);
    EXPECT_FALSE(s.laser_forced());
    EXPECT_EQ(ask('R').size(), 1U);
    run(200ms);
    EXPECT_EQ(status_frames().size(), 2U);
}

TEST_F(SimLine, BootstrapStringAfterResetHandsTheLineToTheLoader) {
    std::string log;
    int made = 0;
    auto& s = start([&] {
        ++made;
        return std::make_unique<EchoTarget>(log);
    });
    send('F');
    run(500ms); // the update window waits 500 ms, then sends the string
    scanner->feed(Scanner::k_bootstrap_string, now);
    EXPECT_EQ(s.mode(), Mode::bootstrap);
    EXPECT_EQ(made, 1);
    host->drain();
    const auto bytes_before = host->bytes;
    run(1s);
    EXPECT_EQ(host->bytes, bytes_before) << "no status frames in the loader";
    scanner->feed("\x02R52\x03", now); // not a command any more: the loader's bytes
    std::string echoed;
    for (int i = 0; i < 5; ++i) {
        now += 1ms;
        echoed += scanner->poll(now);
    }
    EXPECT_EQ(echoed, "\x02R52\x03");
    EXPECT_EQ(log, "[enter]\x02R52\x03");
    scanner->feed("Q", now);
    EXPECT_EQ(s.mode(), Mode::resetting);
    run(150ms);
    EXPECT_EQ(s.mode(), Mode::running);
    EXPECT_EQ(ask('L').size(), 1U);
}

// Echoes, and after "S" runs its port at 230400.
class SwitchingTarget : public BootTarget {
public:
    explicit SwitchingTarget(std::string& log) : log_(log) {}
    void enter(nanoseconds) override {}
    void receive(std::string_view bytes, nanoseconds, std::string& out) override {
        log_ += bytes;
        out += bytes;
        rate_ = bytes.find('S') != std::string_view::npos ? 230400 : rate_;
    }
    void poll(nanoseconds, std::string&) override {}
    [[nodiscard]] bool finished() const override { return false; }
    [[nodiscard]] std::uint32_t line_rate() const override { return rate_; }

private:
    std::string& log_;
    std::uint32_t rate_ = 57600;
};

// The loader's rate: its answer leaves at the old rate, bytes at the other rate are garbage,
// both directions pace at the rate in use, and above the cable's rate bits arrive flipped.
TEST_F(SimLine, TheLoadersRateFollowsItsSwitchAndTheCableDamagesWhatItCannotCarry) {
    std::string log;
    config.pace = true;
    config.cable_max_baud = 115200;
    auto& s = start([&] { return std::make_unique<SwitchingTarget>(log); });
    send('F');
    run(500ms);
    scanner->feed(Scanner::k_bootstrap_string, now);
    run(10ms); // paced: the string takes its time on the wire
    ASSERT_EQ(s.mode(), Mode::bootstrap);
    run(100ms);
    scanner->feed("S", now);
    std::string echoed;
    for (int i = 0; i < 5; ++i) {
        now += 1ms;
        echoed += scanner->poll(now);
    }
    EXPECT_EQ(echoed, "S") << "the answer to the switch leaves at 57600";
    log.clear();
    const std::string text(200, 'a');
    scanner->feed(text, now);
    run(100ms);
    EXPECT_EQ(log.size(), text.size());
    EXPECT_NE(log, text) << "sent at 57600, read at 230400: garbage";

    s.set_host_rate(230400, now);
    log.clear();
    (void)scanner->poll(now);
    scanner->feed(std::string(1000, 'b'), now);
    run(20ms);
    EXPECT_NEAR(static_cast<double>(log.size()), 460.0, 25.0) << "23040 bytes/s in";
    run(100ms);
    ASSERT_EQ(log.size(), 1000U);
    const auto flipped = std::count_if(log.begin(), log.end(), [](char c) { return c != 'b'; });
    EXPECT_GT(flipped, 1000 / 40) << "about 8 % of the bytes: one bit in a hundred";
    EXPECT_LT(flipped, 1000 / 6);
}

TEST_F(SimLine, BootstrapStringIsTakenOnlySoonAfterAReset) {
    auto& s = start();
    run(2s);
    scanner->feed(Scanner::k_bootstrap_string, now);
    EXPECT_EQ(s.mode(), Mode::running) << "long after power-on";
    send('F');
    run(700ms);
    scanner->feed(Scanner::k_bootstrap_string, now);
    EXPECT_EQ(s.mode(), Mode::running) << "more than 500 ms after the reset";
    send('F');
    run(300ms);
    scanner->feed("xxQuendel KG 14.03.1998", now);
    EXPECT_EQ(s.mode(), Mode::running) << "not the string";
    // Split over several reads, as a serial port delivers it.
    scanner->feed("Quendel KG ", now);
    run(5ms);
    scanner->feed("14.03.1999", now);
    EXPECT_EQ(s.mode(), Mode::bootstrap);
}

TEST_F(SimLine, WithoutLoaderBootstrapModeIsQuietAndEndsAfterFiveSecondsOfSilence) {
    auto& s = start();
    send('F');
    run(300ms);
    scanner->feed(Scanner::k_bootstrap_string, now);
    ASSERT_EQ(s.mode(), Mode::bootstrap);
    host->drain();
    const auto bytes_before = host->bytes;
    run(3s);
    scanner->feed("\x02R52\x03", now); // the host still talks: the 5 s start again
    run(4900ms);
    EXPECT_EQ(s.mode(), Mode::bootstrap);
    EXPECT_EQ(host->bytes, bytes_before);
    run(300ms);
    EXPECT_EQ(s.mode(), Mode::running);
    run(200ms);
    EXPECT_FALSE(status_frames().empty());
}

// --- robustness and faults ----------------------------------------------------------------

TEST_F(SimLine, NoiseOverlongFramesAndUnknownLettersAreIgnored) {
    start();
    std::string noise = "\x03\x03garbage\x02";
    noise += std::string(600, '7');
    noise += "\x03\x02Z5A\x03\x02R\x03\x02R5\x03";
    for (int i = 0; i < 256; ++i) {
        noise += static_cast<char>(i);
    }
    scanner->feed(noise, now);
    run(1ms);
    host->drain();
    // A frame begun before a new STX is dropped; the following command stands on its own.
    EXPECT_EQ(ask('L').size(), 1U);
    scanner->feed("\x02W0012\x02L4C\x03", now);
    run(1ms);
    EXPECT_EQ(host->drain(), std::vector<std::string>{"L00010D"});
}

TEST_F(SimLine, InjectedFaultsHitTheShareOfFramesAsked) {
    const auto good_frames = [this](std::uint32_t Faults::*rate, std::uint32_t ppm) {
        config.faults = Faults{};
        config.faults.*rate = ppm;
        host = std::make_unique<Host>();
        start();
        run(20s, 5ms); // 200 turns
        return host->drain().size();
    };
    EXPECT_EQ(good_frames(&Faults::bad_checksum_ppm, 0), 200U);
    EXPECT_EQ(good_frames(&Faults::bad_checksum_ppm, FaultInjector::k_million), 0U);
    EXPECT_EQ(good_frames(&Faults::drop_ppm, FaultInjector::k_million), 0U);
    const auto half = good_frames(&Faults::bad_checksum_ppm, 500'000);
    EXPECT_GT(half, 60U);
    EXPECT_LT(half, 140U);
    // Garbage before a frame does not spoil it, but costs bytes.
    const auto clean_bytes = [&] {
        config.faults = Faults{};
        host = std::make_unique<Host>();
        start();
        run(20s, 5ms);
        return host->bytes;
    }();
    EXPECT_EQ(good_frames(&Faults::garbage_ppm, FaultInjector::k_million), 200U);
    EXPECT_GT(host->bytes, clean_bytes + 200);
}

TEST_F(SimLine, SilenceStopsAllOutputForItsTime) {
    config.faults.silence_after = 1050ms;
    config.faults.silence_for = 2000ms;
    start();
    run(1s);
    EXPECT_EQ(host->drain().size(), 10U);
    run(1s);
    EXPECT_TRUE(ask('L').empty());
    run(1s);
    EXPECT_TRUE(host->drain().empty());
    run(1s);
    EXPECT_EQ(host->drain().size(), 10U);
    EXPECT_EQ(ask('L').size(), 1U);
}

// --- pace ---------------------------------------------------------------------------------

TEST_F(SimLine, PacedLineHoldsTheRateOfTheWireAgainstItsOwnClock) {
    // More than the line can carry: 48 records at 18 turns per second.
    config.pace = true;
    config.params.speed = 180;
    config.scene.stripes.clear();
    for (std::int32_t i = 0; i < 48; ++i) {
        config.scene.stripes.push_back({i * 7000, 500, 1});
    }
    auto& s = start();
    // The first look comes late, as from a front that was busy: the turns it missed are
    // caught up, and the line is full from here on.
    run(500ms, 500ms);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> step_us(50, 7000);
    const auto t0 = now;
    const auto b0 = host->bytes;
    std::size_t most_in_10ms = 0;
    std::vector<std::pair<nanoseconds, std::size_t>> arrivals;
    while (now - t0 < 3s) {
        now += std::chrono::microseconds(step_us(rng));
        const auto out = scanner->poll(now);
        host->take(out);
        arrivals.emplace_back(now, host->bytes);
    }
    const double rate = static_cast<double>(host->bytes - b0) / 3.0;
    EXPECT_NEAR(rate, 5760.0, 5760.0 * 0.002) << "the line never idles while turns wait";
    // Never ahead of the wire over any short stretch either.
    for (std::size_t i = 0, j = 0; i < arrivals.size(); ++i) {
        while (arrivals[i].first - arrivals[j].first > 10ms) {
            ++j;
        }
        most_in_10ms = std::max(most_in_10ms, arrivals[i].second - arrivals[j].second);
    }
    EXPECT_LE(most_in_10ms, 58U + 1U);
    EXPECT_GT(s.skipped_frames(), 0U) << "turns the line could not carry are skipped";
    EXPECT_TRUE(host->drain().size() > 20U) << "and what is sent arrives whole";
}

TEST_F(SimLine, HostFloodingThePacedLineCannotGrowItsBacklogWithoutBound) {
    config.pace = true;
    auto& s = start();
    std::string flood;
    for (int i = 0; i < 1000; ++i) {
        flood += link::build_frame('R', "");
    }
    scanner->feed(flood, now);
    EXPECT_LE(s.backlog(), Scanner::k_max_backlog + 85);
    run(2s);
    EXPECT_LT(s.backlog(), 200U) << "at most the status frame of this turn";
    host->drain();
    send('L');
    run(100ms);
    EXPECT_EQ(answers(), std::vector<std::string>{"L00010D"}) << "answers once the line has room";
}

// Paced, what the host sends takes its time on the wire too (an update lasts as long as on a
// real line), and a write that the PC's full transmit queue could not take is lost whole.
TEST_F(SimLine, PacedLineCarriesTheHostsBytesAtItsRateToo) {
    config.pace = true;
    auto& s = start();
    run(10ms);
    host->drain();
    std::string burst;
    for (int i = 0; i < 100; ++i) {
        burst += link::build_frame('L', "");
    }
    scanner->feed(burst, now);
    EXPECT_EQ(s.input_backlog(), burst.size());
    run(50ms);
    EXPECT_NEAR(static_cast<double>(s.input_backlog()), 500.0 - 288.0, 6.0) << "5760 bytes/s";
    scanner->feed(std::string(900, 'x'), now);
    EXPECT_EQ(s.dropped_input(), 900U);
    run(400ms);
    EXPECT_EQ(s.input_backlog(), 0U);
    EXPECT_EQ(answers().size(), 100U) << "every command arrived, in its time";
}

TEST_F(SimLine, UnpacedLineDeliversAtOnce) {
    start();
    send('R');
    EXPECT_EQ(scanner->poll(now).size(), 85U);
    EXPECT_EQ(scanner->next_event(now), now + 100ms);
}

} // namespace
} // namespace trx::sim

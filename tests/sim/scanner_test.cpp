// The device model in virtual time, seen through the program's own receive assembly.
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

Status decode_status(const std::string& body, ScannerType t) {
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

// --- parameter set ------------------------------------------------------------------------

TEST_F(Sim, ReadAnswersWithTheSetOfItsTypeAndLength) {
    start();
    auto w = ask('R');
    ASSERT_EQ(w.size(), 1U);
    EXPECT_EQ(w[0].size(), 83U);
    EXPECT_EQ(payload_of(w[0]), k_default_ya_set);

    config.type = ScannerType::za;
    start();
    w = ask('R');
    ASSERT_EQ(w.size(), 1U);
    EXPECT_EQ(w[0].size(), 27U);
    EXPECT_EQ(payload_of(w[0]), k_default_ya_set.substr(0, 24));
    EXPECT_TRUE(ask('R', "00").empty()) << "a read carries no payload";
}

TEST_F(Sim, StoredSetIsAcknowledgedKeptAndTakesEffect) {
    auto& s = start();
    int stored = 0;
    s.on_stored = [&stored] { ++stored; };
    // What the program sends: version rounded from its label ("0001"), speed 15.0 turns/s,
    // resolution 65536, a new serial number and new filter values.
    const std::string set = "075BCD15"
                            "0001"
                            "0096"
                            "0005"
                            "0001"
                            "0063"
                            "0000"
                            "0063"
                            "03E7"
                            "05"
                            "01"
                            "0000"
                            "0063"
                            "00C8"
                            "07FF"
                            "00000000000000000000";
    EXPECT_EQ(ask('W', set), std::vector<std::string>{"P50"});
    EXPECT_EQ(stored, 1);
    std::string expected = set;
    expected.replace(8, 4, "006D"); // the firmware keeps its own version
    EXPECT_EQ(payload_of(ask('R').at(0)), expected);
    EXPECT_EQ(s.params().serial, 123456789U);

    // Speed and resolution take effect: 15 turns a second, 65536 increments.
    run(200ms);
    host->drain();
    run(2s);
    const auto frames = status_frames();
    EXPECT_NEAR(static_cast<double>(frames.size()), 30.0, 1.0);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(decode_status(frames.back(), ScannerType::ya).resolution_field, 65535);
}

TEST_F(Sim, ShortSetLeavesTheExtendedFieldsAlone) {
    config.type = ScannerType::za;
    auto& s = start();
    const ParamSet before = s.params();
    EXPECT_EQ(ask('W', "00000001"
                       "0000"
                       "00B4"
                       "0002"
                       "0000"),
              std::vector<std::string>{"P50"});
    EXPECT_EQ(s.params().speed, 180);
    EXPECT_EQ(s.params().resolution, 2);
    EXPECT_EQ(s.params().can_identifier, before.can_identifier);
    EXPECT_EQ(s.params().gap_correction, before.gap_correction);
}

TEST_F(Sim, SetOutOfRangeOrOfTheWrongShapeGetsNoAnswerAndChangesNothing) {
    auto& s = start();
    const std::string good(k_default_ya_set);
    struct Case {
        std::size_t pos;
        std::string_view field;
        bool accepted;
    };
    const Case cases[] = {
        {12, "003B", false},    {12, "003C", true},  {12, "00B4", true},  {12, "00B5", false},
        {16, "0005", true},     {16, "0006", false}, {16, "FFFF", false}, {24, "0063", true},
        {24, "0064", false},    {28, "0064", false}, {32, "0064", false}, {36, "03E7", true},
        {36, "03E8", false},    {40, "05", true},    {40, "06", false},   {42, "06", false},
        {44, "0064", false},    {48, "0064", false}, {52, "0009", false}, {52, "000A", true},
        {52, "00C8", true},     {52, "00C9", false}, {56, "07FF", true},  {56, "0800", false},
        {20, "FFFF", true},     // switches: other bits are ignored
        {0, "0012ab34", true},  // digits in either case
        {0, "0012 B34", false}, // no blanks from the host
        {60, "000G", false},
    };
    for (const auto& c : cases) {
        std::string set = good;
        set.replace(c.pos, c.field.size(), c.field);
        const auto answer = ask('W', set);
        EXPECT_EQ(answer.size(), c.accepted ? 1U : 0U) << "field at " << c.pos << " = " << c.field;
        ask('W', good); // back to the start for the next case
    }
    const ParamSet kept = s.params();
    EXPECT_TRUE(ask('W', good.substr(0, 24)).empty()) << "a short set to a YA scanner";
    EXPECT_TRUE(ask('W', good + "0").empty());
    // A good set with a wrong checksum never reaches the scanner.
    std::string frame = link::build_frame('W', good);
    frame[frame.size() - 2] = frame[frame.size() - 2] == '0' ? '1' : '0';
    scanner->feed(frame, now);
    run(1ms);
    EXPECT_TRUE(answers().empty());
    EXPECT_EQ(s.params(), kept);
}

// --- index --------------------------------------------------------------------------------

TEST_F(Sim, IndexIsReadWrittenAndKept) {
    auto& s = start();
    int stored = 0;
    s.on_stored = [&stored] { ++stored; };
    EXPECT_EQ(ask('L'), std::vector<std::string>{"L00010D"});
    EXPECT_EQ(ask('I', "012C"), std::vector<std::string>{"I49"});
    EXPECT_EQ(ask('L').at(0), link::build_frame('L', "012C").substr(1, 7));
    EXPECT_EQ(ask('I', "ffff").size(), 1U);
    EXPECT_EQ(s.index(), 65535);
    EXPECT_EQ(stored, 2);
    for (std::string_view bad : {"12C", "0012C", "012G", ""}) {
        EXPECT_TRUE(ask('I', bad).empty()) << bad;
    }
    EXPECT_EQ(s.index(), 65535);
}

// --- status frames ------------------------------------------------------------------------

TEST_F(Sim, OneStatusFramePerTurnCarryingTheScene) {
    start();
    run(1s);
    const auto frames = status_frames();
    EXPECT_EQ(frames.size(), 10U) << "10.0 turns per second";
    const auto expected = scene_records(config.scene, 8192, ScannerType::ya);
    for (const auto& f : frames) {
        const auto st = decode_status(f, ScannerType::ya);
        EXPECT_EQ(st.resolution_field, 8191);
        EXPECT_EQ(st.temperature_field, 21 + 127);
        EXPECT_EQ(st.word, k_speed_ok);
        ASSERT_EQ(st.records.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_LE(std::abs(st.records[i].start - expected[i].start), 2);
            EXPECT_LE(std::abs(st.records[i].width - expected[i].width), 2);
            EXPECT_EQ(st.records[i].code, expected[i].code);
        }
    }
    // The jitter moves something from turn to turn.
    EXPECT_NE(payload_of(frames[0]), payload_of(frames[1]));
}

TEST_F(Sim, DefaultSceneShowsSixTagsOneAcrossZero) {
    const auto recs = scene_records(default_scene(), 8192, ScannerType::ya);
    const auto coded =
        std::count_if(recs.begin(), recs.end(), [](const Record& r) { return r.code != 0; });
    EXPECT_EQ(coded, 6);
    // The tag across zero: its coded stripe comes first in the turn, its other stripe last.
    ASSERT_GE(recs.size(), 2U);
    EXPECT_NE(recs.front().code, 0);
    EXPECT_EQ(recs.back().code, 0);
    // Every tag (the coded stripe and the stripe before it) is narrower than the default max
    // modul width, and its gap shows in the program (gap below that width).
    const ParamSet p;
    for (std::size_t k = 0; k < recs.size(); ++k) {
        if (recs[k].code == 0) {
            continue;
        }
        const Record& first = recs[(k + recs.size() - 1) % recs.size()];
        const std::int32_t end = (recs[k].start + recs[k].width) % 8192;
        const std::int32_t tag_width = (end - first.start + 8192) % 8192;
        const std::int32_t gap = (recs[k].start - (first.start + first.width) + 8192) % 8192;
        EXPECT_GT(tag_width, 30) << k;
        EXPECT_LT(tag_width, p.max_modul_angle) << k;
        EXPECT_LT(gap, p.max_modul_angle) << k;
        EXPECT_GT(gap, 0) << k;
    }
}

TEST_F(Sim, RecordsOfTypeZaHaveNoCodeAndFramesStayInTheHostBuffer) {
    config.type = ScannerType::za;
    start();
    run(100ms);
    auto frames = status_frames();
    ASSERT_EQ(frames.size(), 1U);
    const auto st = decode_status(frames[0], ScannerType::za);
    EXPECT_EQ(st.records.size(), default_scene().stripes.size());

    // A crowded scene: 60 stripes; YA frames carry 48 records, ZA frames 60.
    config.scene.stripes.clear();
    for (std::int32_t i = 0; i < 60; ++i) {
        config.scene.stripes.push_back({i * 6000, 500, static_cast<std::uint8_t>(i)});
    }
    for (auto t : {ScannerType::za, ScannerType::ya}) {
        config.type = t;
        start();
        run(100ms);
        frames = status_frames();
        ASSERT_EQ(frames.size(), 1U);
        EXPECT_EQ(decode_status(frames[0], t).records.size(), max_records(t));
        EXPECT_LE(frames[0].size(), 500U);
    }
}

TEST_F(Sim, ColdScannerReportsTemperatureLowAndHeaterWhenEnabled) {
    config.scene.temperature = -10;
    start();
    run(100ms);
    auto st = decode_status(status_frames().at(0), ScannerType::ya);
    EXPECT_EQ(st.temperature_field, 117);
    EXPECT_EQ(st.word, k_speed_ok | k_temperature_low | k_heater_active);
    config.params.switches = 2; // heater not enabled
    start();
    run(100ms);
    st = decode_status(status_frames().at(0), ScannerType::ya);
    EXPECT_EQ(st.word, k_speed_ok | k_temperature_low);
}

// --- control command ----------------------------------------------------------------------

TEST_F(Sim, MotorOffStopsTheMirrorWhileKeptAlive) {
    auto& s = start();
    run(50ms);
    send('C', "01");
    EXPECT_FALSE(s.mirror_turning());
    host->drain();
    // The program repeats "C" while the box is checked: every 100 ms here.
    for (int i = 0; i < 10; ++i) {
        run(100ms);
        send('C', "01");
    }
    auto frames = status_frames();
    EXPECT_NEAR(static_cast<double>(frames.size()), 10.0, 1.0);
    for (const auto& f : frames) {
        const auto st = decode_status(f, ScannerType::ya);
        EXPECT_TRUE(st.records.empty());
        EXPECT_EQ(st.word & k_speed_ok, 0U);
    }
    // No more "C": after 500 ms the mirror turns again.
    run(499ms);
    EXPECT_FALSE(s.mirror_turning());
    run(2ms);
    EXPECT_TRUE(s.mirror_turning());
    host->drain();
    run(300ms);
    frames = status_frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_FALSE(decode_status(frames.back(), ScannerType::ya).records.empty());
}

TEST_F(Sim, LaserOnShowsInTheStatusUntilTheKeepAliveEnds) {
    auto& s = start();
    send('C', "02");
    EXPECT_TRUE(s.laser_forced());
    EXPECT_TRUE(s.mirror_turning());
    run(100ms);
    auto st = decode_status(status_frames().at(0), ScannerType::ya);
    EXPECT_EQ(st.word, k_speed_ok | k_laser_forced);
    EXPECT_FALSE(st.records.empty());
    send('C', "03");
    EXPECT_FALSE(s.mirror_turning());
    EXPECT_TRUE(s.laser_forced());
    run(600ms);
    EXPECT_FALSE(s.laser_forced());
    EXPECT_TRUE(s.mirror_turning());
    // Each would stop the motor if it were taken for a flag byte.
    for (std::string_view bad : {"1", "1Z", "001"}) {
        send('C', bad);
        EXPECT_TRUE(s.mirror_turning()) << bad;
    }
}

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

TEST_F(Sim, ResetIsSilentForAMomentAndForgetsTheControlFlags) {
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

TEST_F(Sim, BootstrapStringAfterResetHandsTheLineToTheLoader) {
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

TEST_F(Sim, BootstrapStringIsTakenOnlySoonAfterAReset) {
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

TEST_F(Sim, WithoutLoaderBootstrapModeIsQuietAndEndsAfterFiveSecondsOfSilence) {
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

TEST_F(Sim, NoiseOverlongFramesAndUnknownLettersAreIgnored) {
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

TEST_F(Sim, InjectedFaultsHitTheShareOfFramesAsked) {
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

TEST_F(Sim, SilenceStopsAllOutputForItsTime) {
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

TEST_F(Sim, PacedLineHoldsTheRateOfTheWireAgainstItsOwnClock) {
    // More than the line can carry: 48 records at 18 turns per second.
    config.pace = true;
    config.params.speed = 180;
    config.scene.stripes.clear();
    for (std::int32_t i = 0; i < 48; ++i) {
        config.scene.stripes.push_back({i * 7000, 500, 1});
    }
    auto& s = start();
    run(500ms); // the line is busy from here on
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
    EXPECT_NEAR(rate, 5760.0, 5760.0 * 0.01);
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

TEST_F(Sim, UnpacedLineDeliversAtOnce) {
    start();
    send('R');
    EXPECT_EQ(scanner->poll(now).size(), 85U);
    EXPECT_EQ(scanner->next_event(now), now + 100ms);
}

} // namespace
} // namespace trx::sim

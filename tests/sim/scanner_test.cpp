// The scanner model answers the program's commands and reports its turns.
#include "scanner_rig.hpp"

namespace trx::sim {
namespace {

using namespace std::chrono_literals;

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

} // namespace
} // namespace trx::sim

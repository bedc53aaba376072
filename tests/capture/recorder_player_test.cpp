// The recorder and the player on their own, on a hand-driven clock: what both fronts start.
#include "capture/player.hpp"
#include "capture/reader.hpp"
#include "capture/recent_ring.hpp"
#include "capture/recorder.hpp"

#include "tests/temp_path.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace trx::capture {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Steady time that the test moves; one-shot calls fire in due order as it passes them.
class HandClock final : public ui::Clock {
public:
    void attach(ui::Timer& /*timer*/) override { ADD_FAILURE() << "no timer model expected"; }
    ui::Alarm call_after(std::chrono::milliseconds delay, std::function<void()> fn) override {
        auto live = std::make_shared<bool>(true);
        due_.emplace(std::make_pair(now_ + delay, seq_++), Call{live, std::move(fn)});
        return ui::Alarm(live);
    }
    [[nodiscard]] std::chrono::microseconds steady_now() const override { return now_; }
    void advance(std::chrono::microseconds d) {
        const auto until = now_ + d;
        while (!due_.empty() && due_.begin()->first.first <= until) {
            auto node = due_.extract(due_.begin());
            now_ = node.key().first;
            if (*node.mapped().live) {
                *node.mapped().live = false;
                node.mapped().fn();
            }
        }
        now_ = until;
    }
    [[nodiscard]] std::size_t pending() const {
        std::size_t n = 0;
        for (const auto& [key, call] : due_) {
            n += *call.live ? 1 : 0;
        }
        return n;
    }

private:
    struct Call {
        std::shared_ptr<bool> live;
        std::function<void()> fn;
    };
    std::chrono::microseconds now_{5s}; // not zero: times count from each start
    std::uint64_t seq_ = 0;
    std::map<std::pair<std::chrono::microseconds, std::uint64_t>, Call> due_;
};

using trx::test::temp_file;

std::unique_ptr<Sink> file_at(const fs::path& p) {
    std::error_code ec;
    auto sink = FileSink::create(p, ec);
    EXPECT_NE(sink, nullptr) << ec.message();
    return sink;
}

// A disk that refuses every write.
class FullDisk final : public Sink {
public:
    std::error_code append(std::string_view /*bytes*/) override {
        return std::make_error_code(std::errc::no_space_on_device);
    }
    std::error_code sync() override { return {}; }
};

TEST(Recorder, ARecordingCountsFromItsStartAndBeginsWithTheOpenPort) {
    HandClock clock;
    Recorder rec(clock, "trx81500 1.09");
    rec.received("before"); // only in the ring
    clock.advance(2s);
    const fs::path p = temp_file("trx_recorder_");
    rec.start(file_at(p), "/dev/ttyUSB0", true);
    ASSERT_FALSE(rec.publish());
    EXPECT_TRUE(rec.recording());
    clock.advance(10ms);
    rec.received("abc");
    clock.advance(5ms);
    rec.sent("R");
    rec.write_refused("xx");
    clock.advance(1ms);
    rec.lost("pulled");
    EXPECT_EQ(rec.elapsed_us(), 16'000U);
    EXPECT_EQ(rec.stop(), "");
    EXPECT_FALSE(rec.recording());
    rec.received("after"); // the ring goes on

    const Capture c = read_all(Reader::open(p));
    EXPECT_EQ(c.header.program_version, "trx81500 1.09");
    EXPECT_EQ(c.header.port_name, "/dev/ttyUSB0");
    const std::vector<Record> want{{Kind::opened, 0, "/dev/ttyUSB0"},
                                   {Kind::received, 10'000, "abc"},
                                   {Kind::sent, 15'000, "R"},
                                   {Kind::write_refused, 15'000, "xx"},
                                   {Kind::lost, 16'000, "pulled"}};
    EXPECT_EQ(c.records, want);
    EXPECT_EQ(rec.counts().records, 5U);
    EXPECT_EQ(rec.counts().received, 3U);
    EXPECT_EQ(rec.counts().sent, 1U);
    EXPECT_EQ(rec.ring().size(), 6U); // "opened" went to the file only

    // A second recording on a closed port starts without "opened" and counts afresh.
    rec.start(file_at(p), "COM1", false);
    ASSERT_FALSE(rec.publish());
    rec.received("z");
    EXPECT_EQ(rec.stop(), "");
    EXPECT_EQ(read_all(Reader::open(p)).records, (std::vector<Record>{{Kind::received, 0, "z"}}));
    EXPECT_EQ(rec.counts().records, 1U);
    fs::remove(p);
}

TEST(Recorder, AFullDiskEndsTheRecordingAtTheNextCheckAndASaveReportsItsPath) {
    HandClock clock;
    Recorder rec(clock, "trx81500-cli 1.09");
    rec.start(std::make_unique<FullDisk>(), "COM1", true); // "opened" goes out at once
    rec.settle();
    const std::string why = rec.check();
    EXPECT_NE(why.find("No space left on device"), std::string::npos) << why;
    EXPECT_FALSE(rec.recording());
    EXPECT_EQ(rec.check(), "") << "reported once";

    rec.received("kept in the ring");
    rec.save_recent(std::make_unique<FullDisk>(), "COM1", "/somewhere/full.trxcap");
    const auto failed = rec.finished_saves(true);
    ASSERT_EQ(failed.size(), 1U);
    EXPECT_EQ(failed[0].path, "/somewhere/full.trxcap");
    EXPECT_EQ(failed[0].error, std::make_error_code(std::errc::no_space_on_device));
    EXPECT_TRUE(rec.finished_saves(true).empty());

    const fs::path p = temp_file("trx_recorder_save_");
    clock.advance(1s);
    rec.save_recent(file_at(p), "COM1", p.string());
    EXPECT_TRUE(rec.finished_saves(true).empty());
    const Capture c = read_all(Reader::open(p));
    EXPECT_EQ(c.records.back(), (Record{Kind::received, 0, "kept in the ring"}));
    fs::remove(p);
}

// A capture of three received batches around the program's own writes, cut after the last.
fs::path sample(const char* name, bool damaged) {
    std::string bytes = encode_capture({"trx81500 1.09", "COM1"}, {{Kind::opened, 0, "COM1"},
                                                                   {Kind::received, 10'000, "a"},
                                                                   {Kind::sent, 12'000, "R"},
                                                                   {Kind::received, 30'500, "b"},
                                                                   {Kind::received, 90'000, "c"},
                                                                   {Kind::closed, 95'000, ""}});
    if (damaged) {
        bytes.resize(bytes.size() - 2);
    }
    const fs::path p = temp_file(name);
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
}

struct Heard {
    std::string bytes;
    std::vector<std::uint64_t> times;
    std::string lost;
};

void listen(Player& player, Heard& heard, ui::Connections& c) {
    c += player.received.connect([&player, &heard](std::string_view b) {
        heard.bytes += b;
        heard.times.push_back(player.time_us());
    });
    c += player.lost.connect([&heard](const std::string& why) { heard.lost = why; });
}

TEST(Player, PlaysTheReceivedBatchesAtTheirPaceOrTwiceAsFastThenReportsTheEnd) {
    const fs::path p = sample("trx_player_", false);
    for (const std::int64_t speed : {Player::k_recorded_pace, 2 * Player::k_recorded_pace}) {
        SCOPED_TRACE(speed);
        HandClock clock;
        Player player(clock);
        Heard heard;
        ui::Connections c;
        listen(player, heard, c);
        player.set_file(p);
        player.set_speed(speed);
        EXPECT_EQ(player.port_name(), p.string());
        ASSERT_TRUE(player.open().ok);
        EXPECT_FALSE(player.open().ok) << "open twice";
        EXPECT_TRUE(player.write("R"));
        const auto at = [speed](std::uint64_t us) {
            return std::chrono::microseconds(us * 1000 / static_cast<std::uint64_t>(speed));
        };
        clock.advance(at(10'000) - 1us);
        EXPECT_EQ(heard.bytes, "");
        clock.advance(1ms);
        EXPECT_EQ(heard.bytes, "a");
        clock.advance(at(30'500) - at(10'000));
        EXPECT_EQ(heard.bytes, "ab");
        EXPECT_TRUE(player.is_open());
        clock.advance(at(90'000));
        EXPECT_EQ(heard.bytes, "abc");
        EXPECT_EQ(heard.times, (std::vector<std::uint64_t>{10'000, 30'500, 90'000}));
        EXPECT_EQ(heard.lost, "The replay reached the end of the capture.");
        EXPECT_FALSE(player.is_open());
        EXPECT_FALSE(player.write("R"));
        EXPECT_EQ(clock.pending(), 0U);
    }
    fs::remove(p);
}

TEST(Player, AsFastAsItGoesPlaysEverythingAtOnceAndStopsAtABadRecord) {
    const fs::path p = sample("trx_player_bad_", true);
    HandClock clock;
    Player player(clock);
    Heard heard;
    ui::Connections c;
    listen(player, heard, c);
    player.set_file(p);
    player.set_speed(Player::k_as_fast_as_it_goes);
    ASSERT_TRUE(player.open().ok);
    EXPECT_EQ(clock.pending(), 0U) << "nothing plays by itself";
    EXPECT_TRUE(player.play_all([] { return false; }));
    EXPECT_EQ(heard.bytes, "abc");
    EXPECT_NE(player.stop_reason(), "");
    EXPECT_EQ(heard.lost, "The replay stopped at a bad record: " + player.stop_reason());

    // Closing mid-way stops the pace: no call is left to fire.
    player.set_speed(Player::k_recorded_pace);
    heard = {};
    ASSERT_TRUE(player.open().ok);
    EXPECT_EQ(player.stop_reason(), "");
    clock.advance(20ms);
    player.close();
    clock.advance(1s);
    EXPECT_EQ(heard.bytes, "a");
    EXPECT_EQ(heard.lost, "");

    player.set_file(temp_file("trx_player_none_"));
    EXPECT_FALSE(player.open().ok);
    EXPECT_NE(Player::check(temp_file("trx_player_none_")), "");
    EXPECT_EQ(Player::check(p), "");
    fs::remove(p);
}

} // namespace
} // namespace trx::capture

// Every capture replays on its own: it starts with the last parameter reply "W" seen on the
// connection, however late the recording began.
#include "capture/player.hpp"
#include "capture/reader.hpp"
#include "capture/recorder.hpp"
#include "capture/reply_watch.hpp"

#include "tests/temp_path.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace trx::capture {
namespace {

namespace fs = std::filesystem;

// "W12": 'W' + '1' + '2' = 0xBA.
const std::string k_reply = "\x02W12BA\x03";
const std::string k_other_reply = "\x02W13BB\x03";
const std::string k_status = "\x02S0001FF41\x03";

class StillClock final : public ui::Clock {
public:
    void attach(ui::Timer& /*timer*/) override {}
    ui::Alarm call_after(std::chrono::milliseconds /*delay*/, std::function<void()> fn) override {
        fn_ = std::move(fn);
        return ui::Alarm(std::make_shared<bool>(true));
    }
    std::function<void()> fn_;
};

using trx::test::temp_file;

std::unique_ptr<Sink> file_at(const fs::path& p) {
    std::error_code ec;
    auto sink = FileSink::create(p, ec);
    EXPECT_NE(sink, nullptr) << ec.message();
    return sink;
}

TEST(ReplyWatch, KeepsTheLastWholeGoodReplyWhateverTheBatchesAndFramesAround) {
    ReplyWatch w;
    EXPECT_EQ(w.last(), "");
    // Split anywhere, between status frames and noise.
    const std::string wire = "xx" + k_status + k_reply + k_status + "\x03\x03";
    for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
        ReplyWatch split;
        split.feed(wire.substr(0, cut));
        split.feed(wire.substr(cut));
        EXPECT_EQ(split.last(), k_reply) << "cut at " << cut;
    }
    w.feed(k_reply);
    w.feed(k_other_reply);
    EXPECT_EQ(w.last(), k_other_reply);

    // A damaged reply, a cut-off one and an overlong one leave the last good one.
    w.feed("\x02W12BB\x03");
    w.feed("\x02W12" + k_status);
    w.feed("\x02W" + std::string(ReplyWatch::k_max_frame, '1') + "\x03");
    w.feed("\x02W\x03");
    EXPECT_EQ(w.last(), k_other_reply);
    // A reply whose STX follows a cut-off frame at once still counts.
    w.feed("\x02S00" + k_reply);
    EXPECT_EQ(w.last(), k_reply);

    w.clear();
    EXPECT_EQ(w.last(), "");
}

TEST(ReplyWatch, ARecordingAndASavedRingBeginWithTheReplyOfTheirConnection) {
    StillClock clock;
    Recorder rec(clock, "trx81500 1.09");
    rec.opened("COM1");
    rec.received(k_reply.substr(0, 3));
    rec.received(k_reply.substr(3) + k_status);

    const fs::path p = temp_file("trx_reply_rec_");
    rec.start(file_at(p), "COM1", true);
    ASSERT_FALSE(rec.publish()); // the file takes its name once the port is open
    rec.received(k_status);
    ASSERT_EQ(rec.stop(), "");
    const Capture c = read_all(Reader::open(p));
    ASSERT_EQ(c.stop_reason, "");
    ASSERT_EQ(c.records.size(), 3U);
    EXPECT_EQ(c.records[0], (Record{Kind::reply, 0, k_reply}));
    EXPECT_EQ(c.records[1].kind, Kind::opened);
    EXPECT_EQ(rec.counts().records, 3U);

    const fs::path saved = temp_file("trx_reply_save_");
    rec.save_recent(file_at(saved), "COM1", saved.string());
    EXPECT_TRUE(rec.finished_saves(true).empty());
    const Capture s = read_all(Reader::open(saved));
    ASSERT_FALSE(s.records.empty());
    EXPECT_EQ(s.records[0], (Record{Kind::reply, 0, k_reply}));

    // Another connection may lead to another scanner: its capture has no reply until one comes.
    rec.closed();
    rec.opened("COM2");
    rec.start(file_at(p), "COM2", true);
    ASSERT_FALSE(rec.publish()); // the file takes its name once the port is open
    ASSERT_EQ(rec.stop(), "");
    EXPECT_EQ(read_all(Reader::open(p)).records.front().kind, Kind::opened);
    fs::remove(p);
    fs::remove(saved);
}

TEST(ReplyWatch, ThePlayerDeliversTheReplyFirstAsTheScannerSentIt) {
    const fs::path p = temp_file("trx_reply_play_");
    {
        StillClock clock;
        Recorder rec(clock, "trx81500 1.09");
        rec.opened("COM1");
        rec.received(k_reply);
        rec.start(file_at(p), "COM1", false);
        ASSERT_FALSE(rec.publish()); // the file takes its name once the port is open
        rec.received(k_status);
        ASSERT_EQ(rec.stop(), "");
    }
    StillClock clock;
    Player player(clock);
    std::string heard;
    ui::Connections c;
    c += player.received.connect([&](std::string_view b) { heard += b; });
    player.set_file(p);
    player.set_speed(Player::k_as_fast_as_it_goes);
    ASSERT_TRUE(player.open().ok);
    EXPECT_TRUE(player.play_all({}));
    EXPECT_EQ(heard, k_reply + k_status);
    fs::remove(p);
}

} // namespace
} // namespace trx::capture

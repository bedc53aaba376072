// The wire recorder and "Replay...": what a technician records at the machine plays back into
// the tables and the picture at the office as it was.
#include "capture/reader.hpp"
#include "testkit/driver.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/status_frames.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace trx::main {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testkit::Driver;
using testkit::StatusShape;

constexpr const char* k_port = "main.Toolbar1.comport";
constexpr const char* k_replay = "main.Toolbar1.comport.replay";
constexpr const char* k_save_recent = "main.StatusBar1.diagnostics.save_recent";
constexpr const char* k_record_start = "main.StatusBar1.diagnostics.record_start";
constexpr const char* k_record_stop = "main.StatusBar1.diagnostics.record_stop";

// What the technician sees of one turn: both tables, the labels and the rays.
struct Screen {
    std::vector<std::string> cells;
    std::vector<testkit::Segment> rays;
    friend bool operator==(const Screen& a, const Screen& b) {
        if (a.cells != b.cells || a.rays.size() != b.rays.size()) {
            return false;
        }
        for (std::size_t i = 0; i < a.rays.size(); ++i) {
            const auto& r = a.rays[i];
            const auto& s = b.rays[i];
            if (r.x1 != s.x1 || r.y1 != s.y1 || r.x2 != s.x2 || r.y2 != s.y2 || r.rgb != s.rgb) {
                return false;
            }
        }
        return true;
    }
};

Screen screen(const Driver& d) {
    Screen s;
    for (int r = 0; r <= 40; ++r) {
        for (int c = 1; c < 6; ++c) {
            s.cells.push_back(d.cell("main.data", r, c));
        }
        for (int c = 1; c < 4; ++c) {
            s.cells.push_back(d.cell("main.data2", r, c));
        }
    }
    s.cells.push_back(d.text("main.inkremente"));
    s.cells.push_back(d.text("main.temperature"));
    s.rays = d.rays("main.map");
    return s;
}

StatusShape turn(int i, bool ya) {
    StatusShape s;
    s.ya = ya;
    s.temperature = 20 + i;
    for (int k = 0; k <= i % 5; ++k) {
        s.stripes.push_back({static_cast<std::uint32_t>(100 + 700 * k + 13 * i),
                             static_cast<std::uint32_t>(40 + 3 * k),
                             static_cast<std::uint32_t>(k + i)});
    }
    return s;
}

std::string write_file(const fs::path& p, std::string_view bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
}

capture::Capture read(const fs::path& p) {
    return capture::read_all(capture::Reader::open(p));
}

void choose_replay(Driver& d, const std::string& path) {
    d.answer_file_dialog(path);
    d.choose(k_replay);
}

// A live session recorded to a file: the parameter set, then twelve turns 80 ms apart. The
// screen after each turn is returned, with the time of the turn since the recording started.
struct Live {
    std::vector<Screen> screens;
    std::vector<std::chrono::milliseconds> times;
};

Live record_session(Driver& d, const fs::path& file, bool ya) {
    Live live;
    d.start();
    d.click(k_port);
    d.answer_save_dialog(file.string());
    d.choose(k_record_start);
    EXPECT_TRUE(d.program().recording().recording());
    std::chrono::milliseconds t{0};
    d.advance(30ms);
    t += 30ms;
    d.receive(testkit::parameter_reply(ya));
    for (int i = 0; i < 12; ++i) {
        d.advance(80ms);
        t += 80ms;
        d.receive(testkit::status_frame(turn(i, ya)));
        live.screens.push_back(screen(d));
        live.times.push_back(t);
    }
    d.key("main", testkit::ctrl | testkit::alt, 'Q'); // shows the control command box
    d.click("main.motor_off"); // the control command goes out at every 1 ms tick
    d.advance(5ms);
    d.choose(k_record_stop);
    EXPECT_FALSE(d.program().recording().recording());
    return live;
}

TEST(Replay, ARecordedSessionPlaysBackIntoTheSameTablesAndPicture) {
    for (const bool ya : {false, true}) {
        Driver machine;
        const fs::path file = machine.data_folder() / "at-the-machine.trxcap";
        fs::create_directories(machine.data_folder());
        const Live live = record_session(machine, file, ya);
        EXPECT_EQ(machine.messages().size(), 0U);

        // The capture holds both directions: the program's own requests as well.
        const capture::Capture c = read(file);
        EXPECT_EQ(c.stop_reason, "");
        EXPECT_EQ(c.header.port_name, "COM1");
        bool any_sent = false;
        for (const auto& r : c.records) {
            any_sent = any_sent || r.kind == capture::Kind::sent;
        }
        EXPECT_TRUE(any_sent);

        Driver office;
        office.start();
        choose_replay(office, file.string());
        EXPECT_EQ(office.text(k_port), "Open at-the-machine.trxcap");
        office.click(k_port);
        EXPECT_EQ(office.text(k_port), "Close at-the-machine.trxcap");
        EXPECT_EQ(office.port_name(), file.string());
        std::chrono::milliseconds at{0};
        for (std::size_t i = 0; i < live.screens.size(); ++i) {
            office.advance(live.times[i] + 1ms - at);
            at = live.times[i] + 1ms;
            ASSERT_EQ(screen(office), live.screens[i]) << "turn " << i << (ya ? " YA" : " ZA");
        }
        EXPECT_EQ(office.text("para.typ"), ya ? "YA" : "ZA");
        EXPECT_EQ(office.sent(), ""); // what the program wrote went nowhere

        // The end of the capture closes the port and says so in panel 1, without a box; what
        // was shown stays, marked old.
        office.advance(2s);
        EXPECT_EQ(office.text(k_port), "Open at-the-machine.trxcap");
        EXPECT_TRUE(office.messages().empty());
        EXPECT_EQ(office.panel("main.StatusBar1", 1), "Replay finished");
        EXPECT_TRUE(std::ranges::any_of(office.log().lines(), [](const auto& l) {
            return l.text == "Replay finished: at-the-machine.trxcap";
        }));
        office.advance(1s);
        EXPECT_EQ(office.panel("main.StatusBar1", 1), "Replay finished");
        EXPECT_EQ(office.timer_tag("main.Timer1"), "offline");
        EXPECT_TRUE(office.stale("main.data"));
        EXPECT_TRUE(office.stale("main.map"));
        EXPECT_TRUE(screen(office) == live.screens.back()); // what was shown stays

        // Opening again starts the link supervision over.
        office.click(k_port);
        EXPECT_EQ(office.panel("main.StatusBar1", 1), "offline");
        office.click(k_port);
    }
}

TEST(Recorder, TheRingKeepsExactlyTheLastTenMinutes) {
    Driver d;
    d.start();
    d.click(k_port);
    for (int i = 0; i <= 30; ++i) {
        d.receive("frame-" + std::to_string(i));
        d.advance(30s);
    }
    const fs::path file = d.data_folder() / "ring.trxcap";
    d.answer_save_dialog(file.string());
    d.choose(k_save_recent);
    d.program().recording().settle(); // the file is written on a thread of its own
    EXPECT_EQ(d.messages().size(), 0U);

    auto& dialogs = dynamic_cast<testkit::RecordedDialogs&>(d.program().services().dialogs);
    ASSERT_EQ(dialogs.save_requests().size(), 1U);
    EXPECT_EQ(dialogs.save_requests()[0].initial_path,
              (d.data_folder() / "2025-03-01_09-45-30.trxcap").string());

    const capture::Capture c = read(file);
    std::vector<std::string> frames;
    for (const auto& r : c.records) {
        if (r.kind == capture::Kind::received) {
            frames.push_back(r.data);
        }
    }
    // At 15:30, ten minutes back is 5:30: frame 11 (at 5:30) is the first that stays.
    ASSERT_EQ(frames.size(), 20U);
    EXPECT_EQ(frames.front(), "frame-11");
    EXPECT_EQ(frames.back(), "frame-30");
    EXPECT_EQ(c.records.front().time_us, 0U);
}

// Batches of every size reach the file whole, in order and at their times: small ones gathered
// into blocks, one that fills a block exactly, ones larger than a block, a port event after.
TEST(Recorder, EveryBatchReachesTheFileWholeInOrderAndAtItsTime) {
    Driver d;
    d.start();
    d.click(k_port);
    const fs::path file = d.data_folder() / "sizes.trxcap";
    fs::create_directories(d.data_folder());
    d.answer_save_dialog(file.string());
    d.choose(k_record_start);
    constexpr std::size_t block = Recording::k_stage_bytes;
    std::vector<std::string> batches;
    for (const std::size_t n :
         {1UL, 7UL, block - 8 - 2 * capture::k_record_head, 3UL, 3 * block, 5UL, block, 2UL}) {
        std::string b(n, '\0');
        for (std::size_t i = 0; i < n; ++i) {
            b[i] = static_cast<char>('a' + (i * 31 + n) % 26);
        }
        d.advance(1ms);
        d.receive(b);
        batches.push_back(b);
    }
    d.advance(1ms);
    d.click(k_port);
    d.choose(k_record_stop);

    const capture::Capture c = read(file);
    EXPECT_EQ(c.stop_reason, "");
    std::vector<std::string> received;
    std::vector<std::uint64_t> times;
    for (const auto& r : c.records) {
        if (r.kind == capture::Kind::received) {
            received.push_back(r.data);
            times.push_back(r.time_us);
        }
    }
    EXPECT_EQ(received, batches);
    for (std::size_t i = 1; i < times.size(); ++i) {
        EXPECT_EQ(times[i] - times[i - 1], 1000U) << "batch " << i;
    }
    ASSERT_FALSE(c.records.empty());
    EXPECT_EQ(c.records.back().kind, capture::Kind::closed);
    EXPECT_EQ(c.records.back().time_us, times.back() + 1000U);
}

TEST(Recorder, ASaveOfTheLastTenMinutesThatFailsSaysWhyAndTheRingStays) {
    Driver d;
    d.start();
    d.click(k_port);
    d.receive(testkit::parameter_reply(false));
    fs::create_directories(d.data_folder());
    d.disk_full();
    const fs::path file = d.data_folder() / "full.trxcap";
    d.answer_save_dialog(file.string());
    d.choose(k_save_recent);
    EXPECT_TRUE(d.messages().empty()) << "the disk answers on the writer thread, not here";
    d.program().recording().settle();
    auto boxes = d.messages();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].text, "The last 10 minutes could not be saved: No space left on device.");
    EXPECT_EQ(boxes[0].detail, file.string());

    // The ring is untouched: once the disk has room the same minutes save.
    d.disk_full(false);
    d.answer_save_dialog(file.string());
    d.choose(k_save_recent);
    d.program().recording().settle();
    EXPECT_TRUE(d.messages().empty());
    const capture::Capture c = read(file);
    const auto reply = std::find_if(c.records.begin(), c.records.end(), [](const auto& r) {
        return r.kind == capture::Kind::received && r.data == testkit::parameter_reply(false);
    });
    EXPECT_NE(reply, c.records.end());

    d.data_folder_read_only();
    d.answer_save_dialog((d.data_folder() / "ro.trxcap").string());
    d.choose(k_save_recent);
    boxes = d.messages();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].text, "The last 10 minutes could not be saved: Read-only file system.");
}

TEST(Recorder, AFullDiskStopsTheRecordingWithABoxAndTheLinkGoesOn) {
    Driver d;
    d.start();
    d.click(k_port);
    d.receive(testkit::parameter_reply(false));
    const fs::path file = d.data_folder() / "full.trxcap";
    fs::create_directories(d.data_folder());
    d.answer_save_dialog(file.string());
    d.choose(k_record_start);
    d.receive(testkit::status_frame(turn(1, false)));
    d.program().recording().settle();
    d.disk_full();
    d.receive(testkit::status_frame(turn(2, false)));
    d.program().recording().settle();
    d.advance(600ms); // the next supervision tick reports it
    const auto boxes = d.messages();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].text,
              "The recording has stopped. Writing the recording failed: No space left on device.");
    EXPECT_EQ(boxes[0].detail, "What was recorded until then is in " + file.string());
    EXPECT_FALSE(d.program().recording().recording());
    ASSERT_FALSE(d.log().lines().empty());
    EXPECT_EQ(d.log().lines().back().text,
              "recording ended: Writing the recording failed: No space left on device.");

    // The link goes on, and what was written before the disk filled is there.
    d.receive(testkit::status_frame(turn(3, false)));
    EXPECT_EQ(d.text("main.temperature"), "23");
    const capture::Capture c = read(file);
    ASSERT_GE(c.records.size(), 1U);
    EXPECT_EQ(c.records.back().data, testkit::status_frame(turn(1, false)));
    d.disk_full(false);

    // A folder that takes no file: the recording does not start, and says why.
    d.data_folder_read_only();
    d.answer_save_dialog((d.data_folder() / "ro.trxcap").string());
    d.choose(k_record_start);
    EXPECT_FALSE(d.program().recording().recording());
    const auto refused = d.messages();
    ASSERT_EQ(refused.size(), 1U);
    EXPECT_EQ(refused[0].text, "The recording cannot start: Read-only file system.");
}

TEST(Replay, CapturesThatAreNoCapturesAreRefusedWithTheirReason) {
    Driver d;
    d.start();
    const fs::path dir = d.program_folder();
    const std::vector<std::pair<std::string, std::string>> bad{
        {write_file(dir / "empty.trxcap", ""), "The file is empty."},
        {write_file(dir / "hex.h86", ":020000020000FC\r\n"),
         "The file is not a capture of this program."}};
    for (const auto& [path, why] : bad) {
        choose_replay(d, path);
        const auto boxes = d.messages();
        ASSERT_EQ(boxes.size(), 1U) << path;
        EXPECT_EQ(boxes[0].text, "The capture cannot be replayed. " + why);
        EXPECT_EQ(d.text(k_port), "Open COM1    "); // the choice stays as it was
    }
    const fs::path huge = dir / "huge.trxcap";
    write_file(huge, capture::file_start({"trx81500 1.09", "COM1"}));
    fs::resize_file(huge, 1ULL << 30);
    choose_replay(d, huge.string());
    const auto boxes = d.messages();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_NE(boxes[0].text.find("too large"), std::string::npos);
    fs::remove(huge);
    choose_replay(d, ""); // cancelled: nothing changes
    EXPECT_EQ(d.text(k_port), "Open COM1    ");
}

// A capture cut short or with time running backwards plays up to its first bad record, then
// the link ends as after a pulled cable, with the reason.
TEST(Replay, ADamagedCapturePlaysUpToItsFirstBadRecord) {
    std::string good = capture::file_start({"trx81500 1.09", "COM1"});
    capture::encode(capture::Kind::received, 1000, testkit::parameter_reply(false), good);
    capture::encode(capture::Kind::received, 50'000, testkit::status_frame(turn(4, false)), good);
    std::string truncated = good;
    capture::encode(capture::Kind::received, 90'000, testkit::status_frame(turn(1, false)),
                    truncated);
    truncated.resize(truncated.size() - 3);
    std::string backwards = good;
    capture::encode(capture::Kind::received, 40'000, testkit::status_frame(turn(1, false)),
                    backwards);
    for (const auto& [bytes, why] :
         {std::pair{truncated, "middle of a record"}, std::pair{backwards, "backwards"}}) {
        Driver d;
        d.start();
        choose_replay(d, write_file(d.program_folder() / "bad.trxcap", bytes));
        d.click(k_port);
        d.advance(200ms);
        EXPECT_EQ(d.text(k_port), "Open bad.trxcap");
        EXPECT_EQ(d.text("main.temperature"), "24");
        const auto boxes = d.messages();
        ASSERT_EQ(boxes.size(), 1U);
        EXPECT_EQ(boxes[0].text, "The replay stopped at a bad record.");
        EXPECT_NE(boxes[0].detail.find(why), std::string::npos) << boxes[0].detail;
        EXPECT_EQ(d.panel("main.StatusBar1", 1), "Replay finished");
    }
}

} // namespace
} // namespace trx::main

// record and replay in virtual time against a scripted scanner on the test kit's port: what a
// recording holds, how a replay prints it, and what each of them does with a bad file.
#include "capture/reader.hpp"
#include "capture/recent_ring.hpp"
#include "capture/recorder.hpp"
#include "cli/cli.hpp"
#include "link/frame.hpp"
#include "parafile/text_files.hpp"
#include "testkit/command_frames.hpp"
#include "testkit/fake_port.hpp"
#include "testkit/faulty_capture_file.hpp"
#include "testkit/status_frames.hpp"
#include "testkit/virtual_clock.hpp"
#include "testkit/virtual_pump.hpp"
#include "tests/cli/cli_fixture.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace trx::cli {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using capture::Kind;
using test::FolderTest;
using test::Ran;

// A "YA" scanner: "R" gets its set as "W", and every 100 ms a status frame whose content
// changes from turn to turn, so that a line out of place shows.
struct Scanner {
    testkit::VirtualClock clock;
    testkit::FakeSerialPort port{clock};
    testkit::VirtualPump pump{clock};
    testkit::CommandFrames frames{
        clock, port, [this](char letter, const std::string&) {
            if (letter == 'R') {
                clock.schedule(5ms, [this] { port.inject(testkit::parameter_reply(true)); });
            }
        }};
    int turn = 0;

    Scanner() {
        testkit::every(clock, 100ms, [this] { port.inject(next_frame()); });
    }
    std::string next_frame() {
        ++turn;
        testkit::StatusShape s;
        s.ya = true;
        s.temperature = 20 + turn % 5;
        s.stripes = {{static_cast<std::uint32_t>(100 + turn), 20, 11},
                     {2000, static_cast<std::uint32_t>(30 + turn), 0},
                     {8150, 60, 22}};
        return testkit::status_frame(s);
    }
};

// The lines of a text, without their line ends.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

struct Capture : FolderTest {
    Capture() : FolderTest("trx_cli_capture_") {}
    parafile::TextFiles files;
    std::function<bool()> interrupted = [] { return false; };
    OpenCapture open_capture;

    Ran cli(Scanner& s, std::vector<std::string> args) {
        std::ostringstream out;
        std::ostringstream err;
        if (args.front() != "replay") {
            args.insert(args.begin(), {"--port", "COM1", "--timeout", "0.5"});
        }
        Cli tool({
            .port = s.port,
            .clock = s.clock,
            .pump = s.pump,
            .now = [&s] { return s.clock.now(); },
            .interrupted = interrupted,
            .out = out,
            .err = err,
            .files = files,
            .err_is_terminal = false,
            .devices = nullptr,
            .flash_library = {},
            .backup_before_store = {},
            .diagnosis = nullptr,
            .open_capture = open_capture,
        });
        const int status = tool.run(args);
        return {status, out.str(), err.str()};
    }
};

// The received bytes of a capture, in order.
std::string received_bytes(const capture::Capture& c) {
    std::string bytes;
    for (const auto& r : c.records) {
        if (r.kind == Kind::received) {
            bytes += r.data;
        }
    }
    return bytes;
}

TEST_F(Capture, RecordHoldsEverySentAndReceivedByteWithThePortsEvents) {
    Scanner s;
    const Ran ran = cli(s, {"record", path("wire.trxcap"), "--seconds", "1"});
    ASSERT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.out, "");

    const capture::Capture c = capture::read_all(capture::Reader::open(path("wire.trxcap")));
    ASSERT_EQ(c.refusal, "");
    EXPECT_EQ(c.stop_reason, "");
    EXPECT_TRUE(c.header.program_version.starts_with("trx81500-cli ")) << c.header.program_version;
    EXPECT_EQ(c.header.port_name, "COM1");
    ASSERT_GE(c.records.size(), 12U);
    EXPECT_EQ(c.records.front(), (capture::Record{Kind::opened, 0, "COM1"}));
    EXPECT_EQ(c.records.back().kind, Kind::closed);
    EXPECT_GE(c.records.back().time_us, 1'000'000U);
    EXPECT_LT(c.records.back().time_us, 1'100'000U);

    // What the tool wrote, exactly as the scanner heard it: the one "R".
    std::string sent;
    for (const auto& r : c.records) {
        if (r.kind == Kind::sent) {
            sent += r.data;
        }
    }
    EXPECT_EQ(sent, s.frames.heard());
    EXPECT_EQ(sent, link::build_frame('R', ""));
    const std::string received = received_bytes(c);
    EXPECT_TRUE(received.starts_with(testkit::parameter_reply(true)));
    EXPECT_EQ(received.size(), testkit::parameter_reply(true).size() +
                                   static_cast<std::size_t>(s.turn) * s.next_frame().size());
    // Each frame at the time it arrived.
    EXPECT_EQ(c.records[3].kind, Kind::received);
    EXPECT_EQ(c.records[3].time_us, 100'000U);

    EXPECT_EQ(ran.err, "Recorded 1.0 s into " + path("wire.trxcap") + ": " +
                           std::to_string(c.records.size()) + " records, " +
                           std::to_string(received.size()) + " bytes received, " +
                           std::to_string(sent.size()) + " bytes sent\n");
}

TEST_F(Capture, RecordEndsCleanOnInterruptAndKeepsWhatCameBeforeAPortFailure) {
    Scanner s;
    interrupted = [&s] { return s.clock.now() >= 350ms; };
    const Ran stopped = cli(s, {"record", path("stopped.trxcap")});
    EXPECT_EQ(stopped.status, 0) << stopped.err;
    EXPECT_TRUE(stopped.err.starts_with("Recorded 0.4 s into ")) << stopped.err;
    const auto c = capture::read_all(capture::Reader::open(path("stopped.trxcap")));
    ASSERT_FALSE(c.records.empty());
    EXPECT_EQ(c.records.back().kind, Kind::closed);

    Scanner pulled;
    interrupted = [] { return false; };
    pulled.clock.schedule(250ms, [&pulled] { pulled.port.pull_device(); });
    const Ran lost = cli(pulled, {"record", path("lost.trxcap"), "--seconds", "5"});
    EXPECT_EQ(lost.status, 3);
    EXPECT_TRUE(lost.err.ends_with("\ntrx81500-cli: the port COM1 failed: The device was "
                                   "removed\n"))
        << lost.err;
    const auto l = capture::read_all(capture::Reader::open(path("lost.trxcap")));
    ASSERT_EQ(l.refusal, "");
    ASSERT_FALSE(l.records.empty());
    EXPECT_EQ(l.records.back().kind, Kind::lost);
    EXPECT_EQ(received_bytes(l).size(),
              testkit::parameter_reply(true).size() + 2 * pulled.next_frame().size());
}

// A capture file whose disk fills up right after the header record, however the writer
// groups its writes.
class FillingFile final : public capture::FileSink {
public:
    static std::unique_ptr<capture::Sink> create(const fs::path& p, std::error_code& ec) {
        Opened opened = create_file(p, ec);
        return opened.fd < 0 ? nullptr
                             : std::unique_ptr<capture::Sink>(new FillingFile(std::move(opened)));
    }

private:
    explicit FillingFile(Opened opened) : FileSink(std::move(opened)) {}
    long write_some(int fd, const char* data, std::size_t size) override {
        if (room_ == 0) {
            errno = ENOSPC;
            return -1;
        }
        if (room_ == k_unknown) { // the first write starts with the magic and the header
            const std::string_view records =
                std::string_view(data, size).substr(capture::k_magic.size());
            std::size_t header_end = 0;
            capture::Kind kind{};
            std::uint64_t time = 0;
            std::string_view header;
            EXPECT_TRUE(capture::next_raw(records, header_end, kind, time, header));
            room_ = capture::k_magic.size() + header_end + capture::k_record_tail;
        }
        const std::size_t n = std::min(size, room_);
        room_ -= n;
        return FileSink::write_some(fd, data, n);
    }
    static constexpr std::size_t k_unknown = ~std::size_t{0};
    std::size_t room_ = k_unknown;
};

TEST_F(Capture, AFileThatCannotBeWrittenOrFillsUpEndsRecordWithStatus7) {
    Scanner s;
    const std::string nowhere = path("missing/wire.trxcap");
    const Ran refused = cli(s, {"record", nowhere});
    EXPECT_EQ(refused.status, 7);
    EXPECT_EQ(refused.err,
              "trx81500-cli: cannot write " + nowhere + ": No such file or directory\n");
    s.clock.advance(10ms);
    EXPECT_EQ(s.frames.heard(), ""); // the port was never touched

    open_capture = [](const fs::path& p, std::error_code& ec) {
        return FillingFile::create(p, ec);
    };
    const Ran full = cli(s, {"record", path("full.trxcap"), "--seconds", "2"});
    EXPECT_EQ(full.status, 7);
    EXPECT_EQ(full.err, "trx81500-cli: the recording to " + path("full.trxcap") +
                            " stopped: writing the recording failed: No space left on device; "
                            "what was recorded until then stays readable\n");
    const auto c = capture::read_all(capture::Reader::open(path("full.trxcap")));
    EXPECT_EQ(c.refusal, "");
    EXPECT_EQ(c.stop_reason, "");
    EXPECT_TRUE(c.header.program_version.starts_with("trx81500-cli "));
    EXPECT_TRUE(c.records.empty());
}

// The system's own full disk: every write to /dev/full fails as on a disk without room.
// A disk full from the start: not even the header is written, so nothing is recorded, the
// message says so, and an earlier file of the name stays as it was.
TEST_F(Capture, ARecordingWhoseHeaderDoesNotFitLeavesTheEarlierFile) {
    Scanner s;
    const std::string keep = path("keep.trxcap");
    std::ofstream(keep) << "an earlier recording";
    const std::atomic<bool> full{true};
    open_capture = [&full](const fs::path& p, std::error_code& ec) {
        return testkit::FaultyCaptureFile::create(p, full, false, ec);
    };
    const Ran r = cli(s, {"record", keep, "--seconds", "1"});
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(r.err, "trx81500-cli: cannot write " + keep +
                         ": No space left on device; nothing was recorded and the file is as it "
                         "was\n");
    std::ifstream in(keep);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "an earlier recording");
}

// A device is no place for a capture: refused before the port is touched, status 2 (it used
// to record into /dev/full, or into /dev/null until its fsync failed).
TEST_F(Capture, RecordOntoADeviceIsRefusedBeforeThePort) {
    Scanner s;
    for (const char* device : {"/dev/null", "/dev/full"}) {
        const Ran r = cli(s, {"record", device, "--seconds", "2"});
        EXPECT_EQ(r.status, 2) << device;
        EXPECT_EQ(r.err, std::string("trx81500-cli: cannot write ") + device +
                             ": it is not a regular file (a folder, a device or a pipe)\n");
    }
    s.clock.advance(10ms);
    EXPECT_EQ(s.frames.heard(), "");
}

// One "YA" turn whose values are worked out by hand; its frame arrives in two batches.
std::string known_capture() {
    testkit::StatusShape s;
    s.ya = true;
    s.temperature = 21;
    s.stripes = {{100, 20, 11}, {150, 30, 0}, {8150, 60, 22}};
    const std::string frame = testkit::status_frame(s);
    return capture::encode_capture(
        {"trx81500 1.09", "/dev/ttyUSB0"},
        {{Kind::opened, 0, "/dev/ttyUSB0"},
         {Kind::received, 10'000, frame}, // before the type is known: no turn
         {Kind::sent, 20'000, link::build_frame('R', "")},
         {Kind::received, 30'000, testkit::parameter_reply(true)},
         {Kind::received, 51'000, frame.substr(0, 40)},
         {Kind::received, 52'400, frame.substr(40)},
         {Kind::received, 1'052'000, frame},
         {Kind::closed, 1'100'000, ""}});
}

TEST_F(Capture, ReplayPrintsTheTurnsAtTheRecordsTimesAndPace) {
    write("known.trxcap", known_capture());
    Scanner s;
    const Ran json = cli(s, {"replay", path("known.trxcap"), "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.err, "");
    const std::string turn =
        "\"resolution\":8192,\"temperature\":21,\"speed_ok\":true,\"temperature_low\":false,"
        "\"heater_active\":false,\"stripes\":["
        "{\"start\":100,\"end\":120,\"width\":20,\"gap\":82,\"code\":11,\"tag_width\":162,"
        "\"tag_angle\":39},"
        "{\"start\":150,\"end\":180,\"width\":30,\"gap\":30,\"code\":0,\"tag_width\":null,"
        "\"tag_angle\":null},"
        "{\"start\":8150,\"end\":18,\"width\":60,\"gap\":null,\"code\":22,\"tag_width\":8060,"
        "\"tag_angle\":-4012}]}\n";
    EXPECT_EQ(json.out, "{\"t_ms\":52," + turn + "{\"t_ms\":1052," + turn);
    // At the recorded pace, in the tool's clock: until the last received record.
    EXPECT_EQ(s.clock.now(), 1052ms);

    Scanner fast;
    const Ran twice = cli(fast, {"replay", path("known.trxcap"), "--speed", "2", "--csv"});
    ASSERT_EQ(twice.status, 0) << twice.err;
    EXPECT_EQ(fast.clock.now(), 526ms);
    const auto rows = lines_of(twice.out);
    ASSERT_EQ(rows.size(), 3U);
    EXPECT_EQ(rows[1], "52,8192,21,1,0,0,3,100,120,20,82,11,162,39,150,180,30,30,0,,,8150,18,"
                       "60,,22,8060,-4012");

    Scanner unpaced;
    EXPECT_EQ(cli(unpaced, {"replay", path("known.trxcap"), "--speed", "0", "--json"}).out,
              json.out);
    EXPECT_EQ(unpaced.clock.now(), 0ms);
}

TEST_F(Capture, ReplayOfARecordingPrintsWhatMonitorPrints) {
    for (const std::string format : {"--json", "--csv", "text"}) {
        SCOPED_TRACE(format);
        Scanner recorded;
        ASSERT_EQ(cli(recorded, {"record", path("rec.trxcap"), "--seconds", "1"}).status, 0);
        Scanner live;
        std::vector<std::string> monitor{"monitor", "--turns", "5"};
        std::vector<std::string> replay{"replay", path("rec.trxcap"), "--speed", "0"};
        if (format != "text") {
            monitor.push_back(format);
            replay.push_back(format);
        }
        const Ran shown = cli(live, monitor);
        ASSERT_EQ(shown.status, 0) << shown.err;
        const Ran replayed = cli(recorded, replay);
        ASSERT_EQ(replayed.status, 0) << replayed.err;
        const auto want = lines_of(shown.out);
        const auto got = lines_of(replayed.out);
        const long header = format == "--csv" ? 1 : 0;
        ASSERT_EQ(want.size(), 5U + header);
        ASSERT_GE(got.size(), 9U + header) << replayed.out;
        EXPECT_EQ(std::vector(got.begin(), got.begin() + header),
                  std::vector(want.begin(), want.begin() + header));
        // monitor waits for the link before it asks for the set, so its first turn is the
        // recording's second, at the same time since the port opened.
        EXPECT_EQ(std::vector(got.begin() + header + 1, got.begin() + header + 6),
                  std::vector(want.begin() + header, want.end()));
    }
}

// A capture without any "W" reply cannot be decoded alone: it says so and fails, unless the
// technician names the type; a recording begun after the reply carries it at its start.
TEST_F(Capture, ReplayOfACaptureWithoutAReplyFailsUnlessTheTypeIsGiven) {
    testkit::StatusShape scan;
    scan.ya = true;
    scan.stripes = {{100, 20, 11}, {2000, 30, 0}};
    const std::string frame = testkit::status_frame(scan);
    write("bare.trxcap",
          capture::encode_capture({"trx81500 1.09", "COM1"}, {{Kind::received, 10'000, frame},
                                                              {Kind::received, 110'000, frame}}));
    Scanner s;
    const Ran bare = cli(s, {"replay", path("bare.trxcap"), "--speed", "0"});
    EXPECT_EQ(bare.status, 2);
    EXPECT_EQ(bare.out, "");
    EXPECT_EQ(bare.err, "trx81500-cli: " + path("bare.trxcap") +
                            ": the capture holds no parameter reply (\"W\"), so the scanner type "
                            "is unknown and no turn was decoded; give --type ZA, or --type YA with "
                            "--max-modul M\n");

    const Ran unmeasured = cli(s, {"replay", path("bare.trxcap"), "--type", "YA"});
    EXPECT_EQ(unmeasured.status, 2);
    EXPECT_EQ(unmeasured.err,
              "trx81500-cli: --type YA needs --max-modul M, the set's maximum modul width\n");
    const Ran typed = cli(
        s, {"replay", path("bare.trxcap"), "--speed", "0", "--type", "YA", "--max-modul", "100"});
    ASSERT_EQ(typed.status, 0) << typed.err;
    const auto lines = lines_of(typed.out);
    ASSERT_EQ(lines.size(), 2U) << typed.out;
    EXPECT_NE(lines[0].find("  resolution 8192  temperature 20  status speed_ok  stripes 2  "
                            "tags 11@"),
              std::string::npos)
        << lines[0];
    EXPECT_EQ(cli(s, {"replay", path("bare.trxcap"), "--type", "XA"}).status, 2);

    // The window's recorder, started long after the reply went by.
    testkit::VirtualClock clock;
    capture::Recorder rec(clock, "trx81500 1.09");
    rec.opened("COM1");
    rec.received(testkit::parameter_reply(true));
    rec.received(frame);
    std::error_code ec;
    rec.start(capture::FileSink::create(path("late.trxcap"), ec), "COM1", true);
    ASSERT_FALSE(rec.publish()); // the file takes its name once the port is open
    rec.received(frame);
    ASSERT_EQ(rec.stop(), "");
    const Ran late = cli(s, {"replay", path("late.trxcap"), "--speed", "0"});
    ASSERT_EQ(late.status, 0) << late.err;
    EXPECT_EQ(lines_of(late.out).size(), 1U) << late.out;
}

TEST_F(Capture, ReplayRefusesWhatIsNoCaptureAndStopsAtABadRecord) {
    write("empty.trxcap", "");
    write("text.trxcap", "t_ms,resolution\n");
    write("big.trxcap", "");
    fs::resize_file(dir / "big.trxcap", capture::Reader::k_max_file + (1U << 20));
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"empty.trxcap", "the file is empty"},
        {"text.trxcap", "the file is not a capture of this program"},
        {"big.trxcap", "the file is too large for a capture (257 MiB; at most 256 MiB)"},
        {"none.trxcap", "the file cannot be read: No such file or directory"},
    };
    Scanner s;
    for (const auto& [name, why] : refused) {
        const Ran r = cli(s, {"replay", path(name.c_str())});
        EXPECT_EQ(r.status, 2) << name;
        EXPECT_EQ(r.err, "trx81500-cli: cannot replay " + path(name.c_str()) + ": " + why + "\n");
        EXPECT_EQ(r.out, "");
    }

    const std::string whole = known_capture();
    // Cut in the record before the "closed" one: the first turn stays, the second goes.
    const std::size_t cut = whole.size() - (capture::k_record_head + capture::k_record_tail) - 10;
    write("cut.trxcap", whole.substr(0, cut));
    const Ran r = cli(s, {"replay", path("cut.trxcap")});
    EXPECT_EQ(r.status, 2);
    ASSERT_EQ(lines_of(r.out).size(), 1U) << r.out;
    EXPECT_TRUE(r.out.starts_with("t_ms 52  resolution 8192  temperature 21")) << r.out;
    EXPECT_TRUE(r.err.starts_with("trx81500-cli: " + path("cut.trxcap") +
                                  ": the replay stopped at a bad record: the capture ends in the "
                                  "middle of a record at byte "))
        << r.err;

    // A damaged record, named in mid-sentence without its capital.
    std::string damaged = whole;
    damaged[damaged.size() - 1] ^= 0x01; // the CRC of the last record
    write("damaged.trxcap", damaged);
    const Ran d = cli(s, {"replay", path("damaged.trxcap")});
    EXPECT_EQ(d.status, 2);
    EXPECT_TRUE(d.err.starts_with("trx81500-cli: " + path("damaged.trxcap") +
                                  ": the replay stopped at a bad record: a damaged record at "
                                  "byte "))
        << d.err;
}

} // namespace
} // namespace trx::cli

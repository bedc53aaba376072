#include "capture/reader.hpp"
#include "capture/recent_ring.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace trx::capture {
namespace {

namespace fs = std::filesystem;

const Header k_header{"trx81500 1.09", "/dev/ttyUSB0"};

std::vector<Record> session() {
    std::string all_bytes;
    for (int b = 0; b < 256; ++b) {
        all_bytes.push_back(static_cast<char>(b));
    }
    return {{Kind::opened, 0, "/dev/ttyUSB0"},
            {Kind::received, 10, all_bytes},
            {Kind::sent, 10, "\x02L4C\x03"},
            {Kind::write_refused, 2'000,
             "\x02"
             "C0043\x03"},
            {Kind::lost, 5'000'000'000ULL, "The device was removed"},
            {Kind::closed, 5'000'000'001ULL, ""}};
}

std::string file_of(const std::vector<Record>& records) {
    std::string out = file_start(k_header);
    for (const auto& r : records) {
        encode(r.kind, r.time_us, r.data, out);
    }
    return out;
}

TEST(CaptureFile, EveryKindAndEveryByteComesBackAsWritten) {
    const std::string bytes = file_of(session());
    const Capture c = read_all(Reader::of_bytes(bytes));
    EXPECT_EQ(c.refusal, "");
    EXPECT_EQ(c.header.program_version, "trx81500 1.09");
    EXPECT_EQ(c.header.port_name, "/dev/ttyUSB0");
    EXPECT_EQ(c.records, session());
    EXPECT_EQ(c.stop_reason, "");
}

TEST(CaptureFile, DataLongerThanOneRecordIsSplitAndJoinsAgain) {
    const std::string big(k_max_data * 2 + 5, 'S');
    const Capture c = read_all(Reader::of_bytes(file_of({{Kind::received, 7, big}})));
    ASSERT_EQ(c.records.size(), 3U);
    EXPECT_EQ(c.records[0].data.size() + c.records[1].data.size() + c.records[2].data.size(),
              big.size());
    EXPECT_EQ(c.records[2].time_us, 7U);
}

// A file cut short anywhere loses only the record it was cut in.
TEST(CaptureFile, ACutAnywhereKeepsEveryWholeRecordBeforeIt) {
    const auto records = session();
    const std::string whole = file_of(records);
    std::vector<std::size_t> ends;
    std::string so_far = file_start(k_header);
    const std::size_t header_end = so_far.size();
    for (const auto& r : records) {
        encode(r.kind, r.time_us, r.data, so_far);
        ends.push_back(so_far.size());
    }
    for (std::size_t cut = header_end; cut < whole.size(); ++cut) {
        const Capture c = read_all(Reader::of_bytes(std::string_view(whole).substr(0, cut)));
        const auto whole_records = static_cast<std::size_t>(
            std::upper_bound(ends.begin(), ends.end(), cut) - ends.begin());
        ASSERT_EQ(c.refusal, "") << cut;
        ASSERT_EQ(c.records.size(), whole_records) << cut;
        const bool on_boundary =
            cut == header_end || (whole_records > 0 && ends[whole_records - 1] == cut);
        EXPECT_EQ(c.stop_reason.empty(), on_boundary) << cut;
        if (!on_boundary) {
            EXPECT_NE(c.stop_reason.find("middle of a record"), std::string::npos);
        }
    }
}

TEST(CaptureFile, ReadingStopsAtTheFirstBadRecordWithItsReason) {
    std::string backwards = file_start(k_header);
    encode(Kind::received, 500, "a", backwards);
    encode(Kind::received, 400, "b", backwards);
    encode(Kind::received, 600, "c", backwards);
    const Capture c = read_all(Reader::of_bytes(backwards));
    ASSERT_EQ(c.records.size(), 1U);
    EXPECT_EQ(c.records[0].data, "a");
    EXPECT_NE(c.stop_reason.find("backwards"), std::string::npos);

    std::string damaged = file_of(session());
    damaged[file_start(k_header).size() + k_record_head + 2] ^= 0x01; // in the first record
    const Capture d = read_all(Reader::of_bytes(damaged));
    EXPECT_TRUE(d.records.empty());
    EXPECT_NE(d.stop_reason.find("damaged"), std::string::npos);

    std::string huge_length = file_start(k_header);
    encode(Kind::received, 1, "x", huge_length);
    huge_length[file_start(k_header).size() + 12] = '\x7f'; // length byte 3
    EXPECT_NE(read_all(Reader::of_bytes(huge_length)).stop_reason.find("damaged"),
              std::string::npos);
}

// A second header is named where it begins; a header with a time of its own is refused,
// rather than a record after it blamed for going backwards.
TEST(CaptureFile, AHeaderIsBlamedForItselfAtItsOwnByte) {
    std::string twice = file_start(k_header);
    encode(Kind::received, 5, "a", twice);
    const std::size_t second_at = twice.size();
    encode(Kind::header, 6, "trx81500 1.09\nCOM2", twice);
    const Capture c = read_all(Reader::of_bytes(twice));
    ASSERT_EQ(c.records.size(), 1U);
    EXPECT_EQ(c.stop_reason, "A second header at byte " + std::to_string(second_at) + ".");

    std::string late(k_magic);
    encode(Kind::header, 700, "trx81500 1.09\nCOM1", late);
    encode(Kind::received, 100, "a", late);
    const Capture l = read_all(Reader::of_bytes(late));
    EXPECT_EQ(l.refusal, "The capture's header is damaged (its time is not zero).");
    EXPECT_TRUE(l.records.empty());
    EXPECT_EQ(l.stop_reason, "");
}

TEST(CaptureFile, FilesThatAreNoCaptureAreRefused) {
    EXPECT_EQ(read_all(Reader::of_bytes("")).refusal, "The file is empty.");
    EXPECT_EQ(read_all(Reader::of_bytes("Hexfile\r\n:020000020000FC\r\n")).refusal,
              "The file is not a capture of this program.");
    std::string no_header(k_magic);
    encode(Kind::received, 0, "x", no_header);
    EXPECT_EQ(read_all(Reader::of_bytes(no_header)).refusal, "The capture has no header.");
    const Capture magic_only = read_all(Reader::of_bytes(k_magic));
    EXPECT_EQ(magic_only.refusal, "The capture's header is damaged.");
    EXPECT_EQ(magic_only.stop_reason, "") << "refused, not stopped part-way";
    EXPECT_NE(read_all(Reader::open("/nonexistent/x.trxcap")).refusal, "");
}

// A sparse 1 GB file: refused by its size, without reading it.
TEST(CaptureFile, AGigabyteFileIsRefusedUnread) {
    const fs::path p = fs::temp_directory_path() / ("trx-big-" + std::to_string(::getpid()));
    {
        std::ofstream f(p, std::ios::binary);
        f << file_start(k_header);
    }
    fs::resize_file(p, 1ULL << 30);
    const Reader r = Reader::open(p);
    fs::remove(p);
    EXPECT_NE(r.refusal().find("too large"), std::string::npos) << r.refusal();
}

TEST(CaptureFile, ARingSavedStartsAtItsFirstRecord) {
    const std::vector<Record> kept{{Kind::received, 1'000'000, "ab"}, {Kind::sent, 1'500'000, "c"}};
    const Capture c = read_all(Reader::of_bytes(encode_capture(k_header, kept)));
    ASSERT_EQ(c.records.size(), 2U);
    EXPECT_EQ(c.records[0].time_us, 0U);
    EXPECT_EQ(c.records[1].time_us, 500'000U);
    EXPECT_EQ(c.records[1].data, "c");
}

} // namespace
} // namespace trx::capture

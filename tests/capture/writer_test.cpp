#include "capture/reader.hpp"
#include "capture/writer.hpp"

#include "tests/temp_path.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace trx::capture {
namespace {

namespace fs = std::filesystem;

const Header k_header{"trx81500 1.09", "COM1"};

using trx::test::temp_file;

// A disk that takes `room` bytes and then is full.
class FullAfter final : public FileSink {
public:
    static std::unique_ptr<FullAfter> create(const fs::path& p, std::size_t room) {
        std::error_code ec;
        return std::unique_ptr<FullAfter>(new FullAfter(create_file(p, ec), room));
    }

private:
    FullAfter(Opened opened, std::size_t room) : FileSink(std::move(opened)), room_(room) {}
    long write_some(int fd, const char* data, std::size_t size) override {
        if (room_ == 0) {
            errno = ENOSPC;
            return -1;
        }
        const std::size_t n = std::min(size, room_);
        room_ -= n;
        return FileSink::write_some(fd, data, n);
    }
    std::size_t room_;
};

// A disk that takes nothing until the test lets it.
class StuckSink final : public Sink {
public:
    std::error_code append(std::string_view bytes) override {
        release.get_future().wait();
        written += bytes;
        return {};
    }
    std::error_code sync() override { return {}; }
    std::promise<void> release;
    std::string written;
};

TEST(Writer, WhatIsAppendedIsInTheFileInOrder) {
    const fs::path p = temp_file("trx-writer-");
    std::error_code ec;
    {
        Writer w(FileSink::create(p, ec), k_header);
        ASSERT_FALSE(ec);
        for (std::uint64_t t = 0; t < 1000; ++t) {
            ASSERT_TRUE(w.append(t % 2 == 0 ? Kind::received : Kind::sent, t * 100,
                                 std::string(static_cast<std::size_t>(t % 40), char(t))));
        }
        EXPECT_FALSE(w.publish());
        EXPECT_EQ(w.stop(), "");
    }
    const Capture c = read_all(Reader::open(p));
    fs::remove(p);
    EXPECT_EQ(c.header.port_name, "COM1");
    ASSERT_EQ(c.records.size(), 1000U);
    EXPECT_EQ(c.records[999].time_us, 99'900U);
    EXPECT_EQ(c.records[999].data.size(), 999U % 40);
    EXPECT_EQ(c.stop_reason, "");
}

// Records copied in and records handed over in shared memory reach the file in the order
// given, on the file's time line, and the shared memory is let go once written.
TEST(Writer, CopiedAndSharedRecordsKeepTheirOrderAndCountFromTheOrigin) {
    const fs::path p = temp_file("trx-shared-");
    std::error_code ec;
    auto shared = std::make_shared<std::string>();
    append_raw(Kind::received, 5'000, "two", *shared);
    append_raw(Kind::received, 5'001, "three", *shared);
    const std::weak_ptr<std::string> watch = shared;
    {
        Writer w(FileSink::create(p, ec), k_header, Writer::k_default_queue, 4'000);
        ASSERT_FALSE(ec);
        ASSERT_TRUE(w.append(Kind::opened, 4'000, "COM1"));
        ASSERT_TRUE(w.append(Kind::received, 4'999, "one"));
        ASSERT_TRUE(w.append_shared(shared, *shared));
        shared.reset();
        ASSERT_TRUE(w.append(Kind::sent, 5'002, "four"));
        EXPECT_FALSE(w.publish());
        EXPECT_TRUE(watch.expired());
        EXPECT_EQ(w.stop(), "");
    }
    const Capture c = read_all(Reader::open(p));
    fs::remove(p);
    ASSERT_EQ(c.records.size(), 5U);
    const std::vector<std::string> data{"COM1", "one", "two", "three", "four"};
    const std::vector<std::uint64_t> times{0, 999, 1'000, 1'001, 1'002};
    for (std::size_t i = 0; i < data.size(); ++i) {
        EXPECT_EQ(c.records[i].data, data[i]);
        EXPECT_EQ(c.records[i].time_us, times[i]);
    }
    EXPECT_EQ(c.records.back().kind, Kind::sent);
    EXPECT_EQ(c.stop_reason, "");
}

// A full disk ends the recording with its reason; the file reads up to the cut.
TEST(Writer, AFullDiskEndsTheRecordingAndKeepsWhatWasWritten) {
    const fs::path p = temp_file("trx-full-");
    Writer w(FullAfter::create(p, 200), k_header);
    ASSERT_FALSE(w.publish()); // the header fits
    int accepted = 0;
    for (int i = 0; i < 100 && w.append(Kind::received, i, "0123456789"); ++i) {
        ++accepted;
        w.drain();
    }
    EXPECT_LT(accepted, 100);
    EXPECT_NE(w.stop().find("No space left on device"), std::string::npos) << w.failure();
    EXPECT_FALSE(w.append(Kind::received, 1000, "more"));
    const Capture c = read_all(Reader::open(p));
    fs::remove(p);
    EXPECT_EQ(c.refusal, "");
    EXPECT_GT(c.records.size(), 3U);
    EXPECT_NE(c.stop_reason, "");
    for (std::size_t i = 0; i < c.records.size(); ++i) {
        EXPECT_EQ(c.records[i].data, "0123456789");
    }
}

TEST(Writer, ADiskThatCannotKeepUpEndsTheRecordingAtOnce) {
    auto sink = std::make_unique<StuckSink>();
    StuckSink& stuck = *sink;
    Writer w(std::move(sink), k_header, 4096);
    bool refused = false;
    for (int i = 0; i < 1000 && !refused; ++i) {
        refused = !w.append(Kind::received, i, std::string(100, 'x')); // never waits
    }
    EXPECT_TRUE(refused);
    EXPECT_EQ(w.failure(), "The disk cannot keep up with the recording.");
    stuck.release.set_value();
    EXPECT_EQ(w.stop(), "The disk cannot keep up with the recording.");
    // Whatever the disk took before is a readable capture: whole records only.
    const Capture c = read_all(Reader::of_bytes(stuck.written));
    EXPECT_TRUE(stuck.written.empty() || (c.refusal.empty() && c.stop_reason.empty()));
}

TEST(Writer, AFolderThatCannotTakeTheFileSaysWhy) {
    std::error_code ec;
    EXPECT_EQ(FileSink::create("/nonexistent-folder/x.trxcap", ec), nullptr);
    EXPECT_EQ(ec, std::errc::no_such_file_or_directory);
}

std::string file_text(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::size_t files_in(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator{}));
}

// An earlier file of the name stays as it was until the new one is put in place: a recording
// that never started, or whose header did not fit on the disk, leaves it and no other file.
TEST(Writer, AnEarlierFileStaysUntilTheNewOneIsPutInPlace) {
    const fs::path folder = temp_file("trx-keep-");
    fs::create_directories(folder);
    const fs::path p = folder / "keep.trxcap";
    std::ofstream(p) << "the earlier recording";
    std::error_code ec;
    {
        Writer never(FileSink::create(p, ec), k_header);
        ASSERT_FALSE(ec);
        ASSERT_TRUE(never.append(Kind::received, 1, "x"));
        EXPECT_EQ(never.stop(), "");
    }
    EXPECT_EQ(file_text(p), "the earlier recording");
    EXPECT_EQ(files_in(folder), 1U);
    {
        Writer full(FullAfter::create(p, 3), k_header);
        EXPECT_EQ(full.publish(), std::errc::no_space_on_device);
    }
    EXPECT_EQ(file_text(p), "the earlier recording");
    EXPECT_EQ(files_in(folder), 1U);
    {
        Writer w(FileSink::create(p, ec), k_header);
        ASSERT_FALSE(w.publish());
        ASSERT_TRUE(w.append(Kind::received, 1, "after"));
        EXPECT_EQ(w.stop(), "");
    }
    const Capture c = read_all(Reader::open(p));
    ASSERT_EQ(c.records.size(), 1U);
    EXPECT_EQ(c.records[0].data, "after");
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::others_read, fs::perms::others_read);
    EXPECT_EQ(files_in(folder), 1U);
    fs::remove_all(folder);
}

// Only a new or a regular file is written; a link to a regular file writes the file it names
// and stays a link.
TEST(Writer, AFolderADeviceOrAPipeIsRefusedAndALinkKept) {
    const fs::path folder = temp_file("trx-odd-");
    fs::create_directories(folder);
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", folder / "null-link");
    fs::create_symlink(folder / "gone", folder / "dangling");
    for (const fs::path& odd :
         {folder, folder / "fifo", fs::path("/dev/null"), folder / "null-link"}) {
        std::error_code ec;
        EXPECT_EQ(FileSink::create(odd, ec), nullptr) << odd;
        EXPECT_EQ(ec.message(), "it is not a regular file (a folder, a device or a pipe)") << odd;
    }
    std::error_code ec;
    EXPECT_EQ(FileSink::create(folder / "dangling", ec), nullptr);
    EXPECT_EQ(ec.message(), "it is a symbolic link to no regular file");
    EXPECT_TRUE(fs::is_fifo(folder / "fifo"));

    std::ofstream(folder / "real.trxcap") << "old";
    fs::create_symlink(folder / "real.trxcap", folder / "link.trxcap");
    {
        Writer w(FileSink::create(folder / "link.trxcap", ec), k_header);
        ASSERT_FALSE(ec);
        ASSERT_FALSE(w.publish());
        EXPECT_EQ(w.stop(), "");
    }
    EXPECT_TRUE(fs::is_symlink(folder / "link.trxcap"));
    EXPECT_EQ(read_all(Reader::open(folder / "real.trxcap")).refusal, "");
    fs::remove_all(folder);
}

} // namespace
} // namespace trx::capture

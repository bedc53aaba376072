// "Record..." and "Save last 10 minutes..." over a file that is already there, or is no place
// for a capture: an earlier recording is never lost to one that could not be written.
#include "testkit/driver.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/status_frames.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>

namespace trx::main {
namespace {

namespace fs = std::filesystem;
using testkit::Driver;

constexpr const char* k_port = "main.Toolbar1.comport";
constexpr const char* k_save_recent = "main.StatusBar1.diagnostics.save_recent";
constexpr const char* k_record_start = "main.StatusBar1.diagnostics.record_start";

std::string content(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The files of the data folder but the service history's, which the program keeps there.
std::size_t files_in(const fs::path& folder) {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(folder)) {
        n += e.path().filename().string().starts_with("history") ? 0 : 1;
    }
    return n;
}

TEST(RecordingFiles, AFullDiskLeavesTheEarlierRecordingAsItWas) {
    Driver d;
    d.start();
    d.click(k_port);
    d.receive(testkit::parameter_reply(false));
    fs::create_directories(d.data_folder());
    const fs::path keep = d.data_folder() / "keep.trxcap";
    std::ofstream(keep) << "an earlier recording";
    d.disk_full();

    d.answer_save_dialog(keep.string());
    d.choose(k_record_start);
    EXPECT_FALSE(d.program().recording().recording());
    auto boxes = d.messages();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].text, "The recording cannot start: No space left on device.");
    EXPECT_EQ(content(keep), "an earlier recording");

    d.answer_save_dialog(keep.string());
    d.choose(k_save_recent);
    d.program().recording().settle();
    boxes = d.messages();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].text, "The last 10 minutes could not be saved: No space left on device.");
    EXPECT_EQ(content(keep), "an earlier recording");
    EXPECT_EQ(files_in(d.data_folder()), 1U); // no temporary file stays behind

    // With room on the disk the save replaces it, whole.
    d.disk_full(false);
    d.answer_save_dialog(keep.string());
    d.choose(k_save_recent);
    d.program().recording().settle();
    EXPECT_TRUE(d.messages().empty());
    EXPECT_TRUE(content(keep).starts_with("TRXCAP1\n"));
    EXPECT_EQ(files_in(d.data_folder()), 1U);
}

// A pipe chosen in the dialog would block the program for ever; it is refused at once.
TEST(RecordingFiles, APipeOrAFolderIsRefusedWithoutWaiting) {
    Driver d;
    d.start();
    d.click(k_port);
    fs::create_directories(d.data_folder());
    const fs::path fifo = d.data_folder() / "pipe.trxcap";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const fs::path& odd : {fifo, d.data_folder()}) {
        d.answer_save_dialog(odd.string());
        d.choose(k_record_start);
        EXPECT_FALSE(d.program().recording().recording());
        auto boxes = d.messages();
        ASSERT_EQ(boxes.size(), 1U);
        EXPECT_EQ(boxes[0].text, "The recording cannot start: it is not a regular file (a "
                                 "folder, a device or a pipe).");
        d.answer_save_dialog(odd.string());
        d.choose(k_save_recent);
        boxes = d.messages();
        ASSERT_EQ(boxes.size(), 1U);
        EXPECT_EQ(boxes[0].text, "The last 10 minutes could not be saved: it is not a regular "
                                 "file (a folder, a device or a pipe).");
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
}

} // namespace
} // namespace trx::main

// Dll_interface loading the real built library by path, and failing cleanly without it.
#include "flashlib/dll_interface.hpp"
#include "pty_target.hpp"
#include "sim_rig.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace trx::flash::testing {
namespace {

struct Progress {
    std::vector<FlashProgress> seen;
    static void record(void* self, const FlashProgress& p) {
        static_cast<Progress*>(self)->seen.push_back(p);
    }
};

struct LogLines {
    std::vector<std::pair<int, std::string>> seen;
    static void record(void* self, int level, const char* text) {
        static_cast<LogLines*>(self)->seen.emplace_back(level, text);
    }
    [[nodiscard]] bool has(int level, std::string_view start) const {
        return std::ranges::any_of(
            seen, [&](const auto& l) { return l.first == level && l.second.starts_with(start); });
    }
};

TEST(DllInterface, RunsAnUpdateThroughTheBuiltLibrary) {
    sim::FlashMemory memory(trx81500_layout());
    sim::FlashTarget target(memory);
    PtyTarget pty(target);
    Chunks image = code_chunk(0x6000, 0xA00, 21); // travels compressed
    image.merge(random_chunk(0x0000, 0x10, 22));  // with its reset vector
    TempHex hex(to_intel_hex(image));
    Dll_interface lib(TRXFLASH_PATH);
    Progress progress;
    lib.set_progress(&Progress::record, &progress);
    LogLines log; // set before the library is loaded: handed over when it is
    lib.set_log(&LogLines::record, &log);

    const UpdateRun run = run_update(lib, hex.path(), pty.device().c_str());
    pty.stop();

    ASSERT_TRUE(run.ok()) << run.failed_step << ": " << run.error;
    EXPECT_EQ(run.name.substr(0, 8), "FLASHMON");
    EXPECT_EQ(run.hz, 20'000'000.0);
    EXPECT_EQ(run.size, 0xA10);
    EXPECT_EQ(run.roms1, 1);
    EXPECT_EQ(run.block, 0b101);
    EXPECT_GT(target.counters().zrun_executed, 0U);
    for (std::size_t i = 0; i < 0xA00; ++i) {
        ASSERT_EQ(memory.read(0x6000 + static_cast<std::uint32_t>(i)), image.at(0x6000)[i]);
    }
    // Progress came through the library's callback: erase, program, verify, each complete.
    ASSERT_FALSE(progress.seen.empty());
    EXPECT_EQ(progress.seen.back().phase, FlashProgress::Phase::verify);
    // Ten blocks, and the reset vector's block without the vector (that goes after the CRCs).
    bool program_complete = false;
    for (const auto& p : progress.seen) {
        program_complete |= p.phase == FlashProgress::Phase::program && p.done == p.total &&
                            p.total == 0xA00 + 256 - 4;
    }
    EXPECT_TRUE(program_complete);
    // The library's log came through its callback, frame by frame.
    EXPECT_TRUE(log.has(0, "sent HELLO seq 1"));
    EXPECT_TRUE(log.has(0, "received HELLO_REPLY seq 1"));
    EXPECT_TRUE(log.has(0, "sent ZRUN seq "));
    EXPECT_TRUE(log.has(0, "sent GO seq "));
    EXPECT_TRUE(log.has(1, "connected to FLASHMON-TRX81500"));

    // Cut off: the next call says nothing.
    lib.set_log(nullptr, nullptr);
    const auto before = log.seen.size();
    EXPECT_EQ(lib.SetCom("/nonexistent/tty", 57600), 0);
    EXPECT_EQ(log.seen.size(), before);
}

TEST(DllInterface, TheLibrarysFailuresAreWarningsInItsLog) {
    Dll_interface lib(TRXFLASH_PATH);
    LogLines log;
    lib.set_log(&LogLines::record, &log);
    EXPECT_EQ(lib.SetCom("/nonexistent/tty", 57600), 0);
    EXPECT_TRUE(log.has(2, "failed: cannot open /nonexistent/tty")) << log.seen.size();
    lib.set_log(nullptr, nullptr);
}

TEST(DllInterface, PassesTheLibrarysReasonForAFailure) {
    Dll_interface lib(TRXFLASH_PATH);
    std::int32_t size = 0;
    EXPECT_EQ(lib.LoadFile("/nonexistent/x.h86", &size), 0);
    EXPECT_EQ(lib.last_error().rfind("LoadFile failed: cannot open /nonexistent/x.h86", 0), 0U)
        << lib.last_error();
    EXPECT_EQ(lib.CloseCom(), 1);
    EXPECT_EQ(lib.last_error(), "");
}

TEST(DllInterface, AMissingLibraryOrFunctionFailsThatCallOnly) {
    Dll_interface missing("/nonexistent/libtrxflash.so");
    EXPECT_EQ(missing.SetCom("COM1", 57600), 0);
    EXPECT_NE(missing.last_error().find("/nonexistent/libtrxflash.so cannot be loaded"),
              std::string::npos)
        << missing.last_error();
    EXPECT_NE(missing.CloseCom(), 1);

    Dll_interface by_name("libtrx-no-such-flash.so");
    char name[33] = "                                ";
    EXPECT_EQ(by_name.InitMonitor(name), 0);
    EXPECT_NE(by_name.last_error().find("libtrx-no-such-flash.so"), std::string::npos);

    // The partial library has no extras: the log callback goes nowhere, every call it has works.
    Dll_interface partial(PARTIAL_LIBRARY_PATH);
    LogLines log;
    partial.set_log(&LogLines::record, &log);
    EXPECT_EQ(partial.SetCom("COM1", 57600), 1);
    EXPECT_TRUE(log.seen.empty());
    // What the library lacks is a failure on this side, and the log says so.
    EXPECT_EQ(partial.InitMonitor(name), 0);
    ASSERT_EQ(log.seen.size(), 1U);
    EXPECT_TRUE(
        log.has(2, "failed: flash library " PARTIAL_LIBRARY_PATH " has no function InitMonitor"));
    EXPECT_NE(partial.last_error().find("has no function InitMonitor"), std::string::npos);
    double hz = 0;
    EXPECT_EQ(partial.AdjustCpuFrequency(&hz), 0);
    EXPECT_EQ(partial.CloseCom(), 1);
}

// An installed program finds its library from its own folder, wherever the prefix is; a bare
// name never reaches the loader's path (LD_LIBRARY_PATH, the system's folders).
TEST(DllInterface, ABareNameIsLookedForBesideTheProgramAndInItsPrivateFolderOnly) {
    const auto folders = Dll_interface::search_folders("/opt/tools/bin");
    ASSERT_EQ(folders.size(), 2U);
    EXPECT_EQ(folders[0], "/opt/tools/bin");
    EXPECT_EQ(folders[1].string().rfind("/opt/tools/lib/", 0), 0U) << folders[1];
    EXPECT_EQ(folders[1].filename(), "trx81500");
    EXPECT_TRUE(Dll_interface::search_folders("").empty());

    Dll_interface system_library("libc.so.6"); // on the loader's path, never ours
    EXPECT_EQ(system_library.SetCom("COM1", 57600), 0);
    EXPECT_NE(system_library.last_error().find("libc.so.6 not found in "), std::string::npos)
        << system_library.last_error();
}

TEST(DllInterface, TheEnvironmentNamesAnotherLibrary) {
    ::setenv(Dll_interface::k_name_variable, PARTIAL_LIBRARY_PATH, 1);
    Dll_interface lib;
    ::unsetenv(Dll_interface::k_name_variable);
    EXPECT_EQ(lib.name(), PARTIAL_LIBRARY_PATH);
    EXPECT_EQ(lib.SetCom("COM1", 57600), 1);
    EXPECT_EQ(Dll_interface().name(), "libtrxflash.so");
}

} // namespace
} // namespace trx::flash::testing

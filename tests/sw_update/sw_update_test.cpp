// The software update window driven as a technician would, with a fake flash library.
#include "fake_flash.hpp"

#include "flashlib/dll_interface.hpp"
#include "main/program.hpp"
#include "sw_update/sw_update_window.hpp"
#include "testkit/driver.hpp"
#include "testkit/fake_port.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/virtual_pump.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace trx::sw_update {
namespace {

using namespace std::chrono_literals;
using testing::FakeFlash;
using testkit::Driver;

constexpr std::uint32_t k_green = 0x00C000;
constexpr std::uint32_t k_red = 0xFF0000;
const std::string k_hex = "/home/service/firmware/trx81500_v2.h86";
// A firmware file that the program's own reader accepts: a reset vector and a little code.
const std::string k_good_hex = ":08000000FA000002E6F0CB005B\r\n:00000001FF\r\n";

// The lines of a successful run with the fake's answers, in order.
const std::vector<std::string> k_success_lines = {
    "Reseting Controller",
    "Send Bootstrap Comand",
    "OpenCom: COM3, 57600 Baud     Ok",
    "InitMonitor:     Ok",
    "Target: TRXSIM81  @   20000000 Hz",
    "LoadFile:  131072 Byte",
    "AutoROMS1: True",
    "GetHexFileBlock:  37",
    "EraseFlash:     Ok",
    "ProgramFlash:     Ok",
};

const std::vector<std::string> k_library_calls = {
    "SetCom",          "InitMonitor", "AdjustCpuFrequency", "LoadFile", "AutoROMS1",
    "GetHexFileBlock", "EraseFlash",  "ProgramFlash",       "CloseCom"};

// An image without an identity block: the log as it always was, after that one line.
const std::string k_no_identity = "Image: no identity\r\n";

std::string joined(const std::vector<std::string>& lines, std::size_t count) {
    std::string out = k_no_identity;
    for (std::size_t i = 0; i < count; ++i) {
        out += lines[i] + "\r\n";
    }
    return out;
}

// The technician picks a port on the toolbar, opens it and opens the update window.
void open_port_and_window(Driver& d, const char* com = "com3") {
    d.choose(std::string("main.Toolbar1.comport.") + com);
    d.click("main.Toolbar1.comport");
    d.click("main.Toolbar1.software");
    ASSERT_TRUE(d.visible("sw_update"));
}

class SwUpdate : public ::testing::Test {
protected:
    SwUpdate() {
        std::ofstream(hex, std::ios::binary) << k_good_hex;
        d.start();
        d.flash_library(lib);
        open_port_and_window(d);
        d.answer_file_dialog(hex);
        d.click("sw_update.openbutton");
    }

    SwUpdateForm& form() { return d.program().sw_update_form(); }
    testkit::FakeSerialPort& port() {
        return dynamic_cast<testkit::FakeSerialPort&>(d.program().services().port);
    }
    testkit::RecordedDialogs& dialogs() {
        return dynamic_cast<testkit::RecordedDialogs&>(d.program().services().dialogs);
    }
    std::string log() { return d.text("sw_update.status"); }

    // Program click and the two timer steps.
    void run() {
        d.click("sw_update.program");
        d.advance(1000ms);
    }

    // What a technician sees once a run is over, whatever its outcome.
    void expect_run_ended() {
        EXPECT_TRUE(d.enabled("sw_update.openbutton"));
        EXPECT_TRUE(d.enabled("sw_update.program"));
        EXPECT_FALSE(d.timer_enabled("sw_update.sw_timer_1"));
        EXPECT_FALSE(d.timer_enabled("sw_update.sw_timer_2"));
        for (const char* w : {"main", "para", "sw_update"}) {
            ui::Window* win = d.program().window(w);
            EXPECT_FALSE(win->busy()) << w;
            EXPECT_FALSE(win->input_blocked()) << w;
        }
        EXPECT_EQ(d.program().sw_update_window().state(), SwUpdateWindow::State::ready);
    }

    Driver d;
    const std::string hex = (d.program_folder() / "trx81500_v2.h86").string();
    std::shared_ptr<FakeFlash> lib = std::make_shared<FakeFlash>();
};

// ---------------------------------------------------------------- a good run

TEST_F(SwUpdate, ASuccessfulRunResetsBootstrapsFlashesAndTakesThePortBack) {
    (void)d.sent();
    d.click("sw_update.program");
    // Step 1: the file is checked, then "F" with its checksum goes out.
    EXPECT_EQ(log(), k_no_identity + "Reseting Controller\r\n");
    EXPECT_EQ(d.text_color("sw_update.status"), k_green);
    EXPECT_EQ(d.sent(), "\x02"
                        "F46\x03");
    EXPECT_EQ(d.program().shared().checksum_accumulator, 'F');
    EXPECT_TRUE(lib->calls.empty()) << "the file is checked by the program's own reader";
    EXPECT_FALSE(d.enabled("sw_update.openbutton"));
    EXPECT_FALSE(d.enabled("sw_update.program"));

    // Step 2, 500 ms later: the raw bootstrap string, then the main port is given up.
    d.advance(499ms);
    EXPECT_EQ(d.sent(), "");
    d.advance(1ms);
    EXPECT_EQ(d.sent(), "Quendel KG 14.03.1999");
    EXPECT_EQ(log(), joined(k_success_lines, 2));
    EXPECT_FALSE(d.port_open());
    EXPECT_EQ(d.text("main.Toolbar1.comport"), "Close COM3    ");
    EXPECT_FALSE(d.timer_enabled("sw_update.sw_timer_1"));
    EXPECT_TRUE(d.timer_enabled("sw_update.sw_timer_2"));

    // Step 3, 500 ms after that: the library steps back to back.
    d.advance(499ms);
    EXPECT_TRUE(lib->calls.empty());
    d.advance(1ms);
    EXPECT_EQ(log(), joined(k_success_lines, k_success_lines.size()) + "Programming finished");
    EXPECT_EQ(d.text_color("sw_update.status"), k_green);

    // Each of the nine once, in their order.
    EXPECT_EQ(lib->calls, k_library_calls);
    EXPECT_EQ(lib->com_port, "COM3");
    EXPECT_EQ(lib->com_baud, 57600);
    EXPECT_EQ(lib->name_on_entry, std::string(32, ' '));
    EXPECT_EQ(lib->loaded, std::vector<std::string>{hex});
    EXPECT_EQ(lib->flag_on_entry, 0);
    EXPECT_EQ(lib->block_on_entry, 0);
    EXPECT_EQ(lib->erased_block, 37);

    EXPECT_TRUE(d.port_open());
    EXPECT_EQ(d.port_name(), "COM3");
    EXPECT_EQ(port().port_name(), "COM3");
    EXPECT_EQ(d.text("main.Toolbar1.comport"), "Close COM3    ");
    EXPECT_TRUE(d.enabled("main.Toolbar1.software"));
    EXPECT_TRUE(d.messages().empty());
    expect_run_ended();
    EXPECT_EQ(d.text("sw_update.hexfilename"), hex);
}

TEST_F(SwUpdate, NumbersAndTheFlagFollowWhatTheLibraryReports) {
    lib->name = "ST10"; // shorter than 8: the rest stays blank
    lib->frequency = 16'000'000.0;
    lib->file_size = 0;
    lib->roms1 = 0;
    lib->block_value = -2;
    run();
    const std::string l = log();
    EXPECT_NE(l.find("\r\nTarget: ST10      @   16000000 Hz\r\n"), std::string::npos) << l;
    EXPECT_NE(l.find("\r\nLoadFile:  0 Byte\r\n"), std::string::npos) << l;
    EXPECT_NE(l.find("\r\nAutoROMS1: False\r\n"), std::string::npos) << l;
    EXPECT_NE(l.find("\r\nGetHexFileBlock: -2\r\n"), std::string::npos) << l;
    EXPECT_EQ(lib->erased_block, -2);
    EXPECT_EQ(d.program().shared().cpu_frequency, 16'000'000.0);
}

// While the library works, every window keeps still, each line is shown before the next
// call starts, and the progress bar (not the log) follows erase and program.
TEST_F(SwUpdate, WhileTheLibraryRunsTheWindowsTakeNoInputAndProgressShows) {
    lib->progress_steps = {{0, 4}, {1, 4}, {2, 4}};
    std::string log_at_program;
    int progress_at_program = -1;
    std::string label_at_program;
    // Each line must be painted before the next call blocks: a change not yet repainted
    // when the library is entered would stay invisible while it works.
    bool painted = true;
    const auto c1 = form().status.change.connect([&] { painted = false; });
    const auto c2 = form().status.repaint_requested.connect([&] { painted = true; });
    lib->during = [&](const std::string& call) {
        if (call == "CloseCom") {
            return;
        }
        EXPECT_TRUE(painted) << call;
        for (const char* w : {"main", "para", "sw_update"}) {
            EXPECT_TRUE(d.program().window(w)->busy()) << call << " " << w;
            EXPECT_TRUE(d.program().window(w)->input_blocked()) << call << " " << w;
        }
        if (call == "ProgramFlash") {
            log_at_program = log();
            progress_at_program = form().progress.value();
            label_at_program = d.text("sw_update.progress");
            // Nothing a technician does reaches the program now.
            d.click("sw_update.closebutton");
            d.activate("sw_update");
            d.click("sw_update.program");
            d.close("sw_update");
        }
    };
    d.click("sw_update.program");
    EXPECT_FALSE(form().progress.visible());
    d.advance(1000ms);

    EXPECT_EQ(log_at_program, joined(k_success_lines, 9));
    EXPECT_EQ(progress_at_program, 500); // the erase phase's last report
    EXPECT_EQ(label_at_program, "Erasing  50 %");
    EXPECT_TRUE(d.visible("sw_update"));
    EXPECT_EQ(log(), joined(k_success_lines, k_success_lines.size()) + "Programming finished");
    EXPECT_TRUE(form().progress.visible());
    EXPECT_EQ(form().progress.value(), form().progress.maximum());
    EXPECT_EQ(d.text("sw_update.progress"), "100 %");
    EXPECT_EQ(lib->progress_fn, nullptr); // no reports into a finished run
    expect_run_ended();
}

// ---------------------------------------------------------------- failures

struct FailureRow {
    const char* call;
    std::int32_t result;
    std::size_t lines_before; // lines of a good run written before the failing step
    const char* error_line;
};

const FailureRow k_failure_table[] = {
    {"SetCom", 0, 2, "OpenCom:     Error"},
    {"InitMonitor", -1, 3, "InitMonitor:     Error"},
    {"AdjustCpuFrequency", 2, 4, "Target: TRXSIM81  @  ???????? Hz"},
    {"LoadFile", 0, 5, "LoadFile:     Error"},
    {"AutoROMS1", 0, 6, "AutoROMS1:     Error"},
    {"GetHexFileBlock", 3, 7, "GetHexFileBlock:     Error"},
    {"EraseFlash", 0, 8, "EraseFlash:     Error"},
    {"ProgramFlash", -5, 9, "ProgramFlash:     Error"},
};

// The library's rate for the transfer is a line of the log after the step that chose it, not
// a step of the progress bar.
TEST_F(SwUpdate, TheRateOfTheTransferIsLoggedAfterTheStepThatChoseIt) {
    lib->during = [&](const std::string& call) {
        if (call == "InitMonitor" && lib->progress_fn != nullptr) {
            lib->progress_fn(lib->progress_context, {FlashProgress::Phase::rate, 230400, 0});
        }
    };
    d.click("sw_update.program");
    d.advance(2000ms);
    const std::string l = log();
    EXPECT_NE(l.find("InitMonitor:     Ok\r\nTransfer at 230400 baud\r\nTarget: TRXSIM81"),
              std::string::npos)
        << l;
    EXPECT_EQ(l.find("Transfer at"), l.rfind("Transfer at")) << "once";
    EXPECT_NE(l.find("Programming finished"), std::string::npos) << l;
}

TEST_F(SwUpdate, EachFailingStepEndsTheRunInRedAndStillHandsThePortBack) {
    for (const FailureRow& row : k_failure_table) {
        SCOPED_TRACE(row.call);
        lib = std::make_shared<FakeFlash>();
        lib->results[row.call] = {row.result};
        d.flash_library(lib);
        run();

        EXPECT_EQ(log(), joined(k_success_lines, row.lines_before) + row.error_line +
                             "\r\nProgramming aborted");
        EXPECT_EQ(d.text_color("sw_update.status"), k_red);
        // The steps after the failed one are not called; CloseCom always is.
        const auto failed = std::find(k_library_calls.begin(), k_library_calls.end(), row.call);
        std::vector<std::string> expected(k_library_calls.begin(), failed + 1);
        expected.emplace_back("CloseCom");
        EXPECT_EQ(lib->calls, expected);
        EXPECT_TRUE(d.port_open());
        EXPECT_TRUE(d.messages().empty());
        expect_run_ended();
        EXPECT_EQ(d.text("sw_update.hexfilename"), hex);
    }
}

// The program's own library deleted after installing: nothing beside the test program either.
TEST_F(SwUpdate, AMissingFlashLibraryFailsOpenComAndNamesTheFileItLookedFor) {
    d.flash_library(std::make_shared<flash::Dll_interface>());
    run();
    EXPECT_EQ(log(), joined(k_success_lines, 2) + "OpenCom:     Error\r\nProgramming aborted");
    EXPECT_EQ(d.text_color("sw_update.status"), k_red);
    const std::string detail = d.text("sw_update.progress");
    EXPECT_NE(detail.find("libtrxflash.so not found in "), std::string::npos) << detail;
    // Both places: beside the program and its private folder of an installed layout.
    EXPECT_NE(detail.find("/trx81500"), std::string::npos) << detail;
    EXPECT_TRUE(d.port_open());
    expect_run_ended();
}

TEST_F(SwUpdate, AFreshRunAfterAFailedOneStartsGreenWithAnEmptyLog) {
    lib->results["EraseFlash"] = {0};
    run();
    ASSERT_EQ(d.text_color("sw_update.status"), k_red);

    std::vector<std::string> seen;
    const auto c3 = form().status.change.connect([&] { seen.push_back(log()); });
    d.click("sw_update.program");
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), "");
    EXPECT_EQ(log(), k_no_identity + "Reseting Controller\r\n");
    EXPECT_EQ(d.text_color("sw_update.status"), k_green);
    d.advance(1000ms);
    EXPECT_EQ(log(), joined(k_success_lines, k_success_lines.size()) + "Programming finished");
    EXPECT_EQ(lib->name_on_entry, std::string(32, ' '));
}

// Why a step failed shows beside the log, whether the library says it or throws it.
TEST_F(SwUpdate, TheReasonForAFailedStepShowsBesideTheLog) {
    lib->results["ProgramFlash"] = {0};
    lib->error_text = "block 0x01F000: verify failed";
    run();
    EXPECT_EQ(d.text("sw_update.progress"), "block 0x01F000: verify failed");
    EXPECT_TRUE(form().progress.visible());
    EXPECT_EQ(log(), joined(k_success_lines, 9) + "ProgramFlash:     Error\r\nProgramming aborted");

    lib->error_text.clear();
    lib->throws_in = "EraseFlash";
    run();
    EXPECT_EQ(log(), joined(k_success_lines, 8) + "EraseFlash:     Error\r\nProgramming aborted");
    EXPECT_EQ(d.text("sw_update.progress"), "library fault in EraseFlash");
    EXPECT_EQ(lib->calls.back(), "CloseCom");
    expect_run_ended();
    EXPECT_TRUE(d.port_open());
}

// ---------------------------------------------------------------- the buttons

TEST(SwUpdateFile, ProgramNeedsAFileAndACancelledDialogKeepsThePath) {
    Driver d;
    d.start();
    open_port_and_window(d);
    d.activate("sw_update");
    EXPECT_FALSE(d.enabled("sw_update.program"));

    d.answer_file_dialog("");
    d.click("sw_update.openbutton");
    EXPECT_EQ(d.text("sw_update.hexfilename"), "");
    EXPECT_FALSE(d.enabled("sw_update.program"));

    d.answer_file_dialog(k_hex);
    d.click("sw_update.openbutton");
    EXPECT_EQ(d.text("sw_update.hexfilename"), k_hex);
    EXPECT_TRUE(d.enabled("sw_update.program"));

    d.answer_file_dialog("");
    d.click("sw_update.openbutton");
    EXPECT_EQ(d.text("sw_update.hexfilename"), k_hex);
    EXPECT_TRUE(d.enabled("sw_update.program"));

    auto& dialogs = dynamic_cast<testkit::RecordedDialogs&>(d.program().services().dialogs);
    ASSERT_EQ(dialogs.file_requests().size(), 3U);
    const ui::FileDialogRequest& r = dialogs.file_requests().back();
    EXPECT_EQ(r.title, "Open Hexfile*");
    EXPECT_EQ(r.filter, "Hexfiles (*.h86)|*.H86|all files (*.*)|*.*");
    EXPECT_EQ(r.default_ext, ".h86");
    EXPECT_EQ(r.initial_path, k_hex);
}

TEST(SwUpdateFile, ActivationEnablesProgramForTheFileRememberedFromLastTime) {
    Driver d;
    const auto hex = d.program_folder() / "last.h86";
    std::ofstream(hex) << ":00000001FF\r\n";
    std::ofstream(d.program_folder() / "TRX81500.ini") << hex.string() << "\r\n";
    d.start();
    EXPECT_EQ(d.text("sw_update.hexfilename"), hex.string());
    EXPECT_FALSE(d.enabled("sw_update.program"));
    open_port_and_window(d);
    d.activate("sw_update");
    EXPECT_TRUE(d.enabled("sw_update.program"));
}

TEST_F(SwUpdate, NoSecondRunStartsWhileOneIsUnderWay) {
    (void)d.sent();
    d.click("sw_update.program");
    for (int half_second = 0; half_second < 2; ++half_second) {
        // An activation in between must not offer the button again.
        d.activate("sw_update");
        EXPECT_FALSE(d.enabled("sw_update.program"));
        EXPECT_FALSE(d.enabled("sw_update.openbutton"));
        d.click("sw_update.program");
        d.advance(500ms);
    }
    EXPECT_EQ(d.sent(), "\x02"
                        "F46\x03"
                        "Quendel KG 14.03.1999");
    EXPECT_EQ(std::count(lib->calls.begin(), lib->calls.end(), "SetCom"), 1);
    EXPECT_EQ(log(), joined(k_success_lines, k_success_lines.size()) + "Programming finished");
}

TEST_F(SwUpdate, HidingTheWindowDoesNotStopARun) {
    d.click("sw_update.program");
    d.advance(300ms);
    d.click("sw_update.closebutton");
    EXPECT_FALSE(d.visible("sw_update"));
    d.advance(700ms);
    EXPECT_EQ(log(), joined(k_success_lines, k_success_lines.size()) + "Programming finished");
    EXPECT_TRUE(d.port_open());
    EXPECT_FALSE(d.visible("sw_update"));

    // Shown again, the window holds the file and the last log.
    d.click("main.Toolbar1.software");
    d.activate("sw_update");
    EXPECT_EQ(d.text("sw_update.hexfilename"), hex);
    EXPECT_TRUE(d.enabled("sw_update.program"));
}

// ---------------------------------------------------------------- what the original left open

// The program's own reader refuses a bad file before anything goes to the scanner: none of the
// library's functions is called, and the reason with its line shows beside the log.
TEST_F(SwUpdate, ABadFileStopsTheRunBeforeTheScannerIsResetAndCallsNoLibraryFunction) {
    const std::string fifo = (d.program_folder() / "chosen-by-mistake.h86").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::pair<std::string, std::string>> files = {
        {":0400000001020304F3\r\n:00000001FF\r\n", "line 1: bad checksum"},
        {":04010000010203040\r\n", "line 1: wrong length"},
        {":0401000001020304F1\r\n:00000001FF\r\n", "line 2: no reset vector"},
        {":08000000FA000002E6F0CB005B\r\n", "line 2: missing end record"},
    };
    auto expect_refused = [&](const std::string& path, const std::string& reason) {
        SCOPED_TRACE(reason);
        d.answer_file_dialog(path);
        d.click("sw_update.openbutton");
        (void)d.sent();
        d.click("sw_update.program");
        EXPECT_EQ(log(), "LoadFile:     Error\r\nProgramming aborted");
        EXPECT_EQ(d.text_color("sw_update.status"), k_red);
        EXPECT_NE(d.text("sw_update.progress").find(reason), std::string::npos)
            << d.text("sw_update.progress");
        EXPECT_TRUE(form().progress.visible());
        expect_run_ended();
        d.advance(2000ms);
        EXPECT_EQ(d.sent(), "");
        EXPECT_TRUE(d.port_open());
        EXPECT_TRUE(lib->calls.empty());
    };
    for (const auto& [text, reason] : files) {
        std::ofstream(hex, std::ios::binary | std::ios::trunc) << text;
        expect_refused(hex, reason);
    }
    expect_refused(fifo, "is not a regular file");
    expect_refused("/dev/zero", "is not a regular file");
    expect_refused((d.program_folder() / "gone.h86").string(), "cannot open");
}

TEST_F(SwUpdate, WithoutAFlashLibraryNothingIsSent) {
    d.flash_library(nullptr);
    (void)d.sent();
    run();
    EXPECT_EQ(log(), "LoadFile:     Error\r\nProgramming aborted");
    EXPECT_EQ(d.sent(), "");
    EXPECT_FALSE(d.text("sw_update.progress").empty());
    expect_run_ended();
}

TEST_F(SwUpdate, AResetThatCannotBeWrittenAbortsAndFreesTheButtons) {
    d.pull_device(); // the adapter was pulled while the window was open
    d.click("sw_update.program");
    EXPECT_EQ(log(), k_no_identity + "Reseting Controller\r\nProgramming aborted");
    EXPECT_EQ(d.text_color("sw_update.status"), k_red);
    expect_run_ended();
    d.advance(2000ms);
    EXPECT_TRUE(lib->calls.empty());
}

TEST_F(SwUpdate, ABootstrapStringThatCannotBeWrittenAbortsAndFreesTheButtons) {
    d.click("sw_update.program");
    d.advance(200ms);
    d.pull_device();
    d.advance(300ms);
    EXPECT_EQ(log(), k_no_identity +
                         "Reseting Controller\r\nSend Bootstrap Comand\r\nProgramming aborted");
    EXPECT_EQ(d.text_color("sw_update.status"), k_red);
    expect_run_ended();
    d.advance(2000ms);
    EXPECT_TRUE(lib->calls.empty());
    // The port was lost, not handed over: the window does not reopen it behind the
    // toolbar's back.
    EXPECT_FALSE(d.port_open());
}

// From "F" to the common end the run closes and reopens the main port: the port button
// takes no click meanwhile, so the toolbar cannot come to show a port closed that the run
// then opens again.
TEST_F(SwUpdate, ThePortButtonRestsWhileTheRunHoldsThePort) {
    d.click("sw_update.program");
    for (int step = 0; step < 2; ++step) {
        EXPECT_FALSE(d.enabled("main.Toolbar1.comport")) << step;
        d.click("main.Toolbar1.comport");
        EXPECT_EQ(d.text("main.Toolbar1.comport"), "Close COM3    ") << step;
        d.advance(500ms);
    }
    EXPECT_TRUE(d.port_open());
    EXPECT_TRUE(d.enabled("main.Toolbar1.comport"));
    expect_run_ended();
    // A run that the pulled adapter ends frees the button as well; the toolbar shows the port
    // closed.
    d.click("sw_update.program");
    d.pull_device();
    d.advance(1000ms);
    EXPECT_TRUE(d.enabled("main.Toolbar1.comport"));
    EXPECT_EQ(d.text("main.Toolbar1.comport"), "Open COM3    ");
    EXPECT_FALSE(d.port_open());
}

TEST_F(SwUpdate, AMainPortThatCannotBeReopenedIsReportedAndShownClosed) {
    d.click("sw_update.program");
    d.advance(500ms);
    d.port_missing("COM3", "The device /dev/ttyS2 does not exist.");
    d.advance(500ms);

    EXPECT_EQ(log(), joined(k_success_lines, k_success_lines.size()) + "Programming finished");
    EXPECT_FALSE(d.port_open());
    const auto boxes = d.messages();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].text, "COM-Port not available");
    EXPECT_EQ(boxes[0].title, "COM-Port");
    EXPECT_EQ(boxes[0].detail, "The device /dev/ttyS2 does not exist.");
    // The toolbar no longer claims an open port, and offers to open it again.
    EXPECT_EQ(d.text("main.Toolbar1.comport"), "Open COM3    ");
    EXPECT_FALSE(d.enabled("main.Toolbar1.software"));
    EXPECT_TRUE(d.enabled("main.Toolbar1.comport.com5"));
    expect_run_ended();
}

} // namespace
} // namespace trx::sw_update

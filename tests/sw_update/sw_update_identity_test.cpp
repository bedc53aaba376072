// The update window and the image's identity: shown beside the path and first in the log,
// refused before anything is sent when it is damaged or for the other type, asked about when
// it is not newer than the scanner's; and Verify, which reaches the loader and writes nothing.
#include "fake_flash.hpp"

#include "flashlib/hex_reader.hpp"
#include "flashlib/hex_writer.hpp"
#include "flashlib/image_identity.hpp"
#include "history_window/history_form.hpp"
#include "link/frame.hpp"
#include "main/program.hpp"
#include "testkit/driver.hpp"
#include "testkit/recorded_dialogs.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace trx::sw_update {
namespace {

using namespace std::chrono_literals;
using testing::FakeFlash;

const std::string k_good_hex = ":08000000FA000002E6F0CB005B\r\n:00000001FF\r\n";
// A "W" reply of a ZA scanner running version 1.09.
const std::string k_za_109_reply = link::build_frame('W', "0012AB34006D007D00020003");

std::string stamped(std::uint8_t types, std::uint16_t version) {
    const flash::HexResult plain = flash::parse_intel_hex(k_good_hex, flash::trx81500_layout(), 0);
    flash::ImageIdentity id;
    id.types = types;
    id.version = version;
    id.date = {2026, 12, 1};
    std::string why;
    const auto image =
        flash::stamp_identity(plain.image, id, std::nullopt, flash::trx81500_layout(), why);
    return flash::write_intel_hex(*image);
}

class SwUpdateImage : public ::testing::Test {
protected:
    void open_with(const std::string& hex_text) {
        std::ofstream(hex, std::ios::binary | std::ios::trunc) << hex_text;
        d.start();
        d.flash_library(lib);
        d.choose("main.Toolbar1.comport.com3");
        d.click("main.Toolbar1.comport");
        d.receive(k_za_109_reply);
        d.click("main.Toolbar1.software");
        d.answer_file_dialog(hex);
        d.click("sw_update.openbutton");
        (void)d.sent();
    }
    testkit::RecordedDialogs& dialogs() {
        return dynamic_cast<testkit::RecordedDialogs&>(d.program().services().dialogs);
    }
    std::string log() { return d.text("sw_update.status"); }
    // Nothing reached the scanner and the library was not touched.
    void expect_nothing_sent() {
        d.advance(2000ms);
        EXPECT_EQ(d.sent(), "");
        EXPECT_TRUE(lib->calls.empty());
        EXPECT_TRUE(d.port_open());
        EXPECT_TRUE(d.enabled("sw_update.program"));
        EXPECT_TRUE(d.enabled("sw_update.cmd_verify"));
    }

    testkit::Driver d;
    const std::string hex = (d.program_folder() / "fw.h86").string();
    std::shared_ptr<FakeFlash> lib = std::make_shared<FakeFlash>();
};

TEST_F(SwUpdateImage, ANewerImageForTheTypeShowsItsIdentityAndGoesIn) {
    open_with(stamped(flash::k_for_za, 110));
    EXPECT_EQ(d.text("sw_update.image_identity").rfind("ZA, version 1.10, built 2026-12-01", 0), 0U)
        << d.text("sw_update.image_identity");
    d.click("sw_update.program");
    d.advance(1000ms);
    EXPECT_EQ(log().rfind("Image: ZA, version 1.10, built 2026-12-01, CRC 0x", 0), 0U) << log();
    EXPECT_NE(log().find("Programming finished"), std::string::npos);
    EXPECT_EQ(lib->calls.size(), 9U);
    EXPECT_TRUE(dialogs().questions().empty());
}

TEST_F(SwUpdateImage, AnImageForTheOtherTypeIsRefusedWithBothTypesAndNothingIsSent) {
    open_with(stamped(flash::k_for_ya, 120));
    d.click("sw_update.program");
    const auto boxes = d.messages();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_NE(boxes[0].text.find("for type YA"), std::string::npos) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("scanner is type ZA"), std::string::npos) << boxes[0].text;
    expect_nothing_sent();
    EXPECT_NE(log().find("Programming aborted"), std::string::npos);
}

TEST_F(SwUpdateImage, ADamagedImageIsRefused) {
    std::string text = stamped(flash::k_for_any, 120);
    // The first data byte changed, its record's checksum made right again: the reader takes
    // it, the identity's CRC does not.
    ASSERT_EQ(text.substr(0, 11), ":08000000FA");
    text.replace(9, 2, "FB");
    text.replace(text.find("\r\n") - 2, 2, "5A");
    open_with(text);
    EXPECT_NE(d.text("sw_update.image_identity").find("the image's is"), std::string::npos)
        << d.text("sw_update.image_identity");
    d.click("sw_update.program");
    const auto boxes = d.messages();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_NE(boxes[0].text.find("damaged"), std::string::npos) << boxes[0].text;
    expect_nothing_sent();
}

TEST_F(SwUpdateImage, TheSameVersionIsAskedAboutAndNoSendsNothingWhileYesGoesOn) {
    open_with(stamped(flash::k_for_any, 109));
    d.click("sw_update.program"); // the queued answer is none: No
    ASSERT_EQ(dialogs().questions().size(), 1U);
    EXPECT_NE(dialogs().questions()[0].text.find("is the one the scanner runs"), std::string::npos);
    EXPECT_EQ(dialogs().questions()[0].icon, ui::Icon::question);
    expect_nothing_sent();

    dialogs().answer_question(true);
    d.click("sw_update.program");
    d.advance(1000ms);
    EXPECT_NE(log().find("Programming finished"), std::string::npos);
    EXPECT_EQ(lib->calls.size(), 9U);
}

TEST_F(SwUpdateImage, VerifyReachesTheLoaderComparesAndWritesNothing) {
    open_with(k_good_hex);
    EXPECT_EQ(d.text("sw_update.image_identity"), "no identity");
    lib->differing_sectors = 0b1000;
    d.click("sw_update.cmd_verify");
    EXPECT_EQ(d.sent(), "\x02"
                        "F46\x03");
    d.advance(1000ms);
    EXPECT_EQ(lib->calls, (std::vector<std::string>{"SetCom", "InitMonitor", "AdjustCpuFrequency",
                                                    "LoadFile", "VerifyFlash", "CloseCom"}));
    EXPECT_EQ(lib->erased_block, -1);
    EXPECT_NE(log().find("VerifyFlash:     differs in sector 3 (0x008000, 32 KiB)\r\nVerify "
                         "finished"),
              std::string::npos)
        << log();
    EXPECT_TRUE(d.port_open());
    EXPECT_TRUE(d.enabled("sw_update.cmd_verify"));
}

// "Keep the current firmware first": the flash read back in the update's own run, once the
// loader answered and before LoadFile, and kept beside the scanner's backups; chosen in
// "Backups...", the kept file goes to the update window.
TEST_F(SwUpdateImage, TheCurrentFirmwareIsKeptInTheRunAndComesBackThroughBackups) {
    open_with(k_good_hex);
    EXPECT_FALSE(d.checked("sw_update.keep_firmware"));
    d.click("sw_update.keep_firmware");
    d.click("sw_update.program");
    d.advance(1000ms);
    EXPECT_EQ(lib->calls,
              (std::vector<std::string>{"SetCom", "InitMonitor", "AdjustCpuFrequency", "ReadFlash",
                                        "LoadFile", "AutoROMS1", "GetHexFileBlock", "EraseFlash",
                                        "ProgramFlash", "CloseCom"}));
    const auto folder = d.data_folder() / "backups" / "1223476";
    std::vector<std::filesystem::path> kept;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        if (e.path().filename().string().ends_with("-firmware.h86")) {
            kept.push_back(e.path());
        }
    }
    ASSERT_EQ(kept.size(), 1U);
    EXPECT_NE(log().find("ReadFlash:  262144 Byte\r\nFirmware kept in " + kept[0].string() +
                         "\r\nLoadFile:"),
              std::string::npos)
        << log();
    const flash::HexResult back = flash::read_firmware_file(kept[0].string());
    ASSERT_TRUE(back.ok()) << back.error.message;
    EXPECT_EQ(back.image.size(), 0x40000U);
    EXPECT_EQ(back.image.at(0x12345), 0x45);

    d.click("sw_update.closebutton");
    for (int i = 0; i < 4; ++i) { // the link online again, so the parameter window opens
        d.receive(link::build_frame('Q', ""));
        d.advance(500ms);
    }
    d.click("main.Toolbar1.parameter");
    d.receive(k_za_109_reply);
    ASSERT_TRUE(d.enabled("para.cmd_backups"));
    d.answer_file_dialog(kept[0].string());
    d.click("para.cmd_backups");
    EXPECT_TRUE(d.messages().empty());
    EXPECT_TRUE(d.visible("sw_update"));
    EXPECT_EQ(d.text("sw_update.hexfilename"), kept[0].string());
    EXPECT_EQ(d.text("sw_update.image_identity"), "no identity");
    EXPECT_TRUE(d.enabled("sw_update.program"));
}

TEST_F(SwUpdateImage, AFlashThatCannotBeReadBackIsNotErased) {
    open_with(k_good_hex);
    d.click("sw_update.keep_firmware");
    lib->results["ReadFlash"] = {0};
    lib->error_text = "no answer to READ";
    d.click("sw_update.program");
    d.advance(1000ms);
    EXPECT_EQ(lib->calls.back(), "CloseCom");
    EXPECT_EQ(std::count(lib->calls.begin(), lib->calls.end(), "EraseFlash"), 0);
    EXPECT_NE(log().find("Programming aborted"), std::string::npos) << log();
    EXPECT_NE(d.text("sw_update.failure_reason").find("no answer to READ"), std::string::npos);
    EXPECT_TRUE(d.port_open());
}

TEST_F(SwUpdateImage, WithoutTheScannersSerialNumberNothingIsKeptAndNothingSent) {
    std::ofstream(hex, std::ios::binary | std::ios::trunc) << k_good_hex;
    d.start();
    d.flash_library(lib);
    d.choose("main.Toolbar1.comport.com3");
    d.click("main.Toolbar1.comport"); // no "W" reply: the serial number is not known
    d.click("main.Toolbar1.software");
    d.answer_file_dialog(hex);
    d.click("sw_update.openbutton");
    d.click("sw_update.keep_firmware");
    (void)d.sent();
    d.click("sw_update.program");
    const auto boxes = d.messages();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_NE(boxes[0].text.find("no serial number"), std::string::npos) << boxes[0].text;
    expect_nothing_sent();
}

// Each run that reset the scanner is in the service history, with the serial number of the
// scanner it was for; a refused one is not.
TEST_F(SwUpdateImage, RunsThatReachedTheScannerAreInTheHistory) {
    open_with(stamped(flash::k_for_za, 110));
    d.click("sw_update.program");
    d.advance(1000ms);
    d.receive(k_za_109_reply);
    d.click("sw_update.cmd_verify");
    d.advance(1000ms);
    lib->results["EraseFlash"] = {0};
    lib->error_text = "sector 0 will not erase";
    d.click("sw_update.program");
    d.advance(1000ms);
    ASSERT_NE(log().find("Programming aborted"), std::string::npos) << log();
    std::ofstream(hex, std::ios::binary | std::ios::trunc) << stamped(flash::k_for_ya, 120);
    d.click("sw_update.program"); // refused: the other type
    (void)d.messages();

    d.choose("main.StatusBar1.diagnostics.history");
    ASSERT_TRUE(d.visible("history"));
    EXPECT_EQ(d.text("history.serial"), "1223476");
    // The firmware runs, newest first; the backups before each update and the reads are
    // there too.
    std::vector<std::string> runs;
    for (int row = 1;; ++row) {
        const std::string kind = d.cell("history.entries", row, history_window::col_kind);
        if (kind.empty()) {
            break;
        }
        if (kind == "update" || kind == "verify") {
            runs.push_back(kind + " " + d.cell("history.entries", row, history_window::col_ok) +
                           " " + d.cell("history.entries", row, history_window::col_what));
        }
    }
    EXPECT_EQ(runs, (std::vector<std::string>{"update no " + hex + ": sector 0 will not erase",
                                              "verify yes " + hex, "update yes " + hex}));
}

} // namespace
} // namespace trx::sw_update

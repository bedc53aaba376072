// The update window and the image's identity: shown beside the path and first in the log,
// refused before anything is sent when it is damaged or for the other type, asked about when
// it is not newer than the scanner's; and Verify, which reaches the loader and writes nothing.
#include "fake_flash.hpp"

#include "flashlib/hex_reader.hpp"
#include "flashlib/hex_writer.hpp"
#include "flashlib/image_identity.hpp"
#include "link/frame.hpp"
#include "main/program.hpp"
#include "testkit/driver.hpp"
#include "testkit/recorded_dialogs.hpp"

#include <gtest/gtest.h>

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
        // The link comes up at the first tick and asks for the identity ("L", answered) and
        // the set ("R"); what the update sends is counted after that.
        d.receive(k_za_109_reply);
        d.advance(500ms);
        d.receive(k_za_109_reply);
        d.advance(500ms);
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

} // namespace
} // namespace trx::sw_update

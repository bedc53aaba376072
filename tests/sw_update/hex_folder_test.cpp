// Where the hex file dialog opens: the last hex file, else the folder of the demo firmware that
// came with the program (installed under share/, or in a build tree), else the dialog's choice.
#include "platform/std_files.hpp"
#include "sw_update/hex_folder.hpp"
#include "testkit/driver.hpp"
#include "testkit/recorded_dialogs.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

namespace trx::sw_update {
namespace {

namespace fs = std::filesystem;

class HexFolder : public ::testing::Test {
protected:
    HexFolder()
        : root(fs::temp_directory_path() / ("trx_hex_folder_" + std::to_string(::getpid()))) {
        fs::remove_all(root);
    }
    ~HexFolder() override { fs::remove_all(root); }
    HexFolder(const HexFolder&) = delete;
    HexFolder& operator=(const HexFolder&) = delete;
    HexFolder(HexFolder&&) = delete;
    HexFolder& operator=(HexFolder&&) = delete;

    void put_demo(const fs::path& folder) const {
        fs::create_directories(folder);
        std::ofstream(folder / k_demo_firmware_name) << ":00000001FF\n";
    }

    fs::path root;
    const std::vector<fs::path> layouts{"../share/trx81500", "../sim"};
};

TEST_F(HexFolder, FindsTheDemoFirmwareOfTheInstalledLayoutFirstThenOfABuildTree) {
    fs::create_directories(root / "usr" / "bin");
    put_demo(root / "usr" / "share" / "trx81500");
    const platform::StdFiles installed(root / "usr" / "bin");
    EXPECT_EQ(demo_firmware_folder(installed, layouts), root / "usr" / "share" / "trx81500");

    fs::create_directories(root / "build" / "app");
    put_demo(root / "build" / "sim");
    fs::create_directories(root / "build" / "share" / "trx81500"); // the folder, but no image
    const platform::StdFiles build_tree(root / "build" / "app");
    EXPECT_EQ(demo_firmware_folder(build_tree, layouts), root / "build" / "sim");

    fs::create_directories(root / "portable");
    const platform::StdFiles without(root / "portable");
    EXPECT_EQ(demo_firmware_folder(without, layouts), fs::path());
}

TEST(HexDialogStart, TheLastHexFileComesFirstThenTheDemoFolderThenNothing) {
    EXPECT_EQ(hex_dialog_start("/srv/fw/v2.h86", "/usr/share/trx81500"), "/srv/fw/v2.h86");
    EXPECT_EQ(hex_dialog_start("", "/usr/share/trx81500"), "/usr/share/trx81500/");
    EXPECT_EQ(hex_dialog_start("", ""), "");
}

// The program itself: its update window's dialog opens in the build tree's demo folder until
// a hex file was chosen, and at that file from then on.
TEST_F(HexFolder, TheUpdateWindowsDialogOpensInTheDemoFolderUntilAFileWasChosen) {
    put_demo(root / "sim");
    testkit::Driver d({.program_folder = root / "app"});
    d.start();
    d.click("main.Toolbar1.comport");
    d.click("main.Toolbar1.software");
    ASSERT_TRUE(d.visible("sw_update"));
    const fs::path chosen = root / "mine" / "v3.h86";
    d.answer_file_dialog(chosen.string());
    d.click("sw_update.openbutton");
    d.answer_file_dialog("");
    d.click("sw_update.openbutton");

    auto& dialogs = dynamic_cast<testkit::RecordedDialogs&>(d.program().services().dialogs);
    ASSERT_EQ(dialogs.file_requests().size(), 2U);
    EXPECT_EQ(dialogs.file_requests()[0].initial_path, (root / "sim").string() + "/");
    EXPECT_EQ(dialogs.file_requests()[1].initial_path, chosen.string());
}

} // namespace
} // namespace trx::sw_update

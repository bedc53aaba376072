// A whole firmware update in the real program: the update window's sequence against the
// bundled simulator over its pseudo-terminal, with the built-in flash library loaded by name.
// The simulator keeps its flash in a file, which is checked byte for byte afterwards. The image
// is the build's demo firmware, machine code that travels compressed.
#include "base/numtext.hpp"
#include "flashlib/hex_reader.hpp"
#include "main/program.hpp"
#include "platform/simulator_process_host.hpp"
#include "platform/std_files.hpp"
#include "qt/qt_clock.hpp"
#include "qt/qt_dialogs.hpp"
#include "qt/qt_event_pump.hpp"
#include "qt/qt_serial_port.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/virtual_pump.hpp"

#include "tests/qt_wait.hpp"
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <unistd.h>
#include <vector>

namespace trx::main {
namespace {

namespace fs = std::filesystem;

using trx::test::ensure_application;
using trx::test::wait_until;

// The paced simulator with its flash kept in a file, behind a cable that carries 230400 baud.
class FlashSimulator : public ui::SimulatorHost {
public:
    explicit FlashSimulator(fs::path flash) : flash_(std::move(flash)) {}
    Result<std::string> start() override {
        // A service cable of 230400, as the port menu's simulator has.
        if (!process_.start({"--type", "YA", "--pace", "--flash", flash_.string(),
                             "--cable-max-baud", "230400"})) {
            return Error{ErrorKind::port, process_.error()};
        }
        return process_.device();
    }
    void stop() override { process_.stop(); }
    [[nodiscard]] bool running() override { return process_.running(); }

private:
    fs::path flash_;
    sim::SimulatorProcess process_;
};

std::vector<std::uint8_t> read_all(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FirmwareUpdate, WholeUpdateAgainstTheSimulatorWritesTheImageAndTheLinkComesBack) {
    ensure_application();
    ::setenv("TRX81500_SIM", TRX_SIM_EXE, 1);
    ::setenv("TRX_FLASH_LIBRARY", TRX_FLASH_LIBRARY, 1);
    const fs::path folder =
        fs::temp_directory_path() / ("trx81500-fwupdate-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);

    // The demo image the build makes: machine code, so that it travels compressed.
    const fs::path hex = TRX_DEMO_FIRMWARE;
    const flash::HexResult demo = flash::read_firmware_file(hex.string());
    ASSERT_TRUE(demo.ok()) << demo.error.message;
    const flash::HexImage& image = demo.image;
    ASSERT_GT(image.size(), 64U * 1024);

    ui::qt::QtSerialPort port;
    ui::qt::QtClock clock;
    testkit::RecordedDialogs dialogs;
    ui::qt::QtEventPump pump;
    platform::StdFiles files(folder, folder / "config", folder / "data");
    const fs::path flash = folder / "flash.bin";
    FlashSimulator simulator(flash);
    Program program({port, clock, dialogs, pump, files, nullptr, &simulator});
    program.start();

    // A link that is up before the first supervision tick asks for nothing.
    ASSERT_TRUE(wait_until([&] { return program.main_form().StatusBar1.panel(1) == "offline"; }));
    auto& toolbar = program.main_form().Toolbar1;
    toolbar.user_open_menu("comport");
    toolbar.user_choose("comport", "simulator");
    toolbar.user_click("comport");
    ASSERT_TRUE(port.is_open());
    auto& para = program.para_form();
    ASSERT_TRUE(wait_until([&] { return para.typ.caption() == "YA"; }, std::chrono::seconds(20)))
        << "the parameter set was not read after the link came up";

    toolbar.user_click("software");
    auto& sw = program.sw_update_form();
    ASSERT_TRUE(sw.window.shown());
    dialogs.answer_file_dialog(hex.string());
    sw.openbutton.user_click();
    ASSERT_TRUE(sw.program.enabled());
    para.typ.set_caption(""); // so that the read after the update shows
    const auto clicked = std::chrono::steady_clock::now();
    sw.program.user_click();

    // Paced, the update takes some seconds; a busy machine may step the rate down.
    ASSERT_TRUE(wait_until(
        [&] {
            return sw.status.text().find("Programming") != std::string::npos &&
                   sw.openbutton.enabled();
        },
        std::chrono::seconds(90)))
        << sw.status.text();
    const std::string log = sw.status.text();
    // For comparison across builds; the machine's load decides it, so it is shown, not judged.
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - clicked;
    RecordProperty("update_s", std::to_string(took.count()));
    std::printf("the update took %.1f s\n", took.count());
    EXPECT_EQ(sw.status.text_color(), ui::rgb(0, 192, 0)) << log;
    const std::string device = program.shared().port_name;
    const std::string expected =
        "Reseting Controller\r\nSend Bootstrap Comand\r\nOpenCom: " + device +
        ", 57600 Baud     Ok\r\nInitMonitor:     Ok\r\nTransfer at 230400 baud\r\n"
        "Target: FLASHMON  @   20000000 Hz\r\nLoadFile:  " +
        num::dec(static_cast<std::int64_t>(image.size())) + " Byte\r\n";
    // The demo image names itself first: either type, version 1.10.
    const std::string identity = "Image: any, version 1.10, built 2026-12-01, CRC 0x";
    ASSERT_EQ(log.substr(0, identity.size()), identity) << log;
    const std::string after_identity = log.substr(log.find("\r\n") + 2);
    EXPECT_EQ(after_identity.substr(0, expected.size()), expected) << log;
    // A busy machine may make the transfer step its rate down; that line stands between steps.
    const std::string steps =
        std::regex_replace(after_identity.substr(std::min(expected.size(), after_identity.size())),
                           std::regex("Transfer at \\d+ baud\r\n"), "");
    EXPECT_NE(steps.find("EraseFlash:     Ok\r\nProgramFlash:     Ok\r\nProgramming finished"),
              std::string::npos)
        << log;

    // The flash holds the image; the rest of the touched sectors is erased.
    ASSERT_TRUE(wait_until([&] { return fs::exists(flash); }, std::chrono::seconds(20)));
    const auto content = read_all(flash);
    ASSERT_GE(content.size(), 0x40000U);
    std::uint32_t end = 0;
    for (const auto& [page, data] : image.pages()) {
        for (std::uint32_t i = 0; i < flash::HexImage::k_page; ++i) {
            ASSERT_EQ(content[page + i], data.bytes[i]) << "at " << page + i;
        }
        end = page + flash::HexImage::k_page;
    }
    EXPECT_EQ(content[end], 0xFF) << "the rest of the last sector is erased";

    // The main port is open again, the scanner runs its firmware, and the set is read anew.
    EXPECT_TRUE(port.is_open());
    EXPECT_TRUE(wait_until([&] { return para.typ.caption() == "YA"; }, std::chrono::seconds(20)))
        << "the parameter set was not read again after the update";
    EXPECT_TRUE(dialogs.take_messages().empty());
    toolbar.user_click("comport");
    fs::remove_all(folder);
}

} // namespace
} // namespace trx::main

// A whole firmware update in the real program: the update window's sequence against the
// bundled simulator over its pseudo-terminal, with the built-in flash library loaded by name.
// The simulator keeps its flash in a file, which is checked byte for byte afterwards.
#include "base/numtext.hpp"
#include "main/program.hpp"
#include "platform/simulator_process_host.hpp"
#include "platform/std_files.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/virtual_pump.hpp"
#include "ui/qt/qt_clock.hpp"
#include "ui/qt/qt_dialogs.hpp"
#include "ui/qt/qt_event_pump.hpp"
#include "ui/qt/qt_serial_port.hpp"

#include "tests/qt_wait.hpp"
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <unistd.h>
#include <vector>

namespace trx::main {
namespace {

namespace fs = std::filesystem;

using trx::test::ensure_application;
using trx::test::wait_until;

// The simulator with its flash kept in a file.
class FlashSimulator : public ui::SimulatorHost {
public:
    explicit FlashSimulator(fs::path flash) : flash_(std::move(flash)) {}
    ui::SimulatorStart start() override {
        if (!process_.start({"--type", "YA", "--flash", flash_.string()})) {
            return {false, {}, process_.error()};
        }
        return {true, process_.device(), {}};
    }
    void stop() override { process_.stop(); }
    [[nodiscard]] bool running() override { return process_.running(); }

private:
    fs::path flash_;
    sim::SimulatorProcess process_;
};

// An Intel HEX file with segment addressing, 16 data bytes per record.
void write_hex(const fs::path& file, const std::map<std::uint32_t, std::uint8_t>& image) {
    std::ofstream out(file, std::ios::binary);
    auto record = [&](int type, std::uint16_t addr, const std::vector<std::uint8_t>& data) {
        unsigned sum = static_cast<unsigned>(data.size()) + (addr >> 8U) + (addr & 0xFFU) +
                       static_cast<unsigned>(type);
        std::string line = ":" + num::hex_upper(data.size(), 2) + num::hex_upper(addr, 4) +
                           num::hex_upper(static_cast<unsigned>(type), 2);
        for (auto b : data) {
            line += num::hex_upper(b, 2);
            sum += b;
        }
        line += num::hex_upper((0x100U - (sum & 0xFFU)) & 0xFFU, 2);
        out << line << "\r\n";
    };
    std::uint32_t segment = 0;
    auto it = image.begin();
    while (it != image.end()) {
        const std::uint32_t base = it->first & ~0xFU;
        if ((base & 0xF0000U) != segment) {
            segment = base & 0xF0000U;
            const auto seg = static_cast<std::uint16_t>(segment >> 4U);
            record(2, 0, {static_cast<std::uint8_t>(seg >> 8U), static_cast<std::uint8_t>(seg)});
        }
        std::vector<std::uint8_t> data;
        const std::uint32_t start = it->first;
        while (it != image.end() && it->first == start + data.size() && data.size() < 16) {
            data.push_back(it->second);
            ++it;
        }
        record(0, static_cast<std::uint16_t>(start & 0xFFFFU), data);
    }
    record(1, 0, {});
}

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

    // 12 KiB at the bottom (reset vector included) and 2 KiB above the first 64 KiB.
    std::map<std::uint32_t, std::uint8_t> image;
    std::mt19937 rng(81500);
    for (std::uint32_t a = 0; a < 0x3000; ++a) {
        image[a] = static_cast<std::uint8_t>(rng());
    }
    for (std::uint32_t a = 0x18000; a < 0x18800; ++a) {
        image[a] = static_cast<std::uint8_t>(rng());
    }
    const fs::path hex = folder / "firmware.h86";
    write_hex(hex, image);

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
    sw.program.user_click();

    ASSERT_TRUE(wait_until([&] {
        return sw.status.text().find("Programming") != std::string::npos && sw.openbutton.enabled();
    })) << sw.status.text();
    const std::string log = sw.status.text();
    EXPECT_EQ(sw.status.text_color(), ui::rgb(0, 192, 0)) << log;
    const std::string device = program.shared().port_name;
    const std::string expected =
        "Reseting Controller\r\nSend Bootstrap Comand\r\nOpenCom: " + device +
        ", 57600 Baud     Ok\r\nInitMonitor:     Ok\r\n"
        "Target: FLASHMON  @   20000000 Hz\r\nLoadFile:  14336 Byte\r\n";
    EXPECT_EQ(log.substr(0, expected.size()), expected) << log;
    EXPECT_NE(log.find("EraseFlash:     Ok\r\nProgramFlash:     Ok\r\nProgramming finished"),
              std::string::npos)
        << log;

    // The flash holds the image; the rest of the touched sectors is erased.
    ASSERT_TRUE(wait_until([&] { return fs::exists(flash); }, std::chrono::seconds(20)));
    const auto content = read_all(flash);
    ASSERT_GE(content.size(), 0x40000U);
    for (const auto& [addr, byte] : image) {
        ASSERT_EQ(content[addr], byte) << "at " << addr;
    }
    EXPECT_EQ(content[0x3000], 0xFF);

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

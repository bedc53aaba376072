// The whole program logic on Qt's serial port, timers and event loop against trx81500-sim on
// a pseudo-terminal: the link comes up, the parameter window fills with the scanner's set, a
// changed set is stored and read back, and the index is written and read back.
#include "base/numtext.hpp"
#include "link/shared.hpp"
#include "main/program.hpp"
#include "platform/std_files.hpp"
#include "qt/qt_clock.hpp"
#include "qt/qt_dialogs.hpp"
#include "qt/qt_event_pump.hpp"
#include "qt/qt_serial_port.hpp"
#include "sim/launcher.hpp"
#include "sim/param_set.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/virtual_pump.hpp"

#include "tests/qt_wait.hpp"
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>

namespace trx::para {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds k_patience = 20s; // generous: the machine may be busy

using trx::test::ensure_application;
using trx::test::wait_until;

// The "Simulator" port entry on the real simulator process, of the type under test and with
// a state file of its own.
class SimulatorHost : public ui::SimulatorHost {
public:
    explicit SimulatorHost(std::vector<std::string> args) : args_(std::move(args)) {}
    Result<std::string> start() override {
        if (!process_.start(args_, TRX_SIM_EXE)) {
            return Error{ErrorKind::port, process_.error()};
        }
        return process_.device();
    }
    void stop() override { process_.stop(); }
    [[nodiscard]] bool running() override { return process_.running(); }

private:
    std::vector<std::string> args_;
    sim::SimulatorProcess process_;
};

struct Folder {
    fs::path path =
        fs::temp_directory_path() / ("trx81500-para-e2e-" + std::to_string(::getpid()) + "-" +
                                     std::to_string(Clock::now().time_since_epoch().count()));
    Folder() { fs::create_directories(path); }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    Folder(Folder&&) = delete;
    Folder& operator=(Folder&&) = delete;
};

// The program as app/main.cpp builds it, except that message boxes are recorded.
struct Session {
    explicit Session(const char* type)
        : host({"--type", type, "--state", (folder.path / "scanner.state").string()}),
          files(folder.path, folder.path / "config", folder.path / "data"),
          program({port, clock, dialogs, pump, files, nullptr, &host}) {}

    Folder folder;
    ui::qt::QtSerialPort port;
    ui::qt::QtClock clock;
    testkit::RecordedDialogs dialogs;
    ui::qt::QtEventPump pump;
    SimulatorHost host;
    platform::StdFiles files;
    main::Program program;

    ParaForm& para() { return program.para_form(); }
    main::MainForm& main() { return program.main_form(); }

    // As a technician does, after the link has shown "offline" once: a link that is up
    // before that (in the first 500 ms) asks for no identity and no parameter set.
    void open_simulator() {
        ASSERT_TRUE(wait_until([&] { return main().StatusBar1.panel(1) == "offline"; }));
        auto& tb = main().Toolbar1;
        tb.user_open_menu("comport");
        tb.user_choose("comport", main::k_simulator_key);
        tb.user_click("comport");
    }
    // One key press per character, seen by the window first, as a technician types.
    static void type(ui::TextBox& box, std::string_view keys) {
        for (char c : keys) {
            ui::KeyPress k{static_cast<unsigned char>(c), ui::mod_none, false};
            box.window().user_key(k);
            if (!k.handled) {
                box.user_key(k);
            }
        }
    }
    static void retype(ui::TextBox& box, std::string_view text) {
        type(box, std::string(8, '\b'));
        type(box, text);
    }
    bool status_is(const char* text) { return para().statusbar.simple_text() == text; }
    // The read button waits inside the click; the program's end stops a wait that no reply
    // ends, so a lost reply fails the test instead of hanging it.
    void click_read() {
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [this] { program.end(); });
        guard.start(k_patience);
        para().cmd_read_para.user_click();
    }
};

struct ParaE2E : ::testing::TestWithParam<const char*> {
    void SetUp() override { ensure_application(); }
};

// What the simulator holds before anything is stored.
const sim::ParamSet k_set{};

TEST_P(ParaE2E, LinkComesUpAndFillsTheHiddenWindowWithTheScannersSet) {
    const std::string type = GetParam();
    Session s(GetParam());
    s.program.start();
    s.open_simulator();
    ASSERT_TRUE(s.port.is_open()) << (s.dialogs.take_messages().empty() ? "" : "open failed");
    ASSERT_TRUE(wait_until([&] { return s.main().StatusBar1.panel(1) == "online"; }));
    EXPECT_TRUE(s.main().Toolbar1.item("parameter").enabled);
    ASSERT_TRUE(wait_until([&] { return s.para().typ.caption() == type; }));
    ASSERT_TRUE(wait_until([&] { return !s.para().index.text().empty(); }));

    ParaForm& p = s.para();
    EXPECT_FALSE(p.window.shown());
    EXPECT_EQ(p.seriennummer.text(), num::dec(k_set.serial));
    EXPECT_EQ(p.version.caption(), "1,09");
    EXPECT_EQ(p.speed_anz.text(), num::fixed_comma(k_set.speed, 1));
    EXPECT_EQ(p.speed.value(), k_set.speed);
    EXPECT_EQ(p.aufloesung.selected(), k_set.resolution);
    EXPECT_TRUE(p.enable_heater.checked());
    EXPECT_TRUE(p.motor_enable.checked());
    EXPECT_EQ(p.index.text(), "1");
    EXPECT_TRUE(s.program.shared().parameter_set_valid);
    EXPECT_TRUE(s.dialogs.take_messages().empty());
    const bool ya = type == "YA";
    EXPECT_EQ(p.frame_filter_parameter.visible(), ya);
    EXPECT_EQ(p.can_identifier.visible(), ya);
    EXPECT_EQ(s.main().display_filter_frame.visible(), ya);
    if (ya) {
        EXPECT_EQ(p.gap_offset_abs_anz.text(), num::dec(k_set.gap_offset_abs));
        EXPECT_EQ(p.min_modul_angle.value(), k_set.min_modul_angle);
        EXPECT_EQ(p.max_modul_angle_anz.text(), num::dec(k_set.max_modul_angle));
        EXPECT_EQ(p.equal_tolerance_rel_anz.text(), num::dec(k_set.equal_tolerance_rel));
        EXPECT_EQ(p.gap_correction.value(), k_set.gap_correction);
        EXPECT_EQ(p.can_baudrate.selected(), k_set.can_baudrate - 1);
        EXPECT_EQ(p.rs232_baudrate.selected(), k_set.rs232_baudrate - 1);
        EXPECT_EQ(p.can_identifier.text(), "0x123");
    }
    s.main().Toolbar1.user_click("comport"); // close the port and the simulator
}

TEST_P(ParaE2E, StoredSetAndIndexReadBack) {
    Session s(GetParam());
    s.program.start();
    s.open_simulator();
    ASSERT_TRUE(s.port.is_open());
    ASSERT_TRUE(wait_until([&] { return s.para().typ.caption() == GetParam(); }));
    s.main().Toolbar1.user_click("parameter");
    ParaForm& p = s.para();
    ASSERT_TRUE(p.window.shown());
    const bool ya = std::string(GetParam()) == "YA";

    // Change the speed (three arrow clicks) and, for "YA", a filter field; store.
    for (int i = 0; i < 3; ++i) {
        p.speed.user_up();
    }
    ASSERT_EQ(p.speed_anz.text(), num::fixed_comma(k_set.speed + 3, 1));
    if (ya) {
        Session::retype(p.gap_correction_anz, "150");
        p.gap_correction_anz.user_leave();
        ASSERT_EQ(p.gap_correction.value(), 150);
    }
    p.cmd_send_para.user_click();
    ASSERT_TRUE(wait_until([&] { return s.status_is("Status:   Parameters saved"); }));

    // Edit again without storing; the read shows what the scanner keeps.
    p.speed.user_down();
    if (ya) {
        Session::retype(p.gap_correction_anz, "20");
    }
    // The automatic read after the link came up left its flag set, so this click's wait ends
    // at once and the reply is handled when it comes.
    s.click_read();
    ASSERT_FALSE(s.program.ended()) << "no reply to the read";
    ASSERT_TRUE(wait_until([&] { return s.status_is("Status:   Parameters received"); }));
    EXPECT_EQ(p.speed_anz.text(), num::fixed_comma(k_set.speed + 3, 1));
    EXPECT_EQ(p.speed.value(), k_set.speed + 3);
    if (ya) {
        EXPECT_EQ(p.gap_correction_anz.text(), "150");
        EXPECT_EQ(p.gap_correction.value(), 150);
    }
    EXPECT_EQ(p.seriennummer.text(), num::dec(k_set.serial));
    EXPECT_EQ(p.version.caption(), "1,09");

    // The index, under the service chord.
    ui::KeyPress chord{'J', ui::mod_ctrl | ui::mod_alt, false};
    p.window.user_key(chord);
    Session::retype(p.index, "4660");
    p.command_write_index.user_click();
    ASSERT_TRUE(wait_until([&] { return s.status_is("Status:   Index saved     "); }));
    Session::retype(p.index, "7");
    p.command_read_index.user_click();
    ASSERT_TRUE(wait_until([&] { return s.status_is("Status:   Index received  "); }));
    EXPECT_EQ(p.index.text(), "4660");
    EXPECT_TRUE(s.dialogs.take_messages().empty());
    s.main().Toolbar1.user_click("comport");
}

// What the window shows of the settings: after a read, what the scanner holds.
std::string held(ParaForm& p, bool ya) {
    std::string s = num::dec(p.speed.value()) + " " + num::dec(p.aufloesung.selected()) + " " +
                    (p.enable_heater.checked() ? "1" : "0") +
                    (p.motor_enable.checked() ? "1" : "0");
    if (ya) {
        for (const ui::Spinner* f :
             {&p.gap_offset_abs, &p.gap_offset_rel, &p.equal_tolerance_abs, &p.equal_tolerance_rel,
              &p.gap_correction, &p.min_modul_angle, &p.max_modul_angle}) {
            s += " " + num::dec(f->value());
        }
        s += " " + num::dec(p.can_baudrate.selected()) + " " +
             num::dec(p.rs232_baudrate.selected()) + " " + p.can_identifier.text();
    }
    return s;
}

TEST_P(ParaE2E, ASavedSetLoadedAndStoredIsWhatTheScannerHoldsAgain) {
    Session s(GetParam());
    s.program.start();
    s.open_simulator();
    ASSERT_TRUE(s.port.is_open());
    ASSERT_TRUE(wait_until([&] { return s.para().typ.caption() == GetParam(); }));
    s.main().Toolbar1.user_click("parameter");
    ParaForm& p = s.para();
    const bool ya = std::string(GetParam()) == "YA";
    const auto read = [&] {
        s.click_read();
        ASSERT_FALSE(s.program.ended()) << "no reply to the read";
        ASSERT_TRUE(wait_until([&] { return s.status_is("Status:   Parameters received"); }));
    };
    const auto store = [&] {
        p.cmd_send_para.user_click();
        ASSERT_TRUE(wait_until([&] { return s.status_is("Status:   Parameters saved"); }));
    };

    read();
    const std::string original = held(p, ya);
    const fs::path file = s.folder.path / "original.trxp";
    s.dialogs.answer_save_dialog(file.string());
    p.cmd_save_file.user_click();
    ASSERT_TRUE(s.status_is("Status:   Parameters saved to file"));

    // Change and store, and the scanner holds the change.
    p.speed.user_up();
    p.motor_enable.user_click();
    if (ya) {
        Session::retype(p.gap_correction_anz, "150");
        p.gap_correction_anz.user_leave();
    }
    store();
    read();
    ASSERT_NE(held(p, ya), original);

    // The saved file back into the window, stored: the scanner holds the original set again.
    s.dialogs.answer_file_dialog(file.string());
    p.cmd_load_file.user_click();
    ASSERT_TRUE(s.status_is("Status:   Parameters loaded from file"));
    EXPECT_EQ(held(p, ya), original);
    store();
    p.speed.user_down(); // not stored: the read shows what the scanner keeps
    read();
    EXPECT_EQ(held(p, ya), original);
    EXPECT_TRUE(s.dialogs.take_messages().empty());

    // Each store left the set it overwrote in a backup.
    const fs::path backups = s.folder.path / "data" / "backups" / p.seriennummer.text();
    std::size_t count = 0;
    for (const auto& e : fs::directory_iterator(backups)) {
        EXPECT_NE(e.path().filename().string().find("-before-store"), std::string::npos)
            << e.path();
        ++count;
    }
    EXPECT_EQ(count, 2U);
    s.main().Toolbar1.user_click("comport");
}

INSTANTIATE_TEST_SUITE_P(BothTypes, ParaE2E, ::testing::Values("ZA", "YA"));

} // namespace
} // namespace trx::para

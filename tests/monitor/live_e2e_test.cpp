// The whole program on Qt's serial port and timers against trx81500-sim over its
// pseudo-terminal: once the link is up and the parameter set has been read, the simulator's
// default scene shows in the tag tables and in the picture, for either scanner type.
#include "main/program.hpp"
#include "platform/std_files.hpp"
#include "qt/qt_clock.hpp"
#include "qt/qt_dialogs.hpp"
#include "qt/qt_event_pump.hpp"
#include "qt/qt_serial_port.hpp"
#include "sim/scene.hpp"
#include "sim_host.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/virtual_pump.hpp"

#include <QCoreApplication>
#include <QTimer>

#include "tests/qt_wait.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>

namespace trx::monitor {
namespace {

using namespace std::chrono_literals;

const std::filesystem::path k_sim = TRX_SIM_EXE;
constexpr auto k_patience = 20s; // generous: the machine may be busy
constexpr int k_jitter = 2;      // the default scene's most movement per turn, in increments

using trx::test::ensure_application;
using trx::test::wait_until;

// The program on Qt's services; made once the application object exists, which Qt's
// timers and serial port need.
struct QtRig {
    explicit QtRig(const std::filesystem::path& folder) : files(folder) {}
    ui::qt::QtSerialPort port;
    ui::qt::QtClock clock;
    testkit::RecordedDialogs dialogs;
    ui::qt::QtEventPump pump;
    platform::StdFiles files;
    test::SimulatorHost simulator;
    std::unique_ptr<main::Program> program;
};

struct LiveWithSimulator : ::testing::TestWithParam<sim::ScannerType> {
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("trx_live_e2e_" + std::to_string(::getpid()));
    std::unique_ptr<QtRig> rig;

    void SetUp() override {
        ensure_application();
        std::filesystem::create_directories(folder);
        rig = std::make_unique<QtRig>(folder);
        rig->simulator.executable = k_sim;
        rig->simulator.args = {"--type", std::string(sim::type_name(GetParam()))};
        rig->program = std::make_unique<main::Program>(main::Services{
            rig->port, rig->clock, rig->dialogs, rig->pump, rig->files, nullptr, &rig->simulator});
        rig->program->start();
    }
    void TearDown() override {
        rig->program.reset();
        rig->simulator.stop();
        rig.reset();
        std::filesystem::remove_all(folder);
    }
    main::Program& program() { return *rig->program; }
    main::MainForm& form() { return program().main_form(); }
    [[nodiscard]] static int cell_number(const ui::Grid& g, int row, int col) {
        return std::stoi(g.cell(row, col));
    }
};

TEST_P(LiveWithSimulator, ShowsTheDefaultSceneInTheTablesAndThePicture) {
    const bool ya = GetParam() == sim::ScannerType::ya;
    // As a technician does: the port is opened after the program shows the link offline;
    // a link that comes up before that gets no parameter request.
    ASSERT_TRUE(wait_until([&] { return form().StatusBar1.panel(1) == "offline"; }));
    form().Toolbar1.user_choose("comport", "simulator");
    form().Toolbar1.user_click("comport");
    ASSERT_TRUE(rig->port.is_open()) << (rig->dialogs.take_messages().empty() ? "" : "open failed");

    const auto records = sim::scene_records(sim::default_scene(), 8192, GetParam());
    const int n = static_cast<int>(records.size());
    const ui::Grid& data = form().data;
    ASSERT_TRUE(wait_until([&] { return !data.cell(2 * n, 1).empty(); }))
        << "no scan of " << n << " stripes shown; type '" << program().para_form().typ.caption()
        << "'";

    EXPECT_EQ(program().para_form().typ.caption(), ya ? "YA" : "ZA");
    EXPECT_EQ(form().inkremente.caption(), "8192");
    EXPECT_EQ(form().temperature.caption(), "21");
    EXPECT_EQ(data.cell(2 * n + 1, 1), "");
    int coded = 0;
    for (int k = 1; k <= n; ++k) {
        const auto& r = records[static_cast<std::size_t>(k - 1)];
        EXPECT_NEAR(cell_number(data, 2 * k - 1, 1), r.start, k_jitter) << "stripe " << k;
        EXPECT_EQ(data.cell(2 * k - 1, 2), "+");
        EXPECT_NEAR(cell_number(data, 2 * k, 3), r.width, k_jitter) << "stripe " << k;
        EXPECT_EQ(data.cell(2 * k, 5), r.code == 0 ? "" : std::to_string(r.code));
        coded += r.code != 0 ? 1 : 0;
    }
    EXPECT_EQ(coded, ya ? 6 : 0);
    EXPECT_EQ(form().data2.cell(coded + 1, 3), "");
    if (coded > 0) {
        EXPECT_NE(form().data2.cell(coded, 1), ""); // every tag row has its angle
    }
    EXPECT_EQ(form().map.lines().size(), static_cast<std::size_t>(n));
    EXPECT_EQ(form().data.cell(0, 4), ya ? "tag width" : "");

    if (ya) { // with the filter on, the next scans draw one ray per tag
        form().Check1.user_click();
        ASSERT_TRUE(wait_until([&] { return form().map.lines().size() == 6U; }));
        EXPECT_TRUE(form().data2.visible());
    }
}

INSTANTIATE_TEST_SUITE_P(BothTypes, LiveWithSimulator,
                         ::testing::Values(sim::ScannerType::za, sim::ScannerType::ya),
                         [](const auto& p) { return std::string(sim::type_name(p.param)); });

} // namespace
} // namespace trx::monitor

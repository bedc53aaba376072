// trx81500-sim against the program's own link: its Qt serial port, receive assembly and
// frame writer, over a real pseudo-terminal.
#include "base/numtext.hpp"
#include "link/frame.hpp"
#include "link/frame_writer.hpp"
#include "link/receiver.hpp"
#include "link/shared.hpp"
#include "main/port_output.hpp"
#include "qt/qt_serial_port.hpp"
#include "sim/launcher.hpp"
#include "sim/param_set.hpp"
#include "sim/scene.hpp"

#include "tests/qt_wait.hpp"
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace trx::sim {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const fs::path k_sim = TRX_SIM_EXE;
constexpr std::chrono::milliseconds k_patience = 20s; // generous: the machine may be busy

using trx::test::ensure_application;
using trx::test::wait_until;

struct StatusArrival {
    std::string body;
    Clock::time_point at;
};

// The program's end of the cable.
struct ProgramSide {
    ui::qt::QtSerialPort port;
    main::PortOutput output{port};
    Shared shared;
    link::FrameWriter writer{output, shared};
    link::Receiver receiver;
    ui::Connection received_;
    std::vector<std::string> answers; // bodies of "W", "P", "L" and "I" frames
    std::vector<StatusArrival> status;

    ProgramSide() {
        const auto answer = [this](const link::ReceivedFrame& f) {
            answers.emplace_back(f.body());
        };
        for (char letter : {'W', 'P', 'L', 'I'}) {
            receiver.on_frame(letter, answer);
        }
        receiver.on_status(
            [this](const link::ReceivedFrame& f) {
                status.push_back({std::string(f.body()), Clock::now()});
            },
            [] { return true; });
        received_ = port.received.connect(
            [this](std::string_view bytes) { receiver.port_event(link::k_ev_receive, bytes); });
    }
    bool open(const std::string& device) {
        port.set_port_name(device);
        const auto r = port.open();
        EXPECT_TRUE(r.ok) << r.reason;
        return r.ok;
    }
    // Sends a command and waits for the answer with that letter; its body, or empty.
    std::string ask(char letter, std::string_view payload, char answer) {
        answers.clear();
        EXPECT_TRUE(writer.send(letter, payload));
        std::string body;
        wait_until([&] {
            for (const auto& a : answers) {
                if (a.front() == answer) {
                    body = a;
                    return true;
                }
            }
            return false;
        });
        return body;
    }
};

std::string payload_of(const std::string& body) {
    return body.substr(1, body.size() - 3);
}

struct SimulatorE2E : ::testing::Test {
    SimulatorProcess sim;
    std::unique_ptr<ProgramSide> program;

    void SetUp() override { ensure_application(); }
    void start(const std::vector<std::string>& args) {
        ASSERT_TRUE(sim.start(args, k_sim)) << sim.error();
        program = std::make_unique<ProgramSide>();
        ASSERT_TRUE(program->open(sim.device()));
    }
    void TearDown() override {
        program.reset(); // the port closes before the simulator goes
        sim.stop();
    }
};

TEST_F(SimulatorE2E, ParameterSetIsReadAndAChangedSetStored) {
    start({"--type", "YA"});
    const std::string w = program->ask('R', {}, 'W');
    ASSERT_EQ(w.size(), 83U) << w;
    const std::string set = payload_of(w);
    EXPECT_EQ(set.substr(0, 8), "0012AB34") << "serial number 1223476";
    EXPECT_EQ(set.substr(8, 4), "006D") << "software version 1,09";
    EXPECT_EQ(set.substr(12, 4), "0064") << "10.0 turns per second";
    EXPECT_EQ(set.substr(16, 4), "0000") << "8192 increments";
    EXPECT_EQ(set.substr(56, 4), "0123") << "CAN identifier";
    EXPECT_TRUE(in_range(*decode_params(set, ScannerType::ya, ParamSet{}), ScannerType::ya));

    // Written field by field, as the parameter window does.
    auto& writer = program->writer;
    ASSERT_TRUE(writer.start('W'));
    for (std::string_view field :
         {"0098", "9680", "0001", "00B4", "0005", "0003", "0010", "0020", "0010", "00C8",
          "0501", "0030", "0040", "0050", "07FF", "0000", "0000", "0000", "0000", "0000"}) {
        writer.add(field);
    }
    program->answers.clear();
    ASSERT_TRUE(writer.finish());
    ASSERT_TRUE(wait_until([&] { return !program->answers.empty(); }));
    EXPECT_EQ(program->answers.front(), "P50");

    const std::string again = payload_of(program->ask('R', {}, 'W'));
    EXPECT_EQ(again, "00989680"
                     "006D"
                     "00B4"
                     "0005"
                     "0003"
                     "0010"
                     "0020"
                     "0010"
                     "00C8"
                     "05"
                     "01"
                     "0030"
                     "0040"
                     "0050"
                     "07FF"
                     "00000000000000000000")
        << "read back equal; the version stays the firmware's";
}

TEST_F(SimulatorE2E, ShortTypeAnswersWithTheShortSet) {
    start({"--type", "ZA"});
    const std::string w = program->ask('R', {}, 'W');
    EXPECT_EQ(w.size(), 27U) << w;
    EXPECT_EQ(program->ask('W', "00000007006D007D00020003", 'P'), "P50");
    EXPECT_EQ(payload_of(program->ask('R', {}, 'W')), "00000007006D007D00020003");
    program->answers.clear();
    EXPECT_TRUE(program->writer.send('W', std::string(80, '0'))); // a YA set: no answer
    EXPECT_EQ(payload_of(program->ask('R', {}, 'W')), "00000007006D007D00020003");
    EXPECT_EQ(program->answers.size(), 1U) << "the long set was not acknowledged";
}

TEST_F(SimulatorE2E, IndexIsReadAndWritten) {
    start({});
    EXPECT_EQ(program->ask('L', {}, 'L'), "L00010D");
    EXPECT_EQ(program->ask('I', num::hex_upper(300, 4), 'I'), "I49");
    const std::string l = program->ask('L', {}, 'L');
    ASSERT_EQ(l.size(), 7U);
    EXPECT_EQ(link::as_uint16(link::read_hex(l.substr(1, 4))), 300);
}

// The stripes of a status frame body, "YA" records.
std::vector<Record> stripes_of(const std::string& body) {
    std::vector<Record> out;
    for (std::size_t pos = 11; pos + 10 <= body.size() - 2; pos += 10) {
        out.push_back({static_cast<std::int32_t>(link::read_hex(body.substr(pos, 4))),
                       static_cast<std::int32_t>(link::read_hex(body.substr(pos + 4, 4))),
                       static_cast<std::uint8_t>(link::read_hex(body.substr(pos + 8, 2)))});
    }
    return out;
}

TEST_F(SimulatorE2E, StatusFramesShowTheSceneAtTheSetSpeed) {
    start({"--type", "YA"});
    // 15.0 turns per second at 16384 increments.
    std::string set = payload_of(program->ask('R', {}, 'W'));
    set.replace(12, 8, "00960001");
    ASSERT_EQ(program->ask('W', set, 'P'), "P50");
    // Turns already under way when the speed changed are not counted.
    ASSERT_TRUE(wait_until([&] { return program->status.size() >= 3; }));
    program->status.clear();
    ASSERT_TRUE(wait_until([&] {
        const auto& s = program->status;
        return s.size() >= 60 && s.back().at - s.front().at >= 3900ms;
    })) << program->status.size()
        << " status frames";

    const auto expected = scene_records(default_scene(), 16384, ScannerType::ya);
    for (const auto& arrival : program->status) {
        const std::string& f = arrival.body;
        EXPECT_EQ(link::read_hex(f.substr(1, 4)), 16383U);
        EXPECT_EQ(link::read_hex(f.substr(5, 2)), 21U + 127U);
        EXPECT_EQ(link::read_hex(f.substr(7, 4)), 1U) << "speed OK";
        const auto stripes = stripes_of(f);
        ASSERT_EQ(stripes.size(), expected.size()) << f;
        for (std::size_t i = 0; i < stripes.size(); ++i) {
            EXPECT_LE(std::abs(stripes[i].start - expected[i].start), 2) << i;
            EXPECT_LE(std::abs(stripes[i].width - expected[i].width), 2) << i;
            EXPECT_EQ(stripes[i].code, expected[i].code) << i;
        }
    }
    const auto& s = program->status;
    const double seconds = std::chrono::duration<double>(s.back().at - s.front().at).count();
    const double turns_per_second = static_cast<double>(s.size() - 1) / seconds;
    EXPECT_NEAR(turns_per_second, 15.0, 15.0 * 0.05);
}

TEST_F(SimulatorE2E, SceneFileDescribesWhatTheScannerSees) {
    const fs::path scene =
        fs::temp_directory_path() / ("trx_e2e_scene_" + std::to_string(::getpid()));
    std::ofstream(scene) << "jitter 0\ntemperature -20\nstripe 90 2\ntag 180 1 1 1 200\n";
    start({"--scene", scene.string()});
    ASSERT_TRUE(wait_until([&] { return !program->status.empty(); }));
    fs::remove(scene);
    const std::string f = program->status.front().body;
    EXPECT_EQ(link::read_hex(f.substr(5, 2)), 107U) << "-20 degrees";
    EXPECT_EQ(link::read_hex(f.substr(7, 4)), 7U) << "speed OK, temperature low, heater on";
    const std::vector<Record> expected = {{2048, 46, 0}, {4096, 23, 0}, {4142, 23, 200}};
    EXPECT_EQ(stripes_of(f), expected);
}

} // namespace
} // namespace trx::sim

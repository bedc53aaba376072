// The Qt serial port on a real serial device: a pseudo-terminal whose master side plays the
// scanner. Bytes reach the receive assembly once each and in order, frames leave byte-exact,
// and the transmit side stays bounded when nobody reads.
#include "base/numtext.hpp"
#include "link/defs.hpp"
#include "link/frame.hpp"
#include "link/frame_writer.hpp"
#include "link/receiver.hpp"
#include "main/port_output.hpp"
#include "qt/qt_serial_port.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace trx {
namespace {

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "pty_serial_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

// Runs the event loop until done() holds or a generous limit passes.
bool pump_until(const std::function<bool()>& done, int limit_ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limit_ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

struct Pty : ::testing::Test {
    int master = -1;
    std::string slave_path;
    ui::qt::QtSerialPort port;
    Shared shared;
    main::PortOutput output{port};
    link::Receiver receiver;
    ui::Connection received_;
    std::vector<std::string> frames;

    Pty() { (void)app(); }

    void SetUp() override {
        int slave = -1;
        ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        termios t{};
        ASSERT_EQ(::tcgetattr(slave, &t), 0);
        ::cfmakeraw(&t);
        ASSERT_EQ(::tcsetattr(slave, TCSANOW, &t), 0);
        slave_path = ::ttyname(slave);
        port.set_port_name(slave_path);
        const ui::OpenResult r = port.open();
        ::close(slave);
        ASSERT_TRUE(r.ok) << r.reason;
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        received_ = port.received.connect(
            [this](std::string_view b) { receiver.port_event(link::k_ev_receive, b); });
        receiver.on_frame('L',
                          [this](const link::ReceivedFrame& f) { frames.emplace_back(f.body()); });
    }

    void TearDown() override {
        port.close();
        if (master >= 0) {
            ::close(master);
        }
    }

    void write_master(std::string_view bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                FAIL() << "write to master: " << errno;
            } else {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            }
        }
    }

    std::string read_master(std::size_t want) {
        std::string got;
        pump_until([&] {
            char buf[4096];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                got.append(buf, static_cast<std::size_t>(n));
            }
            return got.size() >= want;
        });
        return got;
    }
};

std::string index_frame(int i) {
    return link::build_frame('L', num::hex_upper(static_cast<unsigned>(i) & 0xFFFFU, 4));
}

TEST_F(Pty, BurstsArriveOnceEachAndInOrder) {
    constexpr int k_frames = 3000; // about 27,000 bytes, written in bursts of several thousand
    std::string stream;
    for (int i = 0; i < k_frames; ++i) {
        stream += index_frame(i);
    }
    for (std::size_t pos = 0; pos < stream.size(); pos += 5000) {
        write_master(std::string_view(stream).substr(pos, 5000));
    }
    ASSERT_TRUE(pump_until([&] { return frames.size() >= k_frames; }))
        << "received " << frames.size() << " of " << k_frames;
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(k_frames));
    for (int i = 0; i < k_frames; ++i) {
        const std::string f = index_frame(i);
        ASSERT_EQ(frames[static_cast<std::size_t>(i)], f.substr(1, f.size() - 2)) << "frame " << i;
    }
}

TEST_F(Pty, AFrameSplitAtEveryPositionArrivesOnce) {
    const std::string f = index_frame(0x12C);
    for (std::size_t cut = 1; cut < f.size(); ++cut) {
        write_master(f.substr(0, cut));
        // Let the first part be delivered on its own before the rest follows.
        ASSERT_TRUE(pump_until([&] {
            return receiver.state().count == static_cast<int>(cut) - 1 || cut == f.size() - 1;
        }));
        write_master(f.substr(cut));
        ASSERT_TRUE(pump_until([&] { return frames.size() == cut; }));
    }
    EXPECT_EQ(frames, std::vector<std::string>(f.size() - 1, f.substr(1, f.size() - 2)));
}

TEST_F(Pty, FramesLeaveByteExact) {
    link::FrameWriter writer(output, shared);
    link::Defs defs(writer, {});
    ASSERT_TRUE(defs.send_read_para());
    ASSERT_TRUE(defs.send_read_index());
    ASSERT_TRUE(defs.send_control(3));
    ASSERT_TRUE(writer.send('I', "012C"));
    const std::string expected = std::string("\x02R52\x03\x02L4C\x03\x02"
                                             "C03A6\x03",
                                             17) +
                                 "\x02I012C1F\x03";
    EXPECT_EQ(read_master(expected.size()), expected);
}

TEST_F(Pty, TransmitSideStaysBoundedWhenNobodyReads) {
    link::FrameWriter writer(output, shared);
    std::size_t worst = 0;
    int refused = 0;
    for (int i = 0; i < 100000 && refused < 100; ++i) {
        if (!writer.send('C', "01")) {
            ++refused;
        }
        worst = std::max(worst, port.pending_output());
        if (i % 64 == 0) {
            QCoreApplication::processEvents();
        }
    }
    EXPECT_GE(refused, 100) << "writes never failed: the transmit side queues without bound";
    EXPECT_LE(worst, ui::SerialPort::k_transmit_buffer);
}

// The bootstrap string is written right before the update closes the port. Everything written
// then, a full transmit buffer of it, leaves before close() returns: the far side reads it
// all, in order, though the device was found at another speed that the close restores.
TEST_F(Pty, EveryByteWrittenRightBeforeACloseLeaves) {
    port.close();
    const int slave = ::open(slave_path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    termios t{};
    ASSERT_EQ(::tcgetattr(slave, &t), 0);
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    ASSERT_EQ(::tcsetattr(slave, TCSANOW, &t), 0);
    ASSERT_TRUE(port.open().ok);
    ::close(slave);
    std::string sent;
    while (sent.size() + 21 <= ui::SerialPort::k_transmit_buffer) {
        ASSERT_TRUE(port.write("Quendel KG 14.03.1999"));
        sent += "Quendel KG 14.03.1999";
    }
    port.close();
    EXPECT_FALSE(port.is_open());
    EXPECT_EQ(read_master(sent.size()), sent);
}

// The far end goes away while the program holds the port (adapter pulled, simulator ended):
// the write under way fails, the port closes, and `lost` is raised once. Another device
// then opens on the same port object and its writes are judged on their own.
TEST_F(Pty, AVanishedDeviceFailsTheWriteAndIsLostOnce) {
    std::vector<std::string> lost;
    const auto c = port.lost.connect([&](const std::string& why) { lost.push_back(why); });
    ::close(master);
    master = -1;
    EXPECT_FALSE(port.write("\x02W0012AB3495\x03"));
    EXPECT_FALSE(port.write("\x02R52\x03"));
    ASSERT_TRUE(pump_until([&] { return !lost.empty(); }));
    EXPECT_FALSE(port.is_open());
    pump_until([] { return false; }, 200); // nothing more comes
    EXPECT_EQ(lost.size(), 1U);

    SetUp(); // a fresh pseudo-terminal, on the same port object
    EXPECT_TRUE(port.write("\x02R52\x03"));
    EXPECT_EQ(read_master(5), "\x02R52\x03");
    EXPECT_EQ(lost.size(), 1U);
}

// The device vanishing while nothing is written is noticed on the receive side.
TEST_F(Pty, AVanishedDeviceIsNoticedWithoutAWrite) {
    int lost = 0;
    const auto c = port.lost.connect([&](const std::string&) { ++lost; });
    ::close(master);
    master = -1;
    ASSERT_TRUE(pump_until([&] { return lost > 0; }));
    EXPECT_FALSE(port.is_open());
    pump_until([] { return false; }, 200);
    EXPECT_EQ(lost, 1);
}

TEST(QtSerialPortOpen, MissingDeviceGivesAReasonAndStaysClosed) {
    (void)app();
    ui::qt::QtSerialPort port;
    port.set_port_name("/dev/does-not-exist-trx");
    const ui::OpenResult r = port.open();
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.reason.find("does not exist"), std::string::npos) << r.reason;
    EXPECT_FALSE(port.is_open());
    EXPECT_FALSE(port.write("x"));
}

} // namespace
} // namespace trx

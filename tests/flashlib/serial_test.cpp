// The built-in library on a real serial device: a pseudo-terminal served by the simulated
// controller, in real time.
#include "flashlib/serial_transport.hpp"
#include "pty_target.hpp"
#include "sim_rig.hpp"

#include <gtest/gtest.h>

namespace trx::flash::testing {
namespace {

BuiltinFlash serial_library() {
    return BuiltinFlash([](const std::string& device, std::int32_t baud,
                           std::string& error) -> std::unique_ptr<Transport> {
        return SerialTransport::open(device, baud, error);
    });
}

TEST(SerialLine, AWholeUpdateOverAPseudoTerminal) {
    sim::FlashMemory memory(trx81500_layout());
    sim::FlashTarget target(memory);
    PtyTarget pty(target);
    Chunks image = random_chunk(0x4000, 0x1800, 9);
    image.merge(random_chunk(0x0000, 0x10, 10));
    TempHex hex(to_intel_hex(image));
    BuiltinFlash lib = serial_library();

    // Bytes already waiting on the line (the scanner's last frames) are flushed by SetCom.
    const UpdateRun run = run_update(lib, hex.path(), pty.device().c_str());
    pty.stop();

    ASSERT_TRUE(run.ok()) << run.failed_step << ": " << run.error;
    EXPECT_EQ(run.block, 0b11);
    for (const auto& [start, data] : image) {
        for (std::size_t i = 0; i < data.size(); ++i) {
            ASSERT_EQ(memory.read(static_cast<std::uint32_t>(start + i)), data[i]);
        }
    }
    EXPECT_TRUE(target.finished());
}

TEST(SerialLine, APortThatCannotBeOpenedFailsWithTheSystemsReason) {
    BuiltinFlash lib = serial_library();
    EXPECT_EQ(lib.SetCom("/dev/trx-no-such-port", 57600), 0);
    EXPECT_NE(lib.last_error().find("/dev/trx-no-such-port"), std::string::npos);
    EXPECT_NE(lib.last_error().find("No such file"), std::string::npos) << lib.last_error();
    EXPECT_EQ(lib.SetCom("COM10", 57600), 0);
    EXPECT_NE(lib.last_error().find("/dev/ttyS9"), std::string::npos) << lib.last_error();
    EXPECT_EQ(lib.SetCom("/dev/null", 12345), 0);
    EXPECT_EQ(lib.last_error(), "unsupported baud rate 12345");
    EXPECT_EQ(lib.CloseCom(), 1);
}

TEST(SerialLine, NoAnswerEndsTheConnectWithAHint) {
    sim::FlashMemory memory(trx81500_layout());
    sim::FlashTarget target(memory);
    PtyTarget pty(target);
    pty.stop(); // nobody answers on the other end
    BuiltinFlash lib = serial_library();
    ASSERT_EQ(lib.SetCom(pty.device().c_str(), 57600), 1);
    char name[33] = "                                ";
    EXPECT_EQ(lib.InitMonitor(name), 0);
    EXPECT_EQ(lib.last_error(),
              "no answer from the target to HELLO after 10 attempts (is the scanner in its "
              "bootstrap loader?)");
    EXPECT_EQ(std::string(name), "                                ") << "name left as it was";
    EXPECT_EQ(lib.CloseCom(), 1);
}

} // namespace
} // namespace trx::flash::testing

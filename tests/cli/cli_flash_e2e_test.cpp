// trx81500-cli flash as a process against trx81500-sim: the image in the simulator's flash,
// the update log as the update window writes it, a refused file and an interrupted run.
#include "tests/cli/cli_process.hpp"

#include <gtest/gtest.h>

namespace {

using namespace cli_e2e;

TEST_F(Cli, FlashWritesTheImageAndLogsAsTheUpdateWindow) {
    std::vector<std::uint8_t> image(0x300);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    // The reset vector included, so the firmware starts after the update.
    std::ofstream(dir / "fw.h86", std::ios::binary) << hex_file(0, image);
    const fs::path flash = dir / "flash.bin";
    // A cable of 230400: 460800 garbles, the transfer runs at 230400.
    const Outcome run =
        cli({"--sim", "--sim-arg", "--flash", "--sim-arg", flash.string(), "--sim-arg",
             "--cable-max-baud", "--sim-arg", "230400", "flash", (dir / "fw.h86").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto open = run.out.find("OpenCom: /dev/");
    ASSERT_NE(open, std::string::npos) << run.out;
    const auto open_end = run.out.find('\n', open);
    EXPECT_TRUE(run.out.substr(open, open_end - open).ends_with(", 57600 Baud     Ok"));
    EXPECT_EQ(run.out.substr(0, open),
              "Image: no identity\nReseting Controller\nSend Bootstrap Comand\n");
    EXPECT_EQ(run.out.substr(open_end + 1),
              "InitMonitor:     Ok\nTransfer at 230400 baud\nTarget: FLASHMON  @   20000000 Hz\n"
              "LoadFile:  768 Byte\n"
              "AutoROMS1: True\nGetHexFileBlock:  1\nEraseFlash:     Ok\nProgramFlash:     Ok\n"
              "Programming finished\n");
    EXPECT_NE(run.err.find("Programming  100 %\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.errors(), "");
    const std::string content = read_file(flash);
    ASSERT_GE(content.size(), 0x4000U);
    EXPECT_EQ(content.substr(0, image.size()), std::string(image.begin(), image.end()));
    EXPECT_EQ(content.substr(image.size(), 0x4000 - image.size()),
              std::string(0x4000 - image.size(), '\xFF'));

    // --max-baud 57600: no negotiation, no rate line.
    const Outcome capped =
        cli({"--sim", "flash", (dir / "fw.h86").string(), "--max-baud", "57600"});
    ASSERT_EQ(capped.status, 0) << capped.err;
    EXPECT_EQ(capped.out.find("Transfer at"), std::string::npos) << capped.out;
    EXPECT_NE(capped.out.find("Programming finished"), std::string::npos) << capped.out;
}

TEST_F(Cli, FlashRefusesABadFileAndReportsAFailedStepWithItsRedLine) {
    const fs::path bad = dir / "bad.h86";
    std::ofstream(bad) << ":10000000000102030405060708090A0B0C0D0E0F77\n:00000001FF\n";
    const Outcome refused = cli({"--sim", "flash", bad.string()});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "trx81500-cli: " + bad.string() + ": line 1: bad checksum\n");

    const fs::path good = dir / "good.h86";
    std::ofstream(good) << hex_file(0, std::vector<std::uint8_t>(16, 0x55));
    const Outcome failed = cli(Invocation{{"--sim", "flash", good.string()},
                                          {{"TRX_FLASH_LIBRARY", (dir / "libmissing.so").string()}},
                                          {},
                                          {}});
    EXPECT_EQ(failed.status, 6);
    EXPECT_TRUE(
        failed.out.ends_with("Send Bootstrap Comand\nOpenCom:     Error\nProgramming aborted\n"))
        << failed.out;
    EXPECT_TRUE(failed.errors().starts_with("trx81500-cli: OpenCom:     Error (")) << failed.err;
    EXPECT_NE(failed.errors().find("libmissing.so"), std::string::npos) << failed.err;
}

TEST_F(Cli, AnInterruptDuringFlashEndsTheRunThroughTheCommonEnd) {
    // 64 KiB at the line's real pace: long enough to be interrupted in the middle.
    std::ofstream(dir / "big.h86") << hex_file(0, std::vector<std::uint8_t>(0x10000, 0xA5));
    const Outcome run =
        cli(Invocation{{"--sim", "--sim-arg", "--pace", "flash", (dir / "big.h86").string()},
                       {},
                       "InitMonitor:     Ok\n",
                       {}});
    EXPECT_EQ(run.status, 6) << run.err;
    EXPECT_TRUE(run.out.ends_with("Programming aborted\n")) << run.out;
    EXPECT_EQ(run.out.find("ProgramFlash:     Ok"), std::string::npos) << run.out;
    // The first Ctrl+C is answered at once, before the step under way ends.
    EXPECT_EQ(run.errors(),
              "trx81500-cli: stopping after this step; the scanner stays in its loader until the "
              "next update; Ctrl+C again to stop now\n"
              "trx81500-cli: Programming aborted (interrupted)\n")
        << run.err;
}

} // namespace

// trx81500-cli flash --backup-firmware as a process against trx81500-sim: the flash as it was
// kept beside the parameter backups before the update, whole, and flashed back.
#include "tests/cli/cli_process.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using namespace cli_e2e;

// Every data byte of an Intel HEX file at its linear address (records 00 and 04).
std::map<std::uint32_t, std::uint8_t> hex_bytes(const std::string& hex) {
    std::map<std::uint32_t, std::uint8_t> bytes;
    std::istringstream in(hex);
    std::string line;
    std::uint32_t upper = 0;
    while (std::getline(in, line)) {
        if (line.size() < 11 || line[0] != ':') {
            ADD_FAILURE() << "bad line: " << line;
            return {};
        }
        const auto byte_at = [&](std::size_t i) {
            return static_cast<std::uint8_t>(std::stoi(line.substr(i, 2), nullptr, 16));
        };
        const std::size_t count = byte_at(1);
        const auto address = static_cast<std::uint32_t>(std::stoi(line.substr(3, 4), nullptr, 16));
        const std::uint8_t type = byte_at(7);
        if (type == 4) {
            upper = static_cast<std::uint32_t>(byte_at(9) << 8U | byte_at(11)) << 16U;
        } else if (type == 0) {
            for (std::size_t i = 0; i < count; ++i) {
                bytes[upper + address + static_cast<std::uint32_t>(i)] = byte_at(9 + 2 * i);
            }
        }
    }
    return bytes;
}

struct BackupCli : Cli {
    [[nodiscard]] fs::path flash() const { return dir / "flash.bin"; }
    std::vector<std::string> on_sim(std::vector<std::string> args) const {
        std::vector<std::string> all{"--sim", "--sim-arg", "--flash", "--sim-arg",
                                     flash().string()};
        all.insert(all.end(), args.begin(), args.end());
        return all;
    }
    // The firmware backups written, in every serial number's folder.
    [[nodiscard]] std::vector<fs::path> kept() const {
        std::vector<fs::path> found;
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(dir / "data", ec)) {
            if (e.path().filename().string().ends_with("-firmware.h86")) {
                found.push_back(e.path());
            }
        }
        return found;
    }
};

TEST_F(BackupCli, TheFlashAsItWasIsKeptWholeBeforeTheUpdateAndFlashesBack) {
    const fs::path first = dir / "first.h86";
    std::ofstream(first) << hex_file(0, sample_firmware(1, 0x500));
    ASSERT_EQ(cli(on_sim({"flash", first.string()})).status, 0);
    const std::string before = read_file(flash());
    ASSERT_EQ(before.size(), 0x40000U);

    const fs::path second = dir / "second.h86";
    std::ofstream(second) << hex_file(0, sample_firmware(2, 0x500));
    const Outcome r = cli(on_sim({"flash", "--backup-firmware", second.string()}));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto files = kept();
    ASSERT_EQ(files.size(), 1U) << r.err;
    EXPECT_NE(r.err.find(files.front().string()), std::string::npos) << "says where: " << r.err;
    // Read back in the update's own run, after the loader answered and before LoadFile.
    const auto read = r.out.find("ReadFlash:  262144 Byte\nFirmware kept in " +
                                 files.front().string() + "\nLoadFile:");
    EXPECT_NE(read, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Reseting"), r.out.rfind("Reseting")) << "one reset: " << r.out;
    EXPECT_NE(read_file(flash()), before) << "the update itself still ran";

    const auto bytes = hex_bytes(read_file(files.front()));
    ASSERT_EQ(bytes.size(), before.size()) << "the whole flash";
    for (const auto& [address, value] : bytes) {
        ASSERT_EQ(value, static_cast<std::uint8_t>(before[address])) << address;
    }

    // The kept file is an image like any other: it takes the scanner back.
    const Outcome back = cli(on_sim({"flash", files.front().string()}));
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(read_file(flash()), before);
}

// Where the copy cannot be written, the update stops before anything is erased.
TEST_F(BackupCli, AFirmwareThatCannotBeKeptStopsTheUpdateBeforeTheErase) {
    const fs::path first = dir / "first.h86";
    std::ofstream(first) << hex_file(0, sample_firmware(4, 0x500));
    ASSERT_EQ(cli(on_sim({"flash", first.string()})).status, 0);
    const std::string before = read_file(flash());
    fs::create_directories(dir / "data" / "trx81500");
    std::ofstream(dir / "data" / "trx81500" / "backups") << "a file where the folder goes";

    const fs::path second = dir / "second.h86";
    std::ofstream(second) << hex_file(0, sample_firmware(5, 0x500));
    const Outcome r = cli(on_sim({"flash", "--backup-firmware", second.string()}));
    EXPECT_EQ(r.status, 7) << r.err;
    EXPECT_NE(r.err.find("could not be kept"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("nothing was erased"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("EraseFlash"), std::string::npos) << r.out;
    EXPECT_EQ(read_file(flash()), before);
}

TEST_F(BackupCli, ABackupRunsOnOnePortAndNotWithVerifyOrRead) {
    const fs::path fw = dir / "fw.h86";
    std::ofstream(fw) << hex_file(0, sample_firmware(3, 0x500));
    const Outcome verify = cli(on_sim({"flash", "--verify", "--backup-firmware", fw.string()}));
    EXPECT_EQ(verify.status, 2);
    EXPECT_NE(verify.err.find("--backup-firmware goes with an update, not with --verify or --read"),
              std::string::npos)
        << verify.err;
    EXPECT_FALSE(fs::exists(flash())) << "nothing was sent";
    EXPECT_TRUE(kept().empty());
}

} // namespace

// trx81500-cli's firmware operations as a process against trx81500-sim: the image's identity
// checked before anything is sent, the update that skips what is there, verify, read-back, the
// JSON lines, and image info and stamp.
#include "tests/cli/cli_process.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using namespace cli_e2e;

// The data bytes of Intel HEX records 00 in address order, below 64 KiB (what a read-back of
// the first bytes holds); records 04 with a value other than 0 are not expected.
std::string data_of(const std::string& hex) {
    std::istringstream in(hex);
    std::string line;
    std::string bytes;
    while (std::getline(in, line)) {
        if (line.size() < 11 || line[0] != ':') {
            return "bad line: " + line;
        }
        const auto byte_at = [&](std::size_t i) {
            return static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
        };
        const std::size_t count =
            static_cast<std::size_t>(std::stoi(line.substr(1, 2), nullptr, 16));
        const std::size_t address =
            static_cast<std::size_t>(std::stoi(line.substr(3, 4), nullptr, 16));
        if (line.substr(7, 2) != "00") {
            continue;
        }
        if (address != bytes.size()) {
            return "gap before " + line;
        }
        for (std::size_t i = 0; i < count; ++i) {
            bytes += byte_at(9 + 2 * i);
        }
    }
    return bytes;
}

struct FirmwareCli : Cli {
    // The simulator's flash, in the test's own folder (made when the test starts).
    [[nodiscard]] fs::path flash() const { return dir / "flash.bin"; }
    std::vector<std::string> on_sim(std::vector<std::string> args) const {
        std::vector<std::string> all{"--sim", "--sim-arg", "--flash", "--sim-arg",
                                     flash().string()};
        all.insert(all.end(), args.begin(), args.end());
        return all;
    }
    // A copy of `plain` with an identity block, made by the tool itself.
    fs::path stamped(const fs::path& plain, const std::string& type, const std::string& version) {
        const fs::path out = dir / ("fw_" + type + "_" + version + ".h86");
        const Outcome s = cli({"image", "stamp", plain.string(), "--type", type, "--version",
                               version, "-o", out.string()});
        EXPECT_EQ(s.status, 0) << s.err;
        return out;
    }
};

TEST_F(FirmwareCli, ImageStampAndInfoAgreeAndAChangedByteIsDamage) {
    const fs::path plain = dir / "plain.h86";
    std::ofstream(plain) << hex_file(0, sample_firmware(3));
    const Outcome none = cli({"image", "info", plain.string()});
    EXPECT_EQ(none.status, 0);
    EXPECT_TRUE(none.out.starts_with("identity = no identity\n")) << none.out;

    const fs::path za = stamped(plain, "ZA", "1.20");
    const Outcome info = cli({"image", "info", za.string()});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(info.out.starts_with("type = ZA\nversion = 1.20\ndate = ")) << info.out;
    EXPECT_NE(info.out.find("matches = yes\n"), std::string::npos) << info.out;
    const Outcome json = cli({"image", "info", "--json", za.string()});
    EXPECT_NE(json.out.find(R"("type":"ZA","version":"1.20")"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find(R"("matches":true)"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find(R"("at":"0x000300")"), std::string::npos) << json.out;

    const Outcome bad = cli({"image", "stamp", plain.string(), "--type", "XA", "--version", "1",
                             "-o", (dir / "x.h86").string()});
    EXPECT_EQ(bad.status, 2);
    EXPECT_FALSE(fs::exists(dir / "x.h86"));
}

TEST_F(FirmwareCli, TheOtherTypeAndAnOlderVersionAreRefusedBeforeAnythingIsSentUnlessForced) {
    const fs::path plain = dir / "plain.h86";
    std::ofstream(plain) << hex_file(0, sample_firmware(5));
    // The simulator is a YA scanner at 1.09.
    const Outcome other = cli(on_sim({"flash", stamped(plain, "ZA", "1.20").string()}));
    EXPECT_EQ(other.status, 2);
    EXPECT_NE(other.errors().find("The image is for type ZA, the connected scanner is type YA."),
              std::string::npos)
        << other.err;
    EXPECT_EQ(other.out.find("Reseting Controller"), std::string::npos) << other.out;
    EXPECT_FALSE(fs::exists(flash())) << "the simulator's flash was written";

    const fs::path older = stamped(plain, "any", "1.00");
    const Outcome refused = cli(on_sim({"flash", older.string()}));
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.errors().find("older than the scanner's 1.09"), std::string::npos)
        << refused.err;
    EXPECT_FALSE(fs::exists(flash()));

    const Outcome forced = cli(on_sim({"flash", older.string(), "--force"}));
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_TRUE(forced.out.starts_with("Image: any, version 1.00, built ")) << forced.out;
    EXPECT_NE(forced.out.find("Programming finished"), std::string::npos);
}

TEST_F(FirmwareCli, VerifyReadBackAndASecondUpdateThatSkipsEverySector) {
    const auto image = sample_firmware(9);
    const fs::path fw = dir / "fw.h86";
    std::ofstream(fw) << hex_file(0, image);
    ASSERT_EQ(cli(on_sim({"flash", fw.string()})).status, 0);
    const std::string flashed = read_file(flash());

    const Outcome same = cli(on_sim({"flash", "--verify", fw.string()}));
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_TRUE(same.out.ends_with("VerifyFlash:     identical\nVerify finished\nidentical\n"))
        << same.out;

    auto changed = image;
    changed[0x10] ^= 0xFF;
    const fs::path other = dir / "other.h86";
    std::ofstream(other) << hex_file(0, changed);
    const Outcome differs = cli(on_sim({"flash", other.string(), "--verify"}));
    EXPECT_EQ(differs.status, 1) << differs.err;
    EXPECT_TRUE(differs.out.ends_with("differs\nsector 0 (0x000000, 16 KiB)\n")) << differs.out;
    EXPECT_EQ(read_file(flash()), flashed) << "a verify changed the flash";

    const fs::path back = dir / "back.h86";
    const Outcome read = cli(on_sim({"flash", "--read", back.string(), "--range", "0:0x400"}));
    ASSERT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(data_of(read_file(back)), flashed.substr(0, 0x400));

    const Outcome outside = cli(on_sim({"flash", "--read", back.string(), "--range", "0:0x50000"}));
    EXPECT_EQ(outside.status, 2);
    EXPECT_EQ(outside.out, "");

    const Outcome again = cli(on_sim({"flash", "--json", fw.string()}));
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(again.out.starts_with(R"({"event":"image","port":"/dev/)")) << again.out;
    EXPECT_NE(again.out.find(R"("identity":null,"verdict":"go"})"), std::string::npos);
    for (const char* phase : {"connect", "check", "erase", "program", "restart"}) {
        EXPECT_NE(again.out.find(std::string(R"("phase":")") + phase + "\"}"), std::string::npos)
            << phase;
    }
    EXPECT_NE(again.out.find(R"("ok":true,"serial_number":)"), std::string::npos) << again.out;
    EXPECT_NE(again.out.find(R"("sectors_skipped":1,)"), std::string::npos) << again.out;
    EXPECT_TRUE(again.out.ends_with("\"step\":null,\"reason\":null}\n")) << again.out;
    EXPECT_EQ(read_file(flash()), flashed);
}

} // namespace

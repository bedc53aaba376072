// trx81500-demo-image: a firmware image for the simulator's flash, made of real machine code,
// so that an update of the simulator compresses and takes as long as one of a scanner.
//
//   trx81500-demo-image CODE OUT.h86
//
// CODE is raw machine code (the build takes the simulator's own .text section). The image
// starts with a reset vector (an ST10 JMPS to 0x000200) and holds the code from 0x000004 on,
// at most 192 KiB in all: sectors 0 to 5 of the TRX81500's flash, followed by an identity
// block (docs/firmware-image.md) for any scanner type at version 1.10, one above the
// simulator's own firmware. OUT.h86 is Intel HEX, 32 data bytes per record.
#include "flashlib/hex_writer.hpp"
#include "flashlib/image_identity.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

// The code and, in the last 256-byte block of sector 5, the identity.
constexpr std::size_t k_image_max = 192 * 1024 - 256;
constexpr std::uint16_t k_version = 110;
// Fixed, so that every build makes the same file.
constexpr trx::flash::BuildDate k_build_date{2026, 12, 1};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: trx81500-demo-image CODE OUT.h86\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> code((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    if (!in.is_open() || code.empty()) {
        std::fprintf(stderr, "trx81500-demo-image: cannot read %s\n", argv[1]);
        return 1;
    }
    std::vector<std::uint8_t> image{0xFA, 0x00, 0x00, 0x02}; // JMPS 00h, 0200h
    image.insert(image.end(), code.begin(),
                 code.begin() + static_cast<std::ptrdiff_t>(
                                    std::min(code.size(), k_image_max - image.size())));
    trx::flash::HexImage hex;
    for (std::size_t a = 0; a < image.size(); ++a) {
        (void)hex.put(static_cast<std::uint32_t>(a), image[a]);
    }
    trx::flash::ImageIdentity id;
    id.types = trx::flash::k_for_any;
    id.version = k_version;
    id.date = k_build_date;
    std::string why;
    const auto stamped =
        trx::flash::stamp_identity(hex, id, std::nullopt, trx::flash::trx81500_layout(), why);
    if (!stamped) {
        std::fprintf(stderr, "trx81500-demo-image: %s\n", why.c_str());
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << trx::flash::write_intel_hex(*stamped);
    if (!out) {
        std::fprintf(stderr, "trx81500-demo-image: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

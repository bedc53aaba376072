// trx81500-demo-image: a firmware image for the simulator's flash, made of real machine code,
// so that an update of the simulator compresses and takes as long as one of a scanner.
//
//   trx81500-demo-image CODE OUT.h86
//
// CODE is raw machine code (the build takes the simulator's own .text section). The image
// starts with a reset vector (an ST10 JMPS to 0x000200) and holds the code from 0x000004 on,
// at most 192 KiB in all: sectors 0 to 5 of the TRX81500's flash. OUT.h86 is Intel HEX with
// segment addressing, 32 data bytes per record.
#include "base/numtext.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr std::size_t k_image_max = 192 * 1024;
constexpr std::size_t k_record = 32;

std::string record(std::uint8_t type, std::uint16_t offset, const std::uint8_t* data,
                   std::size_t count) {
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(count),
                                    static_cast<std::uint8_t>(offset >> 8),
                                    static_cast<std::uint8_t>(offset & 0xFF), type};
    bytes.insert(bytes.end(), data, data + count);
    unsigned sum = 0;
    for (auto b : bytes) {
        sum += b;
    }
    bytes.push_back(static_cast<std::uint8_t>((0x100 - (sum & 0xFF)) & 0xFF));
    std::string line = ":";
    for (auto b : bytes) {
        line += trx::num::hex_upper(b, 2);
    }
    return line + "\r\n";
}

std::string intel_hex(const std::vector<std::uint8_t>& image) {
    std::string out;
    std::uint32_t segment = 0xFFFFFFFF;
    for (std::size_t a = 0; a < image.size(); a += k_record) {
        if ((a >> 16) != segment) {
            segment = static_cast<std::uint32_t>(a >> 16);
            const std::uint8_t value[] = {static_cast<std::uint8_t>(segment << 4),
                                          static_cast<std::uint8_t>(0)};
            out += record(2, 0, value, 2);
        }
        const std::size_t n = std::min(k_record, image.size() - a);
        out += record(0, static_cast<std::uint16_t>(a & 0xFFFF), image.data() + a, n);
    }
    const std::uint8_t start[] = {0x00, 0x00, 0x02, 0x00}; // CS 0000, IP 0200
    out += record(3, 0, start, 4);
    out += record(1, 0, nullptr, 0);
    return out;
}

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
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << intel_hex(image);
    if (!out) {
        std::fprintf(stderr, "trx81500-demo-image: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

#include "flashlib/hex_writer.hpp"

#include "base/numtext.hpp"

#include <vector>

namespace trx::flash {

namespace {

constexpr std::size_t k_record_bytes = 32;

void append_record(std::string& out, std::uint8_t type, std::uint16_t offset,
                   const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(data.size()),
                                    static_cast<std::uint8_t>(offset >> 8),
                                    static_cast<std::uint8_t>(offset & 0xFF), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (auto b : bytes) {
        sum += b;
    }
    bytes.push_back(static_cast<std::uint8_t>((0x100 - (sum & 0xFF)) & 0xFF));
    out += ':';
    for (auto b : bytes) {
        num::append_hex_upper(out, b, 2);
    }
    out += "\r\n";
}

} // namespace

std::string write_intel_hex(const HexImage& image) {
    std::string out;
    std::uint32_t upper = 0;
    std::vector<std::uint8_t> run;
    std::uint32_t run_start = 0;
    const auto flush = [&] {
        if (run.empty()) {
            return;
        }
        if (run_start >> 16 != upper) {
            upper = run_start >> 16;
            append_record(
                out, 0x04, 0,
                {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)});
        }
        append_record(out, 0x00, static_cast<std::uint16_t>(run_start & 0xFFFF), run);
        run.clear();
    };
    for (const auto& [address, page] : image.pages()) {
        for (std::size_t i = 0; i < HexImage::k_page; ++i) {
            const auto a = address + static_cast<std::uint32_t>(i);
            // A record ends at a gap, at its size and at a 64 KiB boundary.
            const bool continues = !run.empty() && a == run_start + run.size() && a % 0x10000 != 0;
            if (!page.present[i] || !continues || run.size() == k_record_bytes) {
                flush();
            }
            if (page.present[i]) {
                if (run.empty()) {
                    run_start = a;
                }
                run.push_back(page.bytes[i]);
            }
        }
    }
    flush();
    append_record(out, 0x01, 0, {});
    return out;
}

} // namespace trx::flash

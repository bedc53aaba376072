// Outside input of the firmware update: the hex file the technician picks, the frames the
// controller's flash monitor sends back, and the compressed pieces the simulated monitor
// inflates, whole or cut into pieces. None may crash its reader, whatever the bytes.
// fuzz_flash_input.options keeps inputs to 1024 bytes: a file of some twenty records.
#include "flashlib/cobs.hpp"
#include "flashlib/fixed_huffman.hpp"
#include "flashlib/flash_layout.hpp"
#include "flashlib/hex_reader.hpp"
#include "flashlib/inflate.hpp"
#include "flashlib/protocol.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const trx::flash::FlashLayout layout = trx::flash::trx81500_layout();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto hex = trx::flash::parse_intel_hex(text, layout);
    // A file that reads has a line-less error; one that does not names its reason.
    if (!hex.ok() && hex.error.message.empty()) {
        std::abort();
    }
    const std::span<const std::uint8_t> bytes(data, size);
    (void)trx::flash::cobs_decode(bytes);
    (void)trx::flash::proto::decode(bytes);
    // A ZDATA piece as the target inflates it: never outside its 8 KiB, whatever the bytes.
    static std::uint8_t run[trx::flash::proto::k_max_inflate];
    const std::size_t offset = size > 0 ? data[0] * 16U : 0;
    (void)trx::flash::deflate::inflate_fixed(bytes, run, offset, sizeof run - offset);

    // The same bytes as one ZRUN stream: fed in pieces (cut where the second byte says), the
    // decoder must end exactly as it does fed whole, and write the same bytes.
    using trx::flash::deflate::StreamInflater;
    static std::array<std::uint8_t, trx::flash::proto::k_max_inflate> whole_run;
    static std::array<std::uint8_t, trx::flash::proto::k_max_inflate> piece_run;
    const std::size_t end = size > 0 ? std::size_t{1} + data[0] * 32U : 1;
    StreamInflater whole(0, end);
    const auto whole_result = whole.feed(bytes, whole_run);
    StreamInflater pieces(0, end);
    auto piece_result = StreamInflater::Result::more;
    const std::size_t cut = size > 1 ? std::size_t{1} + data[1] % 64U : 1;
    for (std::size_t at = 0; at < size && piece_result != StreamInflater::Result::bad; at += cut) {
        piece_result = pieces.feed(bytes.subspan(at, std::min(cut, size - at)), piece_run);
    }
    if (piece_result != whole_result) {
        std::abort();
    }
    if (whole_result != StreamInflater::Result::bad &&
        (pieces.produced_to() != whole.produced_to() ||
         !std::equal(whole_run.begin(), whole_run.begin() + static_cast<long>(whole.produced_to()),
                     piece_run.begin()))) {
        std::abort();
    }
    return 0;
}

// Any bytes as a capture file: the reader refuses it or reads records until its end or its
// first bad record, never past the input, and every record it gives is within the limits.
#include "capture/reader.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    trx::capture::Reader r = trx::capture::Reader::of_bytes(bytes);
    std::uint64_t last = 0;
    std::size_t total = 0;
    while (auto rec = r.next()) {
        total += rec->data.size() + trx::capture::k_record_head + trx::capture::k_record_tail;
        if (rec->time_us < last || rec->data.size() > trx::capture::k_max_data || total > size) {
            std::abort();
        }
        last = rec->time_us;
    }
    if (r.refused() && !r.stop_reason().empty()) {
        std::abort();
    }
    return 0;
}

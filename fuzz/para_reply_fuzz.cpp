// The parameter reply decoder on arbitrary bodies: whatever it reads, storing that set and
// reading it back gives the same set, so a store never changes a value it did not mean to.
#include "link/para_frame.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace trx::link;
    std::string body = "W";
    body.append(reinterpret_cast<const char*>(data), size);
    const ParaReply r = decode_para_reply(body);
    (void)decode_index_reply(body);
    if (r.type == ScannerType::unknown) {
        return 0;
    }
    const bool ya = r.type == ScannerType::ya;
    std::string again = "W";
    for (const std::string& field : para_fields(r.set, ya)) {
        again += field;
    }
    again += "00"; // checksum digits: the decoder does not read them
    const ParaReply back = decode_para_reply(again);
    if (back.type != r.type || !(back.set == r.set)) {
        std::abort();
    }
    return 0;
}

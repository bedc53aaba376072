// Status frames with a good checksum and arbitrary payloads through the whole live monitor,
// under either scanner type and with M a number or not.
#include "fuzz_driver.hpp"
#include "link/frame.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

// First byte: bit 0 the scanner type, bit 1 whether M is a number, the rest of it M. Then
// the payload; a payload byte 0x02 or 0x03 would end the frame early, as on the wire.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    auto& d = fuzz_driver();
    auto& p = d.program();
    p.shared().parameters_received = true;
    p.shared().parameter_set_valid = true;
    p.para_form().typ.set_caption((data[0] & 1U) != 0 ? "YA" : "ZA");
    p.para_form().max_modul_angle_anz.set_text((data[0] & 2U) != 0 ? std::to_string(data[0] >> 2U)
                                                                   : std::string("?"));
    const std::string payload(reinterpret_cast<const char*>(data) + 1, size - 1);
    d.receive(trx::link::build_frame('S', payload));
    forget_records(d);
    return 0;
}

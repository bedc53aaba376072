// Arbitrary bytes through the receive assembly and dispatch, with decoders registered that
// read the frame by absolute position like the real ones do.
#include "base/fault.hpp"
#include "fuzz_driver.hpp"
#include "link/receiver.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& d = fuzz_driver();
    d.program().shared().parameters_received = true;
    d.program().shared().parameter_set_valid = true;
    // The whole program's decoders are registered; the fuzzer sees every frame kind.
    d.receive(std::string_view(reinterpret_cast<const char*>(data), size));
    forget_records(d);
    return 0;
}

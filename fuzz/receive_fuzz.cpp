// Arbitrary bytes through the receive assembly and dispatch, with decoders registered that
// read the frame by absolute position like the real ones do.
#include "link/receive.hpp"
#include "testkit/driver.hpp"
#include "ui/fault.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

trx::testkit::Driver& driver() {
    static trx::testkit::Driver* d = [] {
        auto* drv = new trx::testkit::Driver();
        drv->start();
        (void)drv->program().services().port.open();
        auto& shared = drv->program().shared();
        shared.parameters_received = true;
        shared.parameter_set_valid = true;
        return drv;
    }();
    return *d;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& d = driver();
    // The whole program's decoders are registered; the fuzzer sees every frame kind.
    d.receive(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}

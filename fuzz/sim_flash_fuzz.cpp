// A flash file of trx81500-sim --flash: taken only when it is exactly the flash's size, and
// then byte for byte; anything else is refused with its reason, never cut or padded. The
// first input byte, when odd, pads the rest with erased bytes to the flash's size, so that
// both ways are taken without inputs of 256 KiB.
#include "fuzz/sim_file.hpp"
#include "sim/boot_hook.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace trx::sim;
    constexpr std::size_t k_flash = 0x40000;
    std::vector<std::uint8_t> file(data, data + size);
    if (size > 0 && (data[0] & 1U) != 0 && size - 1 <= k_flash) {
        file.erase(file.begin());
        file.resize(k_flash, 0xFF);
    }
    data = file.data();
    size = file.size();
    const FlashFileRead read = read_flash_file(sim_fuzz::input_file("flash", data, size));
    if (!read.content) {
        if (read.error.empty()) {
            std::abort();
        }
        return 0;
    }
    if (read.content->size() != size || !std::equal(data, data + size, read.content->begin())) {
        std::abort();
    }
    // The loader starts from it as the simulator would.
    const BootTargetFactory factory = flash_target_factory({{}, read.content});
    if (factory() == nullptr) {
        std::abort();
    }
    return 0;
}

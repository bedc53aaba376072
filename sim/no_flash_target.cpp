#include "sim/boot_hook.hpp"

namespace trx::sim {

BootTargetFactory flash_target_factory(const BootTargetSettings& /*settings*/) {
    return {};
}

} // namespace trx::sim

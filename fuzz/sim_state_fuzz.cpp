// A state file of trx81500-sim --state, as a user may have edited it: read with its bound,
// parsed; a set it accepts must write out and read back the same, and one it refuses (or a
// file too long) must say why.
#include "fuzz/sim_file.hpp"
#include "sim/options.hpp"
#include "sim/setup.hpp"
#include "sim/state_file.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace trx::sim;
    Options o;
    o.state_file = sim_fuzz::input_file("state", data, size);
    const SetupResult setup = make_config(o);
    if (!setup.config) {
        if (setup.error.empty()) {
            std::abort();
        }
        return 0;
    }
    const SimState kept{setup.config->params, setup.config->index};
    const StateResult again = parse_state(format_state(kept), SimState{});
    if (!again.state || !(*again.state == kept)) {
        std::abort();
    }
    return 0;
}

// A scene file of trx81500-sim --scene: read with its bound and parsed. What it accepts must
// be a scene the status frame can carry (at most 60 stripes, angles and widths within a turn,
// a temperature the frame can hold) and must give records at every resolution; what it
// refuses must say why.
#include "fuzz/sim_file.hpp"
#include "sim/options.hpp"
#include "sim/setup.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace trx::sim;
    Options o;
    o.scene_file = sim_fuzz::input_file("scene", data, size);
    const SetupResult setup = make_config(o);
    if (!setup.config) {
        if (setup.error.empty()) {
            std::abort();
        }
        return 0;
    }
    const Scene& scene = setup.config->scene;
    if (scene.stripes.size() > k_max_scene_stripes || scene.temperature < -127 ||
        scene.temperature > 128) {
        std::abort();
    }
    for (const SceneStripe& s : scene.stripes) {
        if (s.start_mdeg < 0 || s.start_mdeg >= 360'000 || s.width_mdeg < 1 ||
            s.width_mdeg >= 360'000) {
            std::abort();
        }
    }
    return 0;
}

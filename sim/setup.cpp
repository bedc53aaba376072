#include "sim/setup.hpp"

#include "sim/sim_files.hpp"
#include "sim/state_file.hpp"

namespace trx::sim {

namespace {

SceneResult load_scene(const std::filesystem::path& file) {
    const FileRead read = read_bounded_file(file, k_max_scene_file_bytes);
    if (!read.content) {
        return {std::nullopt, "cannot read scene file " + read.error};
    }
    auto r = parse_scene(*read.content);
    if (!r.scene) {
        r.error = file.string() + ": " + r.error;
    }
    return r;
}

} // namespace

SetupResult make_config(const Options& o) {
    ScannerConfig c;
    c.type = o.type;
    c.pace = o.pace;
    c.faults = o.faults;
    c.seed = o.seed;
    c.cable_max_baud = o.cable_max_baud;
    if (!o.scene_file.empty()) {
        auto scene = load_scene(o.scene_file);
        if (!scene.scene) {
            return {std::nullopt, scene.error};
        }
        c.scene = std::move(*scene.scene);
    }
    if (!o.state_file.empty()) {
        const auto state = load_state(o.state_file, SimState{c.params, c.index});
        if (!state.state) {
            return {std::nullopt, state.error};
        }
        c.params = state.state->params;
        c.index = state.state->index;
    }
    return {std::move(c), {}};
}

} // namespace trx::sim

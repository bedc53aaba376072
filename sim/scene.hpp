#pragma once

#include "sim/param_set.hpp"

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace trx::sim {

// One stripe the laser sweeps over, in thousandths of a degree, so a scene means the same at
// every resolution. A code is carried by the second stripe of a coded tag.
struct SceneStripe {
    std::int32_t start_mdeg = 0; // 0 .. 359999
    std::int32_t width_mdeg = 0; // 1 .. 359999
    std::uint8_t code = 0;
    std::uint8_t tag = 0; // the code of the tag it belongs to: both stripes of a tag carry it

    bool operator==(const SceneStripe&) const = default;
};

// How one tag misbehaves, so the statistics have something to find. Both its stripes go
// together: missed, moved or gone.
struct TagBehaviour {
    std::uint8_t code = 0;
    std::int32_t miss_milli = 0;                 // missed in this many thousandths of the turns
    std::int32_t wander_mdeg = 0;                // its angle moves up to this far either way
    std::optional<std::int64_t> vanish_after_ms; // not seen from this long after start on
};

// Where a turn stands: its number since start (0 first) and the time since start.
struct TurnMoment {
    std::int64_t turn = 0;
    std::int64_t elapsed_ms = 0;
};

// What the scanner sees around it, and how warm it is.
struct Scene {
    std::vector<SceneStripe> stripes;
    std::vector<TagBehaviour> behaviours;
    std::int32_t jitter = 2;       // most increments a start or width moves per turn
    std::int32_t temperature = 21; // degrees Celsius, -127 .. 128
};

// A scene file read, or the first error in it ("line 4: ...").
struct SceneResult {
    std::optional<Scene> scene;
    std::string error;
};

// Lines of the form (blanks between fields, "#" starts a comment, angles in degrees with
// "." or "," and up to three decimals):
//   stripe START WIDTH [CODE]
//   tag START WIDTH1 GAP WIDTH2 CODE     two stripes; the second carries CODE (1..255)
//   jitter INCREMENTS
//   temperature DEGREES
//   miss CODE SHARE          the tag is missed in SHARE (0..1) of the turns, spread evenly
//   wander CODE DEGREES      its angle moves by up to DEGREES either way, anew each turn
//   vanish CODE SECONDS      it is gone from SECONDS after the start on
// A file that sets behaviours but holds no stripe applies them to the built-in stripes.
SceneResult parse_scene(std::string_view text);

// Six coded tags (one across angle zero) with plain stripes between them.
Scene default_scene();

// Most stripes a scene may hold: as many as the shorter "ZA" records fit into one frame.
constexpr std::size_t k_max_scene_stripes = 60;

// One stripe of a turn in increments, as the status frame carries it.
struct Record {
    std::int32_t start = 0;
    std::int32_t width = 0;
    std::uint8_t code = 0;

    bool operator==(const Record&) const = default;
};

// The scene's stripes at `increments` per turn, without jitter, sorted by start angle.
// Codes are dropped for "ZA", and the list is cut to the type's record limit.
std::vector<Record> scene_records(const Scene& scene, std::int32_t increments, ScannerType type);

// One turn: scene_records with each start and width moved by up to the scene's jitter.
std::vector<Record> turn_records(const Scene& scene, std::int32_t increments, ScannerType type,
                                 std::mt19937& rng, TurnMoment moment = {});

} // namespace trx::sim

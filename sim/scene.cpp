#include "sim/scene.hpp"

#include "base/numtext.hpp"
#include "sim/fixed_text.hpp"

#include <algorithm>

namespace trx::sim {

namespace {

constexpr std::int32_t k_full_turn_mdeg = 360'000;

std::vector<std::string_view> split_fields(std::string_view line) {
    const auto hash = line.find('#');
    if (hash != std::string_view::npos) {
        line = line.substr(0, hash);
    }
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) {
            ++i;
        }
        const std::size_t begin = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            ++i;
        }
        if (i > begin) {
            fields.push_back(line.substr(begin, i - begin));
        }
    }
    return fields;
}

std::optional<std::int32_t> angle(std::string_view text) {
    const auto v = parse_fixed(text, 3);
    if (!v || *v >= k_full_turn_mdeg) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*v);
}

std::optional<std::int32_t> whole(std::string_view text, std::int32_t low, std::int32_t high) {
    const bool negative = !text.empty() && text.front() == '-';
    const auto v = num::parse_whole(negative ? text.substr(1) : text);
    if (!v || *v > 1'000'000) {
        return std::nullopt;
    }
    const auto s = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(*v)
                                                      : static_cast<std::int64_t>(*v));
    if (s < low || s > high) {
        return std::nullopt;
    }
    return s;
}

// Reads one line into the scene; an error text, empty when the line was good.
class SceneLineReader {
public:
    explicit SceneLineReader(Scene& scene) : scene_(scene) {}

    std::string read(const std::vector<std::string_view>& f) {
        const std::string_view key = f.front();
        if (key == "stripe") {
            return stripe(f);
        }
        if (key == "tag") {
            return tag(f);
        }
        if (key == "jitter" || key == "temperature") {
            return setting(f);
        }
        if (key == "miss" || key == "wander" || key == "vanish") {
            return behaviour(f);
        }
        return "unknown keyword \"" + std::string(key) + "\"";
    }

private:
    std::string stripe(const std::vector<std::string_view>& f) {
        if (f.size() != 3 && f.size() != 4) {
            return "stripe needs START WIDTH [CODE]";
        }
        const auto start = angle(f[1]);
        const auto width = angle(f[2]);
        if (!start || !width || *width == 0) {
            return "angles are degrees from 0 to below 360, widths above 0";
        }
        std::optional<std::int32_t> code = 0;
        if (f.size() == 4) {
            code = whole(f[3], 0, 255);
        }
        if (!code) {
            return "a code is a whole number from 0 to 255";
        }
        const auto c = static_cast<std::uint8_t>(*code);
        return add({*start, *width, c, c});
    }

    std::string tag(const std::vector<std::string_view>& f) {
        if (f.size() != 6) {
            return "tag needs START WIDTH1 GAP WIDTH2 CODE";
        }
        const auto start = angle(f[1]);
        const auto w1 = angle(f[2]);
        const auto gap = angle(f[3]);
        const auto w2 = angle(f[4]);
        const auto code = whole(f[5], 1, 255);
        if (!start || !w1 || !gap || !w2 || *w1 == 0 || *w2 == 0) {
            return "angles are degrees from 0 to below 360, widths above 0";
        }
        if (*w1 + *gap + *w2 >= k_full_turn_mdeg) {
            return "a tag must be narrower than a full turn";
        }
        if (!code) {
            return "a tag's code is a whole number from 1 to 255";
        }
        const auto c = static_cast<std::uint8_t>(*code);
        if (auto e = add({*start, *w1, 0, c}); !e.empty()) {
            return e;
        }
        const std::int32_t second = (*start + *w1 + *gap) % k_full_turn_mdeg;
        return add({second, *w2, c, c});
    }

    std::string setting(const std::vector<std::string_view>& f) {
        if (f.size() != 2) {
            return std::string(f.front()) + " needs one value";
        }
        if (f.front() == "jitter") {
            const auto j = whole(f[1], 0, 1000);
            if (!j) {
                return "jitter is a whole number of increments from 0 to 1000";
            }
            scene_.jitter = *j;
            return {};
        }
        const auto t = whole(f[1], -127, 128);
        if (!t) {
            return "temperature is a whole number of degrees from -127 to 128";
        }
        scene_.temperature = *t;
        return {};
    }

    std::string behaviour(const std::vector<std::string_view>& f) {
        const std::string key(f.front());
        if (f.size() != 3) {
            return key + " needs CODE and a value";
        }
        const auto code = whole(f[1], 1, 255);
        if (!code) {
            return "a tag's code is a whole number from 1 to 255";
        }
        TagBehaviour& b = of(static_cast<std::uint8_t>(*code));
        const auto v = parse_fixed(f[2], 3);
        if (key == "miss") {
            if (!v || *v > 1000) {
                return "miss takes a share from 0 to 1";
            }
            b.miss_milli = static_cast<std::int32_t>(*v);
        } else if (key == "wander") {
            if (!v || *v >= k_full_turn_mdeg / 2) {
                return "wander takes degrees from 0 to below 180";
            }
            b.wander_mdeg = static_cast<std::int32_t>(*v);
        } else {
            if (!v) {
                return "vanish takes seconds from 0";
            }
            b.vanish_after_ms = *v;
        }
        return {};
    }

    TagBehaviour& of(std::uint8_t code) {
        for (TagBehaviour& b : scene_.behaviours) {
            if (b.code == code) {
                return b;
            }
        }
        TagBehaviour& b = scene_.behaviours.emplace_back();
        b.code = code;
        return b;
    }

    std::string add(SceneStripe s) {
        if (scene_.stripes.size() >= k_max_scene_stripes) {
            return "more than " + num::dec(k_max_scene_stripes) + " stripes";
        }
        scene_.stripes.push_back(s);
        return {};
    }

    Scene& scene_;
};

std::int32_t to_increments(std::int32_t mdeg, std::int32_t increments) {
    const std::int64_t scaled = static_cast<std::int64_t>(mdeg) * increments;
    const std::int64_t half = scaled < 0 ? -k_full_turn_mdeg / 2 : k_full_turn_mdeg / 2;
    return static_cast<std::int32_t>((scaled + half) / k_full_turn_mdeg);
}

std::int32_t wrap(std::int32_t v, std::int32_t turn) {
    return ((v % turn) + turn) % turn;
}

constexpr std::size_t k_insertion_sort_max = 64;

// What the behaviours do to one turn: which tags are not seen, and how far each one moves.
struct TagsThisTurn {
    std::vector<std::uint8_t> hidden;
    std::vector<std::pair<std::uint8_t, std::int32_t>> moved; // code, increments

    [[nodiscard]] bool is_hidden(std::uint8_t tag) const {
        return tag != 0 && std::find(hidden.begin(), hidden.end(), tag) != hidden.end();
    }
    [[nodiscard]] std::int32_t offset(std::uint8_t tag) const {
        for (const auto& [code, by] : moved) {
            if (code == tag && tag != 0) {
                return by;
            }
        }
        return 0;
    }
};

// Missed in exactly the share asked for over any run of turns: turn n is missed when the
// count of misses due by its end grows.
bool missed(std::int32_t milli, std::int64_t turn) {
    return (turn + 1) * milli / 1000 > turn * milli / 1000;
}

TagsThisTurn tags_this_turn(const Scene& scene, std::int32_t increments, std::mt19937& rng,
                            TurnMoment m) {
    TagsThisTurn t;
    for (const TagBehaviour& b : scene.behaviours) {
        const bool gone = b.vanish_after_ms && m.elapsed_ms >= *b.vanish_after_ms;
        if (gone || (b.miss_milli > 0 && missed(b.miss_milli, m.turn))) {
            t.hidden.push_back(b.code);
        }
        if (b.wander_mdeg > 0) {
            std::uniform_int_distribution<std::int32_t> by(-b.wander_mdeg, b.wander_mdeg);
            t.moved.emplace_back(b.code, to_increments(by(rng), increments));
        }
    }
    return t;
}

std::vector<Record> records(const Scene& scene, std::int32_t increments, ScannerType type,
                            std::mt19937* rng, TurnMoment moment) {
    std::vector<Record> out;
    out.reserve(scene.stripes.size());
    std::uniform_int_distribution<std::int32_t> jitter(-scene.jitter, scene.jitter);
    const TagsThisTurn tags =
        rng != nullptr ? tags_this_turn(scene, increments, *rng, moment) : TagsThisTurn{};
    for (const auto& s : scene.stripes) {
        if (tags.is_hidden(s.tag)) {
            continue;
        }
        std::int32_t start = to_increments(s.start_mdeg, increments) + tags.offset(s.tag);
        std::int32_t width = std::max(1, to_increments(s.width_mdeg, increments));
        if (rng != nullptr && scene.jitter > 0) {
            start += jitter(*rng);
            width = std::max(1, width + jitter(*rng));
        }
        const auto code = type == ScannerType::ya ? s.code : std::uint8_t{0};
        out.push_back({wrap(start, increments), std::min(width, increments - 1), code});
    }
    const auto by_start = [](const Record& a, const Record& b) { return a.start < b.start; };
    if (out.size() <= k_insertion_sort_max) {
        // A turn of a usual scene: nearly in order already, sorted in place without the
        // buffer a stable sort takes, as this runs for every turn.
        for (auto it = out.begin(); it != out.end(); ++it) {
            std::rotate(std::upper_bound(out.begin(), it, *it, by_start), it, it + 1);
        }
    } else {
        std::stable_sort(out.begin(), out.end(), by_start);
    }
    if (out.size() > max_records(type)) {
        out.resize(max_records(type));
    }
    return out;
}

} // namespace

SceneResult parse_scene(std::string_view text) {
    Scene scene;
    SceneLineReader reader(scene);
    int line_no = 0;
    while (!text.empty()) {
        ++line_no;
        const auto nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        const auto fields = split_fields(line);
        if (fields.empty()) {
            continue;
        }
        if (auto e = reader.read(fields); !e.empty()) {
            return {std::nullopt, "line " + num::dec(line_no) + ": " + e};
        }
    }
    if (scene.stripes.empty() && !scene.behaviours.empty()) {
        scene.stripes = default_scene().stripes;
    }
    for (const TagBehaviour& b : scene.behaviours) {
        const bool there = std::any_of(scene.stripes.begin(), scene.stripes.end(),
                                       [&b](const SceneStripe& s) { return s.tag == b.code; });
        if (!there) {
            return {std::nullopt, "no tag with code " + num::dec(b.code) + " in the scene"};
        }
    }
    return {std::move(scene), {}};
}

Scene default_scene() {
    // Tags of three stripe modules' width (about 50 increments at 8192 per turn); the first
    // one starts just before angle zero and ends just after it.
    constexpr std::int32_t k_tag_starts[] = {358'900, 60'000, 120'000, 180'000, 240'000, 300'000};
    constexpr std::int32_t k_plain_starts[] = {30'000, 95'000, 150'000, 215'000, 270'000, 330'000};
    Scene s;
    s.stripes.reserve(18);
    for (std::size_t i = 0; i < 6; ++i) {
        const std::int32_t first = k_tag_starts[i];
        const std::int32_t w1 = 800;
        const std::int32_t gap = 500 + 50 * static_cast<std::int32_t>(i);
        const std::int32_t w2 = 700 + 50 * static_cast<std::int32_t>(i);
        const auto code = static_cast<std::uint8_t>(11 * (i + 1));
        s.stripes.push_back({first, w1, 0, code});
        s.stripes.push_back({(first + w1 + gap) % k_full_turn_mdeg, w2, code, code});
        s.stripes.push_back({k_plain_starts[i], 400 + 50 * static_cast<std::int32_t>(i), 0});
    }
    return s;
}

std::vector<Record> scene_records(const Scene& scene, std::int32_t increments, ScannerType type) {
    return records(scene, increments, type, nullptr, {});
}

std::vector<Record> turn_records(const Scene& scene, std::int32_t increments, ScannerType type,
                                 std::mt19937& rng, TurnMoment moment) {
    return records(scene, increments, type, &rng, moment);
}

} // namespace trx::sim

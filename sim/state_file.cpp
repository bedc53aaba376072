#include "sim/state_file.hpp"

#include "base/numtext.hpp"
#include "sim/sim_files.hpp"

#include <array>
#include <fstream>
#include <limits>
#include <system_error>

namespace trx::sim {

namespace {

// One kept value: its key, its largest value and where it lives.
struct Field {
    std::string_view key;
    std::uint32_t max;
    std::uint32_t (*get)(const SimState&);
    void (*set)(SimState&, std::uint32_t);
};

template <typename T, T ParamSet::*M> Field param(std::string_view key) {
    return {key, static_cast<std::uint32_t>(std::numeric_limits<T>::max()),
            [](const SimState& s) { return static_cast<std::uint32_t>(s.params.*M); },
            [](SimState& s, std::uint32_t v) { s.params.*M = static_cast<T>(v); }};
}

const std::array<Field, 15>& fields() {
    static const std::array<Field, 15> k_fields = {
        param<std::uint32_t, &ParamSet::serial>("serial"),
        Field{"index", 0xFFFF, [](const SimState& s) { return std::uint32_t{s.index}; },
              [](SimState& s, std::uint32_t v) { s.index = static_cast<std::uint16_t>(v); }},
        param<std::uint16_t, &ParamSet::speed>("speed"),
        param<std::uint16_t, &ParamSet::resolution>("resolution"),
        param<std::uint16_t, &ParamSet::switches>("switches"),
        param<std::uint16_t, &ParamSet::gap_offset_abs>("gap_offset_abs"),
        param<std::uint16_t, &ParamSet::equal_tolerance_abs>("equal_tolerance_abs"),
        param<std::uint16_t, &ParamSet::min_modul_angle>("min_modul_angle"),
        param<std::uint16_t, &ParamSet::max_modul_angle>("max_modul_angle"),
        param<std::uint8_t, &ParamSet::can_baudrate>("can_baudrate"),
        param<std::uint8_t, &ParamSet::rs232_baudrate>("rs232_baudrate"),
        param<std::uint16_t, &ParamSet::equal_tolerance_rel>("equal_tolerance_rel"),
        param<std::uint16_t, &ParamSet::gap_offset_rel>("gap_offset_rel"),
        param<std::uint16_t, &ParamSet::gap_correction>("gap_correction"),
        param<std::uint16_t, &ParamSet::can_identifier>("can_identifier"),
    };
    return k_fields;
}

const Field* find_field(std::string_view key) {
    for (const auto& f : fields()) {
        if (f.key == key) {
            return &f;
        }
    }
    return nullptr;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

} // namespace

StateResult parse_state(std::string_view text, const SimState& base) {
    SimState s = base;
    int line_no = 0;
    while (!text.empty()) {
        ++line_no;
        const auto nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        line = trim(line.substr(0, line.find('#')));
        if (line.empty()) {
            continue;
        }
        const auto blank = line.find_first_of(" \t");
        const std::string_view key = line.substr(0, blank);
        const std::string_view value =
            blank == std::string_view::npos ? std::string_view{} : trim(line.substr(blank));
        const Field* f = find_field(key);
        const std::string where = "line " + num::dec(line_no) + ": ";
        if (f == nullptr) {
            return {std::nullopt, where + "unknown key \"" + std::string(key) + "\""};
        }
        const auto v = num::parse_whole(value);
        if (!v || *v > f->max) {
            return {std::nullopt, where + std::string(key) + " needs a whole number from 0 to " +
                                      num::dec(f->max)};
        }
        f->set(s, static_cast<std::uint32_t>(*v));
    }
    return {s, {}};
}

std::string format_state(const SimState& s) {
    std::string out = "# TRX81500 simulator: parameter set and index, kept across runs\n";
    for (const auto& f : fields()) {
        out += std::string(f.key) + " " + num::dec(f.get(s)) + "\n";
    }
    return out;
}

StateResult load_state(const std::filesystem::path& file, const SimState& base) {
    const FileRead read = read_bounded_file(file, k_max_state_file_bytes);
    if (read.missing) {
        return {base, {}};
    }
    if (!read.content) {
        return {std::nullopt, "cannot read state file " + read.error};
    }
    auto r = parse_state(*read.content, base);
    if (!r.state) {
        r.error = file.string() + ": " + r.error;
    }
    return r;
}

std::string save_state(const std::filesystem::path& file, const SimState& s) {
    std::filesystem::path temp = file;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << format_state(s);
        out.flush();
        if (!out) {
            return "cannot write " + temp.string();
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, file, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return "cannot replace " + file.string();
    }
    return {};
}

} // namespace trx::sim

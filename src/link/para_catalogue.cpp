#include "link/para_catalogue.hpp"

#include "base/numtext.hpp"
#include "base/text.hpp"
#include "link/frame.hpp"

namespace trx::link {

namespace {

// A list text is padded at its front for the list's look; only those spaces go.
constexpr std::string_view k_item_padding = " ";

constexpr bool rows_in_field_order() {
    for (std::size_t i = 0; i < k_para_catalogue.size(); ++i) {
        if (static_cast<std::size_t>(k_para_catalogue[i].id) != i) {
            return false;
        }
    }
    return true;
}
static_assert(rows_in_field_order(), "para_field() indexes the catalogue by ParaField");

// "12,5" or "12.5": the decimal separator of the window, or the one a script types.
std::optional<std::uint32_t> parse_fixed(std::string_view text, int decimals) {
    std::string t(text);
    for (char& c : t) {
        if (c == '.') {
            c = ',';
        }
    }
    const auto n = num::parse_comma(t, decimals);
    if (!n || !n->exact || n->scaled > 0xFFFFFFFF) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(n->scaled);
}

std::optional<std::uint32_t> list_position(const ParaFieldDef& f, std::string_view text) {
    for (std::size_t i = 0; i < f.items.size(); ++i) {
        if (trim_start(f.items[i], k_item_padding) == text) {
            return static_cast<std::uint32_t>(i);
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> parse_can_id(std::string_view text) {
    if (text.size() < 3 || text.size() > 5 ||
        (text.substr(0, 2) != "0x" && text.substr(0, 2) != "0X")) {
        return std::nullopt;
    }
    for (char c : text.substr(2)) {
        if (num::hex_digit(c) < 0) {
            return std::nullopt;
        }
    }
    return read_hex(text.substr(2));
}

std::optional<std::uint32_t> parse_raw(const ParaFieldDef& f, std::string_view text) {
    switch (f.display) {
    case ParaDisplay::serial:
    case ParaDisplay::whole: {
        const auto v = num::parse_whole(text);
        if (!v || *v > 0xFFFFFFFFU) {
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(*v);
    }
    case ParaDisplay::version:
        return parse_fixed(text, 2);
    case ParaDisplay::tenths:
        return parse_fixed(text, 1);
    case ParaDisplay::list:
        return list_position(f, text);
    case ParaDisplay::code: {
        if (text == "none") {
            return 0;
        }
        const auto p = list_position(f, text);
        return p ? std::optional<std::uint32_t>(*p + 1) : std::nullopt;
    }
    case ParaDisplay::bit:
        if (text == "on") {
            return 1;
        }
        if (text == "off") {
            return 0;
        }
        return std::nullopt;
    case ParaDisplay::can_id:
        return parse_can_id(text);
    }
    return std::nullopt;
}

} // namespace

const ParaFieldDef* find_para_field(std::string_view name) {
    for (const ParaFieldDef& f : k_para_catalogue) {
        if (f.name == name) {
            return &f;
        }
    }
    return nullptr;
}

std::uint32_t field_value(const ParaSet& set, const ParaFieldDef& f) {
    const std::uint32_t word = set.*f.member;
    if (f.display == ParaDisplay::bit) {
        return (word & f.bit) != 0 ? 1U : 0U;
    }
    return word;
}

void set_field_value(ParaSet& set, const ParaFieldDef& f, std::uint32_t v) {
    std::uint32_t& word = set.*f.member;
    if (f.display != ParaDisplay::bit) {
        word = v;
        return;
    }
    word = v != 0 ? (word | f.bit) : (word & ~f.bit);
}

std::string display_value(const ParaFieldDef& f, std::uint32_t v) {
    switch (f.display) {
    case ParaDisplay::serial:
    case ParaDisplay::whole:
        return num::dec(v);
    case ParaDisplay::version:
        return num::fixed_comma(v, 2);
    case ParaDisplay::tenths:
        return num::fixed_comma(v, 1);
    case ParaDisplay::list:
        return v < f.items.size() ? std::string(trim_start(f.items[v], k_item_padding)) : "?";
    case ParaDisplay::code:
        if (v == 0) {
            return "none";
        }
        return v <= f.items.size() ? std::string(trim_start(f.items[v - 1], k_item_padding)) : "?";
    case ParaDisplay::bit:
        return v != 0 ? "on" : "off";
    case ParaDisplay::can_id:
        return "0x" + num::hex_upper(v, 3);
    }
    return {};
}

std::optional<std::uint32_t> parse_display_value(const ParaFieldDef& f, std::string_view text) {
    const auto v = parse_raw(f, text);
    if (!v || !in_range(f, *v)) {
        return std::nullopt;
    }
    return v;
}

} // namespace trx::link

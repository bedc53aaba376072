#include "cli/field_values.hpp"

#include "base/numtext.hpp"
#include "cli/exit_status.hpp"

#include <algorithm>

namespace trx::cli {

namespace {

constexpr std::string_view k_tooltip_lead = "Possible Values: ";

// Names a script may read but not set here.
std::optional<std::string> read_only_reason(std::string_view name) {
    if (name == "index") {
        return "index is stored with 'index set'";
    }
    if (name == "type" || name == "serial_number" || name == "version") {
        return std::string(name) + " is the scanner's own and cannot be set";
    }
    return std::nullopt;
}

std::string with_point(std::string text) {
    std::replace(text.begin(), text.end(), ',', '.');
    return text;
}

// A number with more decimals than the field keeps is refused for that, not for its range,
// which it may well lie in ("12.55" for speed).
std::string refusal(const link::ParaFieldDef& f, const std::string& value) {
    if (f.display == link::ParaDisplay::tenths) {
        std::string comma = value;
        std::replace(comma.begin(), comma.end(), '.', ',');
        if (const auto n = num::parse_comma(comma, 1); n && !n->exact) {
            return std::string(f.name) + " takes one decimal place, not '" + value + "'. " +
                   range_message(f);
        }
    }
    return range_message(f);
}

} // namespace

std::string range_message(const link::ParaFieldDef& f) {
    if (!f.message.empty()) {
        return std::string(f.message);
    }
    if (f.display == link::ParaDisplay::bit) {
        return "Possible values for " + std::string(f.name) + ": on, off";
    }
    std::string_view values = f.tooltip;
    if (values.starts_with(k_tooltip_lead)) {
        values.remove_prefix(k_tooltip_lead.size());
    }
    std::string message = "Possible values for " + std::string(f.name) + ": " + std::string(values);
    if (f.display == link::ParaDisplay::code) {
        message += " or none";
    }
    return message;
}

Result<std::vector<Assignment>> parse_assignments(const std::vector<std::string>& words) {
    std::vector<Assignment> out;
    for (const std::string& word : words) {
        const auto eq = word.find('=');
        if (eq == std::string::npos || eq == 0) {
            return usage_error("expected NAME=VALUE, not '" + word + "'");
        }
        const std::string name = word.substr(0, eq);
        if (const auto why = read_only_reason(name)) {
            return usage_error(*why);
        }
        const link::ParaFieldDef* f = link::find_para_field(name);
        if (f == nullptr) {
            return usage_error("unknown field '" + name + "' (see trx81500-cli params set --help)");
        }
        if (f->read_only) {
            return usage_error(*read_only_reason(name));
        }
        if (std::any_of(out.begin(), out.end(),
                        [&](const Assignment& a) { return a.field == f; })) {
            return usage_error(name + " is given twice");
        }
        const std::string value = word.substr(eq + 1);
        const auto v = link::parse_display_value(*f, value);
        if (!v) {
            return usage_error(refusal(*f, value));
        }
        out.push_back({f, *v});
    }
    return out;
}

std::string value_text(const link::ParaFieldDef& f, std::uint32_t v) {
    return with_point(link::display_value(f, v));
}

nlohmann::ordered_json json_of(const link::ParaFieldDef& f, std::uint32_t v) {
    using D = link::ParaDisplay;
    switch (f.display) {
    case D::bit:
        return v != 0;
    case D::version:
        return value_text(f, v);
    case D::tenths:
        // One decimal: the shortest double that reads back is the same text, "10.0" included.
        return static_cast<double>(v) / 10.0;
    case D::list:
    case D::code: {
        // The list's entries are numbers (baud rates, resolutions).
        const auto n = num::parse_whole(link::display_value(f, v));
        return n ? nlohmann::ordered_json(*n) : nlohmann::ordered_json(nullptr);
    }
    case D::can_id:
    case D::serial:
    case D::whole:
        break;
    }
    return v;
}

std::string json_value(const link::ParaFieldDef& f, std::uint32_t v) {
    return json_of(f, v).dump();
}

void NamedValues::add(std::string name, std::string text, nlohmann::ordered_json json) {
    json_[name] = std::move(json);
    text_.emplace_back(std::move(name), std::move(text));
}

void NamedValues::add(const link::ParaFieldDef& f, std::uint32_t v) {
    add(std::string(f.name), value_text(f, v), json_of(f, v));
}

void NamedValues::print(std::ostream& out, bool as_json) const {
    if (as_json) {
        // Bytes that are not UTF-8 become U+FFFD instead of stopping the output.
        out << json_.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
        return;
    }
    for (const auto& [name, value] : text_) {
        out << name << " = " << value << '\n';
    }
}

std::vector<const link::ParaFieldDef*> reply_fields(const link::ParaReply& reply) {
    std::vector<const link::ParaFieldDef*> out;
    for (const link::ParaFieldDef& f : link::k_para_catalogue) {
        if (reply.has(f)) {
            out.push_back(&f);
        }
    }
    return out;
}

std::vector<const link::ParaFieldDef*> wrong_fields(const link::ParaReply& reply) {
    std::vector<const link::ParaFieldDef*> out;
    for (const link::ParaFieldDef* f : reply_fields(reply)) {
        if (!link::in_range(*f, link::field_value(reply.set, *f))) {
            out.push_back(f);
        }
    }
    return out;
}

} // namespace trx::cli

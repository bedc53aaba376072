#pragma once

#include "base/result.hpp"
#include "link/para_catalogue.hpp"
#include "link/para_frame.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Parameter fields on the command line: names and values as the catalogue gives them, in the
// window's units with a decimal point ("12.5", "1.09", "8192", "0x7FF", "on").
namespace trx::cli {

// NAME=VALUE, checked against the catalogue.
struct Assignment {
    const link::ParaFieldDef* field = nullptr;
    std::uint32_t value = 0; // the wire value
};

// Every NAME=VALUE checked before anything is sent: an unknown or read-only name, a name given
// twice, or a value the field cannot take is a usage error, the last with the window's
// message for the field.
Result<std::vector<Assignment>> parse_assignments(const std::vector<std::string>& words);

// The catalogue's message for a value out of range, as the window shows it, or for a field the
// window never has to refuse, the same sentence on its tooltip.
std::string range_message(const link::ParaFieldDef& f);

// The value as text ("12.5") and as JSON: a number in the window's units written as that text
// (12.5, 10.0, 8192, 250), true or false, null for no value ("none", a list entry out of
// range), or a text ("1.09").
std::string value_text(const link::ParaFieldDef& f, std::uint32_t v);
nlohmann::ordered_json json_of(const link::ParaFieldDef& f, std::uint32_t v);
std::string json_value(const link::ParaFieldDef& f, std::uint32_t v);

// Named values in the order added, printed as "name = value" lines or as one JSON object on
// one line ({"type":"YA","speed":12.5}).
class NamedValues {
public:
    void add(std::string name, std::string text, nlohmann::ordered_json json);
    void add(const link::ParaFieldDef& f, std::uint32_t v);
    void print(std::ostream& out, bool as_json) const;

private:
    std::vector<std::pair<std::string, std::string>> text_;
    nlohmann::ordered_json json_ = nlohmann::ordered_json::object();
};

// The fields a reply carries, in catalogue order.
std::vector<const link::ParaFieldDef*> reply_fields(const link::ParaReply& reply);
// Of these, the ones whose value is out of range: the reply counts as wrong.
std::vector<const link::ParaFieldDef*> wrong_fields(const link::ParaReply& reply);

} // namespace trx::cli

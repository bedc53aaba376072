#pragma once

#include "base/numtext.hpp"
#include "forms/para_form.hpp"
#include "link/para_set.hpp"
#include "parafile/para_file.hpp"

#include <cstdint>
#include <optional>

// The connected scanner as the parameter window shows it.
namespace trx::para {

inline link::ScannerType shown_type(const ParaForm& form) {
    return parafile::scanner_type(form.typ.caption()).value_or(link::ScannerType::unknown);
}

// The index the "L" reply left in its box; none while the box holds no index.
inline std::optional<std::uint16_t> shown_index(const ParaForm& form) {
    const auto v = num::parse_whole(form.index.text());
    if (!v || *v > 0xFFFFU) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(*v);
}

} // namespace trx::para

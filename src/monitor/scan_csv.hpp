#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trx::monitor {

// One stripe of the scan the tables show. Values absent here are empty cells there: a gap
// or tag width the scanner type does not record, or everything after the start angle when
// the decoding stopped at this stripe.
struct ScanRow {
    std::int32_t start = 0;
    std::optional<std::int64_t> end;
    std::optional<std::int32_t> width;
    std::optional<std::int64_t> gap;
    std::optional<std::int64_t> tag_width;
    std::optional<std::int64_t> tag_angle;
    std::int32_t code = 0; // 0: no code
};

// The stripes of the scan shown last, in frame order.
struct ShownScan {
    std::vector<ScanRow> rows;
};

// The names of the scan's columns, the stripe columns of every export (service/turn_layout).
std::string scan_csv_header();

// The scan as comma-separated values: the header, then one line per stripe; numbers as
// plain decimals, an absent value (and code 0) as an empty field; every line ends in "\n".
std::string scan_csv(const ShownScan& scan);

} // namespace trx::monitor

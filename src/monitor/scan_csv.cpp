#include "monitor/scan_csv.hpp"

#include "base/numtext.hpp"

namespace trx::monitor {

namespace {

template <class T> std::string field(const std::optional<T>& v) {
    return v ? num::dec(static_cast<std::int64_t>(*v)) : std::string();
}

} // namespace

std::string scan_csv(const ShownScan& scan) {
    std::string out = std::string(k_scan_csv_header) + "\n";
    for (const ScanRow& r : scan.rows) {
        out += num::dec(r.start) + "," + field(r.end) + "," + field(r.width) + "," + field(r.gap) +
               "," + field(r.tag_width) + "," + field(r.tag_angle) + "," +
               (r.code != 0 ? num::dec(r.code) : std::string()) + "\n";
    }
    return out;
}

} // namespace trx::monitor

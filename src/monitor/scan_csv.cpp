#include "monitor/scan_csv.hpp"

#include "service/turn_layout.hpp"

namespace trx::monitor {

namespace {

// The row as the tables show it: a code of 0 is no code, an empty cell.
service::StripeCells cells_of(const ScanRow& r) {
    using service::StripeColumn;
    service::StripeCells cells;
    cell(cells, StripeColumn::start) = r.start;
    cell(cells, StripeColumn::end) = r.end;
    cell(cells, StripeColumn::width) = r.width;
    cell(cells, StripeColumn::gap) = r.gap;
    cell(cells, StripeColumn::code) = r.code != 0 ? service::Cell(r.code) : std::nullopt;
    cell(cells, StripeColumn::tag_width) = r.tag_width;
    cell(cells, StripeColumn::tag_angle) = r.tag_angle;
    return cells;
}

} // namespace

std::string scan_csv_header() {
    return service::csv_names(service::k_stripe_columns);
}

std::string scan_csv(const ShownScan& scan) {
    std::string out = scan_csv_header() + "\n";
    for (const ScanRow& r : scan.rows) {
        service::append_csv_cells(out, cells_of(r));
        out += '\n';
    }
    return out;
}

} // namespace trx::monitor

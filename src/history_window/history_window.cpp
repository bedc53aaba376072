#include "history_window/history_window.hpp"

#include "base/numtext.hpp"
#include "link/para_catalogue.hpp"
#include "parafile/para_file.hpp"

#include <algorithm>

namespace trx::history_window {

namespace {

constexpr std::uint64_t k_max_serial = 0xFFFFFFFFU;

std::string stamp(std::chrono::system_clock::time_point t) {
    std::string s = parafile::utc_text(t);
    std::erase_if(s, [](char c) { return c == '-' || c == ':'; });
    return s;
}

std::string text_of(const nlohmann::json& details, const char* key) {
    const auto it = details.find(key);
    if (it == details.end() || !it->is_string()) {
        return {};
    }
    return it->get<std::string>();
}

} // namespace

std::string entry_summary(const history::Entry& e) {
    const nlohmann::json& d = e.details;
    std::string what;
    switch (e.kind) {
    case history::Kind::seen:
        what = text_of(d, "type") + " " + text_of(d, "version");
        break;
    case history::Kind::index:
        what = d.contains("index") ? "index " + d["index"].dump() : std::string();
        break;
    case history::Kind::update:
    case history::Kind::verify:
    case history::Kind::read_back:
        what = text_of(d, "image");
        break;
    case history::Kind::backup:
    case history::Kind::file_save:
    case history::Kind::file_load:
        what = text_of(d, "path");
        break;
    case history::Kind::read:
    case history::Kind::store:
        break;
    }
    const std::string reason = e.ok ? std::string() : text_of(d, "reason");
    if (reason.empty()) {
        return what;
    }
    return what.empty() ? reason : what + ": " + reason;
}

HistoryWindow::HistoryWindow(Deps deps) : d_(std::move(deps)) {
    HistoryForm& f = d_.form;
    connections_ += f.cmd_show.click.connect([this] { show_click(); });
    connections_ += f.cmd_compare.click.connect([this] { compare_click(); });
    connections_ += f.cmd_load.click.connect([this] { load_click(); });
    connections_ += f.cmd_export.click.connect([this] { export_click(); });
}

void HistoryWindow::open() {
    if (const auto serial = d_.connected_serial ? d_.connected_serial() : std::nullopt) {
        d_.form.serial.set_text(num::dec(*serial));
    }
    d_.form.window.show();
    show_click();
    d_.form.window.user_activate();
}

void HistoryWindow::show_click() {
    if (const auto entries = listing()) {
        show_entries(*entries);
    } else {
        show_entries({});
    }
}

std::optional<std::vector<history::Entry>> HistoryWindow::listing() {
    HistoryForm& f = d_.form;
    if (f.serial.text().empty()) {
        f.note.set_caption("Type a serial number, or connect a scanner and read its set.");
        return std::nullopt;
    }
    const auto serial = num::parse_whole(f.serial.text());
    if (!serial || *serial > k_max_serial) {
        f.note.set_caption("Serial No. must be a whole number from 0 to 4294967295.");
        return std::nullopt;
    }
    auto store = d_.open_store();
    if (!store) {
        f.note.set_caption("The history cannot be read: " + store.error().message + ".");
        return std::nullopt;
    }
    auto listed = store.value()->list({static_cast<std::uint32_t>(*serial), {}});
    if (!listed) {
        f.note.set_caption("The history cannot be read: " + listed.error().message + ".");
        return std::nullopt;
    }
    std::vector<history::Entry> entries = std::move(listed.value());
    std::reverse(entries.begin(), entries.end()); // newest first
    return entries;
}

void HistoryWindow::show_entries(const std::vector<history::Entry>& entries) {
    HistoryForm& f = d_.form;
    ui::Grid& g = f.entries;
    g.set_drawing(false);
    const int shown = std::min(static_cast<int>(entries.size()), k_entry_rows - 1);
    for (int r = 1; r <= shown; ++r) {
        const history::Entry& e = entries[static_cast<std::size_t>(r - 1)];
        g.set_cell(r, col_id, num::dec(e.id));
        g.set_cell(r, col_time, e.time);
        g.set_cell(r, col_kind, history::kind_text(e.kind));
        g.set_cell(r, col_ok, e.ok ? "yes" : "no");
        g.set_cell(r, col_station, e.station);
        g.set_cell(r, col_user, e.user);
        g.set_cell(r, col_what, entry_summary(e));
    }
    for (int r = shown + 1; r < std::max(g.used_rows(), shown + 1); ++r) {
        for (int c = 0; c < k_entry_cols; ++c) {
            g.set_cell(r, c, "");
        }
    }
    g.set_drawing(true);
    if (!entries.empty()) {
        const auto n = static_cast<std::int64_t>(entries.size());
        f.note.set_caption(
            num::dec(n) + (n == 1 ? " entry" : " entries") + " of the scanner " + f.serial.text() +
            (shown < n ? ", the newest " + num::dec(shown) + " shown; Export CSV saves all"
                       : std::string()));
    } else if (f.note.caption().rfind("The history", 0) != 0 &&
               f.note.caption().rfind("Serial", 0) != 0 && f.note.caption().rfind("Type", 0) != 0) {
        f.note.set_caption("The history holds no entry of the scanner " + f.serial.text() + ".");
    }
    f.cmd_export.set_enabled(!entries.empty());
}

std::optional<history::TypedSet> HistoryWindow::entry_set(const std::string& id_text,
                                                          const char* which) {
    const auto id = num::parse_whole(id_text);
    if (!id || *id == 0 || *id > static_cast<std::uint64_t>(INT64_MAX)) {
        refuse(std::string("The ") + which + " entry must be given by its id, a whole number.");
        return std::nullopt;
    }
    auto store = d_.open_store();
    if (!store) {
        refuse("The history cannot be read: " + store.error().message + ".");
        return std::nullopt;
    }
    auto found = store.value()->find(static_cast<std::int64_t>(*id));
    if (!found) {
        refuse("The history cannot be read: " + found.error().message + ".");
        return std::nullopt;
    }
    if (!found.value()) {
        refuse("The history holds no entry " + id_text + ".");
        return std::nullopt;
    }
    const nlohmann::json& d = found.value()->details;
    const char* key = found.value()->kind == history::Kind::store ? "after" : "set";
    const auto set = d.contains(key) ? history::set_from_json(d[key]) : std::nullopt;
    if (!set) {
        refuse("The entry " + id_text + " (" +
               std::string(history::kind_text(found.value()->kind)) + ") keeps no parameter set.");
        return std::nullopt;
    }
    return set;
}

void HistoryWindow::compare_click() {
    HistoryForm& f = d_.form;
    const auto first = entry_set(f.compare_first.text(), "first");
    if (!first) {
        return;
    }
    const auto second = entry_set(f.compare_second.text(), "second");
    if (!second) {
        return;
    }
    if (first->type != second->type) {
        refuse("The sets are of two types (" + std::string(link::type_text(first->type)) + " and " +
               std::string(link::type_text(second->type)) + ") and are not compared.");
        return;
    }
    ui::Grid& g = f.comparison;
    g.set_drawing(false);
    int row = 0;
    for (const link::ParaFieldDef& field : link::k_para_catalogue) {
        if (field.extended && first->type != link::ScannerType::ya) {
            continue;
        }
        ++row;
        const std::uint32_t a = link::field_value(first->set, field);
        const std::uint32_t b = link::field_value(second->set, field);
        g.set_cell(row, col_field, field.name);
        g.set_cell(row, col_unit, field.unit);
        g.set_cell(row, col_first, link::display_value(field, a));
        g.set_cell(row, col_second, link::display_value(field, b));
        g.set_cell(row, col_differs, a != b ? "*" : "");
    }
    for (int r = row + 1; r < k_compare_rows; ++r) {
        for (int c = 0; c < k_compare_cols; ++c) {
            g.set_cell(r, c, "");
        }
    }
    g.set_drawing(true);
}

void HistoryWindow::load_click() {
    const auto set = entry_set(d_.form.load_id.text(), "loaded");
    if (!set) {
        return;
    }
    if (const auto why = d_.load_set(set->type, set->set)) {
        refuse("The set was not loaded: " + *why + ".");
    }
}

void HistoryWindow::export_click() {
    // Taken now: entries recorded while the dialog is open are not in what is saved.
    const auto entries = listing();
    if (!entries) {
        return;
    }
    std::string csv = history::csv_header() + "\n";
    for (const history::Entry& e : *entries) {
        csv += history::csv_row(e) + "\n";
    }
    const auto initial = d_.data_folder / ("history-" + d_.form.serial.text() + "-" +
                                           stamp(d_.clock.utc_now()) + ".csv");
    const std::string path = d_.dialogs.save_file(
        {"Export the history as CSV", "CSV files (*.csv)|*.csv", ".csv", initial.string()});
    if (path.empty()) {
        return;
    }
    if (const Result<Done> w = d_.files.replace(path, csv); !w) {
        refuse("The history was not saved: " + w.error().message + ".", path);
    }
}

void HistoryWindow::refuse(const std::string& text, const std::string& detail) {
    d_.dialogs.message({text, k_history_caption, ui::Icon::warning, detail});
}

} // namespace trx::history_window

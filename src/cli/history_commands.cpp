// history list, show and export, and the set of an entry for params import.
#include "base/numtext.hpp"
#include "cli/commands.hpp"
#include "cli/exit_status.hpp"
#include "cli/field_values.hpp"
#include "link/para_catalogue.hpp"

#include <string>

namespace trx::cli {

namespace {

Result<std::unique_ptr<history::HistoryStore>> open_store(const CliServices& services) {
    if (!services.open_history) {
        return Error{ErrorKind::local_file, "there is no service history in this build"};
    }
    return services.open_history();
}

// The entry with this id, or why there is none.
Result<history::Entry> entry_of(const CliServices& services, const std::string& id_text) {
    const auto id = num::parse_whole(id_text);
    if (!id || *id == 0 || *id > 0x7FFF'FFFF'FFFF'FFFFULL) {
        return usage_error("a history entry's id is a whole number from 1, not '" + id_text + "'");
    }
    auto store = open_store(services);
    if (!store) {
        return store.error();
    }
    auto found = store.value()->find(static_cast<std::int64_t>(*id));
    if (!found) {
        return found.error();
    }
    if (!found->has_value()) {
        return usage_error("the history has no entry " + id_text);
    }
    return found->value();
}

// "2025-03-01T09:30" as the entries' times are written, so that they compare as text.
std::string since_text(std::string v) {
    if (v.ends_with('Z')) {
        v.pop_back();
    }
    if (v.size() == 16) {
        v += ":00";
    }
    if (v.size() == 19) {
        v += ".000Z";
    }
    return v;
}

// A set's fields as the catalogue names them, in its units.
void print_set(std::ostream& out, const std::string& prefix, const nlohmann::json& j) {
    const auto typed = history::set_from_json(j);
    if (!typed) {
        out << prefix << " = " << j.dump() << '\n';
        return;
    }
    out << prefix << ".type = " << link::type_text(typed->type) << '\n';
    for (const link::ParaFieldDef& f : link::k_para_catalogue) {
        if (!f.extended || typed->type == link::ScannerType::ya) {
            out << prefix << "." << f.name << " = "
                << value_text(f, link::field_value(typed->set, f)) << '\n';
        }
    }
}

void print_entry(std::ostream& out, const history::Entry& e) {
    out << "id = " << e.id << "\nuid = " << e.uid << "\ntime = " << e.time
        << "\nstation = " << e.station << "\nuser = " << e.user << "\nprogram = " << e.program
        << "\nserial = " << (e.serial ? std::to_string(*e.serial) : "none")
        << "\nkind = " << history::kind_text(e.kind) << "\nok = " << (e.ok ? "yes" : "no") << '\n';
    for (const auto& [name, value] : e.details.items()) {
        if (history::set_from_json(value)) {
            print_set(out, name, value);
        } else {
            out << name << " = " << (value.is_string() ? value.get<std::string>() : value.dump())
                << '\n';
        }
    }
}

// The entry as list --json writes it: its sets in the catalogue's units, as params get --json
// writes them.
nlohmann::json shown_json(const history::Entry& e) {
    nlohmann::json j = history::entry_json(e);
    for (auto& [name, value] : j.items()) {
        const auto typed = history::set_from_json(value);
        if (!typed) {
            continue;
        }
        nlohmann::json set = nlohmann::json::object();
        set["type"] = std::string(link::type_text(typed->type));
        for (const link::ParaFieldDef& f : link::k_para_catalogue) {
            if (!f.extended || typed->type == link::ScannerType::ya) {
                set[std::string(f.name)] =
                    nlohmann::json::parse(json_of(f, link::field_value(typed->set, f)).dump());
            }
        }
        value = std::move(set);
    }
    return j;
}

// One line of the plain listing: what happened, to which scanner, where.
std::string list_line(const history::Entry& e) {
    std::string line = std::to_string(e.id) + "  " + e.time + "  " + e.station + "  " + e.user +
                       "  " + (e.serial ? std::to_string(*e.serial) : "-") + "  " +
                       std::string(history::kind_text(e.kind)) + "  " + (e.ok ? "ok" : "failed");
    for (const char* name : {"path", "image", "index", "reason"}) {
        if (const auto it = e.details.find(name); it != e.details.end() && !it->is_null()) {
            line += "  " + (it->is_string() ? it->get<std::string>() : it->dump());
        }
    }
    return line;
}

int run_history_list(const CommandLine& line, const CliServices& services) {
    history::Query q;
    if (const auto serial = line.option("--serial")) {
        q.serial = static_cast<std::uint32_t>(*num::parse_whole(*serial));
    }
    if (const auto since = line.option("--since")) {
        q.since = since_text(*since);
    }
    auto store = open_store(services);
    if (!store) {
        return report(services.err, store.error());
    }
    const auto entries = store.value()->list(q);
    if (!entries) {
        return report(services.err, entries.error());
    }
    if (line.has("--csv")) {
        services.out << history::csv_header() << '\n';
    }
    for (const history::Entry& e : *entries) {
        if (line.has("--json")) {
            services.out << shown_json(e).dump() << '\n';
        } else if (line.has("--csv")) {
            services.out << history::csv_row(e) << '\n';
        } else {
            services.out << list_line(e) << '\n';
        }
    }
    return 0;
}

int run_history_export(const CommandLine& line, CliServices& services) {
    auto store = open_store(services);
    if (!store) {
        return report(services.err, store.error());
    }
    const auto entries = store.value()->list({});
    if (!entries) {
        return report(services.err, entries.error());
    }
    std::string text = history::csv_header() + "\n";
    for (const history::Entry& e : *entries) {
        text += history::csv_row(e) + "\n";
    }
    const std::string& path = line.args.front();
    if (auto w = services.files.replace(path, text); !w) {
        return report(services.err,
                      {ErrorKind::local_file, "cannot write " + path + ": " + w.error().message});
    }
    return 0;
}

} // namespace

Result<parafile::ParaFile> history_set(const CliServices& services, const std::string& id) {
    const auto entry = entry_of(services, id);
    if (!entry) {
        return entry.error();
    }
    // A store that was acknowledged left its "after"; every other kind with a set, its "set".
    const char* field = entry->kind == history::Kind::store && entry->ok ? "after" : "set";
    const auto it = entry->details.find(field);
    const auto typed = it != entry->details.end() ? history::set_from_json(*it)
                                                  : std::optional<history::TypedSet>{};
    if (!typed) {
        return usage_error("history entry " + id + " (" +
                           std::string(history::kind_text(entry->kind)) + ") holds no set");
    }
    if (const link::ParaFieldDef* f = parafile::first_unloadable(typed->type, typed->set)) {
        return usage_error("history entry " + id + " holds " + std::string(f->name) + " = " +
                           value_text(*f, link::field_value(typed->set, *f)) + ", out of range");
    }
    return parafile::ParaFile{typed->type, typed->set, std::nullopt, entry->time, entry->program};
}

int run_history(const CommandLine& line, CliServices& services) {
    switch (line.command->id) {
    case CommandId::history_list:
        return run_history_list(line, services);
    case CommandId::history_export:
        return run_history_export(line, services);
    default:
        break;
    }
    const auto entry = entry_of(services, line.args.front());
    if (!entry) {
        return report(services.err, entry.error());
    }
    print_entry(services.out, *entry);
    return 0;
}

} // namespace trx::cli

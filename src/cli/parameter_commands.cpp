// info, params get and set, index get and set.
#include "base/numtext.hpp"
#include "cli/commands.hpp"
#include "cli/exit_status.hpp"
#include "cli/field_values.hpp"
#include "service/firmware_update.hpp"

#include <string>
#include <vector>

namespace trx::cli {

namespace {

using link::ParaField;
using link::ParaFieldDef;

constexpr std::uint64_t k_max_index = 0xFFFF;
constexpr std::string_view k_nothing_stored = "; nothing was stored";

Result<std::uint16_t> parse_index(const std::string& text) {
    const auto v = num::parse_whole(text);
    if (!v || *v > k_max_index) {
        return usage_error("Possible values for index: 0 - 65535");
    }
    return static_cast<std::uint16_t>(*v);
}

std::string in_quotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

void add_type(NamedValues& p, link::ScannerType type) {
    const std::string t(service::type_text(type));
    p.add("type", t, t);
}

// A wrong reply is shown all the same; what is wrong with it goes to stderr.
void warn_if_wrong(std::ostream& err, const link::ParaReply& reply) {
    if (reply.type == link::ScannerType::unknown) {
        err << k_program << ": warning: the parameter reply has an unexpected length (type \?\?): "
            << "Wrong parameter, please set !\n";
    }
    for (const ParaFieldDef* f : wrong_fields(reply)) {
        err << k_program << ": warning: " << f->name << " = "
            << value_text(*f, link::field_value(reply.set, *f)) << " is out of range ("
            << range_message(*f) << ")\n";
    }
}

// The changes applied to the scanner's set, refused whole when one cannot be stored.
Result<link::ParaSet> changed_set(const link::ParaReply& reply,
                                  const std::vector<Assignment>& changes) {
    if (reply.type == link::ScannerType::unknown) {
        return Error{ErrorKind::device,
                     "the scanner's parameter reply has an unexpected length (type \?\?)" +
                         std::string(k_nothing_stored)};
    }
    link::ParaSet set = reply.set;
    for (const Assignment& a : changes) {
        if (!reply.has(*a.field)) {
            return usage_error(std::string(a.field->name) + " is not in the parameter set of a " +
                               in_quotes(service::type_text(reply.type)) + " scanner" +
                               std::string(k_nothing_stored));
        }
        link::set_field_value(set, *a.field, a.value);
    }
    // The scanner takes a set only when every field is in range.
    for (const ParaFieldDef* f : reply_fields(reply)) {
        const std::uint32_t v = link::field_value(set, *f);
        if (!f->read_only && !link::in_range(*f, v)) {
            return usage_error("the scanner's " + std::string(f->name) + " is out of range (" +
                               value_text(*f, v) + "); set it too" + std::string(k_nothing_stored));
        }
    }
    return set;
}

// The read-back against what was sent; the version is the firmware's own.
std::optional<Error> compare_stored(const link::ParaReply& reply, const link::ParaSet& sent,
                                    const link::ParaReply& back) {
    if (back.type != reply.type) {
        return Error{ErrorKind::not_acknowledged,
                     "the scanner acknowledged the store but now reports type " +
                         std::string(service::type_text(back.type))};
    }
    for (const ParaFieldDef* f : reply_fields(reply)) {
        const std::uint32_t want = link::field_value(sent, *f);
        const std::uint32_t got = link::field_value(back.set, *f);
        if (f->id != ParaField::version && want != got) {
            return Error{ErrorKind::not_acknowledged,
                         "the scanner acknowledged the store but reports " + std::string(f->name) +
                             " = " + value_text(*f, got) + " (sent " + value_text(*f, want) + ")"};
        }
    }
    return std::nullopt;
}

Error read_back_failed(const Error& e) {
    return {e.kind, "the scanner acknowledged the store, but reading it back failed: " + e.message};
}

} // namespace

Result<link::ParaReply> store_with_backup(CommandContext& c, const link::ParaReply& reported,
                                          const link::ParaSet& set) {
    const auto index = c.session.read_index();
    if (!index) {
        return Error{index.error().kind, index.error().message + std::string(k_nothing_stored)};
    }
    if (!c.services.backup_before_store) {
        return usage_error("no backup of the scanner's parameters can be written in this build" +
                           std::string(k_nothing_stored));
    }
    const auto saved = c.services.backup_before_store(reported, *index);
    if (!saved) {
        return Error{saved.error().kind, saved.error().message + std::string(k_nothing_stored)};
    }
    c.services.err << "Backup: " << saved->string() << '\n';
    if (auto stored = c.session.store_parameters(set, reported.type == link::ScannerType::ya);
        !stored) {
        return stored.error();
    }
    auto back = c.session.read_parameters();
    if (!back) {
        return read_back_failed(back.error());
    }
    if (auto differs = compare_stored(reported, set, *back)) {
        return *differs;
    }
    return back;
}

std::optional<Error> check_arguments(const CommandLine& line, const CliServices& services) {
    switch (line.command->id) {
    case CommandId::record:
        return check_output(line.args.front(), false);
    case CommandId::params_export:
        return check_output(line.args.front(), true);
    case CommandId::params_import:
        if (line.has("--from-history") == !line.args.empty()) {
            return usage_error("usage: trx81500-cli params import FILE | --from-history ID");
        }
        if (const auto id = line.option("--from-history")) {
            if (auto s = history_set(services, *id); !s) {
                return s.error();
            }
            break;
        }
        [[fallthrough]];
    case CommandId::params_diff:
        if (auto f = read_para_file(services, line.args.front()); !f) {
            return f.error();
        }
        break;
    case CommandId::params_set:
        if (auto a = parse_assignments(line.args); !a) {
            return a.error();
        }
        break;
    case CommandId::index_set:
        if (auto i = parse_index(line.args.front()); !i) {
            return i.error();
        }
        break;
    case CommandId::flash:
        return check_flash_arguments(line);
    default:
        break;
    }
    return std::nullopt;
}

int run_info(CommandContext& c) {
    const auto reply = c.session.read_parameters();
    if (!reply) {
        return report(c.services.err, reply.error());
    }
    const auto index = c.session.read_index();
    if (!index) {
        return report(c.services.err, index.error());
    }
    NamedValues p;
    add_type(p, reply->type);
    p.add(link::para_field(ParaField::serial_number), reply->set.serial_number);
    p.add(link::para_field(ParaField::version), reply->set.version);
    p.add("index", num::dec(*index), *index);
    p.print(c.services.out, c.line.has("--json"));
    return 0;
}

int run_params_get(CommandContext& c) {
    const auto reply = c.session.read_parameters();
    if (!reply) {
        return report(c.services.err, reply.error());
    }
    NamedValues p;
    add_type(p, reply->type);
    for (const ParaFieldDef* f : reply_fields(*reply)) {
        p.add(*f, link::field_value(reply->set, *f));
    }
    p.print(c.services.out, c.line.has("--json"));
    warn_if_wrong(c.services.err, *reply);
    return 0;
}

int run_params_set(CommandContext& c) {
    std::ostream& err = c.services.err;
    const auto changes = parse_assignments(c.line.args);
    if (!changes) {
        return report(err, changes.error());
    }
    const auto reply = c.session.read_parameters();
    if (!reply) {
        return report(err, reply.error());
    }
    const auto set = changed_set(*reply, *changes);
    if (!set) {
        return report(err, set.error());
    }
    const auto back = store_with_backup(c, *reply, *set);
    if (!back) {
        return report(err, back.error());
    }
    NamedValues p;
    for (const Assignment& a : *changes) {
        p.add(*a.field, link::field_value(back->set, *a.field));
    }
    p.print(c.services.out, false);
    return 0;
}

int run_index_get(CommandContext& c) {
    const auto index = c.session.read_index();
    if (!index) {
        return report(c.services.err, index.error());
    }
    c.services.out << *index << '\n';
    return 0;
}

int run_index_set(CommandContext& c) {
    std::ostream& err = c.services.err;
    const auto index = parse_index(c.line.args.front());
    if (!index) {
        return report(err, index.error());
    }
    if (auto stored = c.session.store_index(*index); !stored) {
        return report(err, stored.error());
    }
    const auto back = c.session.read_index();
    if (!back) {
        return report(err, read_back_failed(back.error()));
    }
    if (*back != *index) {
        return report(err, {ErrorKind::not_acknowledged,
                            "the scanner acknowledged the store but reports index = " +
                                num::dec(*back) + " (sent " + num::dec(*index) + ")"});
    }
    c.services.out << "index = " << *back << '\n';
    return 0;
}

} // namespace trx::cli

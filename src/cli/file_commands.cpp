// params export, import and diff: the scanner's set and parameter files.
#include "cli/commands.hpp"
#include "cli/exit_status.hpp"
#include "cli/field_values.hpp"

#include "base/output_file.hpp"

#include <string>
#include <utility>

namespace trx::cli {

namespace {

using link::ParaFieldDef;

// What is written must import again, as the window's "Save to file..." demands: a reply of
// unknown type, or a setting the scanner holds out of range, refuses the export.
std::optional<Error> unsavable(const link::ParaReply& reply) {
    constexpr std::string_view nothing = "; nothing was written";
    if (reply.type == link::ScannerType::unknown) {
        return Error{ErrorKind::device,
                     "the scanner's parameter reply has an unexpected length (type \?\?)" +
                         std::string(nothing)};
    }
    if (const ParaFieldDef* f = parafile::first_unloadable(reply.type, reply.set)) {
        return usage_error("the scanner's " + std::string(f->name) + " is out of range (" +
                           value_text(*f, link::field_value(reply.set, *f)) +
                           "), so the file would not load" + std::string(nothing));
    }
    return std::nullopt;
}

// The scanner's set with the settings of a file of its type; the identity stays the
// scanner's.
link::ParaSet with_settings(const link::ParaReply& reply, const parafile::ParaFile& file) {
    link::ParaSet set = reply.set;
    for (const ParaFieldDef& f : link::k_para_catalogue) {
        if (parafile::holds(file.type, f)) {
            link::set_field_value(set, f, link::field_value(file.set, f));
        }
    }
    return set;
}

} // namespace

std::optional<Error> check_output(const std::string& path, bool dash_is_stdout) {
    if (dash_is_stdout && path == k_standard_output) {
        return std::nullopt;
    }
    std::error_code ec;
    (void)output_target(path, ec);
    if (!ec) {
        return std::nullopt;
    }
    // Refused before the port opens: the scanner is never touched for a file that cannot be.
    // A name that is no place for a file is bad input; a system that refuses to say (a plain
    // file where a folder should be) is a local file problem, as a failed write.
    return Error{ec.category() == output_category() ? ErrorKind::bad_input : ErrorKind::local_file,
                 "cannot write " + path + ": " + ec.message()};
}

Result<parafile::ParaFile> read_para_file(const CliServices& services, const std::string& path,
                                          std::optional<link::ScannerType> expected) {
    const Result<std::string> loaded = services.files.read(path, parafile::k_max_file_bytes);
    if (!loaded) {
        return usage_error("cannot read " + path + ": " + loaded.error().message);
    }
    parafile::ParaFileRead r = parafile::parse_para_file(*loaded, expected);
    if (!r.file) {
        return usage_error(path + ": " + r.refusal.text());
    }
    return std::move(*r.file);
}

int run_params_export(CommandContext& c) {
    std::ostream& err = c.services.err;
    const std::string& path = c.line.args.front();
    const auto reply = c.session.read_parameters();
    if (!reply) {
        return report(err, reply.error());
    }
    if (auto bad = unsavable(*reply)) {
        return report(err, *bad);
    }
    const auto index = c.session.read_index();
    if (!index) {
        return report(err, index.error());
    }
    const parafile::ParaFile file{
        reply->type, reply->set, *index, parafile::utc_text(c.services.clock.utc_now()), {}};
    if (path == k_standard_output) {
        c.services.out << parafile::format_para_file(file);
        c.services.out.flush();
        return 0;
    }
    const Result<Done> w = c.services.files.replace(path, parafile::format_para_file(file));
    if (c.services.history != nullptr) {
        c.services.history->file(history::Kind::file_save, file.type, file.set, path,
                                 w ? std::nullopt : std::optional<Error>(w.error()));
    }
    if (!w) {
        return report(err, {w.error().kind, "cannot write " + path + ": " + w.error().message});
    }
    return 0;
}

int run_params_import(CommandContext& c) {
    std::ostream& err = c.services.err;
    const auto reply = c.session.read_parameters();
    if (!reply) {
        return report(err, reply.error());
    }
    const auto from_history = c.line.option("--from-history");
    const auto file = from_history ? history_set(c.services, *from_history)
                                   : read_para_file(c.services, c.line.args.front(), reply->type);
    if (!file) {
        return report(err, {file.error().kind, file.error().message + "; nothing was stored"});
    }
    if (from_history && file->type != reply->type) {
        return report(
            err,
            usage_error("history entry " + *from_history + " holds a set of type " +
                        std::string(link::type_text(file->type)) + ", the scanner is of type " +
                        std::string(link::type_text(reply->type)) + "; nothing was stored"));
    }
    if (c.services.history != nullptr && !from_history) {
        c.services.history->file(history::Kind::file_load, file->type, file->set,
                                 c.line.args.front(), std::nullopt);
    }
    const auto back = store_with_backup(c, *reply, with_settings(*reply, *file));
    if (!back) {
        return report(err, back.error());
    }
    // The settings the file changed, as the scanner now holds them.
    for (const ParaFieldDef& f : link::k_para_catalogue) {
        const std::uint32_t now = link::field_value(back->set, f);
        if (parafile::holds(file->type, f) && now != link::field_value(reply->set, f)) {
            c.services.out << f.name << " = " << value_text(f, now) << '\n';
        }
    }
    return 0;
}

int run_params_diff(CommandContext& c) {
    const auto reply = c.session.read_parameters();
    if (!reply) {
        return report(c.services.err, reply.error());
    }
    const auto file = read_para_file(c.services, c.line.args.front(), reply->type);
    if (!file) {
        return report(c.services.err, file.error());
    }
    const auto diffs = parafile::differences(reply->set, file->set, file->type);
    if (diffs.empty()) {
        return static_cast<int>(ExitStatus::done);
    }
    // The values as params get prints them, with a decimal point.
    c.services.out << parafile::difference_lines(diffs, "scanner", "file", &value_text) << '\n';
    return static_cast<int>(ExitStatus::differences);
}

} // namespace trx::cli

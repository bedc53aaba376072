// flash (update, verify, read-back) and image (info, stamp).
#include "base/numtext.hpp"
#include "cli/commands.hpp"
#include "cli/exit_status.hpp"
#include "cli/json_update_report.hpp"
#include "cli/update_report.hpp"
#include "flashlib/frame_text.hpp"
#include "flashlib/hex_reader.hpp"
#include "flashlib/hex_writer.hpp"
#include "flashlib/image_identity.hpp"
#include "service/firmware_update.hpp"
#include "service/flash_log.hpp"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace trx::cli {

namespace {

// "START:END", END exclusive, each decimal or 0x hexadecimal; the whole flash without it.
Result<std::pair<std::uint32_t, std::uint32_t>> read_range(const CommandLine& line) {
    const auto text = line.option("--range");
    if (!text) {
        return std::pair<std::uint32_t, std::uint32_t>{0, service::k_flash_bytes};
    }
    const auto colon = text->find(':');
    const auto number = [](const std::string& s) -> std::optional<std::uint64_t> {
        if (s.empty()) {
            return std::nullopt;
        }
        std::size_t used = 0;
        try {
            const std::uint64_t v = std::stoull(s, &used, 0);
            return used == s.size() ? std::optional(v) : std::nullopt;
        } catch (const std::logic_error&) {
            return std::nullopt;
        }
    };
    const auto start = colon == std::string::npos ? std::nullopt : number(text->substr(0, colon));
    const auto end = colon == std::string::npos ? std::nullopt : number(text->substr(colon + 1));
    if (!start || !end || *end <= *start || *end > service::k_flash_bytes) {
        return usage_error("--range takes START:END inside the flash (0 ... 0x40000, END "
                           "exclusive), not '" +
                           *text + "'");
    }
    return std::pair{static_cast<std::uint32_t>(*start), static_cast<std::uint32_t>(*end)};
}

// A file that cannot be written is refused before the scanner is reset.
Result<Done> check_writable(const std::string& path) {
    const std::string probe = path + ".part";
    {
        std::ofstream out(probe, std::ios::binary | std::ios::trunc);
        if (!out) {
            return Error{ErrorKind::local_file, "cannot write " + path};
        }
    }
    std::error_code ec;
    std::filesystem::remove(probe, ec);
    return Done{};
}

// Whole or not at all: the read-back goes to a side file that takes the name at the end.
Result<Done> write_whole(const std::string& path, const std::string& text) {
    const std::string part = path + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(part, ec);
            return Error{ErrorKind::local_file, "cannot write " + path};
        }
    }
    std::error_code ec;
    std::filesystem::rename(part, path, ec);
    if (ec) {
        return Error{ErrorKind::local_file, "cannot write " + path + ": " + ec.message()};
    }
    return Done{};
}

// As the update window takes its port back at the end, the tool looks for the scanner's new
// firmware on the link; its silence is worth a warning, not a failed update.
void confirm_running(service::Session& session, std::ostream& err) {
    const std::string port = session.port_name();
    auto back = session.open(port);
    if (back) {
        back = session.wait_online();
    }
    if (!back) {
        err << k_program << ": warning: after the update: " << back.error().message << '\n';
    }
    session.close();
}

// The update log as lines on stdout, or the JSON lines; both hear the same sequence.
struct Reports {
    std::unique_ptr<UpdateReport> text;
    std::unique_ptr<JsonUpdateReport> json;
    service::UpdateObserver& observer() {
        return json ? static_cast<service::UpdateObserver&>(*json) : *text;
    }
};

Reports make_reports(CommandContext& c) {
    Reports r;
    if (c.line.has("--json")) {
        r.json = std::make_unique<JsonUpdateReport>(c.services.out, c.session.port_name(),
                                                    c.services.now);
    } else {
        r.text = std::make_unique<UpdateReport>(c.services.out, c.services.err,
                                                c.services.err_is_terminal);
    }
    return r;
}

int failed(CommandContext& c, Reports& reports, const service::FirmwareUpdate& update,
           const Error& error, JsonUpdateReport::Result result) {
    const std::string& red = update.failure_line();
    if (reports.json) {
        result.step = update.failed_step() ? std::string(step_name(*update.failed_step())) : "";
        result.reason = error.message.empty() ? red : error.message;
        reports.json->result(result);
    }
    if (!update.failed_step()) {
        // A bad file, a refused image, or an interrupt before "F": nothing was sent, the
        // scanner runs on.
        return report(c.services.err, error);
    }
    const std::string& why = error.message;
    // A kept copy of the firmware that could not be written is the local disk's fault.
    const ErrorKind kind =
        error.kind == ErrorKind::local_file ? ErrorKind::local_file : ErrorKind::flash;
    return report(c.services.err, {kind, red.empty()   ? why
                                         : why.empty() ? red
                                                       : red + " (" + why + ")"});
}

// The scanner's set before a run, for the image's check and the history's serial number; a
// scanner that sits in its loader answers nothing, and the run goes on without it.
std::optional<link::ParaReply> scanner_before_run(CommandContext& c, std::string_view without) {
    auto reply = c.session.read_parameters();
    if (!reply) {
        c.services.err << k_program << ": warning: the scanner gave no parameter set ("
                       << reply.error().message << "); " << without << '\n';
        return std::nullopt;
    }
    return *reply;
}

int run_verify(CommandContext& c, FlashLibrary& library) {
    (void)scanner_before_run(c, "the history does not name it");
    Reports reports = make_reports(c);
    service::FirmwareUpdate update(c.session, library, reports.observer());
    const auto found = update.verify(c.line.args.front());
    JsonUpdateReport::Result result;
    result.image_crc = update.image_check().image_crc;
    if (!found) {
        return failed(c, reports, update, found.error(), result);
    }
    if (reports.json) {
        result.ok = true;
        result.identical = found->identical();
        reports.json->result(result);
    } else {
        c.services.out << (found->identical() ? "identical" : "differs") << '\n';
        for (const std::string& s : found->sectors) {
            c.services.out << s << '\n';
        }
    }
    return found->identical() ? 0 : static_cast<int>(ExitStatus::differences);
}

int run_read(CommandContext& c, FlashLibrary& library) {
    const auto range = read_range(c.line);
    const std::string& out_path = c.line.args.front();
    (void)scanner_before_run(c, "the history does not name it");
    Reports reports = make_reports(c);
    service::FirmwareUpdate update(c.session, library, reports.observer());
    const auto bytes = update.read_back(range->first, range->second - range->first);
    if (!bytes) {
        return failed(c, reports, update, bytes.error(), {});
    }
    flash::HexImage image;
    for (std::size_t i = 0; i < bytes->size(); ++i) {
        (void)image.put(range->first + static_cast<std::uint32_t>(i), (*bytes)[i]);
    }
    if (auto written = write_whole(out_path, flash::write_intel_hex(image)); !written) {
        return report(c.services.err, written.error());
    }
    if (reports.json) {
        JsonUpdateReport::Result result;
        result.ok = true;
        result.image_crc = flash::image_crc32(image);
        reports.json->result(result);
    }
    return 0;
}

// --backup-firmware: the whole flash read back in the update's own run, after the loader
// answered and before anything is erased, and kept beside the parameter backups of the
// scanner's serial number.
Result<service::KeepFlash> firmware_keeper(CommandContext& c, std::optional<std::uint32_t> serial) {
    if (!serial) {
        return Error{ErrorKind::no_answer, "the scanner gave no serial number, so its firmware "
                                           "cannot be kept beside its backups; nothing was sent"};
    }
    if (!c.services.keep_firmware) {
        return Error{ErrorKind::local_file, "no folder to keep the firmware in"};
    }
    return service::KeepFlash([&c, serial = *serial](const std::string& hex) {
        auto kept = c.services.keep_firmware(serial, hex);
        if (kept) {
            c.services.err << k_program << ": the scanner's firmware is kept in " << kept->string()
                           << '\n';
        }
        return kept;
    });
}

int run_update(CommandContext& c, FlashLibrary& library) {
    // The scanner's type and version for the image's check; a scanner that sits in its loader
    // answers nothing, and is updated without them.
    service::UpdateOptions options;
    options.force = c.line.has("--force");
    std::optional<std::uint32_t> serial;
    if (const auto reply = scanner_before_run(c, "its type and version are not checked")) {
        options.scanner = service::facts_from(*reply);
        serial = reply->set.serial_number;
    }
    if (c.line.has("--backup-firmware")) {
        auto keeper = firmware_keeper(c, serial);
        if (!keeper) {
            return report(c.services.err, keeper.error());
        }
        options.keep = std::move(*keeper);
    }
    Reports reports = make_reports(c);
    service::FirmwareUpdate update(c.session, library, reports.observer());
    // A library step blocks for up to many seconds: the first Ctrl+C is answered from the
    // signal itself, not after the step.
    const auto& notice = c.services.stop_notice;
    if (notice) {
        notice(std::string(k_program) + ": " + k_flash_stop_notice + "\n");
    }
    const auto outcome = update.run(c.line.args.front(), options);
    if (notice) {
        notice("");
    }
    JsonUpdateReport::Result result;
    result.serial_number = serial;
    result.image_crc = update.image_check().image_crc;
    result.sectors_skipped = update.skipped_sectors();
    if (!outcome) {
        return failed(c, reports, update, outcome.error(), result);
    }
    if (c.session.interrupted()) {
        // The interrupt came during the last step: no step was left to skip.
        c.services.err << k_program
                       << ": interrupted during the last step, which completed: the update is "
                          "complete\n";
    }
    // The count of skipped sectors is in the flash library's log (--log) and in the JSON.
    if (reports.json) {
        result.ok = true;
        reports.json->result(result);
    }
    confirm_running(c.session, c.services.err);
    return 0;
}

nlohmann::ordered_json identity_json(const service::ImageCheck& check) {
    nlohmann::ordered_json j;
    if (!check.has_identity()) {
        j["identity"] = nullptr;
        j["damaged"] = check.verdict == service::ImageVerdict::damaged;
        j["image_crc"] = flash::hex8(check.image_crc);
        return j;
    }
    const flash::ImageIdentity& id = check.found.identity;
    j["type"] = flash::types_text(id.types);
    j["version"] = flash::version_text(id.version);
    j["date"] = flash::date_text(id.date);
    j["crc"] = flash::hex8(id.crc);
    j["image_crc"] = flash::hex8(check.found.image_crc);
    j["matches"] = check.found.crc_matches();
    j["at"] = flash::hex6(id.at);
    return j;
}

} // namespace

std::optional<Error> check_flash_arguments(const CommandLine& line) {
    const bool verify = line.has("--verify");
    const bool read = line.has("--read");
    if (verify && read) {
        return usage_error("--verify and --read exclude each other");
    }
    if (line.has("--backup-firmware") && (verify || read)) {
        return usage_error("--backup-firmware goes with an update, not with --verify or --read");
    }
    if (line.has("--range") && !read) {
        return usage_error("--range needs --read");
    }
    if (read) {
        if (auto range = read_range(line); !range) {
            return range.error();
        }
        if (auto w = check_writable(line.args.front()); !w) {
            return w.error();
        }
        return std::nullopt;
    }
    if (auto h = service::check_hex_file(line.args.front()); !h) {
        return h.error();
    }
    return std::nullopt;
}

int run_flash(CommandContext& c) {
    std::unique_ptr<FlashLibrary> library =
        c.services.flash_library ? c.services.flash_library() : nullptr;
    if (!library) {
        return report(c.services.err, {ErrorKind::flash, "no flash library is available"});
    }
    if (c.services.log != nullptr) {
        service::route_flash_log(*library, *c.services.log);
    }
    if (const auto max = c.line.option("--max-baud")) {
        library->set_max_baud(static_cast<std::int32_t>(num::parse_whole(*max).value_or(57600)));
    }
    if (c.line.has("--verify")) {
        return run_verify(c, *library);
    }
    if (c.line.has("--read")) {
        return run_read(c, *library);
    }
    return run_update(c, *library);
}

int run_image_info(const CommandLine& line, CliServices& services) {
    const auto check = service::check_image_file(line.args.front(), {});
    if (!check) {
        return report(services.err, check.error());
    }
    if (line.has("--json")) {
        services.out << identity_json(*check).dump() << '\n';
    } else if (!check->has_identity()) {
        services.out << "identity = " << check->summary() << '\n'
                     << "image_crc = " << flash::hex8(check->image_crc) << '\n';
    } else {
        const flash::ImageIdentity& id = check->found.identity;
        services.out << "type = " << flash::types_text(id.types) << '\n'
                     << "version = " << flash::version_text(id.version) << '\n'
                     << "date = " << flash::date_text(id.date) << '\n'
                     << "crc = " << flash::hex8(id.crc) << '\n'
                     << "image_crc = " << flash::hex8(check->found.image_crc) << '\n'
                     << "matches = " << (check->found.crc_matches() ? "yes" : "no") << '\n';
    }
    // A damaged image is worth a status a script notices.
    return check->verdict == service::ImageVerdict::damaged
               ? report(services.err, {ErrorKind::bad_input, check->reason})
               : 0;
}

int run_image_stamp(const CommandLine& line, CliServices& services) {
    const auto types = flash::parse_types(line.option("--type").value_or(""));
    const auto version = flash::parse_version(line.option("--version").value_or(""));
    const auto out_path = line.option("-o");
    if (!types || !version || !out_path) {
        return report(services.err,
                      usage_error("image stamp needs --type ZA|YA|any, --version X.YY and -o OUT"));
    }
    std::optional<std::uint32_t> at;
    if (const auto text = line.option("--at")) {
        try {
            std::size_t used = 0;
            at = static_cast<std::uint32_t>(std::stoul(*text, &used, 0));
            if (used != text->size()) {
                throw std::invalid_argument(*text);
            }
        } catch (const std::logic_error&) {
            return report(services.err, usage_error("--at takes an address, not '" + *text + "'"));
        }
    }
    const flash::HexResult hex = flash::read_firmware_file(line.args.front());
    if (!hex.ok()) {
        return report(services.err,
                      {ErrorKind::bad_input, line.args.front() + ": " + hex.error.message});
    }
    flash::ImageIdentity id;
    id.types = *types;
    id.version = *version;
    const auto today = std::chrono::year_month_day(
        std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now()));
    id.date = {static_cast<std::uint16_t>(static_cast<int>(today.year())),
               static_cast<std::uint8_t>(static_cast<unsigned>(today.month())),
               static_cast<std::uint8_t>(static_cast<unsigned>(today.day()))};
    std::string why;
    const auto stamped = flash::stamp_identity(hex.image, id, at, flash::trx81500_layout(), why);
    if (!stamped) {
        return report(services.err, {ErrorKind::bad_input, line.args.front() + ": " + why});
    }
    if (auto written = write_whole(*out_path, flash::write_intel_hex(*stamped)); !written) {
        return report(services.err, written.error());
    }
    const auto found = flash::find_identity(*stamped);
    services.out << "stamped at " << flash::hex6(found.identity.at) << ", CRC "
                 << flash::hex8(found.identity.crc) << '\n';
    return 0;
}

} // namespace trx::cli

// ports, monitor and flash.
#include "base/numtext.hpp"
#include "base/port_names.hpp"
#include "cli/commands.hpp"
#include "cli/exit_status.hpp"
#include "cli/field_values.hpp"
#include "cli/turn_lines.hpp"
#include "cli/update_report.hpp"
#include "service/firmware_update.hpp"
#include "service/flash_log.hpp"

#include <string>

namespace trx::cli {

namespace {

constexpr int k_menu_ports = 10;
constexpr std::size_t k_name_column = 14;

std::string padded(std::string text) {
    text.resize(std::max(text.size() + 2, k_name_column), ' ');
    return text;
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

} // namespace

int run_ports(const CliServices& services) {
    std::ostream& out = services.out;
    // A built-in port without a chip behind it is listed all the same, marked, so the
    // numbering of the menu stays whole.
    for (int n = 1; n <= k_menu_ports; ++n) {
        const std::string name = "COM" + num::dec(n);
        const std::string device = device_for_port_name(name);
        const bool there = services.devices == nullptr || services.devices->present(device);
        out << padded(name) << device << (there ? "" : "  (no device)") << '\n';
    }
    if (services.devices == nullptr) {
        return 0;
    }
    for (const ui::SerialDevice& d : services.devices->list()) {
        out << padded(d.path);
        if (!d.by_id.empty()) {
            out << "/dev/serial/by-id/" << d.by_id;
        }
        out << '\n';
    }
    return 0;
}

int run_monitor(CommandContext& c) {
    const auto reply = c.session.read_parameters();
    if (!reply) {
        return report(c.services.err, reply.error());
    }
    for (const link::ParaFieldDef* f : wrong_fields(*reply)) {
        c.services.err << k_program << ": warning: the scanner's " << f->name
                       << " is out of range; the window would show no scans\n";
    }
    if (c.line.has("--stats")) {
        return run_monitor_stats(c, *reply);
    }
    const TurnFormat format = turn_format(c.line);
    std::ostream& out = c.services.out;
    if (format == TurnFormat::csv) {
        out << csv_header();
    }
    const auto turns = c.line.option("--turns");
    const std::uint64_t limit = turns ? num::parse_whole(*turns).value_or(1) : 0;
    std::uint64_t shown = 0;
    std::string text;
    const service::TurnHandler print = [&](const service::Turn& turn) {
        text.clear();
        append_turn(text, turn, format);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush(); // a line a turn reaches a pipe as it happens
        return limit == 0 || ++shown < limit;
    };
    const auto context = service::ScanContext::from_reply(*reply);
    for (;;) {
        const auto streamed = c.session.stream(context, print);
        if (streamed || streamed.error().kind == ErrorKind::interrupted) {
            return 0; // an interrupt is the usual end of an endless monitor
        }
        const bool lost = streamed.error().kind == ErrorKind::port ||
                          streamed.error().kind == ErrorKind::no_answer;
        if (!c.line.has("--follow") || !lost) {
            return report(c.services.err, streamed.error());
        }
        if (!wait_for_port_back(c.session, c.services.err, streamed.error())) {
            return 0;
        }
    }
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
    UpdateReport log(c.services.out, c.services.err, c.services.err_is_terminal);
    service::FirmwareUpdate update(c.session, *library, log);
    // A library step blocks for up to many seconds: the first Ctrl+C is answered from the
    // signal itself, not after the step.
    const auto& notice = c.services.stop_notice;
    if (notice) {
        notice(std::string(k_program) + ": " + k_flash_stop_notice + "\n");
    }
    const auto outcome = update.run(c.line.args.front());
    if (notice) {
        notice("");
    }
    if (!outcome && !update.failed_step()) {
        // A bad file, or an interrupt before "F": nothing was sent, the scanner runs on.
        return report(c.services.err, outcome.error());
    }
    if (outcome && c.session.interrupted()) {
        // The interrupt came during the last step: no step was left to skip.
        c.services.err << k_program
                       << ": interrupted during the last step, which completed: the update is "
                          "complete\n";
        return 0;
    }
    if (outcome) {
        confirm_running(c.session, c.services.err);
        return 0;
    }
    const std::string& red = update.failure_line();
    const std::string& why = outcome.error().message;
    return report(c.services.err, {ErrorKind::flash, why.empty() ? red : red + " (" + why + ")"});
}

} // namespace trx::cli

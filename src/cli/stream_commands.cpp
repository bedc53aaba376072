// ports and monitor.
#include "base/numtext.hpp"
#include "base/port_names.hpp"
#include "cli/commands.hpp"
#include "cli/exit_status.hpp"
#include "cli/field_values.hpp"
#include "cli/turn_lines.hpp"

#include <string>

namespace trx::cli {

namespace {

constexpr int k_menu_ports = 10;
constexpr std::size_t k_name_column = 14;

std::string padded(std::string text) {
    text.resize(std::max(text.size() + 2, k_name_column), ' ');
    return text;
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

} // namespace trx::cli

#include "cli/cli.hpp"

#include "base/numtext.hpp"
#include "base/version.hpp"
#include "cli/command_line.hpp"
#include "cli/commands.hpp"
#include "cli/exit_status.hpp"
#include "cli/fleet.hpp"
#include "service/scanner_search.hpp"
#include "service/session.hpp"
#include "sim/launcher.hpp"

#include <string>
#include <vector>

namespace trx::cli {

namespace {

int dispatch(CommandContext& c) {
    switch (c.line.command->id) {
    case CommandId::info:
        return run_info(c);
    case CommandId::params_get:
        return run_params_get(c);
    case CommandId::params_set:
        return run_params_set(c);
    case CommandId::params_export:
        return run_params_export(c);
    case CommandId::params_import:
        return run_params_import(c);
    case CommandId::params_diff:
        return run_params_diff(c);
    case CommandId::index_get:
        return run_index_get(c);
    case CommandId::index_set:
        return run_index_set(c);
    case CommandId::monitor:
        return run_monitor(c);
    case CommandId::flash:
        return run_flash(c);
    case CommandId::record:
        return run_record(c);
    case CommandId::ports:
    case CommandId::replay:
    case CommandId::image_info:
    case CommandId::image_stamp:
    case CommandId::history_list:
    case CommandId::history_show:
    case CommandId::history_export:
        break;
    }
    return report(c.services.err,
                  usage_error(std::string(c.line.command->words) + " cannot run on a port"));
}

constexpr std::string_view k_auto_port = "auto";

// --port auto: the one port a scanner is heard on. None is a port error with every port
// tried and why it was passed over; several are for the user to choose from (usage).
Result<std::string> find_scanner_port(const CliServices& services) {
    if (services.devices == nullptr || services.listener == nullptr) {
        return Error{ErrorKind::port, "no scanner found: this system cannot list its ports"};
    }
    const auto candidates = service::search_candidates(*services.devices);
    if (candidates.empty()) {
        return Error{ErrorKind::port, "no scanner found: no serial device is present"};
    }
    const auto outcome = service::search_scanner(candidates, *services.listener);
    const auto found = outcome.found();
    if (found.empty()) {
        return Error{ErrorKind::port, "no scanner found; tried:\n" + outcome.tried_lines()};
    }
    if (found.size() > 1) {
        std::string names;
        for (const auto& f : found) {
            names += "\n  " + f.name;
        }
        return usage_error("a scanner answers on several ports; choose one with --port:" + names);
    }
    services.err << k_program << ": the scanner is on " << found.front().name << '\n';
    return found.front().name;
}

// The port the command runs on: the one given (or found), or the simulator's, started for
// this run.
Result<std::string> port_to_use(const GlobalOptions& global, sim::SimulatorProcess& sim,
                                const CliServices& services) {
    if (!global.sim) {
        if (global.port.empty()) {
            return usage_error("no port given: use --port NAME or --sim");
        }
        if (global.port == k_auto_port) {
            return find_scanner_port(services);
        }
        return global.port;
    }
    // The simulator's events would mix with the tool's one error line on stderr.
    std::vector<std::string> args{"--quiet"};
    args.insert(args.end(), global.sim_args.begin(), global.sim_args.end());
    if (!sim.start(args)) {
        return Error{ErrorKind::port, "cannot start the simulator: " + sim.error()};
    }
    return sim.device();
}

constexpr std::string_view k_log_category = "trx.cli";

void log_info(const CliServices& services, const std::string& text) {
    if (services.log != nullptr && services.log->enabled(ui::LogLevel::info, k_log_category)) {
        services.log->write(ui::LogLevel::info, k_log_category, text);
    }
}

} // namespace

void Cli::open_log(const CommandLine& line) {
    if (!line.global.log || services_.log != nullptr || !services_.open_log) {
        return;
    }
    own_log_ = services_.open_log(*line.global.log);
    services_.log = own_log_.get();
}

int Cli::run(const std::vector<std::string>& args) {
    const auto parsed = parse_command_line(args);
    if (!parsed) {
        return report(services_.err, parsed.error());
    }
    const CommandLine& line = *parsed;
    open_log(line);
    if (line.kind == CommandLine::Kind::help) {
        services_.out << help_text(line.command);
        return 0;
    }
    if (line.kind == CommandLine::Kind::version) {
        services_.out << k_program << ' ' << k_version << '\n';
        return 0;
    }
    const CommandDef& command = *line.command;
    if (!command.available) {
        return report(services_.err,
                      usage_error(std::string(command.words) + " is not available yet"));
    }
    if (auto bad = check_fleet(line)) {
        return report(services_.err, *bad);
    }
    if (auto bad = check_arguments(line, services_)) {
        return report(services_.err, *bad);
    }
    if (is_fleet(line)) {
        return run_flash_fleet(line, services_);
    }
    if (command.reach == Reach::none) {
        switch (command.id) {
        case CommandId::replay:
            return run_replay(line, services_);
        case CommandId::image_info:
            return run_image_info(line, services_);
        case CommandId::image_stamp:
            return run_image_stamp(line, services_);
        case CommandId::ports:
            return run_ports(services_);
        default:
            return run_history(line, services_);
        }
    }
    std::unique_ptr<capture::Sink> capture_file;
    if (command.id == CommandId::record) {
        auto file = create_capture_file(services_, line.args.front());
        if (!file) {
            return report(services_.err, file.error());
        }
        capture_file = std::move(file.value());
    }

    // Declared first, so the session lets the port go before the simulator ends.
    sim::SimulatorProcess simulator;
    const auto port = port_to_use(line.global, simulator, services_);
    if (!port) {
        return report(services_.err, port.error());
    }
    const std::unique_ptr<CapturePort> capture =
        capture_file ? capture_port(services_, std::move(capture_file), *port) : nullptr;
    service::Session session({capture ? *capture : services_.port, services_.clock, services_.pump,
                              services_.now, services_.interrupted, services_.diagnosis,
                              services_.log, services_.history},
                             line.global.timeout);
    log_info(services_, std::string(command.words) + " on " + *port + ", time-out " +
                            num::dec(line.global.timeout.count()) + " ms");
    if (auto opened = session.open(*port); !opened) {
        return report(services_.err, opened.error());
    }
    if (command.reach == Reach::online) {
        if (auto online = session.wait_online(); !online) {
            return report(services_.err, online.error());
        }
        log_info(services_, "the scanner is online on " + *port);
    }
    CommandContext context{line, services_, session, capture.get()};
    return dispatch(context);
}

} // namespace trx::cli

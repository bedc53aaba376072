// trx81500-sim: a virtual TRX81500 scanner served on a pseudo-terminal.
#include "base/numtext.hpp"
#include "sim/boot_hook.hpp"
#include "sim/options.hpp"
#include "sim/pty_server.hpp"
#include "sim/setup.hpp"
#include "sim/state_file.hpp"

#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace trx::sim;

void log(const std::string& what) {
    std::cerr << "trx81500-sim: " << what << std::endl;
}

int serve(const Options& options, ScannerConfig config, BootTargetSettings flash) {
    std::string error;
    auto stop = StopSignals::install(error);
    auto pty = stop ? PseudoTerminal::open(error) : std::nullopt;
    if (!pty) {
        log(error);
        return 1;
    }
    const auto link = options.link.empty() ? std::nullopt
                                           : DeviceLink::create(options.link, pty->device(), error);
    if (!options.link.empty() && !link) {
        log(error);
        return 1;
    }
    const auto scene_stripes = config.scene.stripes.size();
    Scanner scanner(std::move(config), steady_now(), flash_target_factory(flash));
    // Events are for a person watching; errors and warnings are printed always.
    const auto say = [quiet = options.quiet](const std::string& what) {
        if (!quiet) {
            log(what);
        }
    };
    scanner.on_event = say;
    if (!options.state_file.empty()) {
        scanner.on_stored = [&scanner, file = options.state_file] {
            if (auto e = save_state(file, SimState{scanner.params(), scanner.index()});
                !e.empty()) {
                log(e);
            }
        };
    }
    // The first line of output is the device, for whoever started us.
    std::cout << pty->device() << std::endl;
    say(std::string("type ") + std::string(type_name(scanner.type())) + ", " +
        trx::num::dec(static_cast<std::int64_t>(scene_stripes)) + " stripes, " +
        (options.pace ? "paced" : "unpaced") +
        (options.link.empty() ? "" : ", linked as " + options.link.string()));
    if (scene_stripes > max_records(scanner.type())) {
        log("the scene has more stripes than one status frame carries; the first " +
            trx::num::dec(static_cast<std::int64_t>(max_records(scanner.type()))) +
            " by angle are sent");
    }
    PtyServer(scanner, pty->master(), stop->fd()).run();
    say("stopped");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const auto parsed = parse_options(args);
    if (parsed.help) {
        std::cout << help_text();
        return 0;
    }
    if (!parsed.options) {
        log(parsed.error);
        return 2;
    }
    auto setup = make_config(*parsed.options);
    if (!setup.config) {
        log(setup.error);
        return 2;
    }
    // Every file is read here, before serve blocks the signals: a file that will not end
    // cannot hold off Ctrl+C.
    BootTargetSettings flash{parsed.options->flash_file, std::nullopt};
    if (!flash.flash_file.empty()) {
        FlashFileRead read = read_flash_file(flash.flash_file);
        if (!read.error.empty()) {
            log("cannot use flash file " + read.error);
            return 2;
        }
        flash.flash_content = std::move(read.content);
    }
    return serve(*parsed.options, std::move(*setup.config), std::move(flash));
}

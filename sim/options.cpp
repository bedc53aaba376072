#include "sim/options.hpp"

#include "base/numtext.hpp"
#include "sim/fixed_text.hpp"

#include <functional>
#include <map>

namespace trx::sim {

namespace {

std::optional<std::uint32_t> rate_ppm(std::string_view text) {
    const auto v = parse_fixed(text, 6);
    if (!v || *v > FaultInjector::k_million) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(*v);
}

std::optional<std::chrono::milliseconds> seconds(std::string_view text) {
    const auto v = parse_fixed(text, 3);
    if (!v) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(*v);
}

using ValueOption = std::function<std::string(Options&, std::string_view)>;

std::string rate_into(std::uint32_t& target, std::string_view v) {
    const auto r = rate_ppm(v);
    if (!r) {
        return "needs a share from 0 to 1, such as 0.05";
    }
    target = *r;
    return {};
}

std::string seconds_into(std::optional<std::chrono::milliseconds>& target, std::string_view v) {
    const auto s = seconds(v);
    if (!s) {
        return "needs a number of seconds, such as 2.5";
    }
    target = *s;
    return {};
}

const std::map<std::string_view, ValueOption>& value_options() {
    static const std::map<std::string_view, ValueOption> k_options = {
        {"--type",
         [](Options& o, std::string_view v) -> std::string {
             const auto t = type_from_name(v);
             if (!t) {
                 return "needs ZA or YA";
             }
             o.type = *t;
             return {};
         }},
        {"--scene",
         [](Options& o, std::string_view v) {
             o.scene_file = v;
             return std::string();
         }},
        {"--state",
         [](Options& o, std::string_view v) {
             o.state_file = v;
             return std::string();
         }},
        {"--link",
         [](Options& o, std::string_view v) {
             o.link = v;
             return std::string();
         }},
        {"--flash",
         [](Options& o, std::string_view v) {
             o.flash_file = v;
             return std::string();
         }},
        {"--bad-checksum-rate",
         [](Options& o, std::string_view v) { return rate_into(o.faults.bad_checksum_ppm, v); }},
        {"--garbage-rate",
         [](Options& o, std::string_view v) { return rate_into(o.faults.garbage_ppm, v); }},
        {"--drop-rate",
         [](Options& o, std::string_view v) { return rate_into(o.faults.drop_ppm, v); }},
        {"--silence-after",
         [](Options& o, std::string_view v) { return seconds_into(o.faults.silence_after, v); }},
        {"--silence-for",
         [](Options& o, std::string_view v) { return seconds_into(o.faults.silence_for, v); }},
        {"--cable-max-baud",
         [](Options& o, std::string_view v) -> std::string {
             const auto n = num::parse_whole(v);
             if (!n || *n < 57600 || *n > 4'000'000) {
                 return "needs a rate from 57600 to 4000000";
             }
             o.cable_max_baud = static_cast<std::uint32_t>(*n);
             return {};
         }},
        {"--seed",
         [](Options& o, std::string_view v) -> std::string {
             const auto s = num::parse_whole(v);
             if (!s || *s > 0xFFFFFFFFU) {
                 return "needs a whole number from 0 to 4294967295";
             }
             o.seed = static_cast<std::uint32_t>(*s);
             return {};
         }},
    };
    return k_options;
}

} // namespace

OptionsResult parse_options(const std::vector<std::string_view>& args) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            return {std::nullopt, true, {}};
        }
        if (arg == "--pace") {
            o.pace = true;
            continue;
        }
        if (arg == "--quiet") {
            o.quiet = true;
            continue;
        }
        const auto it = value_options().find(arg);
        if (it == value_options().end()) {
            return {std::nullopt, false,
                    "unknown option \"" + std::string(arg) + "\" (see --help)"};
        }
        if (i + 1 >= args.size()) {
            return {std::nullopt, false, std::string(arg) + " needs a value"};
        }
        if (auto e = it->second(o, args[++i]); !e.empty()) {
            return {std::nullopt, false, std::string(arg) + " " + e};
        }
    }
    if (o.faults.silence_for && !o.faults.silence_after) {
        return {std::nullopt, false, "--silence-for needs --silence-after"};
    }
    return {o, false, {}};
}

std::string help_text() {
    return R"(Usage: trx81500-sim [options]

A virtual TRX81500 laser scanner on a pseudo-terminal. The first line printed is the device
path (such as /dev/pts/5); open it with the service tool or any serial program at 57600 8N1.
Ends cleanly on Ctrl+C (SIGINT) or SIGTERM.

Options:
  --type ZA|YA              scanner type (default YA): ZA has the short parameter set and
                            stripe records without code, YA the extended set and tag codes
  --scene FILE              what the scanner sees (default: six coded tags and six plain
                            stripes); format in docs/simulator.md
  --state FILE              keep parameter set, serial number and index in FILE: read at
                            start, written after every store
  --link PATH               also make PATH a symbolic link to the device (removed at the end)
  --pace                    carry bytes no faster than 57600 baud 8N1 (5760 bytes/s), in
                            both directions, as a real scanner's line does
  --bad-checksum-rate P     share P (0 to 1) of frames sent with a wrong checksum
  --garbage-rate P          share P of frames preceded by 1 to 16 random bytes
  --drop-rate P             share P of frames cut short (their end never arrives)
  --silence-after S         send nothing from S seconds after start on
  --silence-for S           ... for S seconds only, then carry on
  --cable-max-baud N        the cable carries up to N baud whole; above, one bit in a
                            hundred arrives flipped (default: any rate)
  --seed N                  seed of the stripe jitter and the faults (default 1)
  --flash FILE              flash memory image of the bootstrap loader (when built in)
  --quiet                   print the device and errors only, no events (for scripts)
  --help                    this text

Example:
  trx81500-sim --type YA --link /tmp/ttyTRX --pace
)";
}

} // namespace trx::sim

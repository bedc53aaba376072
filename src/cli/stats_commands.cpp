// monitor --stats: the scan statistics over N turns of the live link.
#include "base/numtext.hpp"
#include "cli/commands.hpp"
#include "cli/exit_status.hpp"
#include "cli/stats_report.hpp"

namespace trx::cli {

int run_monitor_stats(CommandContext& c, const link::ParaReply& reply) {
    const auto turns = c.line.option("--turns");
    const std::uint64_t limit =
        turns ? num::parse_whole(*turns).value_or(1) : std::uint64_t{k_default_stats_turns};
    service::ScanStatistics stats({.window = stats_window(c.line, k_default_stats_turns)});
    stats.set_type(reply.type);
    std::uint64_t counted = 0;
    const service::TurnHandler count = [&](const service::Turn& turn) {
        stats.add(turn);
        return ++counted < limit;
    };
    const auto streamed = c.session.stream(service::ScanContext::from_reply(reply), count);
    // Ctrl+C before N turns still prints what the turns so far say.
    if (!streamed && streamed.error().kind != ErrorKind::interrupted) {
        return report(c.services.err, streamed.error());
    }
    c.services.out << stats_report(stats, turn_format(c.line));
    c.services.out.flush();
    return 0;
}

} // namespace trx::cli

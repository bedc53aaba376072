#include "cli/update_report.hpp"

#include "base/numtext.hpp"
#include "sw_update/update_log.hpp"

#include <algorithm>

namespace trx::cli {

namespace {

namespace log = sw_update::log;
using service::UpdateStep;

std::string success_line(UpdateStep step, const service::UpdateValues& v) {
    switch (step) {
    case UpdateStep::reset:
        return std::string(log::k_reseting);
    case UpdateStep::bootstrap:
        return std::string(log::k_bootstrap);
    case UpdateStep::open_com:
        return log::open_com(v.port_name, v.baud_text);
    case UpdateStep::init_monitor:
        return log::ok("InitMonitor");
    case UpdateStep::adjust_cpu_frequency:
        return log::target(log::name_shown(v.target_name), v.cpu_frequency);
    case UpdateStep::load_file:
        return log::load_file(v.file_size);
    case UpdateStep::auto_roms1:
        return log::auto_roms1(v.roms1);
    case UpdateStep::get_hex_file_block:
        return log::hex_file_block(v.block);
    case UpdateStep::erase_flash:
        return log::ok("EraseFlash");
    case UpdateStep::program_flash:
        return log::ok("ProgramFlash");
    }
    return {};
}

// The red line of a library step; none for the two steps on the scanner link.
std::optional<std::string> error_line(UpdateStep step, const service::UpdateValues& v) {
    switch (step) {
    case UpdateStep::reset:
    case UpdateStep::bootstrap:
        return std::nullopt;
    case UpdateStep::open_com:
        return log::error("OpenCom");
    case UpdateStep::init_monitor:
        return log::error("InitMonitor");
    case UpdateStep::adjust_cpu_frequency:
        return log::target_unknown(log::name_shown(v.target_name));
    case UpdateStep::load_file:
        return log::error("LoadFile");
    case UpdateStep::auto_roms1:
        return log::error("AutoROMS1");
    case UpdateStep::get_hex_file_block:
        return log::error("GetHexFileBlock");
    case UpdateStep::erase_flash:
        return log::error("EraseFlash");
    case UpdateStep::program_flash:
        return log::error("ProgramFlash");
    }
    return std::nullopt;
}

} // namespace

void UpdateReport::line(const std::string& text) {
    end_progress();
    out_ << text << '\n' << std::flush;
}

void UpdateReport::end_progress() {
    if (in_place_) {
        err_ << '\n' << std::flush;
        in_place_ = false;
    }
}

void UpdateReport::step(UpdateStep step, const service::UpdateValues& v) {
    line(success_line(step, v));
}

void UpdateReport::progress(const FlashProgress& p) {
    constexpr int k_steps = 1000;
    const bool known = p.total > 0;
    const std::int64_t done = known ? std::clamp<std::int64_t>(p.done, 0, p.total) : 0;
    const int per_mille = known ? static_cast<int>(done * k_steps / p.total) : 0;
    // A terminal follows every per cent, a file or pipe every ten.
    const int granule = terminal_ ? 10 : 100;
    const int key = static_cast<int>(p.phase) * (k_steps + 1) + per_mille / granule * granule;
    if (key == shown_) {
        return;
    }
    shown_ = key;
    std::string text(sw_update::log::phase_name(p.phase));
    if (known) {
        text += "  " + num::dec(per_mille / 10) + " %";
    }
    if (terminal_) {
        err_ << '\r' << text << "      " << std::flush;
        in_place_ = true;
    } else {
        err_ << text << '\n' << std::flush;
    }
}

std::string UpdateReport::finish(const Result<Done>& outcome,
                                 std::optional<UpdateStep> failed, const service::UpdateValues& v) {
    if (outcome) {
        line(std::string(log::k_finished));
        return {};
    }
    std::optional<std::string> red;
    if (failed && outcome.error().kind == ErrorKind::flash) {
        red = error_line(*failed, v);
    }
    if (red) {
        line(*red);
    }
    line(std::string(log::k_aborted));
    return red ? *red : std::string(log::k_aborted);
}

} // namespace trx::cli

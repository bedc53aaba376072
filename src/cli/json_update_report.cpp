#include "cli/json_update_report.hpp"

#include "flashlib/frame_text.hpp"
#include "flashlib/image_identity.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace trx::cli {

namespace {

using nlohmann::ordered_json;
using service::UpdateStep;

std::string_view phase_key(FlashProgress::Phase p) {
    switch (p) {
    case FlashProgress::Phase::erase:
        return "erase";
    case FlashProgress::Phase::program:
        return "program";
    case FlashProgress::Phase::verify:
        return "verify";
    case FlashProgress::Phase::rate:
        return "rate";
    case FlashProgress::Phase::read:
        return "read";
    }
    return "unknown";
}

std::string_view verdict_key(service::ImageVerdict v) {
    switch (v) {
    case service::ImageVerdict::go:
        return "go";
    case service::ImageVerdict::confirm_older:
        return "same_or_older";
    case service::ImageVerdict::other_type:
        return "other_type";
    case service::ImageVerdict::damaged:
        return "damaged";
    }
    return "unknown";
}

} // namespace

std::string_view step_name(UpdateStep step) {
    switch (step) {
    case UpdateStep::reset:
        return "reset";
    case UpdateStep::bootstrap:
        return "bootstrap";
    case UpdateStep::open_com:
        return "SetCom";
    case UpdateStep::init_monitor:
        return "InitMonitor";
    case UpdateStep::adjust_cpu_frequency:
        return "AdjustCpuFrequency";
    case UpdateStep::load_file:
        return "LoadFile";
    case UpdateStep::auto_roms1:
        return "AutoROMS1";
    case UpdateStep::get_hex_file_block:
        return "GetHexFileBlock";
    case UpdateStep::erase_flash:
        return "EraseFlash";
    case UpdateStep::program_flash:
        return "ProgramFlash";
    case UpdateStep::verify_flash:
        return "VerifyFlash";
    case UpdateStep::read_flash:
        return "ReadFlash";
    }
    return "unknown";
}

JsonUpdateReport::JsonUpdateReport(std::ostream& out, std::string port, Now now)
    : out_(out), port_(std::move(port)), now_(std::move(now)), started_(now_()) {}

void JsonUpdateReport::phase(std::string_view name) {
    if (phase_ == name) {
        return;
    }
    phase_ = name;
    last_per_mille_ = -1;
    out_ << ordered_json{{"event", "phase"}, {"port", port_}, {"phase", name}}.dump() << '\n'
         << std::flush;
}

void JsonUpdateReport::transfer_rate(std::int64_t baud) {
    baud_ = baud;
    out_ << ordered_json{{"event", "rate"}, {"port", port_}, {"baud", baud}}.dump() << '\n'
         << std::flush;
}

void JsonUpdateReport::image_checked(const service::ImageCheck& check) {
    ordered_json line{{"event", "image"}, {"port", port_}};
    if (check.has_identity()) {
        const flash::ImageIdentity& id = check.found.identity;
        line["identity"] = ordered_json{{"type", flash::types_text(id.types)},
                                        {"version", flash::version_text(id.version)},
                                        {"date", flash::date_text(id.date)},
                                        {"crc", flash::hex8(id.crc)},
                                        {"crc_matches", check.found.crc_matches()}};
    } else {
        line["identity"] = nullptr;
    }
    line["verdict"] = verdict_key(check.verdict);
    if (!check.reason.empty()) {
        line["reason"] = check.reason;
    }
    out_ << line.dump() << '\n' << std::flush;
}

// Each phase as it begins: the library's steps after the one before it succeeded.
void JsonUpdateReport::step(UpdateStep step, const service::UpdateValues& /*values*/) {
    switch (step) {
    case UpdateStep::reset:
        phase("connect");
        break;
    case UpdateStep::adjust_cpu_frequency:
        phase("check");
        break;
    case UpdateStep::get_hex_file_block:
        phase("erase");
        break;
    case UpdateStep::erase_flash:
        phase("program");
        break;
    case UpdateStep::program_flash:
    case UpdateStep::verify_flash:
    case UpdateStep::read_flash:
        phase("restart");
        break;
    default:
        break;
    }
}

void JsonUpdateReport::progress(const FlashProgress& p) {
    if (p.phase == FlashProgress::Phase::verify) {
        phase("verify");
    }
    const std::optional<double> left = left_.update(p, now_());
    const int per_mille =
        p.total > 0
            ? static_cast<int>(std::clamp<std::int64_t>(p.done, 0, p.total) * 1000 / p.total)
            : 0;
    // One line per per cent is plenty for a script, and the last one always.
    if (per_mille / 10 == last_per_mille_ / 10 && p.done != p.total) {
        return;
    }
    last_per_mille_ = per_mille;
    ordered_json line{{"event", "progress"},
                      {"port", port_},
                      {"phase", phase_key(p.phase)},
                      {"done", p.done},
                      {"total", p.total}};
    line["seconds_left"] = left ? ordered_json(std::round(*left * 10) / 10) : ordered_json(nullptr);
    line["baud"] = baud_;
    out_ << line.dump() << '\n' << std::flush;
}

void JsonUpdateReport::result(const Result& r) {
    const double seconds = std::chrono::duration<double>(now_() - started_).count();
    ordered_json line{{"event", "result"}, {"port", port_}, {"ok", r.ok}};
    line["serial_number"] =
        r.serial_number ? ordered_json(*r.serial_number) : ordered_json(nullptr);
    line["image_crc"] =
        r.image_crc ? ordered_json(flash::hex8(*r.image_crc)) : ordered_json(nullptr);
    line["sectors_skipped"] = r.sectors_skipped;
    if (r.identical) {
        line["identical"] = *r.identical;
    }
    line["duration_s"] = std::round(seconds * 10) / 10;
    line["baud"] = baud_;
    line["step"] = r.step.empty() ? ordered_json(nullptr) : ordered_json(r.step);
    line["reason"] = r.reason.empty() ? ordered_json(nullptr) : ordered_json(r.reason);
    out_ << line.dump() << '\n' << std::flush;
}

} // namespace trx::cli

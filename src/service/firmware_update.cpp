#include "service/firmware_update.hpp"

#include "base/numtext.hpp"
#include "flashlib/hex_reader.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <utility>
#include <vector>

namespace trx::service {

namespace {

// The library gets 32 blanks and a NUL; the room behind them keeps a library that writes a
// longer name from overrunning the buffer.
constexpr std::size_t k_name_length = 32;
constexpr std::size_t k_name_room = 256;

} // namespace

Result<Done> check_hex_file(const std::string& hex_path) {
    const flash::HexResult hex = flash::read_firmware_file(hex_path);
    if (!hex.ok()) {
        // A file that cannot be read names itself; a bad line needs the file's name.
        return Error{ErrorKind::bad_input,
                     hex.error.line == 0 ? hex.error.message : hex_path + ": " + hex.error.message};
    }
    return Done{};
}

Result<Done> FirmwareUpdate::run(const std::string& hex_path) {
    failed_.reset();
    reset_sent_ = false;
    values_ = {};
    values_.port_name = session_.port_name();
    // Checked before anything goes to the scanner, so a bad file never leaves it waiting in
    // its bootstrap loader.
    if (auto checked = check_hex_file(hex_path); !checked) {
        return checked;
    }
    Result<Done> outcome = reach_loader();
    if (!reset_sent_) {
        return outcome;
    }
    if (outcome) {
        outcome = library_steps(hex_path);
    }
    // The common end, whatever happened after "F" went out: the library lets the port go.
    (void)call([this] { return library_.CloseCom(); });
    library_.set_progress(nullptr, nullptr);
    session_.close();
    return outcome;
}

// "F", the reset pause, the bootstrap string, the port given up, the loader's pause.
Result<Done> FirmwareUpdate::reach_loader() {
    observer_.step(UpdateStep::reset, values_);
    if (auto sent = session_.send('F', "the reset command \"F\""); !sent) {
        return fail(UpdateStep::reset, ErrorKind::flash, sent.error().message);
    }
    reset_sent_ = true;
    if (auto r = session_.pause(k_reset_pause); !r) {
        return fail(UpdateStep::bootstrap, r.error().kind, r.error().message);
    }
    observer_.step(UpdateStep::bootstrap, values_);
    if (auto sent = session_.write_raw(k_bootstrap_string, "the bootstrap string"); !sent) {
        return fail(UpdateStep::bootstrap, ErrorKind::flash, sent.error().message);
    }
    session_.close();
    if (auto r = session_.pause(k_bootstrap_pause); !r) {
        return fail(UpdateStep::open_com, r.error().kind, r.error().message);
    }
    return Done{};
}

Result<Done> FirmwareUpdate::library_steps(const std::string& hex_path) {
    library_.set_progress(&FirmwareUpdate::progress_thunk, this);
    const auto baud = static_cast<std::int32_t>(num::parse_whole(values_.baud_text).value_or(0));
    const std::string port = values_.port_name;
    std::array<char, k_name_room> name{};
    std::fill_n(name.begin(), k_name_length, ' ');

    struct Step {
        UpdateStep step;
        std::function<std::int32_t()> fn;
    };
    const std::vector<Step> steps = {
        {UpdateStep::open_com, [&] { return library_.SetCom(port.c_str(), baud); }},
        {UpdateStep::init_monitor,
         [&] {
             const std::int32_t r = library_.InitMonitor(name.data());
             values_.target_name.assign(name.data(), ::strnlen(name.data(), k_name_length));
             return r;
         }},
        {UpdateStep::adjust_cpu_frequency,
         [&] { return library_.AdjustCpuFrequency(&values_.cpu_frequency); }},
        {UpdateStep::load_file,
         [&] { return library_.LoadFile(hex_path.c_str(), &values_.file_size); }},
        {UpdateStep::auto_roms1, [&] { return library_.AutoROMS1(&values_.roms1); }},
        {UpdateStep::get_hex_file_block, [&] { return library_.GetHexFileBlock(&values_.block); }},
        {UpdateStep::erase_flash, [&] { return library_.EraseFlash(values_.block); }},
        {UpdateStep::program_flash, [&] { return library_.ProgramFlash(); }},
    };
    for (const Step& s : steps) {
        if (session_.interrupted()) {
            return fail(s.step, ErrorKind::interrupted, "interrupted");
        }
        if (!call(s.fn)) {
            return fail(s.step, ErrorKind::flash, {});
        }
        observer_.step(s.step, values_);
    }
    return Done{};
}

bool FirmwareUpdate::call(const std::function<std::int32_t()>& fn) {
    thrown_.clear();
    try {
        return fn() == 1;
    } catch (const std::exception& e) {
        thrown_ = e.what();
        return false;
    }
}

Error FirmwareUpdate::fail(UpdateStep step, ErrorKind kind, std::string reason) {
    failed_ = step;
    if (reason.empty()) {
        reason = thrown_.empty() ? library_.last_error() : thrown_;
    }
    return {kind, std::move(reason)};
}

void FirmwareUpdate::progress_thunk(void* context, const FlashProgress& p) {
    static_cast<FirmwareUpdate*>(context)->observer_.progress(p);
}

} // namespace trx::service

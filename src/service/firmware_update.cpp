#include "service/firmware_update.hpp"

#include "base/numtext.hpp"
#include "flashlib/hex_reader.hpp"
#include "netport/net_address.hpp"
#include "service/update_history.hpp"
#include "service/update_log.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <utility>

namespace trx::service {

namespace {

namespace text = update_log;

// One library step: its call on the values, the log line of its success and the red line of
// its failure.
struct LibraryStep {
    UpdateStep step;
    std::int32_t (*call)(FlashLibrary& lib, UpdateValues& v, const std::string& hex_path);
    std::string (*done_line)(const UpdateValues& v);
    std::string (*error_line)(const UpdateValues& v);
};

std::int32_t open_com(FlashLibrary& lib, UpdateValues& v, const std::string& /*hex_path*/) {
    const auto baud =
        static_cast<std::int32_t>(num::parse_whole(v.baud_text).value_or(ui::SerialPort::k_baud));
    return lib.SetCom(v.port_name.c_str(), baud);
}

std::int32_t init_monitor(FlashLibrary& lib, UpdateValues& v, const std::string& /*hex_path*/) {
    std::array<char, k_name_room> name{};
    std::fill_n(name.begin(), k_name_length, ' ');
    const std::int32_t r = lib.InitMonitor(name.data());
    v.target_name.assign(name.data(), ::strnlen(name.data(), k_name_length));
    return r;
}

std::int32_t adjust_cpu_frequency(FlashLibrary& lib, UpdateValues& v,
                                  const std::string& /*hex_path*/) {
    double hz = v.cpu_frequency;
    const std::int32_t r = lib.AdjustCpuFrequency(&hz);
    if (r == 1) {
        v.cpu_frequency = hz;
    }
    return r;
}

std::int32_t load_file(FlashLibrary& lib, UpdateValues& v, const std::string& hex_path) {
    std::int32_t size = v.file_size;
    const std::int32_t r = lib.LoadFile(hex_path.c_str(), &size);
    if (r == 1) {
        v.file_size = size;
    }
    return r;
}

std::int32_t auto_roms1(FlashLibrary& lib, UpdateValues& v, const std::string& /*hex_path*/) {
    std::int16_t flag = 0;
    const std::int32_t r = lib.AutoROMS1(&flag);
    v.roms1 = flag;
    return r;
}

std::int32_t hex_file_block(FlashLibrary& lib, UpdateValues& v, const std::string& /*hex_path*/) {
    std::int32_t block = 0;
    const std::int32_t r = lib.GetHexFileBlock(&block);
    v.block = block;
    return r;
}

std::int32_t erase_flash(FlashLibrary& lib, UpdateValues& v, const std::string& /*hex_path*/) {
    return lib.EraseFlash(v.block);
}

std::int32_t program_flash(FlashLibrary& lib, UpdateValues& /*v*/,
                           const std::string& /*hex_path*/) {
    return lib.ProgramFlash();
}

std::string target_name_shown(const UpdateValues& v) {
    return text::name_shown(v.target_name);
}

// The nine library calls in their order (CloseCom, the ninth, ends every run on its own).
constexpr std::array<LibraryStep, 8> k_library_steps{{
    {UpdateStep::open_com, open_com,
     [](const UpdateValues& v) { return text::open_com(v.port_name, v.baud_text); },
     [](const UpdateValues&) { return text::error("OpenCom"); }},
    {UpdateStep::init_monitor, init_monitor,
     [](const UpdateValues&) { return text::ok("InitMonitor"); },
     [](const UpdateValues&) { return text::error("InitMonitor"); }},
    {UpdateStep::adjust_cpu_frequency, adjust_cpu_frequency,
     [](const UpdateValues& v) { return text::target(target_name_shown(v), v.cpu_frequency); },
     [](const UpdateValues& v) { return text::target_unknown(target_name_shown(v)); }},
    {UpdateStep::load_file, load_file,
     [](const UpdateValues& v) { return text::load_file(v.file_size); },
     [](const UpdateValues&) { return text::error("LoadFile"); }},
    {UpdateStep::auto_roms1, auto_roms1,
     [](const UpdateValues& v) { return text::auto_roms1(v.roms1); },
     [](const UpdateValues&) { return text::error("AutoROMS1"); }},
    {UpdateStep::get_hex_file_block, hex_file_block,
     [](const UpdateValues& v) { return text::hex_file_block(v.block); },
     [](const UpdateValues&) { return text::error("GetHexFileBlock"); }},
    {UpdateStep::erase_flash, erase_flash,
     [](const UpdateValues&) { return text::ok("EraseFlash"); },
     [](const UpdateValues&) { return text::error("EraseFlash"); }},
    {UpdateStep::program_flash, program_flash,
     [](const UpdateValues&) { return text::ok("ProgramFlash"); },
     [](const UpdateValues&) { return text::error("ProgramFlash"); }},
}};

// The steps beside the nine, by their library names.
std::string_view extra_step_name(UpdateStep step) {
    switch (step) {
    case UpdateStep::verify_flash:
        return "VerifyFlash";
    case UpdateStep::read_flash:
        return "ReadFlash";
    default:
        return {};
    }
}

const LibraryStep* library_step(UpdateStep step) {
    const auto* it = std::find_if(k_library_steps.begin(), k_library_steps.end(),
                                  [step](const LibraryStep& s) { return s.step == step; });
    return it == k_library_steps.end() ? nullptr : it;
}

} // namespace

// ---------------------------------------------------------------- the sequence

void UpdateSequence::begin() {
    aborted_text_ = text::k_aborted;
    failed_.reset();
    error_.reset();
    failure_line_.clear();
    thrown_.clear();
    transfer_baud_ = k_flash_baud;
}

void UpdateSequence::line(std::string text, bool red, bool closing) {
    observer_.log_line({std::move(text), red, closing});
}

void UpdateSequence::reset_begun(const UpdateValues& values) {
    observer_.step(UpdateStep::reset, values);
    line(std::string(text::k_reseting));
}

void UpdateSequence::bootstrap_begun(const UpdateValues& values) {
    observer_.step(UpdateStep::bootstrap, values);
    line(std::string(text::k_bootstrap));
}

Result<Done> UpdateSequence::library_steps(FlashLibrary& lib, UpdateValues& values,
                                           const std::string& hex_path,
                                           const std::function<bool()>& interrupted,
                                           const KeepFlash& keep) {
    if (keep) {
        if (auto kept = keep_steps(lib, values, interrupted, keep); !kept) {
            return kept;
        }
    }
    const UpdateStep first = keep ? UpdateStep::load_file : UpdateStep::open_com;
    if (auto done =
            steps_until(UpdateStep::program_flash, lib, values, hex_path, interrupted, first);
        !done) {
        return done;
    }
    line(std::string(text::k_finished), false, true);
    return Done{};
}

Result<Done> UpdateSequence::steps_until(UpdateStep last, FlashLibrary& lib, UpdateValues& values,
                                         const std::string& hex_path,
                                         const std::function<bool()>& interrupted,
                                         UpdateStep first) {
    lib.set_progress(&UpdateSequence::progress_thunk, this);
    for (const LibraryStep& s : k_library_steps) {
        if (s.step < first) {
            continue;
        }
        if (interrupted && interrupted()) {
            return fail(s.step, ErrorKind::interrupted, "interrupted", values);
        }
        if (!call([&] { return s.call(lib, values, hex_path); })) {
            return fail(s.step, ErrorKind::flash, {}, values, &lib);
        }
        observer_.step(s.step, values);
        line(s.done_line(values));
        if (const std::int64_t baud = rate_.exchange(0); baud > 0) {
            transfer_baud_ = baud;
            line(text::transfer_rate(baud));
            observer_.transfer_rate(baud);
        }
        if (s.step == last) {
            break;
        }
    }
    return Done{};
}

Error UpdateSequence::fail(UpdateStep step, ErrorKind kind, std::string reason,
                           const UpdateValues& values, const FlashLibrary* lib) {
    failed_ = step;
    if (reason.empty()) {
        reason = !thrown_.empty() || lib == nullptr ? thrown_ : lib->last_error();
    }
    Error error{kind, std::move(reason)};
    const LibraryStep* s = kind == ErrorKind::flash ? library_step(step) : nullptr;
    if (s != nullptr) {
        failure_line_ = s->error_line(values);
        line(failure_line_, true);
    } else if (kind == ErrorKind::flash && !extra_step_name(step).empty()) {
        failure_line_ = text::error(extra_step_name(step));
        line(failure_line_, true);
    } else {
        failure_line_ = aborted_text_;
    }
    line(std::string(aborted_text_), true, true);
    observer_.step_failed(step, error);
    error_ = error;
    return error;
}

void UpdateSequence::close(FlashLibrary& lib) {
    (void)call([&lib] { return lib.CloseCom(); });
    lib.set_progress(nullptr, nullptr);
}

bool UpdateSequence::call(const std::function<std::int32_t()>& fn) {
    std::int32_t result = 0;
    thrown_.clear();
    auto work = [&] {
        // The call may run on a worker thread, where an escaping exception would end the
        // program with the port in the library's hands.
        try {
            result = fn();
        } catch (const std::exception& e) {
            result = 0;
            thrown_ = e.what();
        }
    };
    if (runner_) {
        runner_(work);
    } else {
        work();
    }
    return result == 1;
}

void UpdateSequence::progress_thunk(void* context, const FlashProgress& p) {
    auto* self = static_cast<UpdateSequence*>(context);
    if (p.phase == FlashProgress::Phase::rate) {
        self->rate_ = p.done; // a line of the log, written between the steps
        return;
    }
    self->observer_.progress(p);
}

// ---------------------------------------------------------------- the file

Result<Done> check_hex_file(const std::string& hex_path) {
    const flash::HexResult hex = flash::read_firmware_file(hex_path);
    if (!hex.ok()) {
        // A file that cannot be read names itself; a bad line needs the file's name.
        return Error{ErrorKind::bad_input,
                     hex.error.line == 0 ? hex.error.message : hex_path + ": " + hex.error.message};
    }
    return Done{};
}

// ---------------------------------------------------------------- on a session

void FirmwareUpdate::start() {
    sequence_.begin();
    reset_sent_ = false;
    skipped_ = 0;
    values_ = {};
    values_.port_name = session_.port_name();
}

Result<Done> FirmwareUpdate::run(const std::string& hex_path, const UpdateOptions& options) {
    const auto started = session_.now();
    Result<Done> outcome = run_steps(hex_path, options);
    record(history::Kind::update, hex_path, outcome, started);
    return outcome;
}

void FirmwareUpdate::record(history::Kind kind, const std::string& path,
                            const Result<Done>& outcome, std::chrono::nanoseconds started) const {
    history::Recorder* h = session_.history();
    if (h == nullptr || !reset_sent_) {
        return;
    }
    const double seconds = std::chrono::duration<double>(session_.now() - started).count();
    const auto serial =
        session_.reported() ? std::optional(session_.reported()->set.serial_number) : std::nullopt;
    RunSummary run{kind, path, {}, {}, seconds, serial};
    if (kind != history::Kind::read_back) {
        run.identity = image_.summary();
    }
    if (kind == history::Kind::update && outcome) {
        run.skipped = skipped_;
    }
    h->update(update_record(run, sequence_, values_, outcome));
}

Result<Done> FirmwareUpdate::run_steps(const std::string& hex_path, const UpdateOptions& options) {
    start();
    // Checked before anything goes to the scanner, so a bad file never leaves it waiting in
    // its bootstrap loader.
    auto checked = check_image_file(hex_path, options.scanner);
    if (!checked) {
        return checked.error();
    }
    image_ = *checked;
    sequence_.image_checked(image_);
    if (auto accepted = accept_unattended(image_, options.force); !accepted) {
        return accepted;
    }
    // An interrupt that came before "F" leaves the scanner as it was: no reset, no step.
    if (session_.interrupted()) {
        return Error{ErrorKind::interrupted,
                     "interrupted before the update began; nothing was sent to the scanner"};
    }
    Result<Done> outcome = reach_loader();
    if (!reset_sent_) {
        return outcome;
    }
    if (outcome) {
        outcome = sequence_.library_steps(
            library_, values_, hex_path, [this] { return session_.interrupted(); }, options.keep);
    }
    skipped_ = library_.skipped_sectors();
    end_run();
    return outcome;
}

void FirmwareUpdate::end_run() {
    if (reset_sent_) {
        sequence_.close(library_);
        session_.close();
    }
}

// "F", the reset pause, the bootstrap string, the port given up, the loader's pause.
bool closes_before_loader_pause(std::string_view port_name) {
    return !net::is_network_port(port_name);
}

Result<Done> FirmwareUpdate::reach_loader() {
    sequence_.reset_begun(values_);
    if (auto sent = session_.send('F', "the reset command \"F\""); !sent) {
        return sequence_.fail(UpdateStep::reset, ErrorKind::flash, sent.error().message, values_);
    }
    reset_sent_ = true;
    if (auto r = session_.pause(k_reset_pause); !r) {
        return sequence_.fail(UpdateStep::bootstrap, r.error().kind, r.error().message, values_);
    }
    sequence_.bootstrap_begun(values_);
    if (auto sent = session_.write_raw(k_bootstrap_string, "the bootstrap string"); !sent) {
        return sequence_.fail(UpdateStep::bootstrap, ErrorKind::flash, sent.error().message,
                              values_);
    }
    if (closes_before_loader_pause(session_.port_name())) {
        session_.close();
    }
    if (auto r = session_.pause(k_bootstrap_pause); !r) {
        session_.close();
        return sequence_.fail(UpdateStep::open_com, r.error().kind, r.error().message, values_);
    }
    session_.close();
    return Done{};
}

} // namespace trx::service

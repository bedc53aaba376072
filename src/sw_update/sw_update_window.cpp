#include "sw_update/sw_update_window.hpp"

#include "base/numtext.hpp"
#include "flashlib/hex_reader.hpp"
#include "sw_update/update_log.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <utility>

namespace trx::sw_update {

namespace {

// The library gets 32 blanks and a NUL; the room behind them keeps a library that writes a
// longer name from overrunning the buffer.
constexpr std::size_t k_name_length = 32;
constexpr std::size_t k_name_room = 256;
// The progress bar counts in steps of one per mille.
constexpr int k_progress_steps = 1000;

// "Erasing  50 %"; the phase alone while its extent is unknown.
std::string progress_label(FlashProgress::Phase phase, int step, bool known) {
    std::string label(log::phase_name(phase));
    if (known) {
        label += "  " + num::dec(step * 100 / k_progress_steps) + " %";
    }
    return label;
}

} // namespace

SwUpdateWindow::SwUpdateWindow(SwUpdateForm& form, SwUpdateContext context)
    : form_(form), ctx_(std::move(context)) {
    connections_ += form_.window.activated.connect([this] { on_activate(); });
    connections_ += form_.openbutton.click.connect([this] { on_open(); });
    connections_ += form_.program.click.connect([this] { on_program(); });
    connections_ += form_.closebutton.click.connect([this] { form_.window.hide(); });
    connections_ += form_.sw_timer_1.tick.connect([this] { on_sw_timer_1(); });
    connections_ += form_.sw_timer_2.tick.connect([this] { on_sw_timer_2(); });
}

// ---------------------------------------------------------------- states

void SwUpdateWindow::enter(State s) {
    state_ = s;
    form_.sw_timer_1.set_timer_enabled(s == State::resetting);
    form_.sw_timer_2.set_timer_enabled(s == State::bootstrap_sent);
    const bool idle = s == State::ready;
    form_.openbutton.set_enabled(idle);
    form_.program.set_enabled(idle);
    block_windows(s == State::checking || s == State::flashing);
    holds_port.raise(!idle);
}

void SwUpdateWindow::block_windows(bool blocked) {
    form_.window.set_busy(blocked);
    form_.window.set_input_blocked(blocked);
    for (ui::Window* w : ctx_.other_windows) {
        w->set_busy(blocked);
        w->set_input_blocked(blocked);
    }
}

// ---------------------------------------------------------------- user input

// Only between runs: an activation during a run must not offer a second Program click.
void SwUpdateWindow::on_activate() {
    if (state_ == State::ready && !form_.hexfilename.caption().empty()) {
        form_.program.set_enabled(true);
    }
}

void SwUpdateWindow::on_open() {
    std::string path = ctx_.dialogs.open_file({k_file_dialog_title, k_file_dialog_filter,
                                               k_file_dialog_ext, form_.hexfilename.caption()});
    if (!path.empty()) {
        form_.hexfilename.set_caption(std::move(path));
    }
    on_activate();
}

// Step 1: check the file, then reset the scanner with "F".
void SwUpdateWindow::on_program() {
    if (state_ != State::ready) {
        return;
    }
    form_.status.set_text_color(k_log_green);
    enter(State::checking);
    form_.status.set_text("");
    form_.status.repaint();
    form_.progress.set_visible(false);
    form_.progress.set_progress(0, 0, "");
    show_reason("");

    // The file is read before anything goes to the scanner, so a bad file never leaves it
    // waiting in its bootstrap loader.
    const std::shared_ptr<FlashLibrary> lib = ctx_.library;
    if (!check_file(lib.get())) {
        fail(log::error("LoadFile"));
        show_detail(lib.get());
        enter(State::ready);
        return;
    }
    if (before_update_ && !before_update_()) {
        enter(State::ready);
        return;
    }
    form_.status.set_text(std::string(log::k_reseting) + std::string(log::k_line_end));
    if (!ctx_.writer.send('F')) {
        abort_run();
        enter(State::ready);
        return;
    }
    enter(State::resetting);
}

// The program's own hex reader checks the file, so that each library function is called at
// most once per run and in its order: another library may take no file before its SetCom.
bool SwUpdateWindow::check_file(const FlashLibrary* lib) {
    reason_.clear();
    if (lib == nullptr) {
        reason_ = "No flash library is loaded.";
        return false;
    }
    const std::string path = form_.hexfilename.caption();
    flash::HexResult checked;
    ctx_.pump.run_blocking([&] { checked = flash::read_firmware_file(path); });
    reason_ = checked.error.message;
    return checked.ok();
}

// ---------------------------------------------------------------- timers

// Step 2: the bootstrap string, then the main port is given up.
void SwUpdateWindow::on_sw_timer_1() {
    form_.sw_timer_1.set_timer_enabled(false);
    append_line(log::k_bootstrap);
    ui::SerialPort& port = ctx_.port;
    if (!port.write(k_bootstrap_string)) {
        abort_run();
        enter(State::ready);
        return;
    }
    port.close();
    enter(State::bootstrap_sent);
}

// Step 3: the library steps back to back, then the common end.
void SwUpdateWindow::on_sw_timer_2() {
    form_.sw_timer_2.set_timer_enabled(false);
    // Held for the whole run, so replacing the program's library cannot pull it away.
    const std::shared_ptr<FlashLibrary> lib = ctx_.library;
    ctx_.shared.target_name.assign(k_name_length, ' ');
    enter(State::flashing);
    form_.progress.set_progress(0, 0, "");
    form_.progress.set_visible(true);
    if (lib == nullptr) {
        fail(log::error("OpenCom"));
        common_end(nullptr);
        return;
    }
    last_progress_ = -1;
    lib->set_progress(&SwUpdateWindow::progress_thunk, this);
    if (library_steps(*lib)) {
        form_.progress.set_progress(k_progress_steps, k_progress_steps, "100 %");
    }
    common_end(lib.get());
}

bool SwUpdateWindow::library_steps(FlashLibrary& lib) {
    Shared& sh = ctx_.shared;
    const std::string port = sh.port_name;
    const auto baud = static_cast<std::int32_t>(
        num::parse_whole(sh.flash_baud_text).value_or(ui::SerialPort::k_baud));
    if (call([&] { return lib.SetCom(port.c_str(), baud); }) != 1) {
        return fail_step(lib, log::error("OpenCom"));
    }
    append_line(log::open_com(port, sh.flash_baud_text));

    std::array<char, k_name_room> name{};
    std::fill_n(name.begin(), k_name_length, ' ');
    const std::int32_t monitor = call([&] { return lib.InitMonitor(name.data()); });
    sh.target_name.assign(name.data(), ::strnlen(name.data(), k_name_length));
    if (monitor != 1) {
        return fail_step(lib, log::error("InitMonitor"));
    }
    append_line(log::ok("InitMonitor"));

    const std::string shown = log::name_shown(sh.target_name);
    double hz = sh.cpu_frequency;
    if (call([&] { return lib.AdjustCpuFrequency(&hz); }) != 1) {
        return fail_step(lib, log::target_unknown(shown));
    }
    sh.cpu_frequency = hz;
    append_line(log::target(shown, hz));

    const std::string path = form_.hexfilename.caption();
    std::int32_t size = sh.file_size;
    if (call([&] { return lib.LoadFile(path.c_str(), &size); }) != 1) {
        return fail_step(lib, log::error("LoadFile"));
    }
    sh.file_size = size;
    append_line(log::load_file(size));

    std::int16_t roms1 = 0;
    if (call([&] { return lib.AutoROMS1(&roms1); }) != 1) {
        return fail_step(lib, log::error("AutoROMS1"));
    }
    append_line(log::auto_roms1(roms1));

    std::int32_t block = 0;
    if (call([&] { return lib.GetHexFileBlock(&block); }) != 1) {
        return fail_step(lib, log::error("GetHexFileBlock"));
    }
    append_line(log::hex_file_block(block));

    if (call([&] { return lib.EraseFlash(block); }) != 1) {
        return fail_step(lib, log::error("EraseFlash"));
    }
    append_line(log::ok("EraseFlash"));

    if (call([&] { return lib.ProgramFlash(); }) != 1) {
        return fail_step(lib, log::error("ProgramFlash"));
    }
    append_line(log::ok("ProgramFlash"));
    append(log::k_finished);
    form_.status.repaint();
    return true;
}

std::int32_t SwUpdateWindow::call(const std::function<std::int32_t()>& fn) {
    std::int32_t result = 0;
    reason_.clear();
    ctx_.pump.run_blocking([&] {
        // The call may run on a worker thread, where an escaping exception would end the
        // program with the port in the library's hands.
        try {
            result = fn();
        } catch (const std::exception& e) {
            result = 0;
            reason_ = e.what();
        }
    });
    return result;
}

// CloseCom always, also after a failed SetCom; then the main port is taken back.
void SwUpdateWindow::common_end(FlashLibrary* lib) {
    if (lib != nullptr) {
        (void)call([&] { return lib->CloseCom(); });
        lib->set_progress(nullptr, nullptr);
    }
    enter(State::ready);
    reopen_main_port();
    run_ended.raise();
}

void SwUpdateWindow::reopen_main_port() {
    ui::SerialPort& port = ctx_.port;
    if (port.is_open()) {
        return;
    }
    const ui::OpenResult opened = port.open();
    if (opened.ok) {
        return;
    }
    // The toolbar must not go on showing a port as open that is not.
    main_port_lost.raise();
    ctx_.dialogs.message({"COM-Port not available", "COM-Port", ui::Icon::none,
                          ctx_.diagnosis != nullptr
                              ? ctx_.diagnosis->explain(port.port_name(), opened.reason)
                              : opened.reason});
}

// ---------------------------------------------------------------- the log

void SwUpdateWindow::append(std::string_view text) {
    form_.status.set_text(form_.status.text() + std::string(text));
}

// A line and its line end, shown before the next blocking call starts.
void SwUpdateWindow::append_line(std::string_view line) {
    append(std::string(line) + std::string(log::k_line_end));
    form_.status.repaint();
}

void SwUpdateWindow::fail(std::string_view error_line) {
    form_.status.set_text_color(k_log_red);
    append(std::string(error_line) + std::string(log::k_line_end));
    append(log::k_aborted);
    form_.status.repaint();
}

bool SwUpdateWindow::fail_step(FlashLibrary& lib, std::string_view error_line) {
    fail(error_line);
    show_detail(&lib);
    return false;
}

// A write to the main port failed: the scanner was not reached.
void SwUpdateWindow::abort_run() {
    form_.status.set_text_color(k_log_red);
    append(log::k_aborted);
    form_.status.repaint();
}

// Why a step failed, when it is known, goes to the progress bar's text and, whole, to the
// label under the log and the log's tooltip; the log keeps its lines.
void SwUpdateWindow::show_detail(const FlashLibrary* lib) {
    std::string reason = reason_;
    if (reason.empty() && lib != nullptr) {
        reason = lib->last_error();
    }
    if (reason.empty()) {
        return;
    }
    show_reason(reason);
    auto& bar = form_.progress;
    bar.set_progress(bar.value(), std::max(bar.maximum(), k_progress_steps), std::move(reason));
    bar.set_visible(true);
}

void SwUpdateWindow::show_reason(const std::string& reason) {
    form_.failure_reason.set_caption(reason);
    form_.status.set_tooltip(reason);
}

// ---------------------------------------------------------------- progress

void SwUpdateWindow::progress_thunk(void* context, const FlashProgress& p) {
    static_cast<SwUpdateWindow*>(context)->report_progress(p);
}

// On the thread that runs the library: only changes of a whole per mille are posted.
void SwUpdateWindow::report_progress(const FlashProgress& p) {
    const bool known = p.total > 0;
    const std::int64_t done = known ? std::clamp<std::int64_t>(p.done, 0, p.total) : 0;
    const int step = known ? static_cast<int>(static_cast<double>(done) * k_progress_steps /
                                              static_cast<double>(p.total))
                           : 0;
    const int key = static_cast<int>(p.phase) * (k_progress_steps + 1) + step;
    if (key == last_progress_) {
        return;
    }
    last_progress_ = key;
    const int maximum = known ? k_progress_steps : 0;
    ctx_.pump.post([this, step, maximum, phase = p.phase] {
        // A report that arrives after the run has ended must not overwrite its outcome.
        if (state_ == State::flashing) {
            form_.progress.set_progress(step, maximum, progress_label(phase, step, maximum > 0));
        }
    });
}

} // namespace trx::sw_update

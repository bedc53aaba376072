#include "sw_update/sw_update_window.hpp"

#include "base/numtext.hpp"
#include "flashlib/hex_reader.hpp"
#include "service/flash_log.hpp"
#include "service/update_history.hpp"
#include "service/update_log.hpp"
#include "sw_update/hex_folder.hpp"

#include <algorithm>
#include <chrono>
#include <utility>

namespace trx::sw_update {

namespace {

namespace log = service::update_log;
using service::UpdateStep;

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
    : form_(form), ctx_(std::move(context)),
      sequence_(*this,
                [this](const std::function<void()>& work) { ctx_.pump.run_blocking(work); }) {
    connections_ += form_.window.activated.connect([this] { on_activate(); });
    connections_ += form_.openbutton.click.connect([this] { on_open(); });
    connections_ += form_.program.click.connect([this] { on_program(); });
    connections_ += form_.cmd_verify.click.connect([this] { on_verify(); });
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
    form_.cmd_verify.set_enabled(idle);
    form_.keep_firmware.set_enabled(idle);
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
        form_.cmd_verify.set_enabled(true);
    }
}

void SwUpdateWindow::on_open() {
    std::string path =
        ctx_.dialogs.open_file({k_file_dialog_title, k_file_dialog_filter, k_file_dialog_ext,
                                hex_dialog_start(form_.hexfilename.caption(), ctx_.demo_folder)});
    if (!path.empty()) {
        form_.hexfilename.set_caption(std::move(path));
        show_identity();
    }
    on_activate();
}

void SwUpdateWindow::offer_file(const std::string& path) {
    if (state_ != State::ready) {
        return;
    }
    form_.hexfilename.set_caption(path);
    show_identity();
    form_.window.show();
    on_activate();
}

void SwUpdateWindow::show_identity() {
    std::optional<Result<service::ImageCheck>> checked;
    const std::string path = form_.hexfilename.caption();
    ctx_.pump.run_blocking([&] { checked = service::check_image_file(path, {}); });
    form_.image_identity.set_caption(*checked ? (*checked)->summary() : "not a firmware file");
}

// Step 1: check the file, then reset the scanner with "F".
void SwUpdateWindow::on_program() {
    start_run(false);
}

// The same way to the loader as Program, then a comparison that writes nothing.
void SwUpdateWindow::on_verify() {
    start_run(true);
}

void SwUpdateWindow::start_run(bool verify) {
    if (state_ != State::ready) {
        return;
    }
    verify_run_ = verify;
    reset_sent_ = false;
    image_.reset();
    keep_ = {};
    run_started_ = std::chrono::steady_clock::now();
    form_.status.set_text_color(k_log_green);
    enter(State::checking);
    form_.status.set_text("");
    form_.status.repaint();
    form_.progress.set_visible(false);
    form_.progress.set_progress(0, 0, "");
    show_reason("");
    sequence_.begin();
    values_.port_name = ctx_.shared.port_name;
    values_.baud_text = ctx_.shared.flash_baud_text;

    // The file is read before anything goes to the scanner, so a bad file never leaves it
    // waiting in its bootstrap loader.
    const std::shared_ptr<FlashLibrary> lib = ctx_.library;
    const service::ScannerFacts facts = scanner_facts_ ? scanner_facts_() : service::ScannerFacts{};
    const auto check = check_file(lib.get(), facts);
    if (!check) {
        enter(State::ready);
        return;
    }
    form_.image_identity.set_caption(check->summary());
    image_ = *check;
    sequence_.image_checked(*check);
    // A verify writes nothing: no question, no refusal, no backup.
    if (!verify && (!image_accepted(*check) || (before_update_ && !before_update_()))) {
        enter(State::ready);
        return;
    }
    if (!verify && form_.keep_firmware.checked()) {
        auto keeper = firmware_keeper(facts);
        if (!keeper) {
            enter(State::ready);
            return;
        }
        keep_ = std::move(*keeper);
    }
    sequence_.reset_begun(values_);
    if (!ctx_.writer.send('F')) {
        (void)sequence_.fail(UpdateStep::reset, ErrorKind::port, {}, values_);
        enter(State::ready);
        return;
    }
    reset_sent_ = true;
    enter(State::resetting);
}

// A damaged image and one for the other type are refused; the same or an older version goes
// in only when the technician says so.
bool SwUpdateWindow::image_accepted(const service::ImageCheck& check) {
    using service::ImageVerdict;
    switch (check.verdict) {
    case ImageVerdict::go:
        return true;
    case ImageVerdict::damaged:
    case ImageVerdict::other_type:
        ctx_.dialogs.message({check.reason + " Nothing was sent to the scanner.",
                              "Softwareupdate",
                              ui::Icon::critical,
                              {}});
        break;
    case ImageVerdict::confirm_older:
        if (ctx_.questions != nullptr &&
            ctx_.questions->ask_yes_no({check.reason + " Program it all the same?",
                                        "Softwareupdate",
                                        ui::Icon::question,
                                        {}})) {
            return true;
        }
        break;
    }
    (void)sequence_.fail(UpdateStep::load_file, ErrorKind::bad_input, check.reason, values_);
    return false;
}

std::optional<service::KeepFlash>
SwUpdateWindow::firmware_keeper(const service::ScannerFacts& facts) {
    std::string why;
    if (!facts.serial) {
        why = "The scanner gave no serial number, so its firmware cannot be kept beside its "
              "backups.";
    } else if (!keep_firmware_) {
        why = "There is no folder to keep the firmware in.";
    }
    if (!why.empty()) {
        ctx_.dialogs.message(
            {why + " Nothing was sent to the scanner.", "Softwareupdate", ui::Icon::critical, {}});
        (void)sequence_.fail(UpdateStep::load_file, ErrorKind::bad_input, why, values_);
        return std::nullopt;
    }
    return service::KeepFlash([keep = keep_firmware_, serial = *facts.serial](
                                  const std::string& hex) { return keep(serial, hex); });
}

// The program's own hex reader checks the file, so that each library function is called at
// most once per run and in its order: another library may take no file before its SetCom.
std::optional<service::ImageCheck> SwUpdateWindow::check_file(const FlashLibrary* lib,
                                                              const service::ScannerFacts& facts) {
    if (lib == nullptr) {
        (void)sequence_.fail(UpdateStep::load_file, ErrorKind::flash, "No flash library is loaded.",
                             values_);
        return std::nullopt;
    }
    const std::string path = form_.hexfilename.caption();
    flash::HexResult checked;
    ctx_.pump.run_blocking([&] { checked = flash::read_firmware_file(path); });
    if (!checked.ok()) {
        // A reader that gives no reason leaves the library's own, as before the check moved.
        (void)sequence_.fail(UpdateStep::load_file, ErrorKind::flash, checked.error.message,
                             values_, lib);
        return std::nullopt;
    }
    return service::judge_image(checked.image, facts);
}

// ---------------------------------------------------------------- timers

// Step 2: the bootstrap string, then the main port is given up.
void SwUpdateWindow::on_sw_timer_1() {
    form_.sw_timer_1.set_timer_enabled(false);
    sequence_.bootstrap_begun(values_);
    ui::SerialPort& port = ctx_.port;
    if (!port.write(service::k_bootstrap_string)) {
        (void)sequence_.fail(UpdateStep::bootstrap, ErrorKind::port, {}, values_);
        record_run(nullptr);
        enter(State::ready);
        return;
    }
    // A network port is given up only when the loader's pause is over (step 3).
    if (service::closes_before_loader_pause(port.port_name())) {
        port.close();
    }
    enter(State::bootstrap_sent);
}

// Step 3: the library steps back to back, then the common end.
void SwUpdateWindow::on_sw_timer_2() {
    form_.sw_timer_2.set_timer_enabled(false);
    ctx_.port.close(); // a network port's, held through the pause
    // Held for the whole run, so replacing the program's library cannot pull it away.
    const std::shared_ptr<FlashLibrary> lib = ctx_.library;
    Shared& sh = ctx_.shared;
    sh.target_name.assign(service::k_name_length, ' ');
    values_.target_name = sh.target_name;
    values_.cpu_frequency = sh.cpu_frequency;
    values_.file_size = sh.file_size;
    enter(State::flashing);
    form_.progress.set_progress(0, 0, "");
    form_.progress.set_visible(true);
    if (lib == nullptr) {
        (void)sequence_.fail(UpdateStep::open_com, ErrorKind::flash, {}, values_);
        common_end(nullptr);
        return;
    }
    last_progress_ = -1;
    time_left_ = {};
    if (ctx_.log != nullptr) {
        service::route_flash_log(*lib, *ctx_.log);
    }
    const bool done =
        verify_run_
            ? sequence_.verify_steps(*lib, values_, form_.hexfilename.caption()).ok()
            : sequence_.library_steps(*lib, values_, form_.hexfilename.caption(), {}, keep_).ok();
    sh.target_name = values_.target_name;
    sh.cpu_frequency = values_.cpu_frequency;
    sh.file_size = values_.file_size;
    if (done) {
        form_.progress.set_progress(k_progress_steps, k_progress_steps, "100 %");
    }
    common_end(lib.get());
}

// CloseCom always, also after a failed SetCom; then the main port is taken back.
void SwUpdateWindow::common_end(FlashLibrary* lib) {
    if (lib != nullptr) {
        sequence_.close(*lib);
        service::unroute_flash_log(*lib);
    }
    record_run(lib);
    enter(State::ready);
    reopen_main_port();
    run_ended.raise();
}

void SwUpdateWindow::record_run(const FlashLibrary* lib) {
    if (!reset_sent_) {
        return;
    }
    service::RunSummary run;
    run.kind = verify_run_ ? history::Kind::verify : history::Kind::update;
    run.image = form_.hexfilename.caption();
    run.identity = image_ ? image_->summary() : std::string();
    const auto& error = sequence_.error();
    if (!verify_run_ && !error && lib != nullptr) {
        run.skipped = lib->skipped_sectors();
    }
    run.duration_s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - run_started_).count();
    run_recorded.raise(service::update_record(run, sequence_, values_,
                                              error ? Result<Done>(*error) : Result<Done>(Done{})));
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

// Each line shown before the next blocking call starts; the closing line has no line end.
void SwUpdateWindow::log_line(const service::UpdateLogLine& line) {
    if (line.red) {
        form_.status.set_text_color(k_log_red);
    }
    std::string text = form_.status.text() + line.text;
    if (!line.closing) {
        text += log::k_line_end;
    }
    form_.status.set_text(std::move(text));
    form_.status.repaint();
}

void SwUpdateWindow::step_failed(UpdateStep /*step*/, const Error& error) {
    show_detail(error.message);
}

// Why a step failed, when it is known, goes to the progress bar's text and, whole, to the
// label under the log and the log's tooltip; the log keeps its lines.
void SwUpdateWindow::show_detail(const std::string& reason) {
    if (reason.empty()) {
        return;
    }
    show_reason(reason);
    auto& bar = form_.progress;
    bar.set_progress(bar.value(), std::max(bar.maximum(), k_progress_steps), reason);
    bar.set_visible(true);
}

void SwUpdateWindow::show_reason(const std::string& reason) {
    form_.failure_reason.set_caption(reason);
    form_.status.set_tooltip(reason);
}

// ---------------------------------------------------------------- progress

// On the thread that runs the library: only changes of a whole per mille, or of the time
// left, are posted.
void SwUpdateWindow::progress(const FlashProgress& p) {
    const bool known = p.total > 0;
    const std::int64_t done = known ? std::clamp<std::int64_t>(p.done, 0, p.total) : 0;
    const int step = known ? static_cast<int>(static_cast<double>(done) * k_progress_steps /
                                              static_cast<double>(p.total))
                           : 0;
    const auto left = time_left_.update(p, std::chrono::steady_clock::now().time_since_epoch());
    const std::string left_text = left ? service::time_left_text(*left) : "";
    const int key = static_cast<int>(p.phase) * (k_progress_steps + 1) + step;
    if (key == last_progress_ && left_text == last_left_) {
        return;
    }
    last_progress_ = key;
    last_left_ = left_text;
    const int maximum = known ? k_progress_steps : 0;
    ctx_.pump.post([this, step, maximum, phase = p.phase, left_text] {
        // A report that arrives after the run has ended must not overwrite its outcome.
        if (state_ == State::flashing) {
            std::string label = progress_label(phase, step, maximum > 0);
            if (!left_text.empty()) {
                label += "  " + left_text;
            }
            form_.progress.set_progress(step, maximum, label);
        }
    });
}

} // namespace trx::sw_update

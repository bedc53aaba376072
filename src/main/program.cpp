#include "main/program.hpp"

#include "base/version.hpp"
#include "flashlib/dll_interface.hpp"
#include "monitor/supervision.hpp"
#include "para/shown_identity.hpp"
#include "sw_update/hex_folder.hpp"

#include <string>

namespace trx::main {

namespace {
// How long opening the history window waits for what was just recorded to be written.
constexpr std::chrono::milliseconds k_history_settle{2000};

// The services with the program's own port in the device's place.
Services on_port(const Services& s, ui::SerialPort& port) {
    return {port,
            s.clock,
            s.dialogs,
            s.pump,
            s.files,
            s.devices,
            s.simulator,
            s.log,
            s.text_files,
            s.diagnosis,
            s.picture_renderer,
            s.open_capture,
            s.address_prompt,
            s.listener,
            s.choice_prompt};
}

// The demo firmware beside an installed program, or in the build tree.
std::filesystem::path demo_folder(const ui::Files& files) {
    return sw_update::demo_firmware_folder(files,
                                           {TRX_DEMO_FROM_PROGRAM, TRX_DEMO_FROM_BUILD_PROGRAM});
}
} // namespace

Program::Program(Services services)
    : given_(services), port_(services.port, services.clock), services_(on_port(services, port_)),
      recording_({services.clock, services.dialogs, services.files, port_, services.open_capture,
                  services.log}),
      log_(services.log != nullptr ? *services.log : silent_),
      para_window_(para_, services.dialogs), output_(port_), writer_(output_, shared_),
      defs_(writer_,
            [this] {
                para_.window.create();
                para_.statusbar.set_simple_text("Status:");
            }),
      receiver_(receive_events()),
      main_window_(main_, para_.window, sw_, shared_, services_, port_, log_, [this] { end(); }),
      live_monitor_({main_.inkremente, main_.temperature, main_.data, main_.data2, main_.Check1,
                     main_.map, para_.window, para_.typ, para_.max_modul_angle_anz},
                    shared_, receiver_),
      stale_data_(main_, services.clock),
      // Our built-in flash library unless a test puts another one in its place; it is loaded
      // only when the update first calls it.
      flash_(std::make_shared<flash::Dll_interface>()),
      sw_update_(sw_, {shared_,
                       writer_,
                       port_,
                       services.dialogs,
                       services.pump,
                       flash_,
                       {&main_.window, &para_.window},
                       services.diagnosis,
                       &log_,
                       dynamic_cast<ui::Questions*>(&services.dialogs),
                       demo_folder(services.files)}),
      supervision_(main_, para_, defs_, port_, shared_, log_),
      identity_(para_, defs_, receiver_, services.dialogs),
      para_read_({para_, para_window_, main_.display_filter_frame, shared_, defs_, port_, receiver_,
                  services.dialogs, services.pump, identity_}),
      para_send_(para_, para_read_, shared_, writer_, receiver_, services.dialogs),
      text_files_(services.text_files != nullptr ? *services.text_files : own_text_files_),
      backups_(text_files_, services.files.data_folder()),
      history_(std::make_unique<history::StationHistory>(
          services.files.config_folder(), services.files.data_folder(),
          "trx81500 " + std::string(k_version), text_files_)),
      auto_backup_({para_, para_read_, backups_, services.clock, services.dialogs, services.pump}),
      para_files_(
          {para_, para_read_, para_send_, text_files_, backups_, services.clock, services.dialogs}),
      statistics_(main_.StatusBar1, k_statistics_panel, main_.statistics_timer, receiver_),
      diagnostics_({main_, live_monitor_, services.dialogs, services.clock, text_files_,
                    services.files.data_folder(), services.picture_renderer}),
      panel_note_(main_.StatusBar1, k_statistics_panel, recording_),
      quality_({quality_form_, main_.window, para_.typ, services.clock, services.dialogs,
                text_files_, services.files.data_folder()}),
      plan_extras_(monitor::plan_extra_items()),
      plan_overlay_(plan_extras_, main_.map, main_.Check1, services.files),
      history_window_(
          {history_form_, [this] { return history_->open_for_reading(k_history_settle); },
           [this]() -> std::optional<std::uint32_t> {
               const auto& last = para_read_.last_reply();
               if (!last) {
                   return std::nullopt;
               }
               return last->set.serial_number;
           },
           [this](link::ScannerType type, const link::ParaSet& set) {
               return load_from_history(type, set);
           },
           services.clock, services.dialogs, text_files_, services.files.data_folder()}) {
    // Every turn shown goes into the scan statistics, whether their window is open or not.
    connections_ += live_monitor_.turn_shown.connect([this](const service::Turn& turn) {
        quality_.add(turn);
        plan_overlay_.turn_shown(turn);
    });
    diagnostics_.set_scan_quality([this] { quality_.open(); });
    diagnostics_.set_history([this] { history_window_.open(); });
    connections_ += para_.cmd_history.click.connect([this] { history_window_.open(); });
    record_history();
    connections_ += main_window_.port_opened.connect([this] { statistics_.port_opened(); });
    // The scanner's set goes into a backup before a store or an update overwrites it.
    para_send_.set_before_store([this] { return auto_backup_.before_store(); });
    sw_update_.set_before_update([this] { return auto_backup_.before_update(); });
    sw_update_.set_keep_firmware(service::keep_firmware_in(backups_, services_.clock));
    sw_update_.set_scanner_facts([this] {
        const auto& reply = para_read_.last_reply();
        return reply ? service::facts_from(*reply) : service::ScannerFacts{};
    });
    connections_ += sw_update_.run_ended.connect([this] { auto_backup_.update_ended(); });
    // A kept firmware chosen in "Backups..." is flashed back from the update window.
    connections_ += para_files_.firmware_chosen.connect(
        [this](const std::string& path) { sw_update_.offer_file(path); });
    // A main port that the update could not reopen shows closed on the toolbar.
    connections_ += sw_update_.main_port_lost.connect([this] { main_window_.close_port(); });
    connections_ +=
        sw_update_.holds_port.connect([this](bool held) { main_window_.hold_port(held); });
    // Everything on the wire goes into the recorder; a recording that failed is reported at
    // the next supervision tick, never inside the receive path.
    port_.set_tap(&recording_.recorder());
    connections_ += main_.Timer1.tick.connect([this] {
        recording_.check();
        panel_note_.refresh();
    });
    connections_ += main_.statistics_timer.tick.connect([this] { panel_note_.refresh(); });
    connections_ += main_window_.port_opened.connect([this] { panel_note_.refresh(); });
    diagnostics_.set_recording({.save_recent = [this] { recording_.save_recent(); },
                                .start =
                                    [this] {
                                        recording_.start();
                                        panel_note_.refresh();
                                    },
                                .stop =
                                    [this] {
                                        recording_.stop();
                                        panel_note_.refresh();
                                    },
                                .recording = [this] { return recording_.recording(); }});
    connections_ += port_.received.connect(
        [this](std::string_view bytes) { receiver_.port_event(link::k_ev_receive, bytes); });
    watch_for_stale_data();
    attach_timers(main_.window);
    attach_timers(para_.window);
    attach_timers(sw_.window);
    attach_timers(quality_form_.window);
}

// What the program does to a scanner goes into the service history: the scanner seen (its
// first reply on a connection), each set read and stored, each backup written, each firmware
// run. Why the history is not
// being written is said once, in panel 1's tool tip, when it first shows or changes.
void Program::record_history() {
    history_->link_backups(backups_);
    connections_ += main_window_.port_opened.connect([this] { seen_on_connection_ = false; });
    connections_ += para_read_.reply_shown.connect([this](const link::ParaReply& reply) {
        if (!seen_on_connection_) {
            seen_on_connection_ = true;
            history_->recorder().seen(reply, para::shown_index(para_));
        }
        history_->recorder().read(reply);
    });
    // A store's entry is made when the scanner acknowledges it, or as failed when the next
    // store goes out or the port closes first.
    connections_ += para_send_.sent.connect([this](const link::ParaSet& set) {
        store_ended(Error{ErrorKind::not_acknowledged, "no \"P\" before the next store was sent"});
        const auto& last = para_read_.last_reply();
        const link::ScannerType type =
            link::scanner_type(para_.typ.caption()).value_or(link::ScannerType::unknown);
        pending_store_ = PendingStore{type, last ? last->set : set, set};
    });
    connections_ += para_send_.acknowledged.connect([this] { store_ended(std::nullopt); });
    record_index_and_files();
    // A firmware run is the scanner's whose set the parameter window last read.
    connections_ += sw_update_.run_recorded.connect([this](const history::UpdateRecord& record) {
        history::UpdateRecord r = record;
        if (const auto& last = para_read_.last_reply()) {
            r.serial = last->set.serial_number;
        }
        history_->recorder().update(r);
    });
    connections_ += main_window_.port_closed.connect([this] {
        store_ended(Error{ErrorKind::not_acknowledged,
                          "no \"P\" before the port closed; it may or may not have stored it"});
    });
    connections_ += main_.Timer1.tick.connect([this] {
        const std::string why = history_->trouble();
        if (why == history_trouble_shown_) {
            return;
        }
        history_trouble_shown_ = why;
        main_.StatusBar1.set_panel_tooltip(
            monitor::k_link_panel,
            why.empty() ? std::string() : "The history is not being written: " + why);
    });
}

// An index written is recorded when the scanner's "I" saved it, or as failed when the next
// one goes out or the port closes first; a parameter file when it was written or loaded.
void Program::record_index_and_files() {
    connections_ += identity_.index_sent.connect([this](std::uint16_t index) {
        index_ended(Error{ErrorKind::not_acknowledged, "no \"I\" before the next index was sent"});
        pending_index_ = index;
    });
    connections_ += identity_.index_saved.connect([this] { index_ended(std::nullopt); });
    connections_ += main_window_.port_closed.connect([this] {
        index_ended(Error{ErrorKind::not_acknowledged, "no \"I\" before the port closed"});
    });
    const auto file_entry = [this](history::Kind kind) {
        return [this, kind](const para::ParaFileGroup::FileEvent& e) {
            history_->recorder().file(kind, e.file.type, e.file.set, e.path, e.failed);
        };
    };
    connections_ += para_files_.file_saved.connect(file_entry(history::Kind::file_save));
    connections_ += para_files_.file_loaded.connect(file_entry(history::Kind::file_load));
}

void Program::index_ended(const std::optional<Error>& failed) {
    if (!pending_index_) {
        return;
    }
    const auto& last = para_read_.last_reply();
    history_->recorder().index(last ? std::optional(last->set.serial_number) : std::nullopt,
                               *pending_index_, failed);
    pending_index_.reset();
}

void Program::store_ended(const std::optional<Error>& failed) {
    if (!pending_store_) {
        return;
    }
    history_->recorder().store(pending_store_->type, pending_store_->before, pending_store_->after,
                               failed);
    pending_store_.reset();
}

// As a file is loaded: into the window only, of the type the window shows; sent when the
// technician sends it.
std::optional<std::string> Program::load_from_history(link::ScannerType type,
                                                      const link::ParaSet& set) {
    const auto shown = link::scanner_type(para_.typ.caption());
    if (!para_.window.shown() || !shown || *shown == link::ScannerType::unknown) {
        return "the parameter window shows no scanner; read the scanner's set first";
    }
    if (*shown != type) {
        return "the set is of the type " + std::string(link::type_text(type)) +
               ", the window shows " + std::string(link::type_text(*shown));
    }
    para_read_.show_settings(set);
    para_.statusbar.set_simple_text("Status:   Parameters loaded from the history");
    para_.window.user_activate();
    return std::nullopt;
}

Program::~Program() {
    port_.set_tap(nullptr);
}

// The views go old when the port closes, when the link went offline at a supervision tick
// (connected after the supervision's own, so panel 1 is already up to date) and while an
// update holds the port; the next status frame shown makes them live again.
void Program::watch_for_stale_data() {
    connections_ += live_monitor_.frame_shown.connect([this] {
        stale_data_.frame_shown();
        supervision_.status_word_stored();
    });
    connections_ += main_window_.port_closed.connect([this] { stale_data_.went_away(); });
    connections_ += main_.Timer1.tick.connect([this] {
        const std::string& link = main_.StatusBar1.panel(monitor::k_link_panel);
        if (link == "offline" || link == monitor::k_replay_finished) {
            stale_data_.went_away();
        }
    });
    connections_ += sw_update_.holds_port.connect([this](bool held) {
        if (held) {
            stale_data_.went_away();
        }
    });
}

// The link state marker is the tag of Timer1: every good frame sets it "online".
link::ReceiveEvents Program::receive_events() {
    return {.good_frame = [this] { main_.Timer1.set_tag("online"); },
            .bad_checksum =
                [this](std::string_view body) {
                    log_if(log_, LogLevel::debug, log_category::link,
                           [&] { return "bad checksum, frame dropped: " + std::string(body); });
                },
            .fault = [this](const std::string& what) { on_decoder_fault(what); }};
}

void Program::attach_timers(ui::Window& w) {
    for (ui::Control* c : w.controls()) {
        if (auto* t = dynamic_cast<ui::Timer*>(c)) {
            services_.clock.attach(*t);
        }
    }
}

// A decoder stopped half-way through a rebuild: show what was written so far. The fault is
// not the technician's business, but whoever looks into the link finds it in the log.
void Program::on_decoder_fault(const std::string& what) {
    main_.data.set_drawing(true);
    main_.data2.set_drawing(true);
    log_.write(LogLevel::warning, log_category::link, "decoding stopped: " + what);
}

void Program::start() {
    main_window_.start_up();
    main_.window.show();
    main_.window.user_activate();
}

void Program::end() {
    if (ended_) {
        return;
    }
    ended_ = true;
    services_.pump.quit();
    ended_signal.raise();
}

ui::Window* Program::window(std::string_view name) {
    if (name == "main") {
        return &main_.window;
    }
    if (name == "para") {
        return &para_.window;
    }
    if (name == "sw_update") {
        return &sw_.window;
    }
    if (name == "quality") {
        return &quality_form_.window;
    }
    if (name == "history") {
        return &history_form_.window;
    }
    return nullptr;
}

} // namespace trx::main

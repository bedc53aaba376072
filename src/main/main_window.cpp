#include "main/main_window.hpp"

#include "base/numtext.hpp"
#include "forms/port_menu.hpp"
#include "main/program.hpp"
#include "main/recent_addresses.hpp"
#include "monitor/supervision.hpp"
#include "netport/net_address.hpp"

#include <algorithm>
#include <array>
#include <span>
#include <string_view>
#include <vector>

namespace trx::main {

namespace {

constexpr std::array<int, 6> k_data_widths{450, 900, 400, 900, 900, 500};
constexpr std::array<std::string_view, 4> k_data_headings{"", "angle", "flag", "width"};
constexpr std::array<int, 4> k_data2_widths{450, 900, 900, 500};
constexpr std::array<std::string_view, 4> k_data2_headings{"", "angle", "tag width", "code"};

// Widths, centre-top alignment, headings and the row numbers 1 ... 999 (the last row gets no
// number). Drawing is off meanwhile, so a view refreshes once, not a thousand times.
void lay_out_grid(ui::Grid& g, std::span<const int> widths,
                  std::span<const std::string_view> headings) {
    g.set_drawing(false);
    for (std::size_t c = 0; c < widths.size(); ++c) {
        g.set_col_width(static_cast<int>(c), widths[c]);
        g.set_col_align(static_cast<int>(c), ui::Grid::Align::center_top);
    }
    for (int r = 1; r < g.rows() - 1; ++r) {
        g.set_cell(r, 0, num::dec(r));
    }
    for (std::size_t c = 1; c < headings.size(); ++c) {
        g.set_cell(0, static_cast<int>(c), headings[c]);
    }
    g.set_drawing(true);
}

// A reason of several lines (a diagnosis with its hints) as one log line.
std::string one_line(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    return first == std::string::npos ? std::string()
                                      : s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

} // namespace

MainWindow::MainWindow(MainForm& form, ui::Window& para, sw_update::SwUpdateForm& sw,
                       Shared& shared, const Services& services, ProgramPort& port, Log& log,
                       std::function<void()> end)
    : form_(form), para_(para), sw_(sw), shared_(shared), port_(port), files_(services.files),
      dialogs_(services.dialogs), devices_(services.devices), simulator_(services.simulator),
      diagnosis_(services.diagnosis), address_prompt_(services.address_prompt),
      pump_(services.pump), listener_(services.listener), choice_prompt_(services.choice_prompt),
      clock_(services.clock), reconnect_(services.files), log_(log), settings_(services.files),
      end_(std::move(end)) {
    port_.set_port_name(chosen_.name);
    connect_form();
    connections_ += port_.lost.connect([this](const std::string& why) { on_port_lost(why); });
}

void MainWindow::connect_form() {
    connections_ += form_.window.activated.connect([this] { on_activated(); });
    connections_ += form_.window.key.connect([this](ui::KeyPress& k) { on_key(k); });
    connections_ += form_.window.close_requested.connect([this] { shutdown(false); });
    connections_ +=
        form_.Toolbar1.button_click.connect([this](const std::string& key) { on_button(key); });
    connections_ += form_.Toolbar1.menu_opening.connect([this](const std::string& key) {
        if (key == k_port_key) {
            refresh_port_menu();
        }
    });
    connections_ +=
        form_.Toolbar1.chosen.connect([this](const std::string& key, const std::string& entry) {
            if (key == k_port_key) {
                on_chosen(entry);
            }
        });
}

// ---------------------------------------------------------------- start-up

void MainWindow::start_up() {
    place_picture();
    lay_out_grid(form_.data, k_data_widths, k_data_headings);
    lay_out_grid(form_.data2, k_data2_widths, k_data2_headings);
    read_settings();
    refresh_port_menu();
}

// The scanner dot in the centre of the picture, the zero line from there straight up.
void MainWindow::place_picture() {
    const double w = form_.map.width();
    const double h = form_.map.height();
    form_.laser.move(w / 2 - form_.laser.width() / 2, h / 2 - form_.laser.height() / 2);
    form_.Line1.place(w / 2, h / 2, w / 2, 0);
}

void MainWindow::read_settings() {
    const auto hex = settings_.read();
    if (!hex) {
        return;
    }
    sw_.window.create();
    sw_.hexfilename.set_caption(*hex);
}

// ---------------------------------------------------------------- window events

void MainWindow::on_activated() {
    para_.create();
    para_.hide();
    sw_.window.create();
    sw_.window.hide();
}

// Ctrl+Alt+Q, with exactly those modifiers, shows the control command box for good.
void MainWindow::on_key(ui::KeyPress& k) {
    const bool q = k.code == 'Q' || k.code == 'q';
    if (!q || k.mods != (ui::mod_ctrl | ui::mod_alt)) {
        return;
    }
    form_.comand.set_visible(true);
    k.handled = true;
}

// Toolbar buttons are told apart by their captions, trailing blanks included.
void MainWindow::on_button(const std::string& key) {
    const std::string caption = form_.Toolbar1.item(key).caption;
    if (caption == k_caption_parameter) {
        para_.show();
    } else if (caption == k_caption_software) {
        sw_.window.show();
    } else if (caption == k_caption_exit) {
        shutdown(true);
    } else {
        on_port_button(caption);
    }
}

// ---------------------------------------------------------------- port

void MainWindow::refresh_port_menu() {
    listed_ = devices_ != nullptr ? devices_->list() : std::vector<ui::SerialDevice>{};
    auto entries = port_entries(listed_, simulator_ != nullptr, state_ == PortState::closed,
                                listener_ != nullptr && devices_ != nullptr);
    ui::Toolbar::Entry reconnect;
    reconnect.key = k_reconnect_key;
    reconnect.caption = k_reconnect_caption;
    reconnect.separator_before = true;
    reconnect.checkable = true;
    reconnect.checked = reconnect_.on(network_chosen());
    entries.push_back(std::move(reconnect));
    form_.Toolbar1.set_entries(k_port_key, std::move(entries));
}

void MainWindow::on_chosen(const std::string& entry_key) {
    if (entry_key == k_reconnect_key) {
        toggle_reconnect();
        return;
    }
    if (entry_key == k_replay_key) {
        choose_replay();
        return;
    }
    if (entry_key == k_network_key) {
        choose_network_port();
        return;
    }
    if (entry_key == k_find_key) {
        find_scanner();
        return;
    }
    port_.use_device();
    const auto& entry = form_.Toolbar1.entry(k_port_key, entry_key);
    chosen_ = {entry.caption, entry_key == k_simulator_key, {}, {}};
    for (const auto& d : listed_) {
        if (d.path == chosen_.name) {
            chosen_.by_id = d.by_id;
        }
    }
    if (!chosen_.simulator) {
        port_.set_port_name(chosen_.name);
    }
    form_.Toolbar1.set_caption(k_port_key, open_caption(chosen_.name));
    show_reconnect_choice();
}

// A capture to play as if it came from the port; one that cannot be played is refused here,
// with its reason, and the choice stays as it was.
void MainWindow::choose_replay() {
    const std::string path =
        dialogs_.open_file({"Replay", "Captures (*.trxcap)|*.trxcap|all files (*.*)|*.*", ".trxcap",
                            files_.data_folder().string()});
    if (path.empty()) {
        return;
    }
    if (const std::string why = capture::Player::check(path); !why.empty()) {
        report_replay_failure(why);
        return;
    }
    chosen_ = {std::filesystem::path(path).filename().string(), false, {}, path};
    port_.use_replay(path);
    form_.Toolbar1.set_caption(k_port_key, open_caption(chosen_.name));
    show_reconnect_choice();
}

// A network port by its address; a bad address is refused here with its reason, and the
// choice stays as it was.
void MainWindow::choose_network_port() {
    if (address_prompt_ == nullptr) {
        return;
    }
    const std::string address = trimmed(address_prompt_->ask(RecentAddresses(files_).list()));
    if (!address.empty()) {
        (void)choose_address(address);
    }
}

bool MainWindow::choose_address(const std::string& address) {
    if (const auto parsed = net::parse_net_address(address); !parsed) {
        dialogs_.message({"The address cannot be used: " + parsed.error().message + ".",
                          "Network port",
                          ui::Icon::warning,
                          {}});
        return false;
    }
    RecentAddresses(files_).remember(address);
    port_.use_device();
    chosen_ = {address, false, {}, {}};
    port_.set_port_name(address);
    form_.Toolbar1.set_caption(k_port_key, open_caption(address));
    show_reconnect_choice();
    return true;
}

void MainWindow::report_replay_failure(const std::string& why) {
    dialogs_.message({"The capture cannot be replayed. " + why, "Replay", ui::Icon::warning, {}});
}

// An adapter that was pulled and plugged in again may come back under another number
// (ttyUSB0 as ttyUSB1): its by-id name says where it is now, and the port follows it.
void MainWindow::find_again_by_id() {
    if (chosen_.by_id.empty() || devices_ == nullptr) {
        return;
    }
    refresh_port_menu();
    for (const auto& d : listed_) {
        if (d.by_id == chosen_.by_id && d.path != chosen_.name) {
            chosen_.name = d.path;
            port_.set_port_name(d.path);
            form_.Toolbar1.set_caption(k_port_key, open_caption(d.path));
            return;
        }
    }
}

void MainWindow::on_port_button(const std::string& caption) {
    if (caption == open_caption(chosen_.name)) {
        if (open_port()) {
            shared_.port_name = port_.port_name();
        }
    } else if (caption == close_caption(chosen_.name)) {
        stop_waiting();
        close_port();
    }
}

bool MainWindow::open_port() {
    find_again_by_id();
    ui::SimulatorHost* sim = chosen_.simulator ? simulator_ : nullptr;
    if (sim != nullptr) {
        const Result<std::string> s = sim->start();
        if (!s) {
            log_open_failure(s.error().message);
            report_open_failure(s.error().message);
            return false;
        }
        port_.set_port_name(*s);
    }
    const ui::OpenResult r = port_.open();
    if (!r.ok && !chosen_.replay.empty()) {
        log_open_failure(r.reason);
        report_replay_failure(r.reason);
        return false;
    }
    if (!r.ok) {
        if (sim != nullptr) {
            sim->stop();
        }
        const std::string why =
            diagnosis_ != nullptr ? diagnosis_->explain(port_.port_name(), r.reason) : r.reason;
        log_open_failure(why);
        report_open_failure(why);
        return false;
    }
    log_if(log_, LogLevel::info, log_category::main,
           [&] { return "port " + chosen_.name + " (" + port_.port_name() + ") open"; });
    // A finished replay's note gives way: the link supervision starts over from "offline".
    if (form_.StatusBar1.panel(monitor::k_link_panel) == monitor::k_replay_finished) {
        form_.StatusBar1.set_panel(monitor::k_link_panel, "offline");
    }
    enter(PortState::open);
    port_opened.raise();
    return true;
}

void MainWindow::close_port() {
    if (state_ == PortState::open) {
        log_if(log_, LogLevel::info, log_category::main,
               [&] { return "port " + chosen_.name + " closed"; });
    }
    port_.close();
    if (chosen_.simulator && simulator_ != nullptr) {
        simulator_->stop();
    }
    // The next port may lead to another scanner: its set must be read before one is stored.
    shared_.reply_since_link_up = false;
    enter(PortState::closed);
    port_closed.raise();
}

void MainWindow::hold_port(bool held) {
    form_.Toolbar1.set_enabled(k_port_key, !held);
}

// The open device went away (adapter pulled, simulator ended, replay at its end): the port
// shows closed, and the technician is told once. A port the toolbar shows closed has nothing
// to lose.
void MainWindow::on_port_lost(const std::string& why) {
    if (state_ != PortState::open) {
        return;
    }
    if (port_.replaying()) {
        replay_finished();
        return;
    }
    log_if(log_, LogLevel::warning, log_category::main, [&] {
        return "port " + chosen_.name +
               " lost: " + one_line(why.empty() ? std::string("the device was disconnected") : why);
    });
    if (reconnects()) {
        wait_for_port();
        return;
    }
    close_port();
    report_open_failure(chosen_.replay.empty() ? "The device was disconnected." : why);
}

// The end of a replay is no fault of a port: panel 1 says so until a port is opened again. A
// capture that stopped at a bad record is a damaged file, and the technician is told why.
void MainWindow::replay_finished() {
    const std::string bad = port_.replay_stop_reason();
    log_if(log_, bad.empty() ? LogLevel::info : LogLevel::warning, log_category::main, [&] {
        return "Replay finished: " + chosen_.name +
               (bad.empty() ? std::string() : ", stopped at a bad record: " + one_line(bad));
    });
    close_port();
    form_.StatusBar1.set_panel(monitor::k_link_panel, monitor::k_replay_finished);
    if (!bad.empty()) {
        dialogs_.message({"The replay stopped at a bad record.", "Replay", ui::Icon::warning, bad});
    }
}

// Closed: open caption, port entries enabled, "Software" disabled; Open: the reverse.
// Waiting: as open, but without "Software" (there is no port). "Reconnect automatically" is
// a setting, not a port, and stays enabled.
void MainWindow::enter(PortState s) {
    state_ = s;
    const bool closed = s == PortState::closed;
    auto& tb = form_.Toolbar1;
    tb.set_caption(k_port_key, closed ? open_caption(chosen_.name) : close_caption(chosen_.name));
    std::vector<std::string> keys;
    for (const auto& e : tb.item(k_port_key).entries) {
        if (e.key != k_reconnect_key) {
            keys.push_back(e.key);
        }
    }
    for (const auto& k : keys) {
        tb.set_entry_enabled(k_port_key, k, closed);
    }
    tb.set_enabled("software", s == PortState::open);
}

void MainWindow::log_open_failure(const std::string& reason) {
    log_if(log_, LogLevel::warning, log_category::main,
           [&] { return "cannot open " + chosen_.name + ": " + one_line(reason); });
}

void MainWindow::report_open_failure(const std::string& reason) {
    dialogs_.message({"COM-Port not available", "COM-Port", ui::Icon::none, reason});
}

// ---------------------------------------------------------------- shutdown

void MainWindow::shutdown(bool with_settings) {
    if (ending_) {
        return;
    }
    ending_ = true;
    stop_waiting();
    if (with_settings) {
        (void)settings_.write(sw_.hexfilename.caption()); // a failure is silent
    }
    para_.hide();
    sw_.window.hide();
    form_.window.hide();
    if (port_.is_open()) {
        port_.close();
    }
    if (simulator_ != nullptr && simulator_->running()) {
        simulator_->stop();
    }
    end_();
}

} // namespace trx::main

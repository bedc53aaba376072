#include "monitor/supervision.hpp"

#include "base/numtext.hpp"

#include <cstdint>
#include <string>

namespace trx::monitor {

namespace {
constexpr const char* k_online = "online";
constexpr const char* k_offline = "offline";
} // namespace

Supervision::Supervision(main::MainForm& main, para::ParaForm& para, link::Defs& defs,
                         ui::SerialPort& port, Shared& shared, Log& log)
    : main_(main), para_(para), defs_(defs), port_(port), shared_(shared), log_(log) {
    connections_ += main_.Timer1.tick.connect([this] { timer1_tick(); });
    connections_ += main_.Timer2.tick.connect([this] { timer2_tick(); });
    connections_ += main_.Timer3.tick.connect([this] { timer3_tick(); });
    for (ui::CheckBox* box : {&main_.motor_off, &main_.laser_on, &main_.speed_ok, &main_.temp_low,
                              &main_.heater_activ}) {
        connections_ += box->click.connect([this] { wake_timer3(); });
    }
}

void Supervision::status_word_stored() {
    wake_timer3();
}

void Supervision::wake_timer3() {
    main_.Timer3.set_resting(false);
}

bool Supervision::control_flags_set() const {
    return main_.motor_off.checked() || main_.laser_on.checked();
}

// The marker reads "online" exactly when a good frame arrived since the last tick.
void Supervision::timer1_tick() {
    // The end of a replay stays said while no port is open, even after its last frames.
    const bool up = main_.Timer1.tag() == k_online && !replay_note_shown();
    if (up) {
        link_up();
    } else {
        link_down();
    }
    tell(up);
    main_.Timer1.set_tag(k_offline);
}

// Only the changes: a link that stays up or down says nothing more.
void Supervision::tell(bool up) {
    if (up == up_) {
        return;
    }
    up_ = up;
    const std::string port = port_.port_name();
    if (up) {
        log_if(log_, LogLevel::info, log_category::monitor, [&] { return "link up on " + port; });
        return;
    }
    log_if(log_, LogLevel::warning, log_category::monitor, [&] {
        return "link down on " + port + ": no good frame within " +
               num::dec(main_.Timer1.interval()) + " ms" + (port_.is_open() ? "" : ", port closed");
    });
}

void Supervision::link_up() {
    auto& bar = main_.StatusBar1;
    if (bar.panel(k_link_panel) == k_online) {
        bar.set_panel(k_link_panel, ""); // blink
    } else {
        if (bar.panel(k_link_panel) == k_offline) {
            // The link has just come up: refresh identity now and the parameter set soon.
            // A failed write ends silently; the next reconnection asks again. The set shown
            // may be another scanner's until the new reply is in.
            shared_.reply_since_link_up = false;
            (void)defs_.send_read_index();
            main_.Timer2.set_timer_enabled(true);
        }
        bar.set_panel(k_link_panel, k_online);
    }
    set_parameter_functions(true);
}

bool Supervision::replay_note_shown() const {
    // Also the note of a lost port that is waited for.
    const std::string& note = main_.StatusBar1.panel(k_link_panel);
    return (note == k_replay_finished || note.starts_with(k_waiting_for)) && !port_.is_open();
}

void Supervision::link_down() {
    if (!replay_note_shown()) {
        main_.StatusBar1.set_panel(k_link_panel, k_offline);
    }
    set_parameter_functions(false);
    para_.statusbar.set_simple_text("Status:");
}

void Supervision::set_parameter_functions(bool enabled) {
    para_.window.create();
    main_.Toolbar1.set_enabled("parameter", enabled);
    para_.cmd_read_para.set_enabled(enabled);
    para_.cmd_send_para.set_enabled(enabled);
}

void Supervision::timer2_tick() {
    main_.Timer2.set_timer_enabled(false);
    (void)defs_.send_read_para();
}

void Supervision::timer3_tick() {
    if (port_.is_open()) {
        send_control_when_room();
    }
    mirror_status_word();
    // The boxes show the status word now; until something changes, the next tick would
    // change nothing.
    if (!control_flags_set()) {
        main_.Timer3.set_resting(true);
    }
}

// A 7-byte frame takes 1.2 ms on the wire, longer than the tick: a tick that finds the
// line still busy skips its frame quietly rather than build a backlog.
void Supervision::send_control_when_room() {
    std::uint8_t flags = 0;
    if (main_.motor_off.checked()) {
        flags |= link::k_motor_off;
    }
    if (main_.laser_on.checked()) {
        flags |= link::k_laser_on;
    }
    if (flags == 0) {
        return;
    }
    if (port_.pending_output() + k_control_frame > k_control_backlog) {
        return;
    }
    (void)defs_.send_control(flags);
}

// Rewritten on every tick, so a click on a box has no lasting effect.
void Supervision::mirror_status_word() {
    const auto word = static_cast<std::uint16_t>(shared_.status_word);
    main_.speed_ok.set_checked((word & 1U) != 0);
    main_.temp_low.set_checked((word & 2U) != 0);
    main_.heater_activ.set_checked((word & 4U) != 0);
}

} // namespace trx::monitor

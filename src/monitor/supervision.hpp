#pragma once

#include "ui/signal.hpp"

#include "base/log.hpp"
#include "forms/main_form.hpp"
#include "forms/para_form.hpp"
#include "link/defs.hpp"
#include "link/shared.hpp"
#include "ui/services.hpp"

#include <cstddef>
#include <string_view>

namespace trx::monitor {

// Panel 1 of the main status bar shows the link state.
inline constexpr std::size_t k_link_panel = 1;
// Panel 1 after a replay reached its end, until a port is opened again.
inline constexpr const char* k_replay_finished = "Replay finished";
// Panel 1 while a lost port is waited for: this, the port's name and " ...".
inline constexpr std::string_view k_waiting_for = "waiting for ";

// The three timers of the main window that keep the tool in step with the scanner:
// `Timer1` watches the link and shows it, `Timer2` asks for the parameter set shortly after
// the link came up, `Timer3` sends the control command "C" and mirrors the status bits.
// `Timer3` rests while its tick would change nothing (no "Motor off" or "Laser on", the status
// bits shown): a 1 ms timer otherwise wakes the program a thousand times a second for nothing.
// A check of either box, a new status word or a click on a status box wakes it.
class Supervision {
public:
    // A "C" frame is queued only while no more than this many bytes wait in the transmit
    // buffer: the line stays busy with "C" frames, yet any other command finds the buffer
    // nearly empty and goes out within a few milliseconds instead of behind a full buffer.
    static constexpr std::size_t k_control_frame = 7;
    static constexpr std::size_t k_control_backlog = 2 * k_control_frame;

    // `log` hears the link come up and go down (trx.monitor).
    Supervision(main::MainForm& main, para::ParaForm& para, link::Defs& defs, ui::SerialPort& port,
                Shared& shared, Log& log);

    void timer1_tick();
    void timer2_tick();
    void timer3_tick();

    // A new status word was stored: `Timer3` wakes to show it at its next tick.
    void status_word_stored();

private:
    void link_up();
    void link_down();
    [[nodiscard]] bool replay_note_shown() const;
    void tell(bool up);
    void set_parameter_functions(bool enabled);
    void send_control_when_room();
    void mirror_status_word();
    [[nodiscard]] bool control_flags_set() const;
    void wake_timer3();

    main::MainForm& main_;
    para::ParaForm& para_;
    link::Defs& defs_;
    ui::SerialPort& port_;
    Shared& shared_;
    Log& log_;
    bool up_ = false; // as last told to the log
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::monitor

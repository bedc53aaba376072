// Status frames with a good checksum and arbitrary payloads through the live monitor: the
// receive assembly, the decoder, the tag tables and the scan picture on the window's own
// controls, under either scanner type and with M a number or not. The program around them
// (timers, the event pump, the other windows) is not part of it, so that the target runs at
// a rate that reaches depth; the whole program is fuzz_receive's.
#include "forms/main_form.hpp"
#include "forms/para_form.hpp"
#include "link/frame.hpp"
#include "link/receiver.hpp"
#include "link/shared.hpp"
#include "monitor/live_monitor.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// One monitor for the whole run, as in the program: each frame is shown over what the last
// one left. Its memory is bounded by its grids and picture.
struct Monitor {
    trx::main::MainForm main;
    trx::para::ParaForm para;
    trx::Shared shared;
    trx::link::Receiver receiver{{.fault = [this](const std::string&) {
        main.data.set_drawing(true);
        main.data2.set_drawing(true);
    }}};
    trx::monitor::LiveMonitor live{{main.inkremente, main.temperature, main.data, main.data2,
                                    main.Check1, main.map, para.window, para.typ,
                                    para.max_modul_angle_anz},
                                   shared,
                                   receiver};
};

Monitor& monitor() {
    static auto* m = [] {
        auto* made = new Monitor();
        made->shared.parameters_received = true;
        made->shared.parameter_set_valid = true;
        return made;
    }();
    return *m;
}

} // namespace

// First byte: bit 0 the scanner type, bit 1 whether M is a number, the rest of it M. Then the
// payload; a payload byte 0x02 or 0x03 ends the frame early, as on the wire.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    Monitor& m = monitor();
    m.para.typ.set_caption((data[0] & 1U) != 0 ? "YA" : "ZA");
    m.para.max_modul_angle_anz.set_text((data[0] & 2U) != 0 ? std::to_string(data[0] >> 2U)
                                                            : std::string("?"));
    const std::string payload(reinterpret_cast<const char*>(data) + 1, size - 1);
    m.receiver.port_event(trx::link::k_ev_receive, trx::link::build_frame('S', payload));
    // Whatever the frame held, the tables are drawn again afterwards.
    if (!m.main.data.drawing() || !m.main.data2.drawing()) {
        std::abort();
    }
    return 0;
}

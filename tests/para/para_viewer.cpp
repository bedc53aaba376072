// Shows the parameter window on fakes, to look at it by eye (`--filled`: with sample values
// as a scanner reply leaves them). Not a test.
#include "link/frame.hpp"
#include "main/program.hpp"
#include "platform/std_files.hpp"
#include "qt/para_view.hpp"
#include "qt/qt_clock.hpp"
#include "qt/qt_dialogs.hpp"
#include "qt/qt_event_pump.hpp"
#include "testkit/fake_port.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/virtual_clock.hpp"
#include "testkit/virtual_pump.hpp"

#include <QApplication>

#include <filesystem>
#include <string_view>

namespace {

void fill(trx::main::Program& program) {
    // A real reply first, so the window is in the state one leaves (the file buttons enabled);
    // then the values that show the widest texts.
    program.receiver().port_event(trx::link::k_ev_receive,
                                  trx::link::build_frame('W', "0012AB34006D007D00020003"
                                                              "0005000600070123030500080009"
                                                              "006407FF" +
                                                                  std::string(20, '0')));
    auto& f = program.para_form();
    auto& w = program.para_window();
    const auto reply = [&w](const char* box, const char* text) {
        w.numeric(box).show(text);
        w.numeric(box).set_restore(text);
    };
    f.can_identifier.set_text("0x7FF");
    f.can_baudrate.set_selected(2);
    f.rs232_baudrate.set_selected(4);
    f.motor_enable.set_checked(true);
    reply("speed_anz", "12,5");
    f.aufloesung.set_selected(5);
    reply("gap_offset_abs_anz", "10");
    reply("gap_correction_anz", "150");
    reply("max_modul_angle_anz", "999");
    f.seriennummer.set_text("12345678");
    f.typ.set_caption("YA");
    f.version.set_caption("1,09");
    f.index.set_text("65535");
    f.statusbar.set_simple_text("Status:   Parameters received");
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    trx::testkit::VirtualClock clock;
    trx::testkit::FakeSerialPort port(clock);
    trx::ui::qt::QtDialogs dialogs;
    trx::testkit::VirtualPump pump(clock);
    trx::platform::StdFiles files(std::filesystem::temp_directory_path());
    trx::main::Program program({port, clock, dialogs, pump, files});
    trx::ui::qt::ParaView view(program.para_form());
    if (argc > 1 && std::string_view(argv[1]) == "--filled") {
        fill(program);
    }
    program.para_form().window.show();
    return QApplication::exec();
}

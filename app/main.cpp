// The TRX 81500 service tool: the program logic on Qt's serial port, timers and dialogs.
#include "main/port_list.hpp"
#include "main/program.hpp"
#include "main/simulator_host.hpp"
#include "ui/qt/main_view.hpp"
#include "ui/qt/para_view.hpp"
#include "ui/qt/qt_serial_port.hpp"
#include "ui/qt/qt_services.hpp"
#include "ui/qt/sw_update_view.hpp"
#include "ui/std_files.hpp"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("TRX81500");

    trx::ui::qt::QtSerialPort port;
    trx::ui::qt::QtClock clock;
    trx::ui::qt::QtDialogs dialogs;
    trx::ui::qt::QtEventPump pump;
    trx::ui::StdFiles files(QApplication::applicationDirPath().toStdString());
    trx::main::SystemSerialDevices devices;
    trx::main::SimulatorProcessHost simulator;
    trx::main::Program program({port, clock, dialogs, pump, files, &devices, &simulator});
    program.ended_signal.connect([] { QApplication::quit(); });

    trx::ui::qt::MainView main_view(program.main_form());
    trx::ui::qt::ParaView para_view(program.para_form()); // shown when its model is shown
    trx::ui::qt::SwUpdateView sw_update_view(program.sw_update_form());
    program.start();
    return QApplication::exec();
}

// The TRX 81500 service tool: the program logic on Qt's serial port, timers and dialogs.
#include "main/program.hpp"
#include "platform/simulator_process_host.hpp"
#include "platform/std_files.hpp"
#include "platform/system_serial_devices.hpp"
#include "ui/qt/main_view.hpp"
#include "ui/qt/para_view.hpp"
#include "ui/qt/qt_clock.hpp"
#include "ui/qt/qt_dialogs.hpp"
#include "ui/qt/qt_event_pump.hpp"
#include "ui/qt/qt_log.hpp"
#include "ui/qt/qt_serial_port.hpp"
#include "ui/qt/sw_update_view.hpp"

#include <QApplication>
#include <QStringList>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("TRX81500");
    // "--log": every diagnostic category on stderr (otherwise QT_LOGGING_RULES decides).
    if (QApplication::arguments().contains(QStringLiteral("--log"))) {
        trx::ui::qt::QtLog::enable_all();
    }

    trx::ui::qt::QtSerialPort port;
    trx::ui::qt::QtClock clock;
    trx::ui::qt::QtDialogs dialogs;
    trx::ui::qt::QtEventPump pump;
    trx::ui::qt::QtLog log;
    trx::platform::StdFiles files(QApplication::applicationDirPath().toStdString());
    trx::platform::SystemSerialDevices devices;
    trx::platform::SimulatorProcessHost simulator;
    trx::main::Program program({port, clock, dialogs, pump, files, &devices, &simulator, &log});
    const auto quit = program.ended_signal.connect([] { QApplication::quit(); });

    trx::ui::qt::MainView main_view(program.main_form());
    trx::ui::qt::ParaView para_view(program.para_form()); // shown when its model is shown
    trx::ui::qt::SwUpdateView sw_update_view(program.sw_update_form());
    program.start();
    return QApplication::exec();
}

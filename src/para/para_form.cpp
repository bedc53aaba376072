#include "para/para_form.hpp"

#include <string>

namespace trx::para {

FilterField::FilterField(ui::Window& w, ui::Frame& frame, const char* name, const char* label,
                         int min, int max, int initial, const char* tooltip)
    : text(w, std::string(name) + "_text", label, &frame),
      anz(w, std::string(name) + "_anz", &frame), spin(w, name, min, max, initial, &frame) {
    anz.set_tooltip(tooltip);
}

ParaForm::ParaForm()
    : gap_offset_abs(window, frame_filter_parameter, "gap_offset_abs",
                     "Difference between stripe and gap (absolute) :", 0, 99, 1,
                     "Possible Values: 0 - 99"),
      gap_offset_rel(window, frame_filter_parameter, "gap_offset_rel",
                     "Difference between stripe and gap (percentage) :", 0, 99, 1,
                     "Possible Values: 0 - 99"),
      equal_tolerance_abs(window, frame_filter_parameter, "equal_tolerance_abs",
                          "Difference between 2 stripes (absolute) :", 0, 99, 1,
                          "Possible Values: 0 - 99"),
      equal_tolerance_rel(window, frame_filter_parameter, "equal_tolerance_rel",
                          "Difference between 2 stripes (percentage) :", 0, 99, 1,
                          "Possible Values: 0 - 99"),
      gap_correction(window, frame_filter_parameter, "gap_correction",
                     "Gap correction (percentage):", 10, 200, 10, "Possible Values: 10 - 200"),
      min_modul_angle(window, frame_filter_parameter, "min_modul_angle", "Min. modul width:", 0, 99,
                      1, "Possible Values: 0 - 99"),
      max_modul_angle(window, frame_filter_parameter, "max_modul_angle", "Max. modul width:", 0,
                      999, 1, "Possible Values: 0 - 999") {
    can_identifier.set_tooltip("Possible Values: 0x000 - 0x7FF");
    can_baudrate.set_tooltip("Possible Values: 50, 125, 250, 500, 1000");
    rs232_baudrate.set_tooltip("Possible Values: 9600, 19200, 38400, 57600, 115200");
    speed_anz.set_tooltip("Possible Values: 6.0 - 18.0");
    aufloesung.set_tooltip("Possible Values: 8192, 16384, 24576, 32768, 40960 or 65536");

    seriennummer.set_locked(true);
    seriennummer.set_tooltip("Serial Number");
    typ.set_tooltip("type of laser scanner");
    version.set_tooltip("Software Version");
    index.set_locked(true);
    index.set_tooltip("Index");
    command_read_index.set_enabled(false);
    command_read_index.set_visible(false);
    command_write_index.set_enabled(false);
    command_write_index.set_visible(false);

    cmd_send_para.set_enabled(false);
    cmd_read_para.set_enabled(false);
    statusbar.set_simple(true);
}

} // namespace trx::para

#pragma once

#include "ui/controls.hpp"

namespace trx::para {

inline constexpr const char* k_para_caption = "TRX 81500-A V1.09  -   Parameter";

// One numeric filter field: text box, spinner and caption label.
struct FilterField {
    FilterField(ui::Window& w, ui::Frame& frame, const char* name, const char* label, int min,
                int max, int initial, const char* tooltip);
    ui::Label text;
    ui::TextBox anz;
    ui::Spinner spin;
};

// The controls of the parameter window with their state before the first reply.
struct ParaForm {
    ParaForm();

    ui::Window window{"para", k_para_caption};

    ui::Frame frame_basic_settings{window, "frame_basic_settings", "Basic Settings"};
    ui::Label can_identifier_text{window, "can_identifier_text",
                                  "CAN Identifier:", &frame_basic_settings};
    ui::TextBox can_identifier{window, "can_identifier", &frame_basic_settings};
    ui::Label can_baudrate_text{window, "can_baudrate_text",
                                "CAN Baudrate:", &frame_basic_settings};
    ui::ComboBox can_baudrate{
        window,
        "can_baudrate",
        {"          50", "        125", "        250", "        500", "      1000"},
        "        50",
        &frame_basic_settings};
    ui::Label can_baudrate_einheit{window, "can_baudrate_einheit", "[kbits/sec]",
                                   &frame_basic_settings};
    ui::Label rs232_baudrate_text{window, "rs232_baudrate_text",
                                  "RS232 Baudrate:", &frame_basic_settings};
    ui::ComboBox rs232_baudrate{window,
                                "rs232_baudrate",
                                {"      9600", "    19200", "    38400", "    57600", "  115200"},
                                "      9600",
                                &frame_basic_settings};
    ui::Label rs232_baudrate_einheit{window, "rs232_baudrate_einheit", "[bits/sec]",
                                     &frame_basic_settings};
    ui::CheckBox motor_enable{window, "motor_enable", "Control \"Motor Enable\" by software",
                              &frame_basic_settings};
    ui::CheckBox enable_heater{window, "enable_heater", "Enable Heater", &frame_basic_settings};
    ui::Label speed_text{window, "speed_text", "Speed:", &frame_basic_settings};
    ui::TextBox speed_anz{window, "speed_anz", &frame_basic_settings};
    ui::Spinner speed{window, "speed", 60, 180, 100, &frame_basic_settings};
    ui::Label speed_einheit{window, "speed_einheit", "[turns/sec]", &frame_basic_settings};
    ui::Label aufloesung_text{window, "auflösung_text", "Resolution:", &frame_basic_settings};
    ui::ComboBox aufloesung{
        window,
        "auflösung",
        {"      8192", "    16384", "    24576", "    32768", "    40960", "    65536"},
        "      8192",
        &frame_basic_settings};
    ui::Label aufloesung_einheit{window, "auflösung_einheit", "[pulses/rev.]",
                                 &frame_basic_settings};

    // The seven filter fields, top to bottom.
    ui::Frame frame_filter_parameter{window, "frame_filter_parameter", "Filter Parameters"};
    FilterField gap_offset_abs;
    FilterField gap_offset_rel;
    FilterField equal_tolerance_abs;
    FilterField equal_tolerance_rel;
    FilterField gap_correction;
    FilterField min_modul_angle;
    FilterField max_modul_angle;

    ui::Frame frame_device_info{window, "frame_device_info", "Device Info"};
    ui::Label Label1{window, "Label1", "Serial No.:", &frame_device_info};
    ui::TextBox seriennummer{window, "seriennummer", &frame_device_info};
    ui::Label Label11{window, "Label11", "Type:", &frame_device_info};
    ui::Label typ{window, "typ", "", &frame_device_info};
    ui::Label Label4{window, "Label4", "Version:", &frame_device_info};
    ui::Label version{window, "version", "", &frame_device_info};
    ui::Label Label22{window, "Label22", "Index:", &frame_device_info};
    ui::TextBox index{window, "index", &frame_device_info};
    ui::Button command_read_index{window, "command_read_index", "Read", &frame_device_info};
    ui::Button command_write_index{window, "command_write_index", "Write", &frame_device_info};

    ui::Frame Frame3{window, "Frame3", "Action"};
    ui::Button beenden{window, "beenden", "Close", &Frame3};
    ui::Button cmd_send_para{window, "cmd_send_para", "send parameter to laserscanner", &Frame3};
    ui::Button cmd_read_para{window, "cmd_read_para", "read parameter from laserscanner", &Frame3};

    ui::StatusBar statusbar{window, "statusbar"};
};

} // namespace trx::para

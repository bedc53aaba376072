#pragma once

#include "link/para_catalogue.hpp"
#include "ui/controls.hpp"

#include <array>
#include <string>
#include <vector>

namespace trx::para {

inline constexpr const char* k_para_caption = "TRX 81500-A V1.09  -   Parameter";

// The seven filter fields as the window shows them, top to bottom.
inline constexpr std::array<link::ParaField, 7> k_filter_fields{
    link::ParaField::gap_offset_abs,      link::ParaField::gap_offset_rel,
    link::ParaField::equal_tolerance_abs, link::ParaField::equal_tolerance_rel,
    link::ParaField::gap_correction,      link::ParaField::min_modul_angle,
    link::ParaField::max_modul_angle};

// What the parameter catalogue says of a field, in the types the controls take.
namespace form_text {
std::string label(link::ParaField f);
std::string unit(link::ParaField f);
std::vector<std::string> items(link::ParaField f);
std::string initial_text(link::ParaField f);
int spinner_min(link::ParaField f);
int spinner_max(link::ParaField f);
int spinner_start(link::ParaField f);
} // namespace form_text

// The controls of the parameter window with their state before the first reply. Labels,
// units, lists, ranges and tooltips come from the parameter catalogue.
struct ParaForm {
    ParaForm();

    using F = link::ParaField;

    ui::Window window{"para", k_para_caption};

    ui::Frame frame_basic_settings{window, "frame_basic_settings", "Basic Settings"};
    ui::Label can_identifier_text{window, "can_identifier_text",
                                  form_text::label(F::can_identifier), &frame_basic_settings};
    ui::TextBox can_identifier{window, "can_identifier", &frame_basic_settings};
    ui::Label can_baudrate_text{window, "can_baudrate_text", form_text::label(F::can_baudrate),
                                &frame_basic_settings};
    ui::ComboBox can_baudrate{window, "can_baudrate", form_text::items(F::can_baudrate),
                              form_text::initial_text(F::can_baudrate), &frame_basic_settings};
    ui::Label can_baudrate_einheit{window, "can_baudrate_einheit", form_text::unit(F::can_baudrate),
                                   &frame_basic_settings};
    ui::Label rs232_baudrate_text{window, "rs232_baudrate_text",
                                  form_text::label(F::rs232_baudrate), &frame_basic_settings};
    ui::ComboBox rs232_baudrate{window, "rs232_baudrate", form_text::items(F::rs232_baudrate),
                                form_text::initial_text(F::rs232_baudrate), &frame_basic_settings};
    ui::Label rs232_baudrate_einheit{window, "rs232_baudrate_einheit",
                                     form_text::unit(F::rs232_baudrate), &frame_basic_settings};
    ui::CheckBox motor_enable{window, "motor_enable", form_text::label(F::motor_enable),
                              &frame_basic_settings};
    ui::CheckBox enable_heater{window, "enable_heater", form_text::label(F::enable_heater),
                               &frame_basic_settings};
    ui::Label speed_text{window, "speed_text", form_text::label(F::speed), &frame_basic_settings};
    ui::TextBox speed_anz{window, "speed_anz", &frame_basic_settings};
    ui::Spinner speed{window,
                      "speed",
                      form_text::spinner_min(F::speed),
                      form_text::spinner_max(F::speed),
                      form_text::spinner_start(F::speed),
                      &frame_basic_settings};
    ui::Label speed_einheit{window, "speed_einheit", form_text::unit(F::speed),
                            &frame_basic_settings};
    ui::Label aufloesung_text{window, "auflösung_text", form_text::label(F::resolution),
                              &frame_basic_settings};
    ui::ComboBox aufloesung{window, "auflösung", form_text::items(F::resolution),
                            form_text::initial_text(F::resolution), &frame_basic_settings};
    ui::Label aufloesung_einheit{window, "auflösung_einheit", form_text::unit(F::resolution),
                                 &frame_basic_settings};

    // The seven filter fields, top to bottom: caption, text box, spinner.
    ui::Frame frame_filter_parameter{window, "frame_filter_parameter", "Filter Parameters"};
    ui::Label gap_offset_abs_text{window, "gap_offset_abs_text",
                                  form_text::label(F::gap_offset_abs), &frame_filter_parameter};
    ui::TextBox gap_offset_abs_anz{window, "gap_offset_abs_anz", &frame_filter_parameter};
    ui::Spinner gap_offset_abs{window,
                               "gap_offset_abs",
                               form_text::spinner_min(F::gap_offset_abs),
                               form_text::spinner_max(F::gap_offset_abs),
                               form_text::spinner_start(F::gap_offset_abs),
                               &frame_filter_parameter};
    ui::Label gap_offset_rel_text{window, "gap_offset_rel_text",
                                  form_text::label(F::gap_offset_rel), &frame_filter_parameter};
    ui::TextBox gap_offset_rel_anz{window, "gap_offset_rel_anz", &frame_filter_parameter};
    ui::Spinner gap_offset_rel{window,
                               "gap_offset_rel",
                               form_text::spinner_min(F::gap_offset_rel),
                               form_text::spinner_max(F::gap_offset_rel),
                               form_text::spinner_start(F::gap_offset_rel),
                               &frame_filter_parameter};
    ui::Label equal_tolerance_abs_text{window, "equal_tolerance_abs_text",
                                       form_text::label(F::equal_tolerance_abs),
                                       &frame_filter_parameter};
    ui::TextBox equal_tolerance_abs_anz{window, "equal_tolerance_abs_anz", &frame_filter_parameter};
    ui::Spinner equal_tolerance_abs{window,
                                    "equal_tolerance_abs",
                                    form_text::spinner_min(F::equal_tolerance_abs),
                                    form_text::spinner_max(F::equal_tolerance_abs),
                                    form_text::spinner_start(F::equal_tolerance_abs),
                                    &frame_filter_parameter};
    ui::Label equal_tolerance_rel_text{window, "equal_tolerance_rel_text",
                                       form_text::label(F::equal_tolerance_rel),
                                       &frame_filter_parameter};
    ui::TextBox equal_tolerance_rel_anz{window, "equal_tolerance_rel_anz", &frame_filter_parameter};
    ui::Spinner equal_tolerance_rel{window,
                                    "equal_tolerance_rel",
                                    form_text::spinner_min(F::equal_tolerance_rel),
                                    form_text::spinner_max(F::equal_tolerance_rel),
                                    form_text::spinner_start(F::equal_tolerance_rel),
                                    &frame_filter_parameter};
    ui::Label gap_correction_text{window, "gap_correction_text",
                                  form_text::label(F::gap_correction), &frame_filter_parameter};
    ui::TextBox gap_correction_anz{window, "gap_correction_anz", &frame_filter_parameter};
    ui::Spinner gap_correction{window,
                               "gap_correction",
                               form_text::spinner_min(F::gap_correction),
                               form_text::spinner_max(F::gap_correction),
                               form_text::spinner_start(F::gap_correction),
                               &frame_filter_parameter};
    ui::Label min_modul_angle_text{window, "min_modul_angle_text",
                                   form_text::label(F::min_modul_angle), &frame_filter_parameter};
    ui::TextBox min_modul_angle_anz{window, "min_modul_angle_anz", &frame_filter_parameter};
    ui::Spinner min_modul_angle{window,
                                "min_modul_angle",
                                form_text::spinner_min(F::min_modul_angle),
                                form_text::spinner_max(F::min_modul_angle),
                                form_text::spinner_start(F::min_modul_angle),
                                &frame_filter_parameter};
    ui::Label max_modul_angle_text{window, "max_modul_angle_text",
                                   form_text::label(F::max_modul_angle), &frame_filter_parameter};
    ui::TextBox max_modul_angle_anz{window, "max_modul_angle_anz", &frame_filter_parameter};
    ui::Spinner max_modul_angle{window,
                                "max_modul_angle",
                                form_text::spinner_min(F::max_modul_angle),
                                form_text::spinner_max(F::max_modul_angle),
                                form_text::spinner_start(F::max_modul_angle),
                                &frame_filter_parameter};

    ui::Frame frame_device_info{window, "frame_device_info", "Device Info"};
    ui::Label Label1{window, "Label1", form_text::label(F::serial_number), &frame_device_info};
    ui::TextBox seriennummer{window, "seriennummer", &frame_device_info};
    ui::Label Label11{window, "Label11", "Type:", &frame_device_info};
    ui::Label typ{window, "typ", "", &frame_device_info};
    ui::Label Label4{window, "Label4", form_text::label(F::version), &frame_device_info};
    ui::Label version{window, "version", "", &frame_device_info};
    ui::Label Label22{window, "Label22", "Index:", &frame_device_info};
    ui::TextBox index{window, "index", &frame_device_info};
    ui::Button command_read_index{window, "command_read_index", "Read", &frame_device_info};
    ui::Button command_write_index{window, "command_write_index", "Write", &frame_device_info};

    ui::Frame Frame3{window, "Frame3", "Action"};
    ui::Button beenden{window, "beenden", "Close", &Frame3};
    ui::Button cmd_send_para{window, "cmd_send_para", "send parameter to laserscanner", &Frame3};
    ui::Button cmd_read_para{window, "cmd_read_para", "read parameter from laserscanner", &Frame3};

    // Parameter files, in the free space below "Action": enabled once a reply filled the window.
    ui::Frame frame_parameter_file{window, "frame_parameter_file", "Parameter File"};
    ui::Button cmd_save_file{window, "cmd_save_file", "Save to file...", &frame_parameter_file};
    ui::Button cmd_load_file{window, "cmd_load_file", "Load from file...", &frame_parameter_file};
    ui::Button cmd_compare_file{window, "cmd_compare_file", "Compare with file...",
                                &frame_parameter_file};
    ui::Button cmd_backups{window, "cmd_backups", "Backups...", &frame_parameter_file};
    ui::Button cmd_history{window, "cmd_history", "History...", &frame_parameter_file};

    ui::StatusBar statusbar{window, "statusbar"};

    // The text box, label or check box that shows a catalogue field.
    [[nodiscard]] ui::Control& control(const link::ParaFieldDef& f) const;
    // The spinner of a numeric field.
    [[nodiscard]] ui::Spinner& spinner(const link::ParaFieldDef& f) const;
};

} // namespace trx::para

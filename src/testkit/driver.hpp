#pragma once

#include "flashlib/flash_library.hpp"
#include "main/program.hpp"
#include "testkit/recorded_log.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trx::testkit {

enum Mod : unsigned { none = 0, shift = 1, ctrl = 2, alt = 4 };
enum class Icon { none, critical, warning, information, question };

struct Message {
    std::string text;
    std::string title;
    Icon icon;
    std::string detail; // the box's detail text; empty when none
};
struct Segment {
    double x1, y1, x2, y2;
    std::uint32_t rgb;
}; // twips, 0xRRGGBB

// A picture the program had drawn as a PNG file: the scene it gave, in twips.
struct RenderedPicture {
    double width, height;
    std::uint32_t background;
    std::vector<Segment> lines; // the drawn rays, in drawing order
    bool zero_line;             // the fixed line and the scanner dot were in it
    bool dot;
};

struct DriverOptions {
    std::filesystem::path program_folder;  // empty: a fresh temporary folder
    bool port_exists = true;               // false: every open of a port fails
    std::filesystem::path config_folder{}; // the user's; empty: "config" in the program folder
    bool program_folder_writable = true;   // false: an installed program's folder
    std::filesystem::path data_folder{}; // backups, recordings; empty: "data" in the program folder
    // Explains a port that will not open (the detail of "COM-Port not available"); null: the
    // port's reason as it stands.
    const trx::ui::PortDiagnosis* port_diagnosis = nullptr;
    // A portable copy: the marker file beside the program, so the settings file lives in the
    // program folder as in a build tree; false: an installed program.
    bool portable = true;
};

// Runs the whole program logic headless on a fake port, a virtual clock, recorded dialogs
// and a temporary program folder; a test acts as the technician and as the scanner.
class Driver {
public:
    explicit Driver(DriverOptions options = {});
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;
    Driver(Driver&&) = delete;
    Driver& operator=(Driver&&) = delete;

    // program start: the main window is created and activated; returns when
    // the start-up sequence has run
    void start();

    // --- the technician ---
    void click(std::string_view control);
    void choose(std::string_view menu_entry);
    void type(std::string_view control, std::string_view keys);
    void key(std::string_view window, unsigned mods, char key);
    void focus(std::string_view control);
    void leave(std::string_view control);
    void spin(std::string_view spinner, int clicks);
    void select(std::string_view combo, int index);
    void scroll(std::string_view grid, int top_row);
    void activate(std::string_view window);
    void close(std::string_view window);
    void answer_file_dialog(std::string path); // the next open dialog; "" = cancelled
    void answer_save_dialog(std::string path); // the next save dialog; "" = cancelled
    // The next "Network port..." dialog; "" = cancelled. offered: the addresses it listed.
    void answer_address_dialog(std::string address);
    [[nodiscard]] std::vector<std::string> offered_addresses() const;
    // The next list dialog ("Find scanner" with several scanners); "" = cancelled.
    void answer_choice_dialog(std::string item);
    [[nodiscard]] std::vector<std::string> offered_choices() const;
    void paste(std::string_view control, std::string_view text); // clipboard paste
    void click_panel(std::string_view statusbar, int index);     // 1-based status bar panel

    // --- the scanner and the wire ---
    void receive(std::string_view bytes);
    void receive_later(std::chrono::milliseconds delay, std::string bytes);
    std::string sent();
    bool port_open() const;
    std::string port_name() const;
    void flash_library(std::shared_ptr<trx::FlashLibrary> lib);
    // The open device disappears (USB adapter pulled). A listed adapter with a by-id name is
    // gone from the device list, and its device cannot be opened, until plug_device().
    void pull_device();
    // The adapter pulled last comes back under its by-id name, at `path` when one is given
    // (another number), else where it was.
    void plug_device(std::string path = {});
    // While set, writes to the open port fail (the device reports write errors).
    void writes_fail(bool fail);
    // Opens of this port name fail with the reason given (the system's words).
    void port_missing(std::string name, std::string reason = "No such file or directory");
    // Opens of this port name work again (a device server back on the network).
    void port_found(const std::string& name);
    // The serial devices beyond COM1 ... COM10 the system reports from now on.
    void serial_devices(std::vector<trx::ui::SerialDevice> devices);
    // "Find scanner": what a device ("/dev/ttyS0", "/dev/ttyUSB0") delivers while listened
    // to, or why it is passed over unopened (held by another program); the devices the last
    // search listened to.
    void device_delivers(const std::string& device, std::string bytes);
    void device_held(const std::string& device, std::string why);
    [[nodiscard]] std::vector<std::string> listened_devices() const;
    // The "Simulator" entry: whether its simulator runs; a reason makes its starts fail.
    bool simulator_running() const;
    void simulator_fails(std::string reason);

    // --- the disk ---
    // Every file write fails from now on as on a full disk ("No space left on device").
    void disk_full(bool full = true);
    // Nothing can be written in the data folder any more ("Read-only file system").
    void data_folder_read_only(bool read_only = true);

    // --- time ---
    void advance(std::chrono::milliseconds ms);

    // --- what the technician sees ---
    std::string text(std::string_view control) const;
    bool checked(std::string_view control) const;
    bool enabled(std::string_view control) const;
    bool visible(std::string_view control) const;
    // Whether the control shows data marked as old (greyed, "No live data since ..."): the
    // main window's tables, picture and status indicators once the link went away.
    bool stale(std::string_view control) const;
    bool exists(std::string_view window) const;
    bool locked(std::string_view control) const;
    int value(std::string_view spinner) const;
    int selected(std::string_view combo) const;
    std::uint32_t text_color(std::string_view control) const;
    std::string cell(std::string_view grid, int row, int col) const;
    int top_row(std::string_view grid) const;
    bool drawing(std::string_view grid) const;
    std::string panel(std::string_view statusbar, int index) const;
    std::string panel_tooltip(std::string_view statusbar, int index) const; // 1-based
    bool timer_enabled(std::string_view timer) const;
    std::string timer_tag(std::string_view timer) const;
    std::vector<Segment> rays(std::string_view picture) const;
    Segment line(std::string_view line_control) const;
    std::vector<Message> messages();
    std::filesystem::path program_folder() const;
    std::filesystem::path config_folder() const;
    std::filesystem::path data_folder() const;
    bool ended() const;

    // --- extras ---
    std::size_t pending_output() const;   // bytes in the transmit buffer now
    std::chrono::nanoseconds now() const; // virtual time since the driver was made
    const RecordedLog& log() const;       // diagnostics written, every level
    trx::main::Program& program();        // the logic under test
    void clear_log();                     // forgets the diagnostics recorded so far
    // The pictures the program had drawn as PNG files, oldest first; while failing, drawing
    // one fails.
    std::vector<RenderedPicture> rendered_pictures() const;
    void picture_render_fails(bool fails = true);
    // Where each save dialog shown so far started: its folder and default name.
    std::vector<std::string> save_dialog_starts() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace trx::testkit

#include "testkit/driver.hpp"

#include "main/program.hpp"
#include "main/settings.hpp"
#include "testkit/driver_files.hpp"
#include "testkit/fake_picture_renderer.hpp"
#include "testkit/fake_port.hpp"
#include "testkit/fake_simulator.hpp"
#include "testkit/faulty_capture_file.hpp"
#include "testkit/faulty_text_files.hpp"
#include "testkit/recorded_address_prompt.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/recorded_log.hpp"
#include "testkit/scripted_search.hpp"
#include "testkit/scripted_serial_devices.hpp"
#include "testkit/virtual_clock.hpp"
#include "testkit/virtual_pump.hpp"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <unistd.h>

namespace trx::testkit {

namespace fs = std::filesystem;

namespace {

fs::path fresh_folder() {
    static std::atomic<int> counter{0};
    const fs::path p = fs::temp_directory_path() / ("trx81500-test-" + std::to_string(::getpid()) +
                                                    "-" + std::to_string(counter.fetch_add(1)));
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

[[noreturn]] void unknown(std::string_view name, const char* what = "no such control") {
    throw std::out_of_range(std::string(what) + ": " + std::string(name));
}

Icon icon_of(ui::Icon i) {
    switch (i) {
    case ui::Icon::critical:
        return Icon::critical;
    case ui::Icon::warning:
        return Icon::warning;
    case ui::Icon::information:
        return Icon::information;
    case ui::Icon::question:
        return Icon::question;
    case ui::Icon::none:
        break;
    }
    return Icon::none;
}

// "window.control[.key[.entry]]" split into its parts.
struct Name {
    std::string_view window;
    std::string_view control;
    std::string_view key;
    std::string_view entry;
};

Name split(std::string_view name) {
    Name n;
    auto next = [](std::string_view& rest) {
        const auto dot = rest.find('.');
        std::string_view head = rest.substr(0, dot);
        rest = dot == std::string_view::npos ? std::string_view{} : rest.substr(dot + 1);
        return head;
    };
    std::string_view rest = name;
    n.window = next(rest);
    n.control = next(rest);
    n.key = next(rest);
    n.entry = rest;
    return n;
}

} // namespace

struct Driver::Impl {
    explicit Impl(const DriverOptions& o)
        : folder(o.program_folder.empty() ? fresh_folder() : o.program_folder),
          owns_folder(o.program_folder.empty()), port(clock), pump(clock),
          files(folder, o.config_folder.empty() ? folder / "config" : o.config_folder,
                o.data_folder.empty() ? folder / "data" : o.data_folder, o.program_folder_writable),
          program(main::Services{
              port, clock, dialogs, pump, files, &devices, &simulator, &log, &text_files,
              o.port_diagnosis, &renderer,
              [this](const fs::path& p, std::error_code& ec) { return open_capture(p, ec); },
              &address_prompt, &listener, &choice_prompt}) {
        port.set_open_fails(!o.port_exists);
        if (o.portable) {
            std::error_code ec;
            fs::create_directories(folder, ec);
            std::ofstream(folder / main::k_portable_marker) << "portable copy\n";
        }
    }

    ~Impl() {
        if (owns_folder) {
            std::error_code ec;
            fs::remove_all(folder, ec);
        }
    }

    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    Impl(Impl&&) = delete;
    Impl& operator=(Impl&&) = delete;

    std::unique_ptr<capture::Sink> open_capture(const fs::path& p, std::error_code& ec) {
        const auto rel = p.parent_path().lexically_normal().lexically_relative(
            files.data_folder().lexically_normal());
        const bool in_read_only = data_read_only && !rel.empty() && *rel.begin() != "..";
        return FaultyCaptureFile::create(p, disk_full, in_read_only, ec);
    }

    ui::Window& window(std::string_view name) {
        ui::Window* w = program.window(split(name).window);
        if (w == nullptr) {
            unknown(name, "no such window");
        }
        return *w;
    }

    ui::Control& control(std::string_view name) {
        const Name n = split(name);
        ui::Control* c = window(name).find(n.control);
        if (c == nullptr || n.control.empty()) {
            unknown(name);
        }
        return *c;
    }

    template <class T> T& as(std::string_view name) {
        auto* t = dynamic_cast<T*>(&control(name));
        if (t == nullptr) {
            unknown(name, "control of another kind");
        }
        return *t;
    }

    // A status bar's menu entry ("main.StatusBar1.diagnostics.export_csv"), or null.
    ui::StatusBar* status_menu(std::string_view name) {
        const Name n = split(name);
        if (n.key.empty()) {
            return nullptr;
        }
        auto* sb = dynamic_cast<ui::StatusBar*>(&control(name));
        if (sb == nullptr) {
            return nullptr;
        }
        if (n.entry.empty()) {
            unknown(name, "not a menu entry");
        }
        (void)sb->menu_entry(n.key, n.entry);
        return sb;
    }

    // A toolbar button ("main.Toolbar1.comport") or entry ("...comport.com10"), or null.
    ui::Toolbar* toolbar(std::string_view name) {
        const Name n = split(name);
        if (n.key.empty() || status_menu(name) != nullptr) {
            return nullptr;
        }
        auto* tb = dynamic_cast<ui::Toolbar*>(&control(name));
        if (tb == nullptr) {
            unknown(name);
        }
        if (n.entry.empty()) {
            (void)tb->item(n.key);
        } else {
            (void)tb->entry(n.key, n.entry);
        }
        return tb;
    }

    fs::path folder;
    bool owns_folder;
    VirtualClock clock;
    FakeSerialPort port;
    RecordedDialogs dialogs;
    RecordedAddressPrompt address_prompt;
    ScriptedPortListener listener;
    RecordedChoicePrompt choice_prompt;
    VirtualPump pump;
    DriverFiles files;
    ScriptedSerialDevices devices;
    std::optional<ui::SerialDevice> pulled; // the adapter pull_device() took away
    FakeSimulator simulator;
    RecordedLog log;
    FaultyTextFiles text_files;
    FakePictureRenderer renderer;
    std::atomic<bool> disk_full{false};
    bool data_read_only = false;
    main::Program program;
};

Driver::Driver(DriverOptions options) : impl_(std::make_unique<Impl>(options)) {}
Driver::~Driver() = default;

void Driver::start() {
    impl_->program.start();
}

// ---------------------------------------------------------------- the technician

void Driver::click(std::string_view control) {
    if (ui::Toolbar* tb = impl_->toolbar(control)) {
        const Name n = split(control);
        if (!n.entry.empty()) {
            unknown(control, "a menu entry is chosen, not clicked");
        }
        tb->user_click(n.key);
        return;
    }
    ui::Control& c = impl_->control(control);
    if (auto* b = dynamic_cast<ui::Button*>(&c)) {
        b->user_click();
    } else if (auto* cb = dynamic_cast<ui::CheckBox*>(&c)) {
        cb->user_click();
    } else if (auto* tx = dynamic_cast<ui::TextBox*>(&c)) {
        tx->user_click();
    } else {
        unknown(control, "not a clickable control");
    }
}

void Driver::choose(std::string_view menu_entry) {
    const Name n = split(menu_entry);
    if (n.entry.empty()) {
        unknown(menu_entry, "not a menu entry");
    }
    if (ui::StatusBar* sb = impl_->status_menu(menu_entry)) {
        for (std::size_t i = 1; i <= sb->panel_count(); ++i) {
            if (sb->panel_menu(i) == n.key) {
                sb->user_click_panel(i);
            }
        }
        sb->user_choose(n.key, n.entry);
        return;
    }
    ui::Toolbar* tb = impl_->toolbar(menu_entry);
    tb->user_open_menu(n.key);
    tb->user_choose(n.key, n.entry);
}

void Driver::type(std::string_view control, std::string_view keys) {
    auto& box = impl_->as<ui::TextBox>(control);
    for (char c : keys) {
        if (!box.reachable() || box.locked()) {
            return;
        }
        ui::KeyPress k{static_cast<unsigned char>(c), ui::mod_none, false};
        box.window().user_key(k);
        if (!k.handled) {
            box.user_key(k);
        }
    }
}

void Driver::key(std::string_view window, unsigned mods, char key) {
    ui::Window& w = impl_->window(window);
    ui::KeyPress k{static_cast<unsigned char>(key), mods, false};
    w.user_key(k);
}

void Driver::focus(std::string_view control) {
    impl_->as<ui::TextBox>(control).user_focus();
}
void Driver::leave(std::string_view control) {
    impl_->as<ui::TextBox>(control).user_leave();
}

void Driver::spin(std::string_view spinner, int clicks) {
    auto& s = impl_->as<ui::Spinner>(spinner);
    for (; clicks > 0; --clicks) {
        s.user_up();
    }
    for (; clicks < 0; ++clicks) {
        s.user_down();
    }
}

void Driver::select(std::string_view combo, int index) {
    impl_->as<ui::ComboBox>(combo).user_select(index);
}

void Driver::scroll(std::string_view grid, int top_row) {
    auto& g = impl_->as<ui::Grid>(grid);
    if (g.window().shown() && !g.window().input_blocked()) {
        g.user_scroll(top_row);
    }
}

void Driver::activate(std::string_view window) {
    impl_->window(window).user_activate();
}
void Driver::close(std::string_view window) {
    impl_->window(window).user_close();
}
void Driver::answer_address_dialog(std::string address) {
    impl_->address_prompt.answer(std::move(address));
}
std::vector<std::string> Driver::offered_addresses() const {
    return impl_->address_prompt.offered();
}
void Driver::answer_choice_dialog(std::string item) {
    impl_->choice_prompt.answer(std::move(item));
}
std::vector<std::string> Driver::offered_choices() const {
    return impl_->choice_prompt.offered();
}
void Driver::device_delivers(const std::string& device, std::string bytes) {
    impl_->listener.delivers(device, std::move(bytes));
}
void Driver::device_held(const std::string& device, std::string why) {
    impl_->listener.refuses(device, std::move(why));
}
std::vector<std::string> Driver::listened_devices() const {
    return impl_->listener.listened();
}
void Driver::answer_file_dialog(std::string path) {
    impl_->dialogs.answer_file_dialog(std::move(path));
}
void Driver::disk_full(bool full) {
    impl_->text_files.set_full(full);
    impl_->disk_full = full;
}

void Driver::data_folder_read_only(bool read_only) {
    impl_->text_files.set_read_only(read_only ? impl_->files.data_folder() : fs::path{});
    impl_->data_read_only = read_only;
}

void Driver::answer_save_dialog(std::string path) {
    impl_->dialogs.answer_save_dialog(std::move(path));
}

void Driver::paste(std::string_view control, std::string_view text) {
    impl_->as<ui::TextBox>(control).user_paste(std::string(text));
}

void Driver::click_panel(std::string_view statusbar, int index) {
    impl_->as<ui::StatusBar>(statusbar).user_click_panel(static_cast<std::size_t>(index));
}

// ---------------------------------------------------------------- the scanner and the wire

void Driver::receive(std::string_view bytes) {
    impl_->port.inject(bytes);
}

void Driver::receive_later(std::chrono::milliseconds delay, std::string bytes) {
    impl_->clock.schedule(delay, [this, b = std::move(bytes)] { impl_->port.inject(b); });
}

std::string Driver::sent() {
    return impl_->port.take_sent();
}
bool Driver::port_open() const {
    return impl_->port.is_open();
}
std::string Driver::port_name() const {
    return impl_->program.shared().port_name;
}
void Driver::flash_library(std::shared_ptr<trx::FlashLibrary> lib) {
    impl_->program.set_flash_library(std::move(lib));
}
void Driver::pull_device() {
    if (!impl_->port.is_open()) {
        return;
    }
    auto listed = impl_->devices.list();
    const std::string name = impl_->port.port_name();
    const auto it = std::find_if(listed.begin(), listed.end(), [&](const ui::SerialDevice& d) {
        return d.path == name && !d.by_id.empty();
    });
    if (it != listed.end()) {
        impl_->pulled = *it;
        listed.erase(it);
        impl_->devices.set(std::move(listed));
        impl_->port.set_missing(name, "No such file or directory");
    }
    impl_->port.pull_device();
}
void Driver::plug_device(std::string path) {
    if (!impl_->pulled) {
        return;
    }
    ui::SerialDevice back = *impl_->pulled;
    impl_->pulled.reset();
    impl_->port.set_found(back.path);
    if (!path.empty()) {
        back.path = std::move(path);
    }
    auto listed = impl_->devices.list();
    listed.push_back(std::move(back));
    impl_->devices.set(std::move(listed));
}
void Driver::port_found(const std::string& name) {
    impl_->port.set_found(name);
}
void Driver::writes_fail(bool fail) {
    impl_->port.set_writes_fail(fail);
}
void Driver::port_missing(std::string name, std::string reason) {
    impl_->port.set_missing(std::move(name), std::move(reason));
}
void Driver::serial_devices(std::vector<ui::SerialDevice> devices) {
    impl_->devices.set(std::move(devices));
}
bool Driver::simulator_running() const {
    return impl_->simulator.running();
}
void Driver::simulator_fails(std::string reason) {
    impl_->simulator.fail_with(std::move(reason));
}

void Driver::advance(std::chrono::milliseconds ms) {
    impl_->clock.advance(ms);
}

// ---------------------------------------------------------------- what the technician sees

std::string Driver::text(std::string_view control) const {
    const Name n = split(control);
    if (n.control.empty()) {
        return impl_->window(control).caption();
    }
    if (ui::StatusBar* sb = impl_->status_menu(control)) {
        return sb->menu_entry(n.key, n.entry).caption;
    }
    if (ui::Toolbar* tb = impl_->toolbar(control)) {
        return n.entry.empty() ? tb->item(n.key).caption : tb->entry(n.key, n.entry).caption;
    }
    ui::Control& c = impl_->control(control);
    if (auto* t = dynamic_cast<ui::TextBox*>(&c)) {
        return t->text();
    }
    if (auto* l = dynamic_cast<ui::Label*>(&c)) {
        return l->caption();
    }
    if (auto* b = dynamic_cast<ui::Button*>(&c)) {
        return b->caption();
    }
    if (auto* cb = dynamic_cast<ui::CheckBox*>(&c)) {
        return cb->caption();
    }
    if (auto* f = dynamic_cast<ui::Frame*>(&c)) {
        return f->caption();
    }
    if (auto* co = dynamic_cast<ui::ComboBox*>(&c)) {
        return co->text();
    }
    if (auto* sb = dynamic_cast<ui::StatusBar*>(&c)) {
        return sb->simple_text();
    }
    if (auto* p = dynamic_cast<ui::ProgressBar*>(&c)) {
        return p->label();
    }
    unknown(control, "control without text");
}

bool Driver::checked(std::string_view control) const {
    if (ui::Toolbar* tb = impl_->toolbar(control)) {
        const Name n = split(control);
        if (!n.entry.empty()) {
            return tb->entry(n.key, n.entry).checked;
        }
    }
    return impl_->as<ui::CheckBox>(control).checked();
}

bool Driver::enabled(std::string_view control) const {
    const Name n = split(control);
    if (ui::StatusBar* sb = impl_->status_menu(control)) {
        return sb->menu_entry(n.key, n.entry).enabled;
    }
    if (ui::Toolbar* tb = impl_->toolbar(control)) {
        return n.entry.empty() ? tb->item(n.key).enabled : tb->entry(n.key, n.entry).enabled;
    }
    return impl_->control(control).enabled();
}

bool Driver::stale(std::string_view control) const {
    const ui::Control& c = impl_->control(control);
    return &c.window() == &impl_->program.main_form().window &&
           impl_->program.stale_data().marks(c.name());
}

bool Driver::visible(std::string_view control) const {
    if (split(control).control.empty()) {
        return impl_->window(control).shown();
    }
    return impl_->control(control).visible();
}

bool Driver::exists(std::string_view window) const {
    return impl_->window(window).exists();
}
bool Driver::locked(std::string_view control) const {
    return impl_->as<ui::TextBox>(control).locked();
}
int Driver::value(std::string_view spinner) const {
    return impl_->as<ui::Spinner>(spinner).value();
}
int Driver::selected(std::string_view combo) const {
    return impl_->as<ui::ComboBox>(combo).selected();
}
std::uint32_t Driver::text_color(std::string_view control) const {
    return impl_->as<ui::TextBox>(control).text_color();
}
std::string Driver::cell(std::string_view grid, int row, int col) const {
    return impl_->as<ui::Grid>(grid).cell(row, col);
}
int Driver::top_row(std::string_view grid) const {
    return impl_->as<ui::Grid>(grid).top_row();
}
bool Driver::drawing(std::string_view grid) const {
    return impl_->as<ui::Grid>(grid).drawing();
}

std::string Driver::panel(std::string_view statusbar, int index) const {
    auto& sb = impl_->as<ui::StatusBar>(statusbar);
    if (index == 0) {
        return sb.simple_text();
    }
    return sb.panel(static_cast<std::size_t>(index));
}

std::string Driver::panel_tooltip(std::string_view statusbar, int index) const {
    return impl_->as<ui::StatusBar>(statusbar).panel_tooltip(static_cast<std::size_t>(index));
}

bool Driver::timer_enabled(std::string_view timer) const {
    return impl_->as<ui::Timer>(timer).timer_enabled();
}
std::string Driver::timer_tag(std::string_view timer) const {
    return impl_->as<ui::Timer>(timer).tag();
}

std::vector<Segment> Driver::rays(std::string_view picture) const {
    std::vector<Segment> out;
    for (const auto& s : impl_->as<ui::Picture>(picture).lines()) {
        out.push_back({s.x1, s.y1, s.x2, s.y2, s.rgb});
    }
    return out;
}

Segment Driver::line(std::string_view line_control) const {
    const auto& s = impl_->as<ui::Line>(line_control).segment();
    return {s.x1, s.y1, s.x2, s.y2, s.rgb};
}

std::vector<Message> Driver::messages() {
    std::vector<Message> out;
    for (auto& m : impl_->dialogs.take_messages()) {
        out.push_back({m.text, m.title, icon_of(m.icon), m.detail});
    }
    return out;
}

fs::path Driver::program_folder() const {
    return impl_->folder;
}
fs::path Driver::data_folder() const {
    return impl_->files.data_folder();
}
fs::path Driver::config_folder() const {
    return impl_->files.config_folder();
}
bool Driver::ended() const {
    return impl_->program.ended();
}
std::size_t Driver::pending_output() const {
    return impl_->port.pending_output();
}
std::chrono::nanoseconds Driver::now() const {
    return impl_->clock.now();
}
const RecordedLog& Driver::log() const {
    return impl_->log;
}
main::Program& Driver::program() {
    return impl_->program;
}
void Driver::clear_log() {
    impl_->log.clear();
}

std::vector<RenderedPicture> Driver::rendered_pictures() const {
    std::vector<RenderedPicture> out;
    for (const auto& scene : impl_->renderer.scenes()) {
        RenderedPicture p{scene.width, scene.height,           scene.background,
                          {},          scene.line.has_value(), scene.dot.has_value()};
        for (const auto& s : scene.lines) {
            p.lines.push_back({s.x1, s.y1, s.x2, s.y2, s.rgb});
        }
        out.push_back(std::move(p));
    }
    return out;
}

std::vector<std::string> Driver::save_dialog_starts() const {
    std::vector<std::string> out;
    for (const auto& r : impl_->dialogs.save_requests()) {
        out.push_back(r.initial_path);
    }
    return out;
}

void Driver::picture_render_fails(bool fails) {
    impl_->renderer.set_fails(fails);
}

} // namespace trx::testkit

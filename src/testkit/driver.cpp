#include "testkit/driver_impl.hpp"

namespace trx::testkit {

using namespace driver_detail;

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

} // namespace trx::testkit

#include "testkit/driver_impl.hpp"

// What the Driver reads back: the controls' state, the port, the pictures and the folders.
namespace trx::testkit {

using namespace driver_detail;

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

#include "para/numeric_field.hpp"

#include "base/numtext.hpp"

namespace trx::para {

namespace {
constexpr const char* k_error_title = "Parameter error";
} // namespace

NumericField::NumericField(ui::TextBox& box, ui::Spinner& spinner, ui::Dialogs& dialogs,
                           std::string message)
    : box_(box), spinner_(spinner), dialogs_(dialogs), message_(std::move(message)) {
    // Only the key handler edits the text, so a paste has to pass it too.
    box_.set_paste_as_keys(true);
    connections_ += box_.click.connect([this] { box_.caret_to_end(); });
    connections_ += box_.key.connect([this](ui::KeyPress& k) { on_key(k); });
    connections_ += box_.change.connect([this] { on_change(); });
    connections_ += box_.lost_focus.connect([this] { on_leave(); });
}

void NumericField::show(std::string text) {
    const bool same = text == box_.text();
    box_.set_text(std::move(text));
    if (same) {
        on_change();
    }
}

void NumericField::on_key(ui::KeyPress& k) {
    k.handled = true;
    box_.caret_to_end();
    const std::string& text = box_.text();
    // A chord with Ctrl or Alt types nothing.
    if ((k.mods & (ui::mod_ctrl | ui::mod_alt)) != 0) {
        return;
    }
    if (k.code == ui::keys::backspace) {
        if (!text.empty()) {
            box_.set_text(text.substr(0, text.size() - 1));
        }
    } else if (const auto c = appended(text, k.code)) {
        box_.set_text(text + *c);
    }
    box_.caret_to_end();
}

void NumericField::on_change() {
    box_.caret_to_end();
    if (const auto v = spinner_value(box_.text())) {
        spinner_.set_value(*v);
    }
    after_change();
}

void NumericField::on_leave() {
    if (acceptable(box_.text())) {
        return;
    }
    dialogs_.message({message_, k_error_title, ui::Icon::critical, {}});
    box_.set_text(restore_);
    box_.caret_to_end();
}

} // namespace trx::para

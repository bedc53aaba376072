#include "ui/controls.hpp"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace trx::ui {

namespace {
bool is_printable(int code) {
    return code >= 32 && code < 256 && code != 127;
}
} // namespace

// ---------------------------------------------------------------- TextBox

TextBox::TextBox(Window& w, std::string name, Frame* parent)
    : Control(w, std::move(name), parent) {}

void TextBox::set_text(std::string t) {
    if (text_ == t) {
        return;
    }
    text_ = std::move(t);
    caret_ = std::min(caret_, text_.size());
    notify();
    change.raise();
}

void TextBox::set_locked(bool l) {
    if (locked_ == l) {
        return;
    }
    locked_ = l;
    notify();
}

void TextBox::set_text_color(std::uint32_t c) {
    if (text_color_ == c) {
        return;
    }
    text_color_ = c;
    notify();
}

void TextBox::caret_to_end() {
    if (caret_ == text_.size()) {
        return;
    }
    caret_ = text_.size();
    notify();
}

void TextBox::user_key(KeyPress& k) {
    if (!reachable() || locked_) {
        return;
    }
    key.raise(k);
    if (k.handled) {
        return;
    }
    if (k.code == keys::backspace) {
        if (!text_.empty()) {
            set_text(text_.substr(0, text_.size() - 1));
        }
    } else if (is_printable(k.code) && (k.mods & (mod_ctrl | mod_alt)) == 0) {
        set_text(text_ + static_cast<char>(k.code));
    }
    caret_to_end();
}

void TextBox::user_click() {
    if (!reachable()) {
        return;
    }
    got_focus.raise();
    click.raise();
}

void TextBox::user_focus() {
    if (!reachable()) {
        return;
    }
    got_focus.raise();
}

void TextBox::user_leave() {
    if (!reachable()) {
        return;
    }
    lost_focus.raise();
}

void TextBox::user_paste(const std::string& s) {
    if (!reachable() || locked_ || s.empty()) {
        return;
    }
    if (paste_as_keys_) {
        for (char c : s) {
            KeyPress k{static_cast<unsigned char>(c), mod_none, false};
            user_key(k);
        }
        return;
    }
    set_text(text_ + s);
    caret_to_end();
}

// ---------------------------------------------------------------- simple controls

Label::Label(Window& w, std::string name, std::string caption, Frame* parent)
    : Control(w, std::move(name), parent), caption_(std::move(caption)) {}

void Label::set_caption(std::string c) {
    if (caption_ == c) {
        return;
    }
    caption_ = std::move(c);
    notify();
}

CheckBox::CheckBox(Window& w, std::string name, std::string caption, Frame* parent)
    : Control(w, std::move(name), parent), caption_(std::move(caption)) {}

void CheckBox::set_checked(bool c) {
    if (checked_ == c) {
        return;
    }
    checked_ = c;
    notify();
}

void CheckBox::user_click() {
    if (!reachable()) {
        return;
    }
    set_checked(!checked_);
    click.raise();
}

ComboBox::ComboBox(Window& w, std::string name, std::vector<std::string> items, std::string text,
                   Frame* parent)
    : Control(w, std::move(name), parent), items_(std::move(items)), text_(std::move(text)) {}

void ComboBox::set_selected(int index) {
    if (index < -1 || index >= static_cast<int>(items_.size())) {
        throw std::out_of_range("list position out of range in " + path());
    }
    if (selected_ == index) {
        return;
    }
    selected_ = index;
    text_ = index < 0 ? std::string() : items_[static_cast<std::size_t>(index)];
    notify();
}

void ComboBox::user_select(int index) {
    if (!reachable()) {
        return;
    }
    set_selected(index);
}

Spinner::Spinner(Window& w, std::string name, int min, int max, int value, Frame* parent)
    : Control(w, std::move(name), parent), min_(min), max_(max), value_(value) {}

void Spinner::set_value(int v) {
    if (v < min_ || v > max_) {
        throw std::out_of_range("spinner value out of range in " + path());
    }
    if (value_ == v) {
        return;
    }
    value_ = v;
    notify();
    change.raise();
}

void Spinner::user_up() {
    if (!reachable()) {
        return;
    }
    if (value_ < max_) {
        set_value(value_ + 1);
    }
    up_click.raise();
}

void Spinner::user_down() {
    if (!reachable()) {
        return;
    }
    if (value_ > min_) {
        set_value(value_ - 1);
    }
    down_click.raise();
}

Button::Button(Window& w, std::string name, std::string caption, Frame* parent)
    : Control(w, std::move(name), parent), caption_(std::move(caption)) {}

void Button::set_caption(std::string c) {
    if (caption_ == c) {
        return;
    }
    caption_ = std::move(c);
    notify();
}

void Button::user_click() {
    if (!reachable()) {
        return;
    }
    click.raise();
}

ProgressBar::ProgressBar(Window& w, std::string name, Frame* parent)
    : Control(w, std::move(name), parent) {}

void ProgressBar::set_progress(int value, int maximum, std::string label) {
    if (value == value_ && maximum == maximum_ && label == label_) {
        return;
    }
    value_ = value;
    maximum_ = maximum;
    label_ = std::move(label);
    notify();
}

// ---------------------------------------------------------------- Toolbar

Toolbar::Toolbar(Window& w, std::string name, std::vector<Item> items)
    : Control(w, std::move(name)), items_(std::move(items)) {}

const Toolbar::Item& Toolbar::item(std::string_view key) const {
    for (const auto& i : items_) {
        if (i.key == key) {
            return i;
        }
    }
    throw std::out_of_range("no such toolbar button: " + path() + "." + std::string(key));
}

Toolbar::Item& Toolbar::find_item(std::string_view key) {
    return const_cast<Item&>(std::as_const(*this).item(key));
}

const Toolbar::Entry& Toolbar::entry(std::string_view key, std::string_view entry_key) const {
    for (const auto& e : item(key).entries) {
        if (e.key == entry_key) {
            return e;
        }
    }
    throw std::out_of_range("no such menu entry: " + path() + "." + std::string(key) + "." +
                            std::string(entry_key));
}

void Toolbar::set_caption(std::string_view key, std::string caption) {
    auto& i = find_item(key);
    if (i.caption == caption) {
        return;
    }
    i.caption = std::move(caption);
    notify();
}

void Toolbar::set_enabled(std::string_view key, bool enabled) {
    auto& i = find_item(key);
    if (i.enabled == enabled) {
        return;
    }
    i.enabled = enabled;
    notify();
}

void Toolbar::set_entry_enabled(std::string_view key, std::string_view entry_key, bool enabled) {
    auto& e = const_cast<Entry&>(entry(key, entry_key));
    if (e.enabled == enabled) {
        return;
    }
    e.enabled = enabled;
    notify();
}

void Toolbar::set_entry_checked(std::string_view key, std::string_view entry_key, bool checked) {
    auto& e = const_cast<Entry&>(entry(key, entry_key));
    if (e.checked == checked) {
        return;
    }
    e.checked = checked;
    notify();
}

void Toolbar::set_entries(std::string_view key, std::vector<Entry> entries) {
    find_item(key).entries = std::move(entries);
    notify();
}

void Toolbar::user_click(std::string_view key) {
    const auto& i = item(key);
    if (!reachable() || !i.enabled) {
        return;
    }
    button_click.raise(i.key);
}

void Toolbar::user_open_menu(std::string_view key) {
    const auto& i = item(key);
    if (!reachable() || !i.enabled) {
        return;
    }
    menu_opening.raise(i.key);
}

void Toolbar::user_choose(std::string_view key, std::string_view entry_key) {
    const auto& i = item(key);
    if (!reachable() || !i.enabled) {
        return;
    }
    const auto& e = entry(key, entry_key);
    if (!e.enabled) {
        return;
    }
    // Copies: a handler may replace the entries while it runs.
    const std::string k = i.key;
    const std::string ek = e.key;
    chosen.raise(k, ek);
}

// ---------------------------------------------------------------- Grid

Grid::Grid(Window& w, std::string name, int rows, int cols, int visible_rows)
    : Control(w, std::move(name)), rows_(rows), cols_(cols), visible_rows_(visible_rows),
      cells_(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols)),
      widths_(static_cast<std::size_t>(cols), 0),
      aligns_(static_cast<std::size_t>(cols), Align::left_top) {}

void Grid::check(int row, int col) const {
    if (row < 0 || row >= rows_ || col < 0 || col >= cols_) {
        throw std::out_of_range("cell outside " + path() + ": " + std::to_string(row) + "," +
                                std::to_string(col));
    }
}

void Grid::touched() {
    if (drawing_) {
        notify();
    } else {
        dirty_ = true;
    }
}

const std::string& Grid::cell(int row, int col) const {
    check(row, col);
    return cells_[static_cast<std::size_t>(row) * static_cast<std::size_t>(cols_) +
                  static_cast<std::size_t>(col)];
}

void Grid::set_cell(int row, int col, std::string_view text) {
    check(row, col);
    auto& c = cells_[static_cast<std::size_t>(row) * static_cast<std::size_t>(cols_) +
                     static_cast<std::size_t>(col)];
    if (c == text) {
        return;
    }
    c.assign(text);
    if (!c.empty()) {
        used_rows_ = std::max(used_rows_, row + 1);
    }
    touched();
}

void Grid::clear() {
    const auto n = static_cast<std::size_t>(used_rows_) * static_cast<std::size_t>(cols_);
    for (std::size_t i = 0; i < n; ++i) {
        cells_[i].clear();
    }
    used_rows_ = 0;
    touched();
}

int Grid::col_width(int col) const {
    check(0, col);
    return widths_[static_cast<std::size_t>(col)];
}

void Grid::set_col_width(int col, int twips) {
    check(0, col);
    widths_[static_cast<std::size_t>(col)] = twips;
    touched();
}

Grid::Align Grid::col_align(int col) const {
    check(0, col);
    return aligns_[static_cast<std::size_t>(col)];
}

void Grid::set_col_align(int col, Align a) {
    check(0, col);
    aligns_[static_cast<std::size_t>(col)] = a;
    touched();
}

void Grid::set_drawing(bool on) {
    if (drawing_ == on) {
        return;
    }
    drawing_ = on;
    if (on && dirty_) {
        dirty_ = false;
        notify();
    }
}

void Grid::set_current(int row, int col) {
    check(row, col);
    current_row_ = row;
    current_col_ = col;
}

void Grid::set_current_text(std::string_view text) {
    set_cell(current_row_, current_col_, text);
}

void Grid::user_scroll(int top_row) {
    const int last_top = std::max(1, rows_ - visible_rows_);
    top_row = std::clamp(top_row, 1, last_top);
    if (!visible() || top_row == top_row_) {
        return;
    }
    top_row_ = top_row;
    touched();
    scrolled.raise();
}

// ---------------------------------------------------------------- Picture

Picture::Picture(Window& w, std::string name, double width, double height, std::uint32_t background)
    : Control(w, std::move(name)), width_(width), height_(height), background_(background) {}

void Picture::clear() {
    if (lines_.empty()) {
        return;
    }
    lines_.clear();
    notify();
}

void Picture::draw_line(const Segment& s) {
    lines_.push_back(s);
    notify();
}

Line::Line(Window& w, std::string name, std::uint32_t rgb) : Control(w, std::move(name)) {
    seg_.rgb = rgb;
}

void Line::place(double x1, double y1, double x2, double y2) {
    seg_.x1 = x1;
    seg_.y1 = y1;
    seg_.x2 = x2;
    seg_.y2 = y2;
    notify();
}

Shape::Shape(Window& w, std::string name, double width, double height, std::uint32_t rgb)
    : Control(w, std::move(name)), width_(width), height_(height), rgb_(rgb) {}

void Shape::move(double left, double top) {
    left_ = left;
    top_ = top;
    notify();
}

// ---------------------------------------------------------------- Timer

Timer::Timer(Window& w, std::string name, int interval_ms, bool enabled)
    : Control(w, std::move(name)), interval_(interval_ms), running_(enabled) {}

void Timer::set_interval(int ms) {
    if (interval_ == ms) {
        return;
    }
    interval_ = ms;
    armed.raise();
}

void Timer::set_timer_enabled(bool on) {
    if (running_ == on) {
        return;
    }
    running_ = on;
    armed.raise();
}

void Timer::set_resting(bool r) {
    if (resting_ == r) {
        return;
    }
    resting_ = r;
    armed.raise();
}

void Timer::fire() const {
    if (running_ && !resting_ && interval_ > 0) {
        tick.raise();
    }
}

} // namespace trx::ui

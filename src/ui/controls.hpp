#pragma once

#include "ui/control.hpp"
#include "ui/status_bar.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace trx::ui {

constexpr std::uint32_t rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return (r << 16U) | (g << 8U) | b;
}

// Text box. Every edit happens at the end of the text; the caret stays there.
class TextBox : public Control {
public:
    TextBox(Window& w, std::string name, Frame* parent = nullptr);

    [[nodiscard]] const std::string& text() const { return text_; }
    void set_text(std::string t); // raises `change` only when the text really changes
    [[nodiscard]] bool locked() const { return locked_; }
    void set_locked(bool l);
    [[nodiscard]] std::uint32_t text_color() const { return text_color_; }
    void set_text_color(std::uint32_t c);
    [[nodiscard]] std::size_t caret() const { return caret_; }
    void caret_to_end();
    void repaint() const { repaint_requested.raise(); }
    // For a box whose text only its key handlers edit: a paste then arrives as typed keys,
    // one per character, and passes the same filter as typing.
    void set_paste_as_keys(bool on) { paste_as_keys_ = on; }

    // --- user input entry points; ignored where a person could not reach the box ---
    void user_key(KeyPress& k); // key handlers first; unhandled keys edit an unlocked box
    void user_click();
    void user_focus(); // reached by keyboard
    void user_leave(); // focus leaves the box
    void user_paste(const std::string& s);

    Signal<> change;
    Signal<KeyPress&> key;
    Signal<> click;
    Signal<> got_focus;
    Signal<> lost_focus;
    Signal<> repaint_requested;

private:
    std::string text_;
    bool locked_ = false;
    std::uint32_t text_color_ = 0;
    std::size_t caret_ = 0;
    bool paste_as_keys_ = false;
};

class Label : public Control {
public:
    Label(Window& w, std::string name, std::string caption = {}, Frame* parent = nullptr);
    [[nodiscard]] const std::string& caption() const { return caption_; }
    void set_caption(std::string c);

private:
    std::string caption_;
};

class CheckBox : public Control {
public:
    CheckBox(Window& w, std::string name, std::string caption, Frame* parent = nullptr);
    [[nodiscard]] const std::string& caption() const { return caption_; }
    [[nodiscard]] bool checked() const { return checked_; }
    void set_checked(bool c); // by the logic: raises no click
    void user_click();        // toggles, then raises click

    Signal<> click;

private:
    std::string caption_;
    bool checked_ = false;
};

class ComboBox : public Control {
public:
    ComboBox(Window& w, std::string name, std::vector<std::string> items, std::string text,
             Frame* parent = nullptr);
    [[nodiscard]] const std::vector<std::string>& items() const { return items_; }
    [[nodiscard]] int selected() const { return selected_; }
    void set_selected(int index); // -1: none, and the text empties
    [[nodiscard]] const std::string& text() const { return text_; }
    void user_select(int index);

private:
    std::vector<std::string> items_;
    int selected_ = -1;
    std::string text_;
};

// Up/down control. Its value is not tied to a text box; handlers keep the two in step.
class Spinner : public Control {
public:
    Spinner(Window& w, std::string name, int min, int max, int value, Frame* parent = nullptr);
    [[nodiscard]] int value() const { return value_; }
    [[nodiscard]] int min() const { return min_; }
    [[nodiscard]] int max() const { return max_; }
    void set_value(int v); // raises `change` only when the value really changes
    void user_up();        // one arrow click: value + 1 up to max, then up_click
    void user_down();

    Signal<> change;
    Signal<> up_click;
    Signal<> down_click;

private:
    int min_;
    int max_;
    int value_;
};

class Button : public Control {
public:
    Button(Window& w, std::string name, std::string caption, Frame* parent = nullptr);
    [[nodiscard]] const std::string& caption() const { return caption_; }
    void set_caption(std::string c);
    void user_click();

    Signal<> click;

private:
    std::string caption_;
};

class ProgressBar : public Control {
public:
    ProgressBar(Window& w, std::string name, Frame* parent = nullptr);
    [[nodiscard]] int value() const { return value_; }
    [[nodiscard]] int maximum() const { return maximum_; }
    [[nodiscard]] const std::string& label() const { return label_; }
    void set_progress(int value, int maximum, std::string label);

private:
    int value_ = 0;
    int maximum_ = 0;
    std::string label_;
};

// Toolbar with captioned buttons; a button may carry a drop-down menu of entries.
class Toolbar : public Control {
public:
    struct Entry {
        std::string key;
        std::string caption;
        bool enabled = true;
        std::string tooltip;
        bool separator_before = false; // a menu separator above the entry
        bool checkable = false;        // a check item: choosing it is the user's toggle
        bool checked = false;
    };
    struct Item {
        std::string key;
        std::string caption;
        bool enabled = true;
        int gap_before = 0; // twips of empty space before the button
        std::vector<Entry> entries;
    };

    Toolbar(Window& w, std::string name, std::vector<Item> items);

    [[nodiscard]] const std::vector<Item>& items() const { return items_; }
    [[nodiscard]] const Item& item(std::string_view key) const;
    [[nodiscard]] const Entry& entry(std::string_view key, std::string_view entry_key) const;
    void set_caption(std::string_view key, std::string caption);
    void set_enabled(std::string_view key, bool enabled);
    void set_entry_enabled(std::string_view key, std::string_view entry_key, bool enabled);
    void set_entry_checked(std::string_view key, std::string_view entry_key, bool checked);
    void set_entries(std::string_view key, std::vector<Entry> entries);

    // --- user input ---
    void user_click(std::string_view key);
    void user_open_menu(std::string_view key); // the drop-down is about to show
    void user_choose(std::string_view key, std::string_view entry_key);

    Signal<const std::string&> button_click;               // key
    Signal<const std::string&> menu_opening;               // key
    Signal<const std::string&, const std::string&> chosen; // key, entry key

private:
    Item& find_item(std::string_view key);
    std::vector<Item> items_;
};

// Grid with one fixed header row and one fixed row-number column.
class Grid : public Control {
public:
    enum class Align { left_top, center_top };
    Grid(Window& w, std::string name, int rows, int cols, int visible_rows);

    [[nodiscard]] int rows() const { return rows_; }
    [[nodiscard]] int cols() const { return cols_; }
    [[nodiscard]] int visible_rows() const { return visible_rows_; }
    [[nodiscard]] const std::string& cell(int row, int col) const;
    void set_cell(int row, int col, std::string_view text);
    void clear(); // empties every cell, header row and row-number column included

    [[nodiscard]] int col_width(int col) const;
    void set_col_width(int col, int twips);
    [[nodiscard]] Align col_align(int col) const;
    void set_col_align(int col, Align a);

    [[nodiscard]] bool drawing() const { return drawing_; }
    void set_drawing(bool on); // switching it on tells the view once

    [[nodiscard]] int top_row() const { return top_row_; }
    [[nodiscard]] int current_row() const { return current_row_; }
    [[nodiscard]] int current_col() const { return current_col_; }
    void set_current(int row, int col);
    void set_current_text(std::string_view text); // writes through the current cell

    void user_scroll(int top_row); // raises `scrolled` when the top row changes
    Signal<> scrolled;

    // Rows up to this one may hold text; everything below is empty.
    [[nodiscard]] int used_rows() const { return used_rows_; }

private:
    void check(int row, int col) const;
    void touched();

    int rows_;
    int cols_;
    int visible_rows_;
    std::vector<std::string> cells_;
    std::vector<int> widths_;
    std::vector<Align> aligns_;
    bool drawing_ = true;
    bool dirty_ = false;
    int top_row_ = 1;
    int current_row_ = 1;
    int current_col_ = 1;
    int used_rows_ = 0;
};

struct Segment {
    double x1 = 0;
    double y1 = 0;
    double x2 = 0;
    double y2 = 0;
    std::uint32_t rgb = 0;
};

// Picture box drawn in twips. Drawn lines are kept, so they survive a repaint; clear
// removes them but not the fixed elements (Line, Shape).
class Picture : public Control {
public:
    Picture(Window& w, std::string name, double width, double height, std::uint32_t background);
    [[nodiscard]] double width() const { return width_; }
    [[nodiscard]] double height() const { return height_; }
    [[nodiscard]] std::uint32_t background() const { return background_; }
    [[nodiscard]] const std::vector<Segment>& lines() const { return lines_; }
    void clear();
    void draw_line(const Segment& s);

private:
    double width_;
    double height_;
    std::uint32_t background_;
    std::vector<Segment> lines_;
};

// A fixed line inside a picture.
class Line : public Control {
public:
    Line(Window& w, std::string name, std::uint32_t rgb);
    [[nodiscard]] const Segment& segment() const { return seg_; }
    void place(double x1, double y1, double x2, double y2);

private:
    Segment seg_;
};

// A filled circle inside a picture.
class Shape : public Control {
public:
    Shape(Window& w, std::string name, double width, double height, std::uint32_t rgb);
    [[nodiscard]] double left() const { return left_; }
    [[nodiscard]] double top() const { return top_; }
    [[nodiscard]] double width() const { return width_; }
    [[nodiscard]] double height() const { return height_; }
    [[nodiscard]] std::uint32_t rgb() const { return rgb_; }
    void move(double left, double top);

private:
    double left_ = 0;
    double top_ = 0;
    double width_;
    double height_;
    std::uint32_t rgb_;
};

// Timer: a Clock service makes it tick while enabled. Enabling a stopped timer or
// changing the interval starts a fresh interval.
class Timer : public Control {
public:
    Timer(Window& w, std::string name, int interval_ms, bool enabled);
    [[nodiscard]] int interval() const { return interval_; }
    void set_interval(int ms);
    [[nodiscard]] bool timer_enabled() const { return running_; }
    void set_timer_enabled(bool on);
    [[nodiscard]] const std::string& tag() const { return tag_; }
    void set_tag(std::string t) { tag_ = std::move(t); }

    // An enabled timer may rest while its ticks would change nothing: it stays enabled, but
    // the clock does not wake for it; once awake again its next tick is one interval away.
    [[nodiscard]] bool resting() const { return resting_; }
    void set_resting(bool r);

    void fire() const; // called by the clock; ticks only while enabled and awake

    Signal<> tick;
    Signal<> armed; // enabled, awake or interval changed: the clock restarts or stops it

private:
    int interval_;
    bool running_;
    bool resting_ = false;
    std::string tag_;
};

} // namespace trx::ui

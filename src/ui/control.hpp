#pragma once

#include "ui/signal.hpp"

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace trx::ui {

// Modifier bits of a key chord.
enum Mod : unsigned { mod_none = 0, mod_shift = 1, mod_ctrl = 2, mod_alt = 4 };

namespace keys {
constexpr int backspace = 8;
constexpr int tab = 9;
constexpr int enter = 13;
} // namespace keys

// One key press as the logic sees it. A handler that consumes the key sets `handled`;
// an unhandled key falls through to the text box's own editing.
struct KeyPress {
    int code = 0;      // character code: '0', 'J', keys::backspace
    unsigned mods = 0; // Mod bits
    bool handled = false;
};

class Window;
class Frame;

// Base of every control model. It knows its window and its name, so tests and the Qt
// binding find it by "window.control".
class Control {
public:
    Control(Window& window, std::string name, Frame* parent = nullptr);
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    Control(Control&&) = delete;
    Control& operator=(Control&&) = delete;

    [[nodiscard]] const std::string& name() const { return name_; }
    [[nodiscard]] Window& window() const { return window_; }
    [[nodiscard]] std::string path() const;
    [[nodiscard]] Frame* parent() const { return parent_; }

    [[nodiscard]] bool visible() const { return visible_; }
    void set_visible(bool v);
    [[nodiscard]] bool enabled() const { return enabled_; }
    void set_enabled(bool e);
    [[nodiscard]] const std::string& tooltip() const { return tooltip_; }
    void set_tooltip(std::string t);

    // Whether a person could reach the control now: it and its frames are visible and
    // enabled, and its window is shown and takes input.
    [[nodiscard]] bool reachable() const;

    // Raised whenever a property a view shows has changed.
    Signal<> changed;

protected:
    void notify() const { changed.raise(); }

private:
    Window& window_;
    std::string name_;
    Frame* parent_;
    bool visible_ = true;
    bool enabled_ = true;
    std::string tooltip_;
};

// A top-level window: created once, hidden and shown, never destroyed.
class Window {
public:
    Window(std::string name, std::string caption);
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    Window(Window&&) = delete;
    Window& operator=(Window&&) = delete;
    ~Window() = default;

    [[nodiscard]] const std::string& name() const { return name_; }
    [[nodiscard]] const std::string& caption() const { return caption_; }
    void set_caption(std::string c);

    [[nodiscard]] bool exists() const { return exists_; }
    void create(); // creates it hidden; no effect when it exists
    [[nodiscard]] bool shown() const { return shown_; }
    void show(); // creates it first when needed
    void hide();

    // Hourglass pointer over the window.
    [[nodiscard]] bool busy() const { return busy_; }
    void set_busy(bool b);
    // While blocked, no user input reaches the window or its controls.
    [[nodiscard]] bool input_blocked() const { return input_blocked_; }
    void set_input_blocked(bool b);

    // --- user input entry points (Driver and Qt view) ---
    void user_activate();
    void user_key(KeyPress& k); // seen by the window before its controls
    void user_close();          // the close box

    Signal<> activated;
    Signal<KeyPress&> key;
    Signal<> close_requested; // unhandled, the window hides itself
    Signal<> changed;

    [[nodiscard]] Control* find(std::string_view control) const;
    template <class T> [[nodiscard]] T& get(std::string_view control) const {
        auto* c = dynamic_cast<T*>(find(control));
        if (c == nullptr) {
            throw std::out_of_range("no such control: " + name_ + "." + std::string(control));
        }
        return *c;
    }
    [[nodiscard]] const std::vector<Control*>& controls() const { return order_; }

private:
    friend class Control;
    void add(Control* c);

    std::string name_;
    std::string caption_;
    bool exists_ = false;
    bool shown_ = false;
    bool busy_ = false;
    bool input_blocked_ = false;
    std::map<std::string, Control*, std::less<>> controls_;
    std::vector<Control*> order_;
};

// Group box.
class Frame : public Control {
public:
    Frame(Window& w, std::string name, std::string caption, Frame* parent = nullptr);
    [[nodiscard]] const std::string& caption() const { return caption_; }
    void set_caption(std::string c);

private:
    std::string caption_;
};

} // namespace trx::ui

#include "ui/control.hpp"

#include <utility>

namespace trx::ui {

Control::Control(Window& window, std::string name, Frame* parent)
    : window_(window), name_(std::move(name)), parent_(parent) {
    window_.add(this);
}

std::string Control::path() const {
    return window_.name() + "." + name_;
}

void Control::set_visible(bool v) {
    if (visible_ == v) {
        return;
    }
    visible_ = v;
    notify();
}

void Control::set_enabled(bool e) {
    if (enabled_ == e) {
        return;
    }
    enabled_ = e;
    notify();
}

void Control::set_tooltip(std::string t) {
    if (tooltip_ == t) {
        return;
    }
    tooltip_ = std::move(t);
    notify();
}

bool Control::reachable() const {
    if (!visible_ || !enabled_) {
        return false;
    }
    if (parent_ != nullptr) {
        return parent_->reachable();
    }
    return window_.shown() && !window_.input_blocked();
}

Window::Window(std::string name, std::string caption)
    : name_(std::move(name)), caption_(std::move(caption)) {}

void Window::set_caption(std::string c) {
    if (caption_ == c) {
        return;
    }
    caption_ = std::move(c);
    changed.raise();
}

void Window::create() {
    if (exists_) {
        return;
    }
    exists_ = true;
    changed.raise();
}

void Window::show() {
    create();
    if (shown_) {
        return;
    }
    shown_ = true;
    changed.raise();
}

void Window::hide() {
    if (!shown_) {
        return;
    }
    shown_ = false;
    changed.raise();
}

void Window::set_busy(bool b) {
    if (busy_ == b) {
        return;
    }
    busy_ = b;
    changed.raise();
}

void Window::set_input_blocked(bool b) {
    if (input_blocked_ == b) {
        return;
    }
    input_blocked_ = b;
    changed.raise();
}

void Window::user_activate() {
    if (input_blocked_) {
        return;
    }
    activated.raise();
}

void Window::user_key(KeyPress& k) {
    if (input_blocked_) {
        k.handled = true;
        return;
    }
    key.raise(k);
}

void Window::user_close() {
    if (input_blocked_) {
        return;
    }
    if (close_requested.empty()) {
        hide();
        return;
    }
    close_requested.raise();
}

Control* Window::find(std::string_view control) const {
    auto it = controls_.find(control);
    return it == controls_.end() ? nullptr : it->second;
}

void Window::add(Control* c) {
    auto [it, inserted] = controls_.emplace(c->name(), c);
    if (!inserted) {
        throw std::logic_error("control registered twice: " + name_ + "." + c->name());
    }
    order_.push_back(c);
}

Frame::Frame(Window& w, std::string name, std::string caption, Frame* parent)
    : Control(w, std::move(name), parent), caption_(std::move(caption)) {}

void Frame::set_caption(std::string c) {
    if (caption_ == c) {
        return;
    }
    caption_ = std::move(c);
    notify();
}

} // namespace trx::ui

#pragma once

#include "ui/signal.hpp"

#include "ui/controls.hpp"
#include "ui/services.hpp"

#include <optional>
#include <string>

namespace trx::para {

// A numeric text box with its spinner. The box is edited only by its key handler, always at
// the end; its change rule keeps the spinner in step with the text; leaving it with a value
// the field cannot take shows the field's "Parameter error" box and puts back the restore
// value. The kinds of field differ in which keys they take, how the text is read and which
// values they accept.
class NumericField {
public:
    NumericField(ui::TextBox& box, ui::Spinner& spinner, ui::Dialogs& dialogs, std::string message);
    virtual ~NumericField() = default;
    NumericField(const NumericField&) = delete;
    NumericField& operator=(const NumericField&) = delete;
    NumericField(NumericField&&) = delete;
    NumericField& operator=(NumericField&&) = delete;

    // The text last written into the box by a scanner reply; empty until the first one.
    [[nodiscard]] const std::string& restore() const { return restore_; }
    void set_restore(std::string text) { restore_ = std::move(text); }

    // Writes a text into the box as a scanner reply does: not as typing, so no key filter
    // and no range check, but the change rule runs (even for an unchanged text), so the
    // spinner follows a text it can take.
    void show(std::string text);

    [[nodiscard]] ui::TextBox& box() const { return box_; }
    [[nodiscard]] ui::Spinner& spinner() const { return spinner_; }
    // The box's message when it is left with a value it cannot take.
    [[nodiscard]] const std::string& message() const { return message_; }

protected:
    // The character a typed key appends to `text`, or nothing when the key is refused.
    [[nodiscard]] virtual std::optional<char> appended(const std::string& text, int code) const = 0;
    // The spinner value the text stands for, or nothing when the spinner cannot take it.
    [[nodiscard]] virtual std::optional<int> spinner_value(const std::string& text) const = 0;
    // Whether the field may be left with this text.
    [[nodiscard]] virtual bool acceptable(const std::string& text) const = 0;
    // After the change rule has moved the caret and set the spinner.
    virtual void after_change() {}

private:
    void on_key(ui::KeyPress& k);
    void on_change();
    void on_leave();

    ui::TextBox& box_;
    ui::Spinner& spinner_;
    ui::Dialogs& dialogs_;
    std::string message_;
    std::string restore_;

protected:
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::para

#pragma once

#include "ui/services.hpp"

namespace trx::ui {

// A question box with Yes and No, No the default. Dialogs that can ask offer it beside
// Dialogs; a front without it answers No.
class Questions {
public:
    Questions() = default;
    Questions(const Questions&) = delete;
    Questions& operator=(const Questions&) = delete;
    Questions(Questions&&) = delete;
    Questions& operator=(Questions&&) = delete;
    virtual ~Questions() = default;
    // True for Yes.
    virtual bool ask_yes_no(const Message& m) = 0;
};

} // namespace trx::ui

#pragma once

#include "testkit/virtual_clock.hpp"
#include "ui/services.hpp"

#include <deque>
#include <string>
#include <vector>

namespace trx::testkit {

// Message boxes are answered with OK at once and recorded; file dialogs return the answers
// the test queued.
class RecordedDialogs : public ui::Dialogs {
public:
    void message(const ui::Message& m) override { messages_.push_back(m); }
    std::string open_file(const ui::FileDialogRequest& r) override;

    void answer_file_dialog(std::string path) { answers_.push_back(std::move(path)); }
    std::vector<ui::Message> take_messages();
    [[nodiscard]] const std::vector<ui::FileDialogRequest>& file_requests() const {
        return requests_;
    }

private:
    std::vector<ui::Message> messages_;
    std::deque<std::string> answers_;
    std::vector<ui::FileDialogRequest> requests_;
};

// Waits in virtual time: each step advances the clock by 1 ms. A wait that no scheduled
// event can end throws instead of hanging.
class VirtualPump : public ui::EventPump {
public:
    explicit VirtualPump(VirtualClock& clock) : clock_(clock) {}
    bool pump_until(const std::function<bool()>& done) override;
    void run_blocking(const std::function<void()>& work) override { work(); }
    void post(std::function<void()> fn) override { fn(); }
    void quit() override { quitting_ = true; }

private:
    VirtualClock& clock_;
    bool quitting_ = false;
};

} // namespace trx::testkit

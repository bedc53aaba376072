#include "testkit/recorded.hpp"

#include <chrono>
#include <stdexcept>

namespace trx::testkit {

std::string RecordedDialogs::open_file(const ui::FileDialogRequest& r) {
    requests_.push_back(r);
    if (answers_.empty()) {
        throw std::logic_error("a file dialog opened that the test did not answer "
                               "(call answer_file_dialog first)");
    }
    std::string a = std::move(answers_.front());
    answers_.pop_front();
    return a;
}

std::vector<ui::Message> RecordedDialogs::take_messages() {
    std::vector<ui::Message> m;
    m.swap(messages_);
    return m;
}

bool VirtualPump::pump_until(const std::function<bool()>& done) {
    while (!done()) {
        if (quitting_) {
            return false;
        }
        if (!clock_.has_scheduled()) {
            throw std::runtime_error("the program waits for a reply that no scheduled receive "
                                     "can bring (script it with receive_later first)");
        }
        clock_.advance(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace trx::testkit

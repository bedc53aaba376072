#include "testkit/recorded_dialogs.hpp"

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

std::string RecordedDialogs::save_file(const ui::FileDialogRequest& r) {
    save_requests_.push_back(r);
    if (save_answers_.empty()) {
        throw std::logic_error("a save dialog opened that the test did not answer "
                               "(call answer_save_dialog first)");
    }
    std::string a = std::move(save_answers_.front());
    save_answers_.pop_front();
    return a;
}

std::vector<ui::Message> RecordedDialogs::take_messages() {
    std::vector<ui::Message> m;
    m.swap(messages_);
    return m;
}

} // namespace trx::testkit

#pragma once

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
    std::string save_file(const ui::FileDialogRequest& r) override;

    void answer_file_dialog(std::string path) { answers_.push_back(std::move(path)); }
    void answer_save_dialog(std::string path) { save_answers_.push_back(std::move(path)); }
    std::vector<ui::Message> take_messages();
    [[nodiscard]] const std::vector<ui::FileDialogRequest>& file_requests() const {
        return requests_;
    }
    [[nodiscard]] const std::vector<ui::FileDialogRequest>& save_requests() const {
        return save_requests_;
    }

private:
    std::vector<ui::Message> messages_;
    std::deque<std::string> answers_;
    std::vector<ui::FileDialogRequest> requests_;
    std::deque<std::string> save_answers_;
    std::vector<ui::FileDialogRequest> save_requests_;
};

} // namespace trx::testkit

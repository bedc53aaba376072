#pragma once

#include "ui/question.hpp"
#include "ui/services.hpp"

#include <deque>
#include <string>
#include <vector>

namespace trx::testkit {

// Message boxes are answered with OK at once and recorded; file dialogs return the answers
// the test queued; questions are recorded and answered as the test queued (No when it queued
// nothing).
class RecordedDialogs : public ui::Dialogs, public ui::Questions {
public:
    void message(const ui::Message& m) override { messages_.push_back(m); }
    bool ask_yes_no(const ui::Message& m) override {
        questions_.push_back(m);
        const bool yes = !yes_no_.empty() && yes_no_.front();
        if (!yes_no_.empty()) {
            yes_no_.pop_front();
        }
        return yes;
    }
    void answer_question(bool yes) { yes_no_.push_back(yes); }
    [[nodiscard]] const std::vector<ui::Message>& questions() const { return questions_; }
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
    std::vector<ui::Message> questions_;
    std::deque<bool> yes_no_;
    std::deque<std::string> answers_;
    std::vector<ui::FileDialogRequest> requests_;
    std::deque<std::string> save_answers_;
    std::vector<ui::FileDialogRequest> save_requests_;
};

} // namespace trx::testkit

#pragma once

#include "ui/address_prompt.hpp"

#include <deque>
#include <string>
#include <vector>

namespace trx::testkit {

// "Network port...": answers from a queue (cancelled when empty), and remembers the addresses
// it was offered.
class RecordedAddressPrompt final : public ui::AddressPrompt {
public:
    void answer(std::string text) { answers_.push_back(std::move(text)); }
    [[nodiscard]] const std::vector<std::string>& offered() const { return offered_; }

    std::string ask(const std::vector<std::string>& recent) override {
        offered_ = recent;
        if (answers_.empty()) {
            return {};
        }
        std::string a = std::move(answers_.front());
        answers_.pop_front();
        return a;
    }

private:
    std::deque<std::string> answers_;
    std::vector<std::string> offered_;
};

} // namespace trx::testkit

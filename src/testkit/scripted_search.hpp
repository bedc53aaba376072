#pragma once

#include "ui/choice_prompt.hpp"
#include "ui/port_listener.hpp"

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace trx::testkit {

// What each serial device delivers while a search listens, as the test scripts it: bytes in
// small pieces (a frame arrives split across reads), or a reason to pass it over unopened.
class ScriptedPortListener final : public ui::PortListener {
public:
    void delivers(const std::string& device, std::string bytes) {
        bytes_[device] = std::move(bytes);
    }
    void refuses(const std::string& device, std::string why) { refused_[device] = std::move(why); }
    // The devices of the last search, in the order it named them.
    [[nodiscard]] const std::vector<std::string>& listened() const { return listened_; }

    std::vector<std::string> listen(const std::vector<std::string>& devices,
                                    std::chrono::milliseconds /*at_most*/,
                                    const Heard& heard) override {
        listened_ = devices;
        std::vector<std::string> out(devices.size());
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (const auto r = refused_.find(devices[i]); r != refused_.end()) {
                out[i] = r->second;
                continue;
            }
            const auto b = bytes_.find(devices[i]);
            const std::string_view all = b == bytes_.end() ? std::string_view() : b->second;
            for (std::size_t at = 0; at < all.size(); at += k_piece) {
                if (heard(i, all.substr(at, std::min(k_piece, all.size() - at)))) {
                    break;
                }
            }
        }
        return out;
    }

private:
    static constexpr std::size_t k_piece = 7;
    std::map<std::string, std::string> bytes_;
    std::map<std::string, std::string> refused_;
    std::vector<std::string> listened_;
};

// The list dialog: answers from a queue (cancelled when empty), and remembers what it offered.
class RecordedChoicePrompt final : public ui::ChoicePrompt {
public:
    void answer(std::string item) { answers_.push_back(std::move(item)); }
    [[nodiscard]] const std::vector<std::string>& offered() const { return offered_; }

    std::string choose(const std::string& /*title*/, const std::string& /*text*/,
                       const std::vector<std::string>& items) override {
        offered_ = items;
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

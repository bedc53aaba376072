#pragma once

#include "ui/platform.hpp"

#include <string>
#include <utility>

namespace trx::testkit {

// The scanner simulator without a process: starting it hands out a pseudo-terminal name the
// fake port accepts; a scripted reason makes every start fail.
class FakeSimulator : public ui::SimulatorHost {
public:
    static constexpr const char* k_device = "/dev/pts/81500";

    Result<std::string> start() override {
        if (!fail_reason_.empty()) {
            return Error{ErrorKind::port, fail_reason_};
        }
        running_ = true;
        ++starts_;
        return std::string(k_device);
    }
    void stop() override { running_ = false; }
    [[nodiscard]] bool running() override { return running_; }

    void fail_with(std::string reason) { fail_reason_ = std::move(reason); }
    [[nodiscard]] int starts() const { return starts_; }

private:
    bool running_ = false;
    int starts_ = 0;
    std::string fail_reason_;
};

} // namespace trx::testkit

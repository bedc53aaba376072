#include "main/replay_port.hpp"

#include <algorithm>

namespace trx::main {

ReplayPort::ReplayPort(ui::Clock& clock) : clock_(clock) {
    clock_.attach(timer_);
    tick_ = timer_.tick.connect([this] { play_due(); });
}

std::string ReplayPort::check(const std::filesystem::path& file) {
    return capture::Reader::open(file).refusal();
}

ui::OpenResult ReplayPort::open() {
    if (is_open()) {
        return {false, "The port is already open"};
    }
    capture::Reader r = capture::Reader::open(file_);
    if (r.refused()) {
        return {false, r.refusal()};
    }
    reader_.emplace(std::move(r));
    start_ = clock_.steady_now();
    fetch_next();
    wait_for_next(0);
    return {true, {}};
}

void ReplayPort::close() {
    timer_.set_timer_enabled(false);
    next_.reset();
    reader_.reset();
}

// Only what the scanner sent is played; the program answers anew as it goes.
void ReplayPort::fetch_next() {
    do {
        next_ = reader_->next();
    } while (next_ && next_->kind != capture::Kind::received);
}

void ReplayPort::play_due() {
    if (!is_open()) {
        return;
    }
    const auto now_us = static_cast<std::uint64_t>((clock_.steady_now() - start_).count());
    while (next_ && next_->time_us <= now_us) {
        const std::string bytes = std::move(next_->data);
        fetch_next();
        received.raise(bytes);
        if (!is_open()) {
            return; // closed by a handler
        }
    }
    if (!next_) {
        end();
        return;
    }
    wait_for_next(now_us);
}

// The timer's next tick when the next record is due; at once (1 ms) after the last one.
void ReplayPort::wait_for_next(std::uint64_t now_us) {
    const std::uint64_t due = next_ ? next_->time_us : now_us;
    const std::uint64_t wait_us = due > now_us ? due - now_us : 0;
    timer_.set_interval(static_cast<int>(
        std::clamp<std::uint64_t>((wait_us + 999) / 1000, 1, 24ULL * 3600 * 1000)));
    timer_.set_timer_enabled(true);
}

void ReplayPort::end() {
    const std::string why = reader_->stop_reason().empty()
                                ? "The replay reached the end of the capture."
                                : "The replay stopped at a bad record: " + reader_->stop_reason();
    close();
    lost.raise(why);
}

} // namespace trx::main

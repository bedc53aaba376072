#include "capture/player.hpp"

#include <algorithm>
#include <chrono>

namespace trx::capture {

namespace {

// How many records play_all delivers between two looks at its stop condition.
constexpr std::uint64_t k_records_between_looks = 1024;
// The longest single wait: a capture's time may be anything up to a damaged record.
constexpr std::uint64_t k_longest_wait_ms = 24ULL * 3600 * 1000;

} // namespace

Player::Player(ui::Clock& clock) : clock_(clock) {}

std::string Player::check(const std::filesystem::path& file) {
    return Reader::open(file).refusal();
}

ui::OpenResult Player::open() {
    if (is_open()) {
        return {false, "The port is already open"};
    }
    Reader r = Reader::open(file_);
    if (r.refused()) {
        return {false, r.refusal()};
    }
    reader_.emplace(std::move(r));
    start_ = clock_.steady_now();
    time_us_ = 0;
    stop_reason_.clear();
    fetch_next();
    if (speed_ > 0) {
        wait_for_next(0);
    }
    return {true, {}};
}

void Player::close() {
    alarm_.cancel();
    next_.reset();
    reader_.reset();
}

// Only what the scanner sent is played, the parameter reply the capture starts with included;
// the program answers anew as it goes.
void Player::fetch_next() {
    do {
        next_ = reader_->next();
    } while (next_ && next_->kind != Kind::received && next_->kind != Kind::reply);
}

// false when the port is closed afterwards (by a handler, or at the end).
bool Player::deliver_next() {
    const std::string bytes = std::move(next_->data);
    time_us_ = next_->time_us;
    fetch_next();
    received.raise(bytes);
    if (!is_open()) {
        return false;
    }
    if (!next_) {
        end();
        return false;
    }
    return true;
}

bool Player::play_all(const std::function<bool()>& stop) {
    std::uint64_t delivered = 0;
    while (is_open()) {
        if (++delivered % k_records_between_looks == 0 && stop && stop()) {
            return false;
        }
        if (!next_) {
            end();
            break;
        }
        if (!deliver_next()) {
            break;
        }
    }
    return true;
}

std::uint64_t Player::due_us(std::uint64_t time_us) const {
    const double due = static_cast<double>(time_us) * static_cast<double>(k_recorded_pace) /
                       static_cast<double>(speed_);
    return static_cast<std::uint64_t>(std::min(due, 1e18)); // no overflow on any time
}

void Player::play_due() {
    if (!is_open()) {
        return;
    }
    const auto now_us = static_cast<std::uint64_t>((clock_.steady_now() - start_).count());
    while (next_ && due_us(next_->time_us) <= now_us) {
        if (!deliver_next()) {
            return;
        }
    }
    if (!next_) {
        end();
        return;
    }
    wait_for_next(now_us);
}

// The alarm when the next record is due; at once (1 ms) after the last one.
void Player::wait_for_next(std::uint64_t now_us) {
    const std::uint64_t due = next_ ? due_us(next_->time_us) : now_us;
    const std::uint64_t wait_us = due > now_us ? due - now_us : 0;
    const std::uint64_t ms =
        std::clamp<std::uint64_t>((wait_us + 999) / 1000, 1, k_longest_wait_ms);
    alarm_ = clock_.call_after(std::chrono::milliseconds(ms), [this] { play_due(); });
}

void Player::end() {
    stop_reason_ = reader_->stop_reason();
    const std::string why = stop_reason_.empty()
                                ? "The replay reached the end of the capture."
                                : "The replay stopped at a bad record: " + stop_reason_;
    close();
    lost.raise(why);
}

} // namespace trx::capture

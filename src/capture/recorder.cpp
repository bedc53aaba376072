#include "capture/recorder.hpp"

#include <string_view>
#include <utility>

namespace trx::capture {

Recorder::Recorder(const ui::Clock& clock, std::string program)
    : clock_(clock), program_(std::move(program)), origin_(clock.steady_now()) {}

Recorder::~Recorder() {
    for (auto& save : saves_) {
        (void)save.writer->stop(); // a save still on its way is completed, not cut off
    }
    (void)stop(); // a program that ends while recording keeps its last bytes
}

std::uint64_t Recorder::now_us() const {
    return static_cast<std::uint64_t>((clock_.steady_now() - origin_).count());
}

Header Recorder::header(const std::string& port_name) const {
    return {program_, port_name};
}

void Recorder::received(std::string_view bytes) {
    replies_.feed(bytes);
    add(Kind::received, bytes);
    if (recording()) {
        counts_.received += bytes.size();
    }
}

void Recorder::sent(std::string_view bytes) {
    add(Kind::sent, bytes);
    if (recording()) {
        counts_.sent += bytes.size();
    }
}

void Recorder::add(Kind kind, std::string_view data) {
    const std::uint64_t t = now_us();
    if (writer_ == nullptr) {
        ring_.append(kind, t, data);
        return;
    }
    ++counts_.records;
    if (data.size() > k_stage_bytes) {
        // Whole and at once to the writer: the ring may keep only the end of a large batch.
        hand_over();
        (void)writer_->append(kind, t, data);
        ring_.append(kind, t, data);
        handed_ = ring_.end();
        return;
    }
    ring_.append(kind, t, data);
    unhanded_ += k_record_head + data.size();
    // Port events are rare and tell the most: they go to the disk without waiting.
    if (unhanded_ >= k_stage_bytes || (kind != Kind::received && kind != Kind::sent)) {
        hand_over();
    }
}

// A refusal is reported by check(), outside the receive path. What was not handed over is
// at most one block, in the ring's newest chunks, far from what the ring drops.
void Recorder::hand_over() {
    if (writer_ != nullptr && unhanded_ > 0) {
        ring_.since(handed_, [this](std::shared_ptr<const RawBlock> chunk, std::string_view raw) {
            (void)writer_->append_shared(std::move(chunk), raw);
        });
    }
    unhanded_ = 0;
}

void Recorder::start(std::unique_ptr<Sink> file, const std::string& port_name, bool port_open) {
    (void)stop();
    start_us_ = now_us();
    counts_ = {};
    writer_ = std::make_unique<Writer>(std::move(file), header(port_name), Writer::k_default_queue,
                                       start_us_);
    handed_ = ring_.end();
    unhanded_ = 0;
    if (!replies_.last().empty() && writer_->append(Kind::reply, start_us_, replies_.last())) {
        ++counts_.records;
    }
    if (port_open && writer_->append(Kind::opened, start_us_, port_name)) {
        ++counts_.records;
    }
}

std::error_code Recorder::publish() {
    if (writer_ == nullptr) {
        return std::make_error_code(std::errc::operation_canceled);
    }
    hand_over();
    return writer_->publish();
}

std::string Recorder::stop() {
    if (!recording()) {
        return {};
    }
    hand_over();
    std::string why = writer_->stop();
    writer_.reset();
    return why;
}

std::string Recorder::check() {
    hand_over();
    if (writer_ == nullptr || !writer_->failed()) {
        return {};
    }
    return stop();
}

void Recorder::save_recent(std::unique_ptr<Sink> file, const std::string& port_name,
                           std::string path) {
    // Copied once into one block that the writer thread checksums and writes.
    auto raw = std::make_shared<std::string>();
    const auto records = ring_.recent(now_us());
    const std::uint64_t origin = records.empty() ? 0 : records.front().time_us;
    if (!replies_.last().empty()) {
        append_raw(Kind::reply, 0, replies_.last(), *raw);
    }
    for (const auto& r : records) {
        append_raw(r.kind, r.time_us - origin, r.data, *raw);
    }
    auto writer = std::make_unique<Writer>(std::move(file), header(port_name), raw->size() + 1);
    const std::string_view all(*raw);
    (void)writer->append_shared(std::move(raw), all);
    writer->finish(true);
    saves_.push_back({std::move(writer), std::move(path)});
}

std::vector<FailedSave> Recorder::finished_saves(bool wait) {
    std::vector<FailedSave> failed;
    for (auto it = saves_.begin(); it != saves_.end();) {
        if (!wait && !it->writer->ended()) {
            ++it;
            continue;
        }
        if (!it->writer->stop().empty()) {
            failed.push_back({it->path, it->writer->error()});
        }
        it = saves_.erase(it);
    }
    return failed;
}

void Recorder::settle() {
    for (auto& save : saves_) {
        save.writer->drain();
    }
    hand_over();
    if (writer_ != nullptr) {
        writer_->drain();
    }
}

} // namespace trx::capture

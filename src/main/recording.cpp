#include "main/recording.hpp"

#include <cstdio>
#include <memory>
#include <string_view>

#ifndef TRX_PROGRAM_VERSION
#define TRX_PROGRAM_VERSION "?"
#endif

namespace trx::main {

namespace fs = std::filesystem;

namespace {

constexpr const char* k_filter = "Captures (*.trxcap)|*.trxcap|all files (*.*)|*.*";

// "2025-03-01_09-30-00.trxcap": sorts by time, no characters a file system refuses.
std::string default_name(std::chrono::system_clock::time_point t) {
    using namespace std::chrono;
    const auto day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss hms{floor<seconds>(t - day)};
    std::array<char, 64> buf{};
    (void)std::snprintf(buf.data(), buf.size(), "%04d-%02u-%02u_%02ld-%02ld-%02ld.trxcap",
                        static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                        static_cast<unsigned>(ymd.day()), static_cast<long>(hms.hours().count()),
                        static_cast<long>(hms.minutes().count()),
                        static_cast<long>(hms.seconds().count()));
    return buf.data();
}

} // namespace

Recording::Recording(Services services) : s_(std::move(services)), origin_(s_.clock.steady_now()) {}

Recording::~Recording() {
    for (auto& save : saves_) {
        (void)save.writer->stop(); // a save still on its way is completed, not cut off
    }
    if (writer_ != nullptr) {
        hand_over(); // a program that ends while recording keeps its last bytes
        (void)writer_->stop();
    }
}

std::uint64_t Recording::now_us() const {
    return static_cast<std::uint64_t>((s_.clock.steady_now() - origin_).count());
}

void Recording::add(capture::Kind kind, std::string_view data) {
    const std::uint64_t t = now_us();
    if (writer_ != nullptr && data.size() > k_stage_bytes) {
        // Whole and at once to the writer: the ring may keep only the end of a large batch.
        hand_over();
        (void)writer_->append(kind, t, data);
        ring_.append(kind, t, data);
        handed_ = ring_.end();
        return;
    }
    ring_.append(kind, t, data);
    if (writer_ == nullptr) {
        return;
    }
    unhanded_ += capture::k_record_head + data.size();
    // Port events are rare and tell the most: they go to the disk without waiting.
    if (unhanded_ >= k_stage_bytes ||
        (kind != capture::Kind::received && kind != capture::Kind::sent)) {
        hand_over();
    }
}

// A refusal is reported by check(), outside the receive path. What was not handed over is
// at most one block, in the ring's newest chunks, far from what the ring drops.
void Recording::hand_over() {
    if (writer_ != nullptr && unhanded_ > 0) {
        ring_.since(handed_,
                    [this](std::shared_ptr<const capture::RawBlock> chunk, std::string_view raw) {
                        (void)writer_->append_shared(std::move(chunk), raw);
                    });
    }
    unhanded_ = 0;
}

capture::Header Recording::header() const {
    return {"trx81500 " TRX_PROGRAM_VERSION, s_.port.port_name()};
}

std::string Recording::ask_file(const char* title) {
    const fs::path folder = s_.files.data_folder();
    std::error_code ec;
    fs::create_directories(folder, ec); // the dialog starts there; a failure shows on create
    return s_.dialogs.save_file(
        {title, k_filter, ".trxcap", (folder / default_name(s_.clock.utc_now())).string()});
}

std::unique_ptr<capture::Sink> Recording::create(const fs::path& p, std::error_code& ec) {
    if (s_.open_capture) {
        return s_.open_capture(p, ec);
    }
    return capture::FileSink::create(p, ec);
}

void Recording::save_recent() {
    const std::string path = ask_file("Save last 10 minutes");
    if (path.empty()) {
        return;
    }
    std::error_code ec;
    auto sink = create(path, ec);
    if (sink == nullptr) {
        save_failed(path, ec);
        return;
    }
    // The ring goes to the disk on a writer thread of its own; check() reports its end.
    auto raw = std::make_shared<std::string>();
    const auto records = ring_.recent(now_us());
    const std::uint64_t origin = records.empty() ? 0 : records.front().time_us;
    for (const auto& r : records) {
        capture::append_raw(r.kind, r.time_us - origin, r.data, *raw);
    }
    auto writer = std::make_unique<capture::Writer>(std::move(sink), header(), raw->size() + 1);
    const std::string_view all(*raw);
    (void)writer->append_shared(std::move(raw), all);
    writer->finish();
    saves_.push_back({std::move(writer), path});
}

void Recording::save_failed(const std::string& path, const std::error_code& ec) {
    s_.dialogs.message({"The last 10 minutes could not be saved: " + ec.message() + ".", k_title,
                        ui::Icon::warning, path});
}

// Reports the saves that are done; with wait, waits for all of them.
void Recording::end_saves(bool wait) {
    for (auto it = saves_.begin(); it != saves_.end();) {
        if (!wait && !it->writer->ended()) {
            ++it;
            continue;
        }
        if (!it->writer->stop().empty()) {
            save_failed(it->path, it->writer->error());
        }
        it = saves_.erase(it);
    }
}

void Recording::start() {
    if (recording()) {
        return;
    }
    const std::string path = ask_file("Start recording");
    if (path.empty()) {
        return;
    }
    std::error_code ec;
    auto sink = create(path, ec);
    if (sink == nullptr) {
        s_.dialogs.message({"The recording cannot start: " + ec.message() + ".", k_title,
                            ui::Icon::warning, path});
        return;
    }
    live_file_ = path;
    const std::uint64_t start_us = now_us();
    writer_ = std::make_unique<capture::Writer>(std::move(sink), header(),
                                                capture::Writer::k_default_queue, start_us);
    handed_ = ring_.end();
    unhanded_ = 0;
    if (s_.port.is_open()) {
        (void)writer_->append(capture::Kind::opened, start_us, s_.port.port_name());
    }
}

void Recording::stop() {
    if (!recording()) {
        return;
    }
    hand_over();
    const std::string why = writer_->stop();
    if (!why.empty()) {
        end_failed();
        return;
    }
    writer_.reset();
}

void Recording::check() {
    end_saves(false);
    hand_over();
    if (writer_ != nullptr && writer_->failed()) {
        (void)writer_->stop();
        end_failed();
    }
}

void Recording::settle() {
    end_saves(true);
    hand_over();
    if (writer_ != nullptr) {
        writer_->drain();
    }
}

void Recording::end_failed() {
    const std::string why = writer_->failure();
    log_if(s_.log, LogLevel::warning, log_category::main,
           [&] { return "recording ended: " + why; });
    writer_.reset();
    s_.dialogs.message({"The recording has stopped. " + why, k_title, ui::Icon::warning,
                        "What was recorded until then is in " + live_file_.string()});
}

} // namespace trx::main

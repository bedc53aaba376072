#include "main/recording.hpp"

#include "base/version.hpp"

#include <array>
#include <chrono>
#include <cstdio>

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

Recording::Recording(Services services)
    : s_(std::move(services)), recorder_(s_.clock, "trx81500 " + std::string(k_version)) {}

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
    recorder_.save_recent(std::move(sink), s_.port.port_name(), path);
}

void Recording::report_saves(bool wait) {
    for (const auto& failed : recorder_.finished_saves(wait)) {
        save_failed(failed.path, failed.error);
    }
}

void Recording::save_failed(const std::string& path, const std::error_code& ec) {
    s_.dialogs.message({"The last 10 minutes could not be saved: " + ec.message() + ".", k_title,
                        ui::Icon::warning, path});
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
    recorder_.start(std::move(sink), s_.port.port_name(), s_.port.is_open());
    // The file takes its name only with its header on the disk: a recording that cannot even
    // start leaves an earlier file of that name as it was.
    if (const std::error_code published = recorder_.publish(); published) {
        (void)recorder_.stop();
        s_.dialogs.message({"The recording cannot start: " + published.message() + ".", k_title,
                            ui::Icon::warning, path});
        return;
    }
    live_file_ = path;
}

void Recording::stop() {
    if (const std::string why = recorder_.stop(); !why.empty()) {
        end_failed(why);
    }
}

void Recording::check() {
    report_saves(false);
    if (const std::string why = recorder_.check(); !why.empty()) {
        end_failed(why);
    }
}

void Recording::settle() {
    report_saves(true);
    recorder_.settle();
}

void Recording::end_failed(const std::string& why) {
    log_if(s_.log, LogLevel::warning, log_category::main,
           [&] { return "recording ended: " + why; });
    s_.dialogs.message({"The recording has stopped. " + why, k_title, ui::Icon::warning,
                        "What was recorded until then is in " + live_file_.string()});
}

} // namespace trx::main

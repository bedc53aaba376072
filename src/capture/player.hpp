#pragma once

#include "capture/reader.hpp"
#include "ui/services.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace trx::capture {

// A capture played as a serial port: once open, the bytes the scanner sent arrive as the port
// delivered them, at their recorded pace (or a multiple of it) on the clock service, or all at
// once through play_all. What is written goes nowhere. The end of the capture, or its first bad
// record, is the end of the link: the port closes and reports itself lost.
class Player final : public ui::SerialPort {
public:
    // Speeds in thousandths of the recorded pace.
    static constexpr std::int64_t k_recorded_pace = 1000;
    static constexpr std::int64_t k_as_fast_as_it_goes = 0;

    explicit Player(ui::Clock& clock);

    // Why the file cannot be replayed; empty when it can.
    [[nodiscard]] static std::string check(const std::filesystem::path& file);
    // Only while closed.
    void set_file(std::filesystem::path file) { file_ = std::move(file); }
    // k_as_fast_as_it_goes: nothing plays by itself; play_all() plays it.
    void set_speed(std::int64_t milli) { speed_ = milli; }

    void set_port_name(std::string /*name*/) override {}
    // The capture's path: the process-wide port name while it plays.
    [[nodiscard]] std::string port_name() const override { return file_.string(); }
    ui::OpenResult open() override;
    void close() override;
    [[nodiscard]] bool is_open() const override { return reader_.has_value(); }
    [[nodiscard]] bool write(std::string_view /*bytes*/) override { return is_open(); }
    [[nodiscard]] std::size_t pending_output() const override { return 0; }

    // Every record now, without a pause, until the end or until stop() holds (asked now and
    // then); false when stop() ended it.
    bool play_all(const std::function<bool()>& stop);
    // The recorded time of the batch being delivered, or of the last one.
    [[nodiscard]] std::uint64_t time_us() const { return time_us_; }
    // Why the last replay stopped before the capture's end; empty at a clean end.
    [[nodiscard]] const std::string& stop_reason() const { return stop_reason_; }

private:
    void play_due();
    bool deliver_next();
    void fetch_next();
    void wait_for_next(std::uint64_t now_us);
    [[nodiscard]] std::uint64_t due_us(std::uint64_t time_us) const;
    void end();

    ui::Clock& clock_;
    std::filesystem::path file_;
    std::int64_t speed_ = k_recorded_pace;
    std::optional<Reader> reader_;
    std::optional<Record> next_;
    std::chrono::microseconds start_{0};
    std::uint64_t time_us_ = 0;
    std::string stop_reason_;
    ui::Alarm alarm_;
};

} // namespace trx::capture

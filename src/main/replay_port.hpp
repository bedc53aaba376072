#pragma once

#include "capture/reader.hpp"
#include "ui/controls.hpp"
#include "ui/services.hpp"

#include <filesystem>
#include <optional>
#include <string>

namespace trx::main {

// A capture played back as a serial port: once open, the received bytes arrive at their
// recorded pace, on the program's clock. What is written goes nowhere. The end of the capture,
// or its first bad record, is the end of the link: the port closes and reports itself lost.
class ReplayPort final : public ui::SerialPort {
public:
    explicit ReplayPort(ui::Clock& clock);

    // Why the file cannot be replayed; empty when it can.
    [[nodiscard]] static std::string check(const std::filesystem::path& file);
    void set_file(std::filesystem::path file) { file_ = std::move(file); }

    void set_port_name(std::string /*name*/) override {}
    // The capture's path: the process-wide port name while it plays.
    [[nodiscard]] std::string port_name() const override { return file_.string(); }
    ui::OpenResult open() override;
    void close() override;
    [[nodiscard]] bool is_open() const override { return reader_.has_value(); }
    [[nodiscard]] bool write(std::string_view /*bytes*/) override { return is_open(); }
    [[nodiscard]] std::size_t pending_output() const override { return 0; }

private:
    void play_due();
    void fetch_next();
    void wait_for_next(std::uint64_t now_us);
    void end();

    ui::Clock& clock_;
    std::filesystem::path file_;
    std::optional<capture::Reader> reader_;
    std::optional<capture::Record> next_;
    std::chrono::microseconds start_{0};
    // The pace: a timer of its own, outside every window.
    ui::Window window_{"replay", ""};
    ui::Timer timer_{window_, "pace", 1, false};
    ui::Connection tick_;
};

} // namespace trx::main

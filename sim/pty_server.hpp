#pragma once

#include "sim/scanner.hpp"

#include <filesystem>
#include <optional>
#include <string>

namespace trx::sim {

// A pseudo-terminal in raw mode: the simulator holds the master side, the program opens the
// slave device as its serial port.
class PseudoTerminal {
public:
    // nullopt with `error` set when the system gives none.
    static std::optional<PseudoTerminal> open(std::string& error);

    PseudoTerminal(PseudoTerminal&& other) noexcept;
    PseudoTerminal& operator=(PseudoTerminal&&) = delete;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    ~PseudoTerminal();

    [[nodiscard]] int master() const { return master_; }
    [[nodiscard]] const std::string& device() const { return device_; }

private:
    PseudoTerminal(int master, std::string device) : master_(master), device_(std::move(device)) {}
    int master_;
    std::string device_;
};

// A symbolic link to the device, removed again at the end if it still points there.
class DeviceLink {
public:
    // An existing symbolic link at `link` (left by a killed run) is replaced; any other file
    // there is an error.
    static std::optional<DeviceLink> create(const std::filesystem::path& link,
                                            const std::string& device, std::string& error);

    DeviceLink(DeviceLink&& other) noexcept;
    DeviceLink& operator=(DeviceLink&&) = delete;
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;
    ~DeviceLink();

private:
    DeviceLink(std::filesystem::path link, std::string device)
        : link_(std::move(link)), device_(std::move(device)) {}
    std::filesystem::path link_;
    std::string device_;
};

// SIGINT and SIGTERM as a readable descriptor, so the serving loop can wait for them like
// for any other input. Also ignores SIGPIPE. Construct before any thread starts.
class StopSignals {
public:
    static std::optional<StopSignals> install(std::string& error);

    StopSignals(StopSignals&& other) noexcept;
    StopSignals& operator=(StopSignals&&) = delete;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    ~StopSignals();

    [[nodiscard]] int fd() const { return fd_; }

private:
    explicit StopSignals(int fd) : fd_(fd) {}
    int fd_;
};

// Serves the scanner on the master side in real time until a stop signal arrives. While no
// one holds the device open, what the scanner sends is lost, as on a cable with nothing at
// its end.
class PtyServer {
public:
    // Bytes waiting for a slow reader beyond this are lost, as on an overrun receiver.
    static constexpr std::size_t k_max_pending = 64 * 1024;

    PtyServer(Scanner& scanner, int master, int stop_fd)
        : scanner_(scanner), master_(master), stop_fd_(stop_fd) {}

    void run();

private:
    [[nodiscard]] bool someone_listens() const;
    void write_pending();
    void read_input();
    [[nodiscard]] int wait_ms(bool listening) const;

    Scanner& scanner_;
    int master_;
    int stop_fd_;
    std::string pending_;
    bool listening_ = false;
};

// Nanoseconds of the steady clock: the time base of the real-time front.
std::chrono::nanoseconds steady_now();

} // namespace trx::sim

#pragma once

#include "ui/services.hpp"

#include <string>
#include <string_view>

namespace trx::capture {

// What passes a port, both directions and its events: a recorder listens here.
class WireTap {
public:
    WireTap() = default;
    WireTap(const WireTap&) = delete;
    WireTap& operator=(const WireTap&) = delete;
    WireTap(WireTap&&) = delete;
    WireTap& operator=(WireTap&&) = delete;
    virtual ~WireTap() = default;
    virtual void received(std::string_view bytes) = 0;
    virtual void sent(std::string_view bytes) = 0;
    virtual void write_refused(std::string_view bytes) = 0;
    virtual void opened(const std::string& name) = 0;
    virtual void closed() = 0;
    virtual void lost(const std::string& why) = 0;
};

// A port that passes everything to the port it stands for and shows every crossing to its
// tap first: the program's port and the command line's recording share it.
class TappedPort : public ui::SerialPort {
public:
    TappedPort() = default;
    TappedPort(const TappedPort&) = delete;
    TappedPort& operator=(const TappedPort&) = delete;
    TappedPort(TappedPort&&) = delete;
    TappedPort& operator=(TappedPort&&) = delete;
    ~TappedPort() override = default;

    void set_tap(WireTap* tap) { tap_ = tap; }

    [[nodiscard]] std::string port_name() const override { return active().port_name(); }
    ui::OpenResult open() override;
    void open_later(std::function<void(ui::OpenResult)> done) override;
    void close() override;
    [[nodiscard]] bool is_open() const override { return active().is_open(); }
    [[nodiscard]] bool write(std::string_view bytes) override;
    [[nodiscard]] std::size_t pending_output() const override { return active().pending_output(); }

protected:
    // Passes on what `from` receives and loses; once for each port that can be active.
    void forward(ui::SerialPort& from);
    // The port that opens, writes and closes now.
    [[nodiscard]] virtual ui::SerialPort& active() const = 0;

private:
    WireTap* tap_ = nullptr;
    ui::Connections connections_;
};

} // namespace trx::capture

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trx::net {

namespace telnet {
inline constexpr std::uint8_t k_iac = 255;
inline constexpr std::uint8_t k_dont = 254;
inline constexpr std::uint8_t k_do = 253;
inline constexpr std::uint8_t k_wont = 252;
inline constexpr std::uint8_t k_will = 251;
inline constexpr std::uint8_t k_sb = 250;
inline constexpr std::uint8_t k_se = 240;

inline constexpr std::uint8_t k_binary = 0;
inline constexpr std::uint8_t k_echo = 1;
inline constexpr std::uint8_t k_sga = 3;
inline constexpr std::uint8_t k_com_port = 44;

// COM port option commands of the client; the server answers each with the command + 100.
inline constexpr std::uint8_t k_set_baudrate = 1;
inline constexpr std::uint8_t k_set_datasize = 2;
inline constexpr std::uint8_t k_set_parity = 3;
inline constexpr std::uint8_t k_set_stopsize = 4;
inline constexpr std::uint8_t k_set_control = 5;
inline constexpr std::uint8_t k_server_offset = 100;

inline constexpr std::uint8_t k_parity_none = 1;
inline constexpr std::uint8_t k_stopsize_one = 1;
inline constexpr std::uint8_t k_control_no_flow = 1;
inline constexpr std::uint8_t k_control_dtr_on = 8;
inline constexpr std::uint8_t k_control_rts_on = 11;
} // namespace telnet

// The client side of Telnet with the COM port option (RFC 854, 855, 856, 2217), bytes in and
// bytes out: it never owns the socket, so it runs in tests on hand-made streams. Options the
// client does not know are refused; commands it does not know are dropped; a subnegotiation
// cut short by another command is abandoned, and an overlong one is ignored.
class Rfc2217Codec {
public:
    enum class ComPort { asked, agreed, refused };

    // The client's opening: the COM port option, binary both ways, no go-ahead.
    [[nodiscard]] std::string start();
    // Takes bytes from the server: the line's bytes go to `data`, answers to `reply`.
    void take(std::string_view in, std::string& data, std::string& reply);
    // The line's bytes for the server: every 0xFF doubled (and CR sent as CR NUL while the
    // server has not agreed to take binary).
    [[nodiscard]] std::string encode(std::string_view data) const;

    // 57600 8N1 without flow control as the opening commands; then DTR and RTS on.
    [[nodiscard]] static std::string line_settings(std::uint32_t baud);
    [[nodiscard]] static std::string set_baudrate(std::uint32_t baud);
    [[nodiscard]] static std::string control_lines_on();

    [[nodiscard]] ComPort com_port() const { return com_port_; }
    // Whether any Telnet command came: a server that sends none does not speak Telnet.
    [[nodiscard]] bool telnet_seen() const { return telnet_seen_; }
    // The value the server answered to a COM port command (e.g. the baud rate it set).
    [[nodiscard]] std::optional<std::uint32_t> answered(std::uint8_t command) const;
    // Drops the answer kept for `command`, so that the next one is told from an old one.
    void forget(std::uint8_t command);
    // Line bytes that came before any Telnet command.
    [[nodiscard]] std::size_t data_before_telnet() const { return data_before_telnet_; }

private:
    enum class State { data, iac, option, sb_option, sb, sb_iac, cr };
    static constexpr std::size_t k_max_sb = 32;

    // Whether each side does an option: ours (we WILL) and the server's (he WILL).
    struct Option {
        bool us = false;
        bool us_asked = false;
        bool him = false;
        bool him_asked = false;
    };

    void command(std::uint8_t verb, std::uint8_t option, std::string& reply);
    void on_do(std::uint8_t option, std::string& reply);
    void on_dont(std::uint8_t option, std::string& reply);
    void on_will(std::uint8_t option, std::string& reply);
    void on_wont(std::uint8_t option, std::string& reply);
    void subnegotiation();
    void data_byte(char c, std::string& data);
    [[nodiscard]] static bool ours_allowed(std::uint8_t option);
    [[nodiscard]] static bool his_allowed(std::uint8_t option);

    State state_ = State::data;
    std::uint8_t verb_ = 0;
    std::uint8_t sb_option_ = 0;
    std::string sb_;
    bool sb_overlong_ = false;
    std::array<Option, 256> options_{};
    ComPort com_port_ = ComPort::asked;
    bool telnet_seen_ = false;
    std::size_t data_before_telnet_ = 0;
    std::array<std::optional<std::uint32_t>, 16> answers_{};
};

} // namespace trx::net

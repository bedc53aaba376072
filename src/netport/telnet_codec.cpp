#include "netport/telnet_codec.hpp"

namespace trx::net {

using namespace telnet;

namespace {

constexpr char k_cr = '\r';

void put(std::string& out, std::uint8_t a, std::uint8_t b) {
    out.push_back(static_cast<char>(k_iac));
    out.push_back(static_cast<char>(a));
    out.push_back(static_cast<char>(b));
}

// One COM port command; 0xFF in its value doubled as everywhere in a subnegotiation.
std::string com_command(std::uint8_t command, std::string_view value) {
    std::string out{static_cast<char>(k_iac), static_cast<char>(k_sb),
                    static_cast<char>(k_com_port), static_cast<char>(command)};
    for (char c : value) {
        out.push_back(c);
        if (static_cast<std::uint8_t>(c) == k_iac) {
            out.push_back(c);
        }
    }
    out.push_back(static_cast<char>(k_iac));
    out.push_back(static_cast<char>(k_se));
    return out;
}

std::string one(std::uint8_t v) {
    return std::string(1, static_cast<char>(v));
}

} // namespace

std::string Rfc2217Codec::start() {
    std::string out;
    for (const std::uint8_t o : {k_com_port, k_binary, k_sga}) {
        options_[o].us_asked = true;
        put(out, k_will, o);
    }
    for (const std::uint8_t o : {k_binary, k_sga}) {
        options_[o].him_asked = true;
        put(out, k_do, o);
    }
    return out;
}

std::string Rfc2217Codec::set_baudrate(std::uint32_t baud) {
    const std::string value{static_cast<char>(baud >> 24U), static_cast<char>(baud >> 16U),
                            static_cast<char>(baud >> 8U), static_cast<char>(baud)};
    return com_command(k_set_baudrate, value);
}

std::string Rfc2217Codec::line_settings(std::uint32_t baud) {
    return set_baudrate(baud) + com_command(k_set_datasize, one(8)) +
           com_command(k_set_parity, one(k_parity_none)) +
           com_command(k_set_stopsize, one(k_stopsize_one)) +
           com_command(k_set_control, one(k_control_no_flow));
}

std::string Rfc2217Codec::control_lines_on() {
    return com_command(k_set_control, one(k_control_dtr_on)) +
           com_command(k_set_control, one(k_control_rts_on));
}

std::optional<std::uint32_t> Rfc2217Codec::answered(std::uint8_t command) const {
    return command < answers_.size() ? answers_[command] : std::nullopt;
}

void Rfc2217Codec::forget(std::uint8_t command) {
    if (command < answers_.size()) {
        answers_[command].reset();
    }
}

bool Rfc2217Codec::ours_allowed(std::uint8_t option) {
    return option == k_com_port || option == k_binary || option == k_sga;
}

bool Rfc2217Codec::his_allowed(std::uint8_t option) {
    return option == k_binary || option == k_sga || option == k_echo;
}

std::string Rfc2217Codec::encode(std::string_view data) const {
    const bool binary = options_[k_binary].us;
    std::string out;
    out.reserve(data.size() + data.size() / 64 + 8);
    for (char c : data) {
        out.push_back(c);
        if (static_cast<std::uint8_t>(c) == k_iac) {
            out.push_back(c);
        } else if (c == k_cr && !binary) {
            out.push_back('\0');
        }
    }
    return out;
}

void Rfc2217Codec::data_byte(char c, std::string& data) {
    if (!telnet_seen_) {
        ++data_before_telnet_;
    }
    data.push_back(c);
    state_ = c == k_cr && !options_[k_binary].him ? State::cr : State::data;
}

void Rfc2217Codec::take(std::string_view in, std::string& data, std::string& reply) {
    for (char c : in) {
        const auto b = static_cast<std::uint8_t>(c);
        switch (state_) {
        case State::cr:
            state_ = State::data;
            if (b == 0) {
                break; // the NUL a non-binary sender puts after CR
            }
            [[fallthrough]];
        case State::data:
            if (b == k_iac) {
                state_ = State::iac;
            } else {
                data_byte(c, data);
            }
            break;
        case State::iac:
            if (b == k_iac) {
                data_byte(c, data);
                break;
            }
            telnet_seen_ = true;
            if (b >= k_will) {
                verb_ = b;
                state_ = State::option;
            } else if (b == k_sb) {
                state_ = State::sb_option;
            } else {
                state_ = State::data; // NOP, GA, BRK, AYT, ...: nothing to do for a line
            }
            break;
        case State::option:
            state_ = State::data;
            command(verb_, b, reply);
            break;
        case State::sb_option:
            sb_option_ = b;
            sb_.clear();
            sb_overlong_ = false;
            state_ = State::sb;
            break;
        case State::sb:
            if (b == k_iac) {
                state_ = State::sb_iac;
            } else if (sb_.size() < k_max_sb) {
                sb_.push_back(c);
            } else {
                sb_overlong_ = true;
            }
            break;
        case State::sb_iac:
            if (b == k_iac) {
                state_ = State::sb;
                if (sb_.size() < k_max_sb) {
                    sb_.push_back(c);
                }
            } else if (b == k_se) {
                state_ = State::data;
                subnegotiation();
            } else {
                // Cut short by another command: the subnegotiation is dropped, the command
                // taken as it stands.
                state_ = State::iac;
                take(std::string_view(&c, 1), data, reply);
            }
            break;
        }
    }
}

void Rfc2217Codec::subnegotiation() {
    if (sb_option_ != k_com_port || sb_overlong_ || sb_.empty()) {
        return;
    }
    const std::size_t cmd = static_cast<std::uint8_t>(sb_[0]);
    if (cmd < k_server_offset || cmd - k_server_offset >= answers_.size()) {
        return; // notifications of line and modem state: nothing the link uses
    }
    std::uint32_t value = 0;
    for (std::size_t i = 1; i < sb_.size() && i <= 4; ++i) {
        value = (value << 8U) | static_cast<std::uint8_t>(sb_[i]);
    }
    answers_[cmd - k_server_offset] = value;
}

void Rfc2217Codec::command(std::uint8_t verb, std::uint8_t option, std::string& reply) {
    switch (verb) {
    case k_do:
        on_do(option, reply);
        break;
    case k_dont:
        on_dont(option, reply);
        break;
    case k_will:
        on_will(option, reply);
        break;
    default:
        on_wont(option, reply);
        break;
    }
}

// An answer goes out only when the state changes, so that two sides can never loop.
void Rfc2217Codec::on_do(std::uint8_t option, std::string& reply) {
    Option& o = options_[option];
    if (!ours_allowed(option)) {
        put(reply, k_wont, option);
        return;
    }
    if (option == k_com_port) {
        com_port_ = ComPort::agreed;
    }
    if (!o.us && !o.us_asked) {
        put(reply, k_will, option);
    }
    o.us = true;
    o.us_asked = false;
}

void Rfc2217Codec::on_dont(std::uint8_t option, std::string& reply) {
    Option& o = options_[option];
    if (option == k_com_port) {
        com_port_ = ComPort::refused;
    }
    if (o.us) {
        put(reply, k_wont, option);
    }
    o.us = false;
    o.us_asked = false;
}

void Rfc2217Codec::on_will(std::uint8_t option, std::string& reply) {
    Option& o = options_[option];
    if (!his_allowed(option)) {
        put(reply, k_dont, option);
        return;
    }
    if (!o.him && !o.him_asked) {
        put(reply, k_do, option);
    }
    o.him = true;
    o.him_asked = false;
}

void Rfc2217Codec::on_wont(std::uint8_t option, std::string& reply) {
    Option& o = options_[option];
    if (o.him) {
        put(reply, k_dont, option);
    }
    o.him = false;
    o.him_asked = false;
}

} // namespace trx::net

#pragma once

#include "link/para_frame.hpp"
#include "link/received_frame.hpp"
#include "link/status_decoder.hpp"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// One mirror turn as a script sees it: the status frame decoded with the rules of the live
// monitor, stripe 1 completed against the last stripe. Used for a live stream and for a
// recorded one alike.
namespace trx::service {

// What decoding a status frame needs besides the frame: the scanner type and M from the
// parameter set, and the resolution last shown (a frame whose field is 0 keeps it).
struct ScanContext {
    link::ScannerType type = link::ScannerType::unknown;
    std::optional<std::int32_t> max_modul;
    std::optional<std::int32_t> resolution;

    // The context of a "W" reply. M counts only when the reply holds it in range, as the
    // window shows "?" otherwise.
    static ScanContext from_reply(const link::ParaReply& reply);
};

struct Turn {
    std::int64_t t_ms = 0; // when its last byte arrived
    std::optional<std::int64_t> resolution;
    std::int32_t temperature = 0;
    std::int16_t status_word = 0;
    std::vector<link::Stripe> stripes; // stripe 1 carries its completed values

    [[nodiscard]] bool speed_ok() const { return (status_word & 1) != 0; }
    [[nodiscard]] bool temperature_low() const { return (status_word & 2) != 0; }
    [[nodiscard]] bool heater_active() const { return (status_word & 4) != 0; }
};

// "ZA", "YA" or "??", as the parameter set defines them.
using link::type_text;

// Decodes one "S" frame and remembers its resolution in the context. Fault as the status
// decoder: the frame is then not a turn.
Turn decode_turn(const link::ReceivedFrame& frame, ScanContext& context, std::int64_t t_ms);

} // namespace trx::service

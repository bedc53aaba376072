#pragma once

#include "link/para_set.hpp"
#include "link/receiver.hpp"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// Decoding of the status frame "S": header fields and the stripes of one mirror turn, with
// the derived end angle, gap, tag width and tag angle. Pure: it reads the frame and the
// context it is given and touches nothing else. The decoder goes stripe by stripe, so the
// caller can show each stripe before the next one is decoded; a Fault then leaves what was
// shown before it.
namespace trx::link {

inline constexpr std::string_view k_type_ya = type_text(ScannerType::ya);
inline constexpr int k_status_first_record = 11; // position of the first stripe record

// What the decoding reads outside the frame.
struct StatusContext {
    std::string_view type;                        // scanner type as shown in para.typ
    std::optional<std::int32_t> shown_resolution; // number main.inkremente shows; none yet
    std::optional<std::int32_t> max_modul;        // M from para.max_modul_angle_anz
};

struct StatusHeader {
    std::int32_t resolution_field = 0;      // 0..65535, the resolution minus one
    std::optional<std::int32_t> resolution; // R: field + 1, or the shown number for field 0
    std::int32_t temperature = 0;           // degrees Celsius
    std::int16_t status_word = 0;
};

// The fields of one stripe record as sent.
struct StripeRecord {
    std::int32_t start = 0;
    std::int32_t width = 0;
    std::int32_t code = 0; // 0 for every type but "YA"
};

// One stripe with its derived values, all in encoder increments. 64-bit so that no sum of
// fields and resolution can overflow.
struct Stripe {
    int k = 0; // 1-based, frame order
    StripeRecord record;
    std::int64_t end = 0;
    std::optional<std::int64_t> gap;
    std::optional<std::int64_t> tag_width;
    std::optional<std::int64_t> tag_angle; // present exactly when tag_width is
};

// Values of stripe 1 that wrap around the end of the turn, known after the last stripe.
struct FirstStripe {
    std::int32_t code = 0; // code(1)
    std::optional<std::int64_t> gap;
    std::optional<std::int64_t> tag_width; // present when code(1) is not 0
    std::optional<std::int64_t> tag_angle;
};

class StatusDecoder {
public:
    // Reads the header fields.
    StatusDecoder(const ReceivedFrame& frame, const StatusContext& context);

    [[nodiscard]] const StatusHeader& header() const { return header_; }
    [[nodiscard]] bool ya() const { return ya_; }
    // R. Fault when the frame sends none and none has been shown.
    [[nodiscard]] std::int64_t resolution() const;
    // 1-based number of the record read last; 0 before the first.
    [[nodiscard]] int index() const { return k_; }

    // Reads the next stripe record. Only a record that lies wholly in the payload is read:
    // one that would reach into the checksum digits or beyond ends the loop.
    std::optional<StripeRecord> next_record();
    // The derived values of the record just read. Fault when R has never been shown (at the
    // end angle) or, for "YA", M is not a number (at the gap).
    Stripe derive();
    // For "YA" with at least one stripe: gap, tag width and tag angle of stripe 1, computed
    // against the last stripe. Fault when M is not a number. None for other types.
    std::optional<FirstStripe> complete_first();

private:
    [[nodiscard]] bool gap_recorded(std::int64_t gap) const;

    ReceivedFrame frame_;
    StatusContext context_;
    StatusHeader header_;
    bool ya_ = false;
    int record_length_ = 8;
    int pos_ = k_status_first_record;
    int k_ = 0;
    StripeRecord current_;
    StripeRecord first_;
    std::int64_t first_end_ = 0;
    StripeRecord previous_;
    std::int64_t previous_end_ = 0;
};

// The whole frame decoded at once: header, stripes, and the completion of stripe 1.
struct StatusFrame {
    StatusHeader header;
    std::vector<Stripe> stripes;
    std::optional<FirstStripe> first;
};
StatusFrame decode_status(const ReceivedFrame& frame, const StatusContext& context);

// a / 2 rounded to the nearest whole number, halves to the even neighbour.
std::int64_t half_to_even(std::int64_t a);

} // namespace trx::link

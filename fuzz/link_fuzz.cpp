// Arbitrary bytes through the receive assembly and the frame decoders alone, without the
// program around them: each input on a fresh receiver, so a finding replays by itself. The
// status frame is decoded stripe by stripe in the context the last parameter reply left, as
// the live monitor does. fuzz_link.options keeps inputs to 640 bytes: room for a reply and a
// status frame of the full 500 characters, at a rate the byte loop can keep.
#include "link/para_frame.hpp"
#include "link/receiver.hpp"
#include "link/status_decoder.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace {

using namespace trx::link;

struct Context {
    std::string_view type;
    std::optional<std::int32_t> shown_resolution;
    std::optional<std::int32_t> max_modul;
};

void on_status(const ReceivedFrame& f, Context& c) {
    StatusDecoder dec(f, {c.type, c.shown_resolution, c.max_modul});
    c.shown_resolution = dec.header().resolution;
    while (dec.next_record()) {
        const Stripe s = dec.derive();
        // A tag angle comes with its tag width, never alone.
        if (s.tag_angle.has_value() != s.tag_width.has_value()) {
            std::abort();
        }
    }
    (void)dec.complete_first();
}

void on_reply(const ReceivedFrame& f, Context& c) {
    const ParaReply r = decode_para_reply(f.body());
    c.type = r.type == ScannerType::ya ? k_type_ya : std::string_view("ZA");
    c.max_modul =
        r.type == ScannerType::ya
            ? std::optional<std::int32_t>(static_cast<std::int32_t>(r.set.max_modul_angle))
            : std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Context c;
    Receiver r;
    r.on_status([&c](const ReceivedFrame& f) { on_status(f, c); }, [] { return true; });
    r.on_frame('W', [&c](const ReceivedFrame& f) { on_reply(f, c); });
    r.on_frame('L', [](const ReceivedFrame& f) { (void)decode_index_reply(f.body()); });
    r.port_event(k_ev_receive, std::string_view(reinterpret_cast<const char*>(data), size));
    // Each frame is judged once at most: one before the first STX, one after each STX.
    std::uint64_t stx = 0;
    for (std::size_t i = 0; i < size; ++i) {
        stx += data[i] == 0x02 ? 1U : 0U;
    }
    if (r.counters().good_frames + r.counters().bad_checksums > stx + 1) {
        std::abort();
    }
    return 0;
}

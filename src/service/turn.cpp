#include "service/turn.hpp"

#include "link/para_catalogue.hpp"

namespace trx::service {

ScanContext ScanContext::from_reply(const link::ParaReply& reply) {
    ScanContext c;
    c.type = reply.type;
    const link::ParaFieldDef& m = link::para_field(link::ParaField::max_modul_angle);
    const std::uint32_t v = link::field_value(reply.set, m);
    if (reply.has(m) && link::in_range(m, v)) {
        c.max_modul = static_cast<std::int32_t>(v);
    }
    return c;
}

Turn decode_turn(const link::ReceivedFrame& frame, ScanContext& context, std::int64_t t_ms) {
    const link::StatusContext status_context{link::type_text(context.type), context.resolution,
                                             context.max_modul};
    // The resolution is shown before the stripes are decoded, so a fault in a stripe keeps it.
    const std::optional<std::int32_t> r =
        link::StatusDecoder(frame, status_context).header().resolution;
    if (r) {
        context.resolution = r;
    }
    link::StatusFrame decoded = link::decode_status(frame, status_context);
    Turn turn;
    turn.t_ms = t_ms;
    turn.resolution = decoded.header.resolution;
    turn.temperature = decoded.header.temperature;
    turn.status_word = decoded.header.status_word;
    turn.stripes = std::move(decoded.stripes);
    if (decoded.first && !turn.stripes.empty()) {
        link::Stripe& first = turn.stripes.front();
        first.gap = decoded.first->gap;
        first.tag_width = decoded.first->tag_width;
        first.tag_angle = decoded.first->tag_angle;
    }
    return turn;
}

} // namespace trx::service

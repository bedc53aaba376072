#include "monitor/live_monitor.hpp"

#include "base/numtext.hpp"
#include "link/status_decoder.hpp"

#include <limits>

namespace trx::monitor {

namespace {

// The whole number a control shows, blanks around it allowed; none for any other text.
std::optional<std::int32_t> shown_number(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    const auto v = num::parse_whole(text);
    if (!v || *v > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*v);
}

} // namespace

LiveMonitor::LiveMonitor(const LiveMonitorControls& controls, Shared& shared,
                         link::Receiver& receiver)
    : inkremente_(controls.inkremente), temperature_(controls.temperature), para_(controls.para),
      typ_(controls.typ), max_modul_(controls.max_modul_angle_anz), shared_(shared),
      tables_(controls.data, controls.data2, controls.check1),
      picture_(controls.map, controls.check1) {
    receiver.on_status([this](const link::ReceivedFrame& f) { show(f); },
                       [this] { return decoding_allowed(); });
}

bool LiveMonitor::decoding_allowed() const {
    return !para_.shown() && shared_.parameters_received && shared_.parameter_set_valid;
}

void LiveMonitor::show_header(const link::StatusHeader& h) {
    if (h.resolution_field > 0) {
        inkremente_.set_caption(num::dec(h.resolution_field + 1));
    }
    temperature_.set_caption(num::dec(h.temperature));
    shared_.status_word = h.status_word;
}

// The redraw goes along with the decoding: a Fault from the decoder leaves the cells and
// rays of the stripes before it, and the receiver switches grid drawing back on.
void LiveMonitor::show(const link::ReceivedFrame& frame) {
    const link::StatusContext context{typ_.caption(), shown_number(inkremente_.caption()),
                                      shown_number(max_modul_.text())};
    link::StatusDecoder decoder(frame, context);
    show_header(decoder.header());
    frame_shown.raise();
    turn_.stripes.clear();
    tables_.begin();
    picture_.clear();
    // The rows of the last scan make room for this one's: no growing at every turn.
    if (scan_) {
        scan_->rows.clear();
    } else {
        scan_.emplace();
    }
    while (const auto record = decoder.next_record()) {
        tables_.show_edge(decoder.index(), record->start);
        // The edge is in the tables before its stripe is derived; a fault in between leaves
        // the row with its start only, as the tables show it.
        ScanRow& row = scan_->rows.emplace_back();
        row.start = record->start;
        const link::Stripe s = decoder.derive();
        tables_.show_stripe(s);
        row = {s.record.start, s.end,       s.record.width, s.gap,
               s.tag_width,    s.tag_angle, s.record.code};
        turn_.stripes.push_back(s);
        picture_.stripe_ray(s.record.start, decoder.resolution());
        if (s.record.code != 0) {
            picture_.tag_ray(s.tag_angle, decoder.resolution());
        }
    }
    if (const auto first = decoder.complete_first()) {
        link::Stripe& one = turn_.stripes.front();
        one.gap = first->gap;
        one.tag_width = first->tag_width;
        one.tag_angle = first->tag_angle;
        tables_.complete_first(*first);
        complete_first_row(*first);
        if (first->code != 0) {
            picture_.tag_ray(first->tag_angle, decoder.resolution());
        }
    }
    tables_.end(decoder.ya());
    const link::StatusHeader& h = decoder.header();
    turn_.resolution = h.resolution;
    turn_.temperature = h.temperature;
    turn_.status_word = h.status_word;
    turn_shown.raise(turn_);
}

// Stripe 1's values that wrap around the end of the turn, as the tables show them: the gap
// always, the tag width and angle only for a coded stripe.
void LiveMonitor::complete_first_row(const link::FirstStripe& f) {
    ScanRow& first = scan_->rows.front();
    first.gap = f.gap;
    if (f.code != 0) {
        first.tag_width = f.tag_width;
        first.tag_angle = f.tag_width ? f.tag_angle : std::nullopt;
    }
}

} // namespace trx::monitor

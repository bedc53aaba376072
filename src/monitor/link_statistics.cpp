#include "monitor/link_statistics.hpp"

#include "base/numtext.hpp"

namespace trx::monitor {

namespace {

// "1 bad checksum", "2 bad checksums".
std::string count(std::uint64_t n, std::string_view what) {
    std::string s = num::dec(static_cast<std::int64_t>(n)) + " " + std::string(what);
    if (n != 1) {
        s += "s";
    }
    return s;
}

} // namespace

LinkStatistics::LinkStatistics(ui::StatusBar& bar, std::size_t panel, ui::Timer& timer,
                               link::Receiver& receiver)
    : bar_(bar), panel_(panel), timer_(timer), receiver_(receiver) {
    timer_.set_interval(k_interval_ms);
    connections_ += timer_.tick.connect([this] { on_tick(); });
}

void LinkStatistics::port_opened() {
    receiver_.reset_counters();
    good_at_tick_ = 0;
    show(0);
    // A fresh interval from now: the first figure covers exactly the first second.
    timer_.set_timer_enabled(false);
    timer_.set_timer_enabled(true);
}

void LinkStatistics::on_tick() {
    const std::uint64_t good = receiver_.counters().good_frames;
    show(good - good_at_tick_);
    good_at_tick_ = good;
}

void LinkStatistics::show(std::uint64_t frames_per_second) {
    const link::ReceiveCounters& c = receiver_.counters();
    bar_.set_panel(panel_, panel_text(frames_per_second, c));
    bar_.set_panel_tooltip(panel_, tooltip(c));
}

std::string LinkStatistics::panel_text(std::uint64_t frames_per_second,
                                       const link::ReceiveCounters& c) {
    return num::dec(static_cast<std::int64_t>(frames_per_second)) + " fr/s  " +
           num::dec(static_cast<std::int64_t>(c.bad_frames())) + " bad";
}

std::string LinkStatistics::tooltip(const link::ReceiveCounters& c) {
    std::string t = "Since the port was opened:\n";
    t += count(c.good_frames, "good frame") + "\n";
    t += count(c.bad_checksums, "bad checksum") + "\n";
    t += count(c.overlong_frames, "overlong frame") + "\n";
    t += count(c.faults, "decoding fault") + "\n";
    t += "Last fault: " + (c.last_fault.empty() ? std::string("none") : c.last_fault);
    return t;
}

} // namespace trx::monitor

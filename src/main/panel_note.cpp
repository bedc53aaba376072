#include "main/panel_note.hpp"

#include "base/numtext.hpp"
#include "capture/format.hpp"

namespace trx::main {

PanelNote::PanelNote(ui::StatusBar& bar, std::size_t panel, Recording& recording)
    : bar_(bar), panel_(panel), recording_(recording) {
    refresh();
}

std::string PanelNote::rec_text(std::uint64_t bytes) {
    constexpr std::uint64_t k_kilo = 1000;
    if (bytes < k_kilo) {
        return "REC " + num::dec(static_cast<std::int64_t>(bytes)) + " B";
    }
    if (bytes < k_kilo * k_kilo) {
        return "REC " + num::dec(static_cast<std::int64_t>(bytes / k_kilo)) + " kB";
    }
    const std::uint64_t tenths = bytes / (k_kilo * k_kilo / 10);
    return "REC " + num::dec(static_cast<std::int64_t>(tenths / 10)) + "." +
           num::dec(static_cast<std::int64_t>(tenths % 10)) + " MB";
}

void PanelNote::refresh() {
    // Whatever the statistics wrote since is the new base; our own text is not.
    if (bar_.panel(panel_) != shown_text_) {
        base_text_ = bar_.panel(panel_);
    }
    if (bar_.panel_tooltip(panel_) != shown_tip_) {
        base_tip_ = bar_.panel_tooltip(panel_);
    }
    shown_text_ = base_text_;
    if (recording_.recording()) {
        const capture::RecordingCounts& n = recording_.recorder().counts();
        const std::uint64_t bytes =
            capture::k_magic.size() +
            (n.records + 1) * (capture::k_record_head + capture::k_record_tail) + n.received +
            n.sent;
        shown_text_ += (shown_text_.empty() ? "" : "  ") + rec_text(bytes);
    }
    shown_tip_ = base_tip_.empty() ? std::string(k_click_hint)
                                   : base_tip_ + "\n\n" + std::string(k_click_hint);
    bar_.set_panel(panel_, shown_text_);
    bar_.set_panel_tooltip(panel_, shown_tip_);
}

} // namespace trx::main

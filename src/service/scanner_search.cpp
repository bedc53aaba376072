#include "service/scanner_search.hpp"

#include "base/numtext.hpp"
#include "base/port_names.hpp"
#include "link/receiver.hpp"

#include <cstdint>
#include <memory>

namespace trx::service {

namespace {

// Bytes of one port run through the same receive assembly as the live link: only a frame
// whose checksum holds counts, and only a status frame says "scanner".
class Ear {
public:
    Ear() : receiver_(link::ReceiveEvents{}) {
        receiver_.on_status([this](const link::ReceivedFrame&) { status_ = true; },
                            [] { return true; });
    }
    void hear(std::string_view bytes) { receiver_.port_event(link::k_ev_receive, bytes); }
    [[nodiscard]] bool status_heard() const { return status_; }

    [[nodiscard]] std::string why(std::chrono::milliseconds at_most) const {
        if (status_) {
            return "a status frame with a good checksum";
        }
        const auto& c = receiver_.counters();
        const std::string within = " within " + seconds(at_most);
        if (c.bytes == 0) {
            return "nothing received" + within;
        }
        std::string what =
            num::dec(static_cast<std::int64_t>(c.bytes)) + (c.bytes == 1 ? " byte" : " bytes");
        if (c.good_frames > 0) {
            return what + " with frames but no status frame" + within;
        }
        if (c.bad_frames() > 0) {
            return what + ", " + num::dec(static_cast<std::int64_t>(c.bad_frames())) +
                   (c.bad_frames() == 1 ? " frame" : " frames") +
                   " with a bad checksum, none good" + within;
        }
        return what + ", no frame" + within;
    }

private:
    static std::string seconds(std::chrono::milliseconds ms) {
        if (ms.count() % 1000 == 0) {
            return num::dec(ms.count() / 1000) + " s";
        }
        return num::dec(ms.count()) + " ms";
    }

    link::Receiver receiver_;
    bool status_ = false;
};

} // namespace

std::vector<SearchCandidate> SearchOutcome::found() const {
    std::vector<SearchCandidate> out;
    for (const auto& v : tried) {
        if (v.scanner) {
            out.push_back(v.port);
        }
    }
    return out;
}

std::string SearchOutcome::tried_lines() const {
    std::string text;
    for (const auto& v : tried) {
        text += text.empty() ? "  " : "\n  ";
        text += v.port.name;
        if (v.port.name != v.port.device) {
            text += " (" + v.port.device + ")";
        }
        text += ": " + v.why;
    }
    return text;
}

std::vector<SearchCandidate> search_candidates(const ui::SerialDevices& devices) {
    std::vector<SearchCandidate> out;
    for (int n = 1; n <= 10; ++n) {
        const std::string name = "COM" + num::dec(n);
        const std::string device = device_for_port_name(name);
        if (devices.present(device)) {
            out.push_back({name, device, {}});
        }
    }
    for (const auto& d : devices.list()) {
        out.push_back({d.path, d.path, d.by_id});
    }
    return out;
}

SearchOutcome search_scanner(const std::vector<SearchCandidate>& candidates,
                             ui::PortListener& listener, std::chrono::milliseconds at_most) {
    std::vector<std::string> devices;
    std::vector<std::unique_ptr<Ear>> ears;
    for (const auto& c : candidates) {
        devices.push_back(c.device);
        ears.push_back(std::make_unique<Ear>());
    }
    const auto passed_over =
        listener.listen(devices, at_most, [&](std::size_t i, std::string_view bytes) {
            if (i >= ears.size()) {
                return true;
            }
            ears[i]->hear(bytes);
            return ears[i]->status_heard();
        });
    SearchOutcome outcome;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const std::string refused = i < passed_over.size() ? passed_over[i] : std::string();
        if (!refused.empty()) {
            outcome.tried.push_back({candidates[i], false, refused});
            continue;
        }
        outcome.tried.push_back({candidates[i], ears[i]->status_heard(), ears[i]->why(at_most)});
    }
    return outcome;
}

} // namespace trx::service

#pragma once

#include "capture/recent_ring.hpp"
#include "capture/writer.hpp"
#include "main/program_port.hpp"
#include "ui/services.hpp"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace trx::main {

// Creates the file a capture goes to; nullptr and the reason when it cannot.
using OpenCapture =
    std::function<std::unique_ptr<capture::Sink>(const std::filesystem::path&, std::error_code&)>;

// The wire recorder of the program: the last ten minutes always in memory, and on demand a
// recording to a file that grows as it goes. The user-interface thread never waits for the
// disk while recording; a recording that fails ends with a box, and the link goes on.
class Recording final : public ui::WireTap {
public:
    struct Services {
        ui::Clock& clock;
        ui::Dialogs& dialogs;
        ui::Files& files;
        const ui::SerialPort& port;
        OpenCapture open_capture; // null: files on the local disk
        Log* log = nullptr;       // hears a recording that ended by itself; silent when null
    };
    static constexpr const char* k_title = "Recording";

    explicit Recording(Services services);
    ~Recording() override;
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;
    Recording(Recording&&) = delete;
    Recording& operator=(Recording&&) = delete;

    // Asks where, then writes the last ten minutes there on a thread of its own; a box when
    // that fails (at once, or at the check() after).
    void save_recent();
    // Asks where, then records to that file as the wire goes; a box when it cannot start.
    void start();
    void stop();
    [[nodiscard]] bool recording() const { return writer_ != nullptr; }

    // Reports a recording that ended by itself (disk full, too slow); runs on a timer tick,
    // never inside the receive path.
    void check();
    // Waits until the writer has written what was queued and every save of the last ten
    // minutes is done (for tests and for stop).
    void settle();
    [[nodiscard]] const capture::RecentRing& ring() const { return ring_; }
    // The most bytes the ring gathers before a recording takes them to the writer; at the
    // latest the next timer tick hands them over. A batch larger than that goes to the
    // writer at once.
    static constexpr std::size_t k_stage_bytes = 8U << 10;
    [[nodiscard]] std::uint64_t now_us() const;

    void received(std::string_view bytes) override { add(capture::Kind::received, bytes); }
    void sent(std::string_view bytes) override { add(capture::Kind::sent, bytes); }
    void write_refused(std::string_view bytes) override {
        add(capture::Kind::write_refused, bytes);
    }
    void opened(const std::string& name) override { add(capture::Kind::opened, name); }
    void closed() override { add(capture::Kind::closed, {}); }
    void lost(const std::string& why) override { add(capture::Kind::lost, why); }

private:
    void add(capture::Kind kind, std::string_view data);
    void hand_over();
    std::string ask_file(const char* title);
    std::unique_ptr<capture::Sink> create(const std::filesystem::path& p, std::error_code& ec);
    [[nodiscard]] capture::Header header() const;
    void end_failed();
    void save_failed(const std::string& path, const std::error_code& ec);
    void end_saves(bool wait);

    struct Save {
        std::unique_ptr<capture::Writer> writer;
        std::string path;
    };

    Services s_;
    std::chrono::microseconds origin_;
    capture::RecentRing ring_;
    std::unique_ptr<capture::Writer> writer_;
    // A recording takes its records from the ring, as they are stored there, a block at a
    // time: the receive path writes each batch once and takes the writer's lock once per
    // block instead of once per batch. handed_ is where the writer's part ends.
    capture::RecentRing::Mark handed_;
    std::size_t unhanded_ = 0; // bytes of the ring after handed_
    std::filesystem::path live_file_;
    std::vector<Save> saves_; // the last ten minutes on their way to a file
};

} // namespace trx::main

#pragma once

#include "capture/recent_ring.hpp"
#include "capture/reply_watch.hpp"
#include "capture/tapped_port.hpp"
#include "capture/writer.hpp"
#include "ui/services.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace trx::capture {

// What a recording holds so far.
struct RecordingCounts {
    std::uint64_t records = 0; // after the header
    std::uint64_t received = 0;
    std::uint64_t sent = 0;
};

// A save of the last ten minutes that could not be written: where to, and the system's reason.
struct FailedSave {
    std::string path;
    std::error_code error;
};

// The wire recorder of both fronts: the last ten minutes always in memory, and on demand a
// recording to a file that grows as it goes. The thread that feeds the tap never waits for the
// disk; a recording that fails ends, keeps what was written, and the link goes on. Nothing here
// tells the user: the window shows a box, the command line a line and an exit status.
class Recorder final : public WireTap {
public:
    // program: the program and its version, for the capture's header ("trx81500 1.09").
    Recorder(const ui::Clock& clock, std::string program);
    ~Recorder() override;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;
    Recorder(Recorder&&) = delete;
    Recorder& operator=(Recorder&&) = delete;

    // Records to file as the wire goes, from now; its header names port_name, and it begins
    // with an "opened" record when the port is open already. Ends a recording running before.
    void start(std::unique_ptr<Sink> file, const std::string& port_name, bool port_open);
    // Puts the recording's file in place once its header is written: before, an earlier file
    // of that name stays as it was. The reason when the header could not be written or the
    // file not put in place.
    std::error_code publish();
    // Writes everything, syncs and ends the recording: why it failed, empty when it did not.
    // A recording never put in place leaves no file.
    std::string stop();
    [[nodiscard]] bool recording() const { return writer_ != nullptr; }
    [[nodiscard]] const RecordingCounts& counts() const { return counts_; }
    // Time since the recording started.
    [[nodiscard]] std::uint64_t elapsed_us() const { return now_us() - start_us_; }

    // Writes the last ten minutes to file on a thread of its own and puts it in place once it
    // is whole: a save that fails leaves an earlier file of that name as it was. path names it
    // in a failure.
    void save_recent(std::unique_ptr<Sink> file, const std::string& port_name, std::string path);

    // Hands what has gathered to the writer. A recording that failed (disk full, too slow) ends
    // here: its reason is returned, empty while it runs well. Runs outside the receive path,
    // at a timer tick or a pause of a script.
    std::string check();
    // The saves of the last ten minutes that failed since the last call; with wait, waits for
    // every save still on its way.
    std::vector<FailedSave> finished_saves(bool wait);
    // Waits until the writer has written what was queued and every save is done.
    void settle();

    [[nodiscard]] const RecentRing& ring() const { return ring_; }
    // The most bytes the ring gathers before a recording takes them to the writer; at the
    // latest the next check() hands them over. A batch larger than that goes to the writer at
    // once.
    static constexpr std::size_t k_stage_bytes = 8U << 10;
    [[nodiscard]] std::uint64_t now_us() const;

    void received(std::string_view bytes) override;
    void sent(std::string_view bytes) override;
    void write_refused(std::string_view bytes) override { add(Kind::write_refused, bytes); }
    void opened(const std::string& name) override {
        replies_.clear();
        add(Kind::opened, name);
    }
    void closed() override { add(Kind::closed, {}); }
    void lost(const std::string& why) override { add(Kind::lost, why); }

private:
    void add(Kind kind, std::string_view data);
    void hand_over();
    [[nodiscard]] Header header(const std::string& port_name) const;

    struct Save {
        std::unique_ptr<Writer> writer;
        std::string path;
    };

    const ui::Clock& clock_;
    std::string program_;
    std::chrono::microseconds origin_;
    RecentRing ring_;
    std::unique_ptr<Writer> writer_;
    std::uint64_t start_us_ = 0;
    RecordingCounts counts_;
    // A recording takes its records from the ring, as they are stored there, a block at a
    // time: the receive path writes each batch once and takes the writer's lock once per
    // block instead of once per batch. handed_ is where the writer's part ends.
    RecentRing::Mark handed_;
    std::size_t unhanded_ = 0; // bytes of the ring after handed_
    std::vector<Save> saves_;  // the last ten minutes on their way to a file
    // The last "W" reply on this connection: every capture starts with it.
    ReplyWatch replies_;
};

} // namespace trx::capture

#pragma once

#include "base/result.hpp"
#include "history/entry.hpp"
#include "link/para_frame.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace trx::history {

// Who records: the station (its host name, or the name the settings give), the login name
// and the program with its version.
struct Origin {
    std::string station;
    std::string user;
    std::string program;
};

// A firmware update, verify or read-back as its entry keeps it.
struct UpdateRecord {
    Kind kind = Kind::update;
    std::optional<std::uint32_t> serial; // the scanner's, when it was read before
    std::string image;                   // the hex file's path
    std::optional<std::uint32_t> image_crc;
    std::int64_t image_bytes = 0;
    std::string identity; // the image's identity as its check found it; empty for a read-back
    std::string target;   // the controller's name the loader gave
    std::int64_t line_baud = 57600; // the line's rate the transfer ended at
    std::optional<int> sectors_skipped;
    double duration_s = 0.0;
    std::optional<Error> failed; // none: it worked
    std::string failed_step;
};

// The uid of a backup's entry: the same for the file whoever records it.
std::string backup_uid(const std::string& station, const std::string& path);

// Makes the entries of the operations, stamped with the origin and the time, and posts them
// (to a HistoryQueue): the one place both fronts' operations are turned into history.
class Recorder {
public:
    using Now = std::function<std::chrono::system_clock::time_point()>;
    using Post = std::function<void(Entry)>;

    Recorder(Origin origin, Now now, Post post)
        : origin_(std::move(origin)), now_(std::move(now)), post_(std::move(post)) {}

    // The first "W" reply on a connection.
    void seen(const link::ParaReply& reply, std::optional<std::uint16_t> index);
    void read(const link::ParaReply& reply);
    // before: the set as the scanner last reported it; after: the set sent.
    void store(link::ScannerType type, const link::ParaSet& before, const link::ParaSet& after,
               const std::optional<Error>& failed);
    void index(std::optional<std::uint32_t> serial, std::uint16_t index,
               const std::optional<Error>& failed);
    void backup(link::ScannerType type, const link::ParaSet& set, const std::string& path,
                const std::string& reason);
    // kind: file_save or file_load.
    void file(Kind kind, link::ScannerType type, const link::ParaSet& set, const std::string& path,
              const std::optional<Error>& failed);
    void update(const UpdateRecord& record);
    // An entry made elsewhere (a backup taken in afterwards), with the origin filled in when
    // it has none.
    void add(Entry entry);

private:
    Entry make(Kind kind, std::optional<std::uint32_t> serial, const std::optional<Error>& failed,
               nlohmann::json details = nlohmann::json::object()) const;

    Origin origin_;
    Now now_;
    Post post_;
};

} // namespace trx::history

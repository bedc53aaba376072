#include "history/recorder.hpp"

#include <cstdio>

namespace trx::history {

std::string backup_uid(const std::string& station, const std::string& path) {
    return "backup:" + station + ":" + path;
}

Entry Recorder::make(Kind kind, std::optional<std::uint32_t> serial,
                     const std::optional<Error>& failed, nlohmann::json details) const {
    Entry e;
    e.uid = new_uid();
    e.time = iso_time(now_());
    e.station = origin_.station;
    e.user = origin_.user;
    e.program = origin_.program;
    e.serial = serial;
    e.kind = kind;
    e.ok = !failed;
    e.details = std::move(details);
    if (failed) {
        e.details["reason"] = failed->message;
    }
    return e;
}

void Recorder::seen(const link::ParaReply& reply, std::optional<std::uint16_t> index) {
    nlohmann::json d;
    d["type"] = std::string(link::type_text(reply.type));
    char version[16];
    std::snprintf(version, sizeof version, "%u.%02u", reply.set.version / 100,
                  reply.set.version % 100);
    d["version"] = version;
    d["index"] = index ? nlohmann::json(*index) : nlohmann::json(nullptr);
    post_(make(Kind::seen, reply.set.serial_number, std::nullopt, std::move(d)));
}

void Recorder::read(const link::ParaReply& reply) {
    nlohmann::json d;
    d["set"] = set_json(reply.type, reply.set);
    const bool known = reply.type != link::ScannerType::unknown;
    post_(make(Kind::read, reply.set.serial_number,
               known ? std::nullopt : std::optional<Error>(Error{ErrorKind::device, "type ??"}),
               std::move(d)));
}

void Recorder::store(link::ScannerType type, const link::ParaSet& before,
                     const link::ParaSet& after, const std::optional<Error>& failed) {
    nlohmann::json d;
    d["before"] = set_json(type, before);
    d["after"] = set_json(type, after);
    d["acknowledged"] = !failed;
    post_(make(Kind::store, before.serial_number, failed, std::move(d)));
}

void Recorder::index(std::optional<std::uint32_t> serial, std::uint16_t index,
                     const std::optional<Error>& failed) {
    nlohmann::json d;
    d["index"] = index;
    post_(make(Kind::index, serial, failed, std::move(d)));
}

void Recorder::backup(link::ScannerType type, const link::ParaSet& set, const std::string& path,
                      const std::string& reason) {
    nlohmann::json d;
    d["path"] = path;
    d["reason"] = reason;
    d["set"] = set_json(type, set);
    Entry e = make(Kind::backup, set.serial_number, std::nullopt, std::move(d));
    // The file's own uid: the first start's taking in of the backups folder may find the same
    // file, and it is stored once.
    e.uid = backup_uid(origin_.station, path);
    post_(std::move(e));
}

void Recorder::file(Kind kind, link::ScannerType type, const link::ParaSet& set,
                    const std::string& path, const std::optional<Error>& failed) {
    nlohmann::json d;
    d["path"] = path;
    d["set"] = set_json(type, set);
    post_(make(kind, set.serial_number, failed, std::move(d)));
}

void Recorder::update(const UpdateRecord& r) {
    nlohmann::json d;
    d["image"] = r.image;
    if (r.image_crc) {
        char crc[11];
        std::snprintf(crc, sizeof crc, "0x%08X", *r.image_crc);
        d["image_crc"] = crc;
    }
    d["image_bytes"] = r.image_bytes;
    if (!r.identity.empty()) {
        d["identity"] = r.identity;
    }
    d["target"] = r.target;
    d["line_baud"] = r.line_baud;
    if (r.sectors_skipped) {
        d["sectors_skipped"] = *r.sectors_skipped;
    }
    d["duration_s"] = r.duration_s;
    d["rate_bytes_s"] = r.duration_s > 0 ? static_cast<double>(r.image_bytes) / r.duration_s : 0;
    if (!r.failed_step.empty()) {
        d["failed_step"] = r.failed_step;
    }
    post_(make(r.kind, r.serial, r.failed, std::move(d)));
}

void Recorder::add(Entry entry) {
    if (entry.uid.empty()) {
        entry.uid = new_uid();
    }
    if (entry.station.empty()) {
        entry.station = origin_.station;
        entry.user = origin_.user;
        entry.program = origin_.program;
    }
    post_(std::move(entry));
}

} // namespace trx::history

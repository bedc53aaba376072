#pragma once

// A temporary folder per test and entries to fill a history with.
#include "history/entry.hpp"
#include "history/recorder.hpp"
#include "tests/sample_para_set.hpp"
#include "tests/temp_path.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace trx::history::test {

namespace fs = std::filesystem;

class TempFolder : public trx::test::TempFolder {
public:
    TempFolder() : trx::test::TempFolder("trx-history-") {}
};

inline link::ParaSet ya_set(std::uint32_t serial) {
    return trx::test::sample_para_set(serial);
}

// A recorder whose entries land in `into`, at a fixed time.
inline Recorder collecting(std::vector<Entry>& into, const std::string& station = "st1") {
    return Recorder(
        {station, "tech", "trx81500 1.09"},
        [] { return std::chrono::system_clock::time_point{} + std::chrono::hours(1); },
        [&into](Entry e) { into.push_back(std::move(e)); });
}

// One entry of every kind, each for its own serial number.
inline std::vector<Entry> every_kind() {
    std::vector<Entry> out;
    Recorder r = collecting(out);
    link::ParaReply reply{link::ScannerType::ya, ya_set(1001), 6};
    r.seen(reply, 300);
    r.read(reply);
    link::ParaSet after = reply.set;
    after.speed = 180;
    r.store(link::ScannerType::ya, reply.set, after,
            Error{ErrorKind::not_acknowledged, "no \"P\""});
    r.index(1001, 42, std::nullopt);
    r.backup(link::ScannerType::ya, reply.set, "/b/1001/x-before-store.trxp", "before_store");
    for (const Kind k : {Kind::update, Kind::verify, Kind::read_back}) {
        UpdateRecord u;
        u.kind = k;
        u.serial = 1001;
        u.image = "/img/fw.h86";
        u.image_crc = 0xCBF43926;
        u.image_bytes = 4096;
        u.duration_s = 2.0;
        if (k == Kind::read_back) {
            u.failed = Error{ErrorKind::flash, "CRC differs"};
            u.failed_step = "program_flash";
        }
        r.update(u);
    }
    r.file(Kind::file_save, link::ScannerType::ya, reply.set, "/f/a.trxp", std::nullopt);
    r.file(Kind::file_load, link::ScannerType::ya, reply.set, "/f/a.trxp", std::nullopt);
    return out;
}

} // namespace trx::history::test

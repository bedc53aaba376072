#pragma once

#include "testkit/status_frames.hpp"

// The largest scans a status frame carries: 60 "ZA" records or 48 coded "YA" records,
// spread over one turn of 8192 increments.
inline trx::testkit::StatusShape full_scan(bool ya) {
    trx::testkit::StatusShape s;
    s.ya = ya;
    const std::uint32_t n = ya ? 48 : 60;
    for (std::uint32_t i = 0; i < n; ++i) {
        s.stripes.push_back({i * (8192 / n), 40 + i % 7, ya ? 1 + i % 200 : 0});
    }
    return s;
}

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The last ten minutes of the per-turn figures, one point a second: turn rate, temperature,
// stripes per turn and, for every code, in how many of that second's turns it was read. A
// fixed ring of seconds, so a day of turns takes no more memory than ten minutes.
namespace trx::service {

struct TrendPoint {
    std::int64_t second = 0; // t_ms / 1000 of the turns it holds
    std::optional<double> turn_rate;
    double temperature = 0;
    double stripes = 0;
    double read_rate = 0; // of the code asked for, 0 to 1
};

class TrendSeries {
public:
    static constexpr int k_seconds = 600;

    void clear();
    // A turn at t_ms; a time before the newest point starts the series afresh.
    void add_turn(std::int64_t t_ms, std::optional<double> turn_rate, std::int32_t temperature,
                  std::int32_t stripes);
    // A code read in the turn added last (once per turn and code).
    void add_code(int code);

    // Oldest first, only seconds that had turns, within the ten minutes up to the newest.
    [[nodiscard]] std::vector<TrendPoint> points(int code) const;

private:
    struct Bin {
        std::int64_t second = -1; // -1: empty
        int turns = 0;
        int rated = 0;
        double rate_sum = 0;
        std::int64_t temperature_sum = 0;
        std::int64_t stripes_sum = 0;
        std::array<std::uint16_t, 256> seen{};
    };

    std::vector<Bin> bins_ = std::vector<Bin>(k_seconds);
    std::int64_t newest_ = -1;
    Bin* current_ = nullptr;
};

} // namespace trx::service

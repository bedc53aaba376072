#pragma once

#include "link/para_set.hpp"
#include "service/trend_series.hpp"
#include "service/turn.hpp"

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

// How well each tag reads over the last N turns: read rate, angle and width with their
// spread, per code; turn rate, temperature and stripes per turn; events when a tag is lost,
// new, read too seldom or wanders. Fed by decoded turns and their arrival times only, so a
// live link, a replayed capture and a test's hand-made turns give the same figures. Memory
// is bounded by N and the 255 codes, however long it runs.
namespace trx::service {

inline constexpr std::array<int, 4> k_window_choices{50, 100, 500, 1000};

struct StatisticsSettings {
    int window = 100;             // N: turns the figures cover
    int lost_after = 10;          // M: turns without a known code before it counts as lost
    double rate_threshold = 0.95; // a read rate below this is an event (and red in the window)
    double angle_sd_deg = 0.1;    // an angle deviation above this is an event
};

// Smallest, largest and mean value over the window; `any` false when there was none.
struct Spread {
    double min = 0;
    double max = 0;
    double mean = 0;
    bool any = false;
};

// One code's figures; angles and widths in encoder increments.
struct TagFigures {
    int code = 0;
    int seen = 0;          // turns of the window in which it was read
    int duplicates = 0;    // turns in which it was read more than once
    double read_rate = 0;  // seen / turns of the window, 0 to 1
    double angle_mean = 0; // on the circle: 0 to below the resolution
    double angle_sd = 0;
    double width_mean = 0;
    double width_sd = 0;
    std::int64_t last_seen = 0; // turn number, counted from the (re)start; 0: not since
    bool low_rate = false;      // read rate under the threshold
    bool wandering = false;     // angle deviation over the threshold
};

enum class EventKind { new_code, lost, low_rate, wandering, restarted };

struct StatisticsEvent {
    EventKind kind = EventKind::new_code;
    std::int64_t turn = 0; // turn number at which it happened
    std::int64_t t_ms = 0;
    int code = 0; // 0 for a restart
    std::string text;
};

struct StatisticsSummary {
    int window = 0;               // N
    std::int64_t turns = 0;       // turns the figures cover: N, or fewer so far
    bool partial = false;         // fewer turns than N so far: rates over the turns seen
    std::int64_t total_turns = 0; // since the (re)start
    std::optional<std::int64_t> resolution;
    Spread turn_rate; // turns per second, from the frames' arrival times
    Spread temperature;
    Spread stripes_per_turn;
    std::array<double, 3> status_share{}; // share of turns with speed OK, temp. low, heater on
    std::vector<TagFigures> tags;         // by code
    std::string no_tags;                  // why `tags` is empty; empty when it is not
    std::string restarted;                // why the figures restarted last; empty: never
    double angle_sd_limit = 0;            // the deviation threshold in increments; 0: no R yet
};

class ScanStatistics {
public:
    static constexpr std::size_t k_kept_events = 200;
    // The window's own choices end at 1000; a script may ask for a whole capture's turns.
    static constexpr int k_largest_window = 100'000;

    explicit ScanStatistics(StatisticsSettings settings = {});

    [[nodiscard]] const StatisticsSettings& settings() const { return settings_; }
    // A new N, clamped to 1 .. k_largest_window turns; the figures restart.
    void set_window(int turns);
    // The scanner type, so that an empty table can say why.
    void set_type(link::ScannerType type) { type_ = type; }
    // Starts afresh; a non-empty reason becomes a restart event.
    void reset(const std::string& why = {});

    void add(const Turn& turn);

    [[nodiscard]] StatisticsSummary summary() const;
    [[nodiscard]] const TrendSeries& trend() const { return trend_; }
    // The newest last; at most k_kept_events.
    [[nodiscard]] const std::deque<StatisticsEvent>& events() const { return events_; }
    // Every event since the start, kept or not: tells a viewer whether there is news.
    [[nodiscard]] std::uint64_t event_count() const { return event_count_; }

private:
    struct Reading {
        std::uint8_t code = 0;
        bool duplicate = false;
        bool measured = false;  // has a tag angle and width
        std::int32_t angle = 0; // 0 .. R-1
        std::int64_t width = 0;
    };
    struct Slot {
        std::int64_t t_ms = 0;
        std::optional<double> rate; // turns per second since the turn before
        std::int32_t temperature = 0;
        std::int32_t stripes = 0;
        std::int16_t status_word = 0;
        std::vector<Reading> readings; // one per code read, the first of a duplicate
    };
    struct CodeSums {
        bool known = false; // read at least once since the (re)start
        int seen = 0;
        int duplicates = 0;
        int measured = 0;
        std::int32_t reference = 0; // angles are summed as offsets from it
        std::int64_t sum_d = 0;
        std::int64_t sum_d2 = 0;
        std::int64_t sum_w = 0;
        std::int64_t sum_w2 = 0;
        std::int64_t last_seen = 0;
        bool lost = false;
        bool low_rate = false;
        bool wandering = false;
    };

    void restart_if_resolution_changed(const Turn& turn);
    std::optional<double> turn_rate(std::int64_t t_ms);
    Slot& next_slot();
    void take_readings(const Turn& turn, Slot& slot);
    void enter(const Reading& r);
    void leave(const Reading& r);
    [[nodiscard]] std::int64_t offset(const CodeSums& c, std::int32_t angle) const;
    void rebase_if_drifted(int code);
    void check_events();
    void note(EventKind kind, int code, std::string text);
    [[nodiscard]] TagFigures figures(int code) const;
    [[nodiscard]] double angle_limit() const;

    StatisticsSettings settings_;
    link::ScannerType type_ = link::ScannerType::unknown;
    std::vector<Slot> ring_; // N slots, the oldest at head_ once full
    std::size_t head_ = 0;
    std::size_t used_ = 0;
    std::int64_t turn_no_ = 0;
    std::int64_t now_ms_ = 0;
    // Arrival times of the last turns, for the turn rate over up to four intervals.
    static constexpr std::size_t k_rate_intervals = 4;
    std::array<std::int64_t, k_rate_intervals> recent_t_ms_{};
    std::size_t recent_next_ = 0;
    std::size_t recent_count_ = 0;
    std::optional<std::int64_t> resolution_;
    std::array<CodeSums, 256> codes_{};
    std::array<std::int64_t, 256> read_in_turn_{}; // turn number a code was last read in
    std::array<std::uint16_t, 256> slot_index_{};  // its reading's place in the current slot
    std::vector<int> known_;                       // codes read since the (re)start
    TrendSeries trend_;
    std::deque<StatisticsEvent> events_;
    std::uint64_t event_count_ = 0;
    std::string restarted_;
};

[[nodiscard]] std::string event_kind_name(EventKind kind);

} // namespace trx::service

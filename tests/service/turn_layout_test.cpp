// The one row layout of a turn: every export reads its names and values from here, so a name
// that lands on another column's value shows in every export at once.
#include "service/turn_layout.hpp"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace trx::service {
namespace {

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> cells;
    std::stringstream in(line);
    for (std::string cell; std::getline(in, cell, ',');) {
        cells.push_back(cell);
    }
    if (!line.empty() && line.back() == ',') {
        cells.emplace_back();
    }
    return cells;
}

// The CSV line read back by the names of its header.
std::map<std::string, std::string> by_name(const std::string& header, const std::string& line) {
    const auto names = split(header);
    const auto values = split(line);
    EXPECT_EQ(names.size(), values.size()) << header << " / " << line;
    std::map<std::string, std::string> row;
    for (std::size_t i = 0; i < names.size() && i < values.size(); ++i) {
        row[names[i]] = values[i];
    }
    return row;
}

TEST(TurnLayout, EachStripeValueStandsUnderItsOwnName) {
    link::Stripe coded;
    coded.record = {100, 20, 11};
    coded.end = 120;
    coded.gap = 82;
    coded.tag_width = 162;
    coded.tag_angle = -39;
    const std::string header = csv_names(k_stripe_columns);
    EXPECT_EQ(header, "start,end,width,gap,code,tag_width,tag_angle");
    std::string line;
    append_csv_cells(line, stripe_cells(coded));
    EXPECT_EQ(by_name(header, line), (std::map<std::string, std::string>{{"start", "100"},
                                                                         {"end", "120"},
                                                                         {"width", "20"},
                                                                         {"gap", "82"},
                                                                         {"code", "11"},
                                                                         {"tag_width", "162"},
                                                                         {"tag_angle", "-39"}}));

    // A "ZA" stripe: no gap, no tag; its code is a number all the same.
    link::Stripe plain;
    plain.record = {8150, 60, 0};
    plain.end = 18;
    line.clear();
    append_csv_cells(line, stripe_cells(plain));
    EXPECT_EQ(line, "8150,18,60,,0,,");
}

TEST(TurnLayout, ATurnsFieldsComeFirstWithFlagsFromItsStatusWord) {
    EXPECT_EQ(csv_names(k_turn_fields),
              "t_ms,resolution,temperature,speed_ok,temperature_low,heater_active,stripes");
    Turn t;
    t.t_ms = 52;
    t.temperature = -3;
    t.status_word = 5; // speed OK and heater active
    t.stripes.resize(2);
    std::string line;
    append_csv_cells(line, turn_cells(t));
    const auto row = by_name(csv_names(k_turn_fields), line);
    EXPECT_EQ(row.at("t_ms"), "52");
    EXPECT_EQ(row.at("resolution"), "") << "none sent yet";
    EXPECT_EQ(row.at("temperature"), "-3");
    EXPECT_EQ(row.at("speed_ok"), "1");
    EXPECT_EQ(row.at("temperature_low"), "0");
    EXPECT_EQ(row.at("heater_active"), "1");
    EXPECT_EQ(row.at("stripes"), "2");
}

} // namespace
} // namespace trx::service

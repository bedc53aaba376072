#pragma once

#include "service/turn.hpp"

#include <string>

// One line per turn, for monitor and replay alike.
namespace trx::cli {

enum class TurnFormat { text, csv, json };

// The CSV header; the last seven columns repeat once per stripe.
std::string csv_header();

// Appends the turn's line, its line end included.
void append_turn(std::string& out, const service::Turn& turn, TurnFormat format);

} // namespace trx::cli

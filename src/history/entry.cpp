#include "history/entry.hpp"

#include "link/para_catalogue.hpp"
#include "link/para_frame.hpp"

#include <array>
#include <cstdio>
#include <ctime>
#include <random>

namespace trx::history {

namespace {

constexpr std::array<std::string_view, 10> k_kind_texts{
    "seen",   "read",   "store",     "index",     "backup",
    "update", "verify", "read_back", "file_save", "file_load"};

// A field in double quotes when it holds a separator, a quote or a line end.
std::string csv_cell(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

} // namespace

std::string_view kind_text(Kind kind) {
    return k_kind_texts.at(static_cast<std::size_t>(kind));
}

std::optional<Kind> parse_kind(std::string_view text) {
    for (std::size_t i = 0; i < k_kind_texts.size(); ++i) {
        if (k_kind_texts[i] == text) {
            return static_cast<Kind>(i);
        }
    }
    return std::nullopt;
}

std::string new_uid() {
    std::random_device rd;
    std::array<char, 33> text{};
    for (int i = 0; i < 4; ++i) {
        std::snprintf(text.data() + 8 * i, 9, "%08x", static_cast<unsigned>(rd()));
    }
    return {text.data(), 32};
}

std::string iso_time(std::chrono::system_clock::time_point t) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
    const auto frac = static_cast<int>(((ms % 1000) + 1000) % 1000);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    std::array<char, 64> buf{};
    std::snprintf(buf.data(), buf.size(), "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, frac);
    return buf.data();
}

nlohmann::json set_json(link::ScannerType type, const link::ParaSet& set) {
    std::string text = std::string(link::type_text(type)) + ":";
    for (const std::string& field : link::para_fields(set, type == link::ScannerType::ya)) {
        text += field;
    }
    return text;
}

std::optional<TypedSet> set_from_json(const nlohmann::json& j) {
    if (!j.is_string()) {
        return std::nullopt;
    }
    const std::string text = j.get<std::string>();
    const auto type = link::scanner_type(std::string_view(text).substr(0, 2));
    if (!type || text.size() < 3 || text[2] != ':') {
        return std::nullopt;
    }
    const std::string payload = text.substr(3);
    const bool extended = *type == link::ScannerType::ya;
    if (payload.size() != (extended ? 80U : 24U) ||
        payload.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) {
        return std::nullopt;
    }
    // The payload of the scanner's reply; the checksum is not looked at.
    const link::ParaReply reply = link::decode_para_reply("W" + payload + "00");
    if (reply.type != *type) {
        return std::nullopt;
    }
    return TypedSet{reply.type, reply.set};
}

nlohmann::json entry_json(const Entry& e) {
    nlohmann::json j = nlohmann::json::object();
    j["id"] = e.id;
    j["uid"] = e.uid;
    j["time"] = e.time;
    j["station"] = e.station;
    j["user"] = e.user;
    j["program"] = e.program;
    j["serial"] = e.serial ? nlohmann::json(*e.serial) : nlohmann::json(nullptr);
    j["kind"] = std::string(kind_text(e.kind));
    j["ok"] = e.ok;
    for (const auto& [name, value] : e.details.items()) {
        if (!j.contains(name)) {
            j[name] = value;
        }
    }
    return j;
}

std::string csv_header() {
    return "id,time,station,user,program,serial,kind,ok,details";
}

std::string csv_row(const Entry& e) {
    std::string row = std::to_string(e.id) + "," + csv_cell(e.time) + "," + csv_cell(e.station) +
                      "," + csv_cell(e.user) + "," + csv_cell(e.program) + ",";
    if (e.serial) {
        row += std::to_string(*e.serial);
    }
    row += "," + std::string(kind_text(e.kind)) + "," + (e.ok ? "1" : "0") + "," +
           csv_cell(e.details.dump());
    return row;
}

} // namespace trx::history

#include "parafile/para_file.hpp"

#include "base/numtext.hpp"
#include "base/text.hpp"

#include <algorithm>
#include <array>
#include <chrono>

#ifndef TRX_PROGRAM_VERSION
#error "TRX_PROGRAM_VERSION must name the program's version"
#endif

namespace trx::parafile {

namespace {

using link::ParaFieldDef;
using link::ScannerType;

constexpr std::string_view k_end = "end";
constexpr std::string_view k_line_blanks = " \t\r"; // "\r": a line end written as CR LF
// Where the wire value's comment starts, so the values of a file stand in one column.
constexpr std::size_t k_comment_column = 34;

// The header lines that are not catalogue fields.
constexpr std::string_view k_format_key = "format";
constexpr std::string_view k_type_key = "type";
constexpr std::string_view k_index_key = "index";
constexpr std::string_view k_saved_key = "saved";
constexpr std::string_view k_program_key = "program";
constexpr std::array<std::string_view, 5> k_header_keys{k_format_key, k_type_key, k_index_key,
                                                        k_saved_key, k_program_key};
constexpr std::string_view k_no_index = "none";

std::string two_digits(unsigned v) {
    return std::string{static_cast<char>('0' + v / 10 % 10), static_cast<char>('0' + v % 10)};
}

// A value as a refusal quotes it: a line of any length gives a message of a few words.
std::string quoted(std::string_view s) {
    constexpr std::size_t k_longest = 40;
    if (s.size() > k_longest) {
        return "\"" + std::string(s.substr(0, k_longest)) + "...\" (" +
               num::dec(static_cast<std::int64_t>(s.size())) + " characters)";
    }
    return "\"" + std::string(s) + "\"";
}

// ---------------------------------------------------------------- text check

// Bytes a lead byte says follow it, and the range the first of them must lie in (which
// rules out overlong forms and surrogates); 0 for a byte that cannot lead.
struct Lead {
    int follow = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
};

Lead lead_of(unsigned char c) {
    if (c >= 0xC2 && c <= 0xDF) {
        return {1, 0x80, 0xBF};
    }
    if (c >= 0xE0 && c <= 0xEF) {
        return {2, static_cast<unsigned char>(c == 0xE0 ? 0xA0 : 0x80),
                static_cast<unsigned char>(c == 0xED ? 0x9F : 0xBF)};
    }
    if (c >= 0xF0 && c <= 0xF4) {
        return {3, static_cast<unsigned char>(c == 0xF0 ? 0x90 : 0x80),
                static_cast<unsigned char>(c == 0xF4 ? 0x8F : 0xBF)};
    }
    return {};
}

bool control_char(unsigned char c) {
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
}

// The offset of the first byte that is not UTF-8 text, or is a control character other than
// tab and the line ends; npos when there is none.
std::size_t first_bad_byte(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if (control_char(c)) {
                return i;
            }
            ++i;
            continue;
        }
        const Lead lead = lead_of(c);
        if (lead.follow == 0 || i + static_cast<std::size_t>(lead.follow) >= s.size()) {
            return i;
        }
        for (int k = 1; k <= lead.follow; ++k) {
            const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            const unsigned char low = k == 1 ? lead.low : 0x80;
            const unsigned char high = k == 1 ? lead.high : 0xBF;
            if (b < low || b > high) {
                return i;
            }
        }
        i += static_cast<std::size_t>(lead.follow) + 1;
    }
    return std::string_view::npos;
}

int line_of(std::string_view text, std::size_t offset) {
    return 1 + static_cast<int>(
                   std::count(text.begin(), text.begin() + static_cast<long>(offset), '\n'));
}

// ---------------------------------------------------------------- writing

std::string wire_comment(const ParaFieldDef& f, const link::ParaSet& set) {
    std::string word = num::hex_upper(set.*f.member, f.width);
    if (f.display != link::ParaDisplay::bit) {
        return word;
    }
    int bit = 0;
    while ((f.bit >> static_cast<unsigned>(bit)) > 1U) {
        ++bit;
    }
    return word + ", bit " + num::dec(bit);
}

void add_line(std::string& out, std::string_view name, std::string_view value,
              std::string_view comment = {}) {
    std::string line = std::string(name) + " = " + std::string(value);
    if (!comment.empty()) {
        line.resize(std::max(line.size() + 2, k_comment_column), ' ');
        line += "# " + std::string(comment);
    }
    out += line + "\n";
}

// ---------------------------------------------------------------- reading

struct Entry {
    int line = 0;
    std::string_view name;
    std::string_view value;
};

struct Lines {
    std::vector<Entry> entries; // in file order
    int end_line = 0;           // the line "end"
};

bool is_header_key(std::string_view name) {
    return std::find(k_header_keys.begin(), k_header_keys.end(), name) != k_header_keys.end();
}

bool is_known(std::string_view name) {
    return is_header_key(name) || link::find_para_field(name) != nullptr;
}

const Entry* find_entry(const Lines& lines, std::string_view name) {
    for (const Entry& e : lines.entries) {
        if (e.name == name) {
            return &e;
        }
    }
    return nullptr;
}

Refusal not_a_parameter_file(int line) {
    return {line,
            {},
            "this is not a parameter file: it must begin with \"format = " + std::string(k_format) +
                "\""};
}

// Splits the text into "name = value" lines: comments and blank lines dropped, unknown and
// repeated names refused, the "format" line first and the "end" line last.
std::optional<Refusal> split_lines(std::string_view text, Lines& out) {
    int number = 0;
    std::size_t from = 0;
    while (from < text.size()) {
        const auto nl = text.find('\n', from);
        std::string_view raw = text.substr(from, nl == std::string_view::npos ? nl : nl - from);
        from = nl == std::string_view::npos ? text.size() : nl + 1;
        ++number;
        const std::string_view content = trim(raw.substr(0, raw.find('#')), k_line_blanks);
        if (content.empty()) {
            continue;
        }
        if (out.end_line != 0) {
            return Refusal{number, {}, "text after the line \"end\""};
        }
        if (content == k_end) {
            out.end_line = number;
            continue;
        }
        const auto eq = content.find('=');
        if (eq == std::string_view::npos) {
            return Refusal{number, {}, quoted(content) + " is not a line \"name = value\""};
        }
        const Entry e{number, trim(content.substr(0, eq), k_line_blanks),
                      trim(content.substr(eq + 1), k_line_blanks)};
        if (out.entries.empty() && e.name != k_format_key) {
            return not_a_parameter_file(number);
        }
        if (!is_known(e.name)) {
            return Refusal{number, std::string(e.name), "no such field"};
        }
        if (const Entry* first = find_entry(out, e.name)) {
            return Refusal{number, std::string(e.name),
                           "given twice (first in line " + num::dec(first->line) + ")"};
        }
        if (e.value.empty()) {
            return Refusal{number, std::string(e.name), "no value"};
        }
        out.entries.push_back(e);
    }
    if (out.entries.empty()) { // only comments, or "end" alone
        return not_a_parameter_file(number);
    }
    if (out.end_line == 0) {
        return Refusal{number, {}, "the file ends without its last line \"end\": it was cut short"};
    }
    return std::nullopt;
}

std::optional<Refusal> check_format(const Entry& e) {
    if (e.value == k_format) {
        return std::nullopt;
    }
    return Refusal{e.line, std::string(e.name),
                   quoted(e.value) + " is not a format this program reads (" + quoted(k_format) +
                       ")"};
}

std::optional<Refusal> read_type(const Lines& lines, std::optional<ScannerType> expected,
                                 ScannerType& type) {
    const Entry* e = find_entry(lines, k_type_key);
    if (e == nullptr) {
        return Refusal{lines.end_line, std::string(k_type_key), "missing"};
    }
    const auto t = scanner_type(e->value);
    if (!t) {
        return Refusal{e->line, std::string(k_type_key),
                       quoted(e->value) + " is not a scanner type (ZA or YA)"};
    }
    if (expected && *expected != *t) {
        const std::string connected =
            *expected == ScannerType::unknown
                ? "the connected scanner's type is not known"
                : "the connected scanner is a " + std::string(type_text(*expected));
        return Refusal{e->line, std::string(k_type_key),
                       "the file holds a " + std::string(type_text(*t)) + " set; " + connected};
    }
    type = *t;
    return std::nullopt;
}

// What a field may hold, for the refusal of a value it cannot.
std::string possible_values(const ParaFieldDef& f) {
    switch (f.display) {
    case link::ParaDisplay::bit:
        return "Possible Values: on, off";
    case link::ParaDisplay::code:
        return std::string(f.tooltip) + " or none";
    case link::ParaDisplay::serial:
    case link::ParaDisplay::version:
        return "Possible Values: " + link::display_value(f, f.min) + " - " +
               link::display_value(f, f.max);
    default:
        return std::string(f.tooltip);
    }
}

bool iso_utc(std::string_view s) {
    // YYYY-MM-DDTHH:MM:SSZ
    constexpr std::string_view shape = "dddd-dd-ddTdd:dd:ddZ";
    if (s.size() != shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (shape[i] == 'd' ? !num::is_digit(s[i]) : s[i] != shape[i]) {
            return false;
        }
    }
    const auto at = [s](std::size_t pos, std::size_t n = 2) {
        return num::leading_value(s.substr(pos, n));
    };
    // A day the calendar has: 2026-02-31 is none, 2028-02-29 is one.
    const std::chrono::year_month_day day{std::chrono::year(static_cast<int>(at(0, 4))),
                                          std::chrono::month(static_cast<unsigned>(at(5))),
                                          std::chrono::day(static_cast<unsigned>(at(8)))};
    return day.ok() && at(11) <= 23 && at(14) <= 59 && at(17) <= 60;
}

std::optional<Refusal> read_header_value(const Entry& e, ParaFile& file) {
    if (e.name == k_index_key) {
        if (e.value == k_no_index) {
            file.index.reset();
            return std::nullopt;
        }
        const auto v = num::parse_whole(e.value);
        if (!v || *v > 0xFFFFU) {
            return Refusal{e.line, std::string(e.name),
                           quoted(e.value) + " is not an index (0 - 65535, or none)"};
        }
        file.index = static_cast<std::uint16_t>(*v);
        return std::nullopt;
    }
    if (e.name == k_saved_key) {
        if (!iso_utc(e.value)) {
            return Refusal{e.line, std::string(e.name),
                           quoted(e.value) + " is not a UTC time such as 2025-03-01T09:30:00Z"};
        }
        file.saved = std::string(e.value);
        return std::nullopt;
    }
    if (e.name == k_program_key) {
        file.program = std::string(e.value);
    }
    return std::nullopt; // format and type are read before
}

// "12,50" for a speed in tenths: the file holds the value as the window shows it, and a
// decimal more, even a zero, is no value the program writes.
bool more_decimals_than_the_field(const ParaFieldDef& f, std::string_view value) {
    const std::size_t places = f.display == link::ParaDisplay::tenths    ? 1
                               : f.display == link::ParaDisplay::version ? 2
                                                                         : 0;
    const auto sep = value.find_first_of(",.");
    return places > 0 && sep != std::string_view::npos && value.size() - sep - 1 > places;
}

std::optional<Refusal> read_field(const Entry& e, const ParaFieldDef& f, ParaFile& file) {
    if (!f.read_only && !holds(file.type, f)) {
        return Refusal{e.line, std::string(e.name),
                       "a " + std::string(type_text(file.type)) + " set has no such field"};
    }
    const auto v = link::parse_display_value(f, e.value);
    if (!v || more_decimals_than_the_field(f, e.value)) {
        return Refusal{e.line, std::string(e.name),
                       quoted(e.value) + " is not a possible value (" + possible_values(f) + ")"};
    }
    link::set_field_value(file.set, f, *v);
    return std::nullopt;
}

std::optional<Refusal> read_values(const Lines& lines, ParaFile& file) {
    for (const Entry& e : lines.entries) {
        if (e.name == k_format_key || e.name == k_type_key) {
            continue;
        }
        const ParaFieldDef* f = link::find_para_field(e.name);
        auto refusal = f != nullptr ? read_field(e, *f, file) : read_header_value(e, file);
        if (refusal) {
            return refusal;
        }
    }
    return std::nullopt;
}

// Every line a file of its type must have, in the order they are written.
std::vector<std::string_view> required_names(ScannerType type) {
    std::vector<std::string_view> names{k_format_key, k_type_key};
    for (const ParaFieldDef& f : link::k_para_catalogue) {
        if (f.read_only) {
            names.push_back(f.name);
        }
    }
    names.insert(names.end(), {k_index_key, k_saved_key, k_program_key});
    for (const ParaFieldDef& f : link::k_para_catalogue) {
        if (holds(type, f)) {
            names.push_back(f.name);
        }
    }
    return names;
}

std::optional<Refusal> check_complete(const Lines& lines, ScannerType type) {
    for (std::string_view name : required_names(type)) {
        if (find_entry(lines, name) == nullptr) {
            return Refusal{lines.end_line, std::string(name), "missing"};
        }
    }
    return std::nullopt;
}

ParaFileRead refused(Refusal r) {
    return {std::nullopt, std::move(r)};
}

} // namespace

bool holds(ScannerType type, const ParaFieldDef& f) {
    return !f.read_only && (!f.extended || type == ScannerType::ya);
}

const ParaFieldDef* first_unloadable(ScannerType type, const link::ParaSet& set) {
    for (const ParaFieldDef& f : link::k_para_catalogue) {
        if (holds(type, f) &&
            !link::parse_display_value(f, link::display_value(f, link::field_value(set, f)))) {
            return &f;
        }
    }
    return nullptr;
}

std::string program_text() {
    return "trx81500 " TRX_PROGRAM_VERSION;
}

std::string utc_text(std::chrono::system_clock::time_point t) {
    using namespace std::chrono;
    const auto secs = floor<seconds>(t);
    const auto day = floor<days>(secs);
    const year_month_day ymd{day};
    const hh_mm_ss hms{secs - day};
    const int year = static_cast<int>(ymd.year());
    return num::dec(year) + "-" + two_digits(static_cast<unsigned>(ymd.month())) + "-" +
           two_digits(static_cast<unsigned>(ymd.day())) + "T" +
           two_digits(static_cast<unsigned>(hms.hours().count())) + ":" +
           two_digits(static_cast<unsigned>(hms.minutes().count())) + ":" +
           two_digits(static_cast<unsigned>(hms.seconds().count())) + "Z";
}

std::string format_para_file(const ParaFile& file) {
    std::string out =
        "# TRX81500 parameter file: one \"name = value\" per line, in the units of the\n"
        "# parameter window. After \"#\" a comment: the value as the scanner sends it (hex).\n";
    add_line(out, k_format_key, k_format);
    add_line(out, k_type_key, type_text(file.type));
    for (const ParaFieldDef& f : link::k_para_catalogue) {
        if (f.read_only) {
            add_line(out, f.name, link::display_value(f, link::field_value(file.set, f)),
                     wire_comment(f, file.set));
        }
    }
    add_line(out, k_index_key, file.index ? num::dec(*file.index) : std::string(k_no_index));
    add_line(out, k_saved_key, file.saved);
    add_line(out, k_program_key, program_text());
    out += "\n";
    for (const ParaFieldDef& f : link::k_para_catalogue) {
        if (holds(file.type, f)) {
            add_line(out, f.name, link::display_value(f, link::field_value(file.set, f)),
                     wire_comment(f, file.set));
        }
    }
    out += std::string(k_end) + "\n";
    return out;
}

std::string Refusal::text() const {
    std::string where = line > 0 ? "line " + num::dec(line) : "the file";
    if (!field.empty()) {
        where += ", field " + quoted(field);
    }
    return where + ": " + what;
}

ParaFileRead parse_para_file(std::string_view text, std::optional<ScannerType> expected) {
    if (text.empty()) {
        return refused({1, {}, "the file is empty"});
    }
    if (const auto bad = first_bad_byte(text); bad != std::string_view::npos) {
        return refused({line_of(text, bad),
                        {},
                        "this is not text (byte 0x" +
                            num::hex_upper(static_cast<unsigned char>(text[bad]), 2) + ")"});
    }
    constexpr std::string_view bom = "\xEF\xBB\xBF"; // some editors put it first
    if (text.starts_with(bom)) {
        text.remove_prefix(bom.size());
    }
    Lines lines;
    if (auto r = split_lines(text, lines)) {
        return refused(std::move(*r));
    }
    ParaFile file;
    std::optional<Refusal> r = check_format(lines.entries.front());
    if (!r) {
        r = read_type(lines, expected, file.type);
    }
    if (!r) {
        r = read_values(lines, file);
    }
    if (!r) {
        r = check_complete(lines, file.type);
    }
    if (r) {
        return refused(std::move(*r));
    }
    return {std::move(file), {}};
}

std::vector<Difference> differences(const link::ParaSet& a, const link::ParaSet& b,
                                    ScannerType type) {
    std::vector<Difference> out;
    for (const ParaFieldDef& f : link::k_para_catalogue) {
        const std::uint32_t va = link::field_value(a, f);
        const std::uint32_t vb = link::field_value(b, f);
        if (holds(type, f) && va != vb) {
            out.push_back({&f, va, vb});
        }
    }
    return out;
}

std::string difference_lines(const std::vector<Difference>& diffs, std::string_view first_name,
                             std::string_view second_name, ValueText text) {
    std::string out;
    for (const Difference& d : diffs) {
        if (!out.empty()) {
            out += "\n";
        }
        out += std::string(d.field->name) + ": " + std::string(first_name) + " " +
               text(*d.field, d.first) + ", " + std::string(second_name) + " " +
               text(*d.field, d.second);
    }
    return out;
}

} // namespace trx::parafile

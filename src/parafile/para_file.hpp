#pragma once

#include "link/para_catalogue.hpp"
#include "link/para_set.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Parameter files (".trxp"): a scanner's set as UTF-8 text that a person can read and diff,
// one "name = value" line per field, in the units the parameter window shows. Read and
// checked against the parameter catalogue; docs/parameter-files.md describes the format.
namespace trx::parafile {

inline constexpr std::string_view k_extension = ".trxp";
inline constexpr std::string_view k_format = "trxp 1";
// Larger files are refused before a byte of them is read.
inline constexpr std::size_t k_max_file_bytes = std::size_t{64} * 1024;

struct ParaFile {
    link::ScannerType type = link::ScannerType::unknown;
    link::ParaSet set;                  // the identity (serial number, version) included
    std::optional<std::uint16_t> index; // none: the scanner's index had not been read
    std::string saved;                  // UTC, ISO 8601: "2025-03-01T09:30:00Z"
    std::string program;                // who wrote it, as read; a written file names us
};

// Whether a file of this type holds the field: the settings a store sends, without the
// identity, which the header carries.
bool holds(link::ScannerType type, const link::ParaFieldDef& f);

// The first field a file of this type holds whose value would not load again (a setting the
// scanner keeps out of range); null when the whole set would load.
const link::ParaFieldDef* first_unloadable(link::ScannerType type, const link::ParaSet& set);

// The type's text and back, as the parameter set defines them.
using link::scanner_type;
using link::type_text;

// The program that writes the files: "trx81500 1.09".
std::string program_text();

// "2025-03-01T09:30:00Z".
std::string utc_text(std::chrono::system_clock::time_point t);

// The file's text. Values that a reply carried out of range are written as the window would
// show them, with the wire value beside them, and refused when the file is loaded.
std::string format_para_file(const ParaFile& file);

// Why a file was refused: the line (1-based; 0 when the file as a whole is meant), the
// field, and what is wrong.
struct Refusal {
    int line = 0;
    std::string field;
    std::string what;

    // "line 12, field "speed": ..."
    [[nodiscard]] std::string text() const;
};

struct ParaFileRead {
    std::optional<ParaFile> file;
    Refusal refusal; // when there is no file
};

// Reads a file's text, checking every line against the catalogue. `expected`: the type of
// the connected scanner; a file of another type is refused.
ParaFileRead parse_para_file(std::string_view text,
                             std::optional<link::ScannerType> expected = std::nullopt);

struct Difference {
    const link::ParaFieldDef* field = nullptr;
    std::uint32_t first = 0; // the wire values
    std::uint32_t second = 0;
};

// The settings a set of this type holds in which a and b differ, in catalogue order.
std::vector<Difference> differences(const link::ParaSet& a, const link::ParaSet& b,
                                    link::ScannerType type);

// How a value reads in a difference line: as the window shows it unless told otherwise.
using ValueText = std::string (*)(const link::ParaFieldDef&, std::uint32_t);

// One line per difference: "speed: window 12,5, file 10,0".
std::string difference_lines(const std::vector<Difference>& diffs, std::string_view first_name,
                             std::string_view second_name, ValueText text = &link::display_value);

} // namespace trx::parafile

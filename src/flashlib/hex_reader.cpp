#include "flashlib/hex_reader.hpp"

#include "base/numtext.hpp"
#include "flashlib/protocol.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace trx::flash {

namespace {

struct Record {
    std::uint8_t type = 0;
    std::uint16_t offset = 0;
    std::vector<std::uint8_t> data;
};

// Addressing state between records.
struct Base {
    std::uint32_t value = 0;
    bool segment = true; // 02 (and no record yet): offsets wrap within 64 KiB
};

class Parser {
public:
    Parser(const FlashLayout& flash, std::optional<std::uint32_t> reset_vector)
        : flash_(flash), reset_vector_(reset_vector) {}
    HexResult run(std::string_view text);

private:
    bool fail(HexProblem p, const std::string& what);
    bool line(std::string_view text);
    bool record(std::string_view text, Record& out);
    bool apply(const Record& r);
    bool store(const Record& r);
    void check_reset_vector();

    const FlashLayout& flash_;
    std::optional<std::uint32_t> reset_vector_;
    HexResult result_;
    Base base_;
    int line_no_ = 0;
    int end_line_ = 0;
};

std::string hex_address(std::uint32_t a) {
    return "0x" + num::hex_upper(a, 6);
}

bool is_blank(std::string_view s) {
    return s.find_first_not_of(" \t") == std::string_view::npos;
}

bool Parser::fail(HexProblem p, const std::string& what) {
    result_.error = {p, line_no_, "line " + num::dec(line_no_) + ": " + what};
    return false;
}

HexResult Parser::run(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && end_line_ == 0) {
        std::size_t eol = text.find_first_of("\r\n", pos);
        if (eol == std::string_view::npos) {
            eol = text.size();
        }
        ++line_no_;
        if (!line(text.substr(pos, eol - pos))) {
            return std::move(result_);
        }
        pos = eol;
        if (pos < text.size() && text[pos] == '\r') {
            ++pos;
        }
        if (pos < text.size() && text[pos] == '\n') {
            ++pos;
        }
    }
    if (end_line_ == 0) {
        ++line_no_;
        fail(HexProblem::missing_end_record, "missing end record (type 01)");
    } else if (result_.image.empty()) {
        line_no_ = end_line_;
        fail(HexProblem::no_data, "no data before the end record");
    } else if (reset_vector_) {
        line_no_ = end_line_;
        check_reset_vector();
    }
    return std::move(result_);
}

void Parser::check_reset_vector() {
    const std::uint32_t at = *reset_vector_;
    const std::string range =
        hex_address(at) + " ... " + hex_address(at + proto::k_reset_vector_size - 1);
    if (!result_.image.holds(at, proto::k_reset_vector_size)) {
        fail(HexProblem::no_reset_vector,
             "no reset vector: the file holds no data for all of " + range);
        return;
    }
    bool blank = true;
    for (std::uint32_t i = 0; i < proto::k_reset_vector_size; ++i) {
        blank = blank && result_.image.at(at + i) == 0xFF;
    }
    if (blank) {
        fail(HexProblem::no_reset_vector, "no reset vector: " + range + " are all 0xFF");
    }
}

bool Parser::line(std::string_view text) {
    if (is_blank(text)) {
        return true;
    }
    Record r;
    return record(text, r) && apply(r);
}

bool Parser::record(std::string_view text, Record& out) {
    if (text[0] != ':') {
        return fail(HexProblem::bad_character, "a record must start with ':'");
    }
    const std::string_view digits = text.substr(1);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (num::hex_digit(digits[i]) < 0) {
            return fail(HexProblem::bad_character,
                        "bad character at column " + num::dec(static_cast<std::int64_t>(i + 2)));
        }
    }
    if (digits.size() % 2 != 0 || digits.size() < 10) {
        return fail(HexProblem::wrong_length, "wrong length (record too short or odd)");
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(num::hex_digit(digits[i]) * 16 +
                                                  num::hex_digit(digits[i + 1])));
    }
    if (bytes.size() != std::size_t{bytes[0]} + 5) {
        return fail(HexProblem::wrong_length,
                    "wrong length (the length byte says " + num::dec(bytes[0]) + " data bytes)");
    }
    unsigned sum = 0;
    for (std::uint8_t b : bytes) {
        sum += b;
    }
    if ((sum & 0xFFU) != 0) {
        return fail(HexProblem::bad_checksum, "bad checksum");
    }
    out.type = bytes[3];
    if (out.type > 5) {
        return fail(HexProblem::unknown_record_type,
                    "unknown record type " + num::hex_upper(out.type, 2));
    }
    out.offset = static_cast<std::uint16_t>(bytes[1] << 8 | bytes[2]);
    out.data.assign(bytes.begin() + 4, bytes.end() - 1);
    return true;
}

bool Parser::apply(const Record& r) {
    static constexpr std::size_t k_lengths[] = {0, 0, 2, 4, 2, 4};
    if (r.type != 0 && r.data.size() != k_lengths[r.type]) {
        return fail(HexProblem::wrong_length,
                    "wrong length for record type " + num::hex_upper(r.type, 2));
    }
    const std::uint32_t value = r.data.size() >= 2 ? std::uint32_t{r.data[0]} << 8 | r.data[1] : 0;
    switch (r.type) {
    case 0:
        return store(r);
    case 1:
        end_line_ = line_no_;
        return true;
    case 2:
        base_ = {value << 4, true};
        return true;
    case 4:
        base_ = {value << 16, false};
        return true;
    default:
        return true; // start addresses: nothing to program
    }
}

bool Parser::store(const Record& r) {
    for (std::size_t i = 0; i < r.data.size(); ++i) {
        const std::uint32_t offset = r.offset + static_cast<std::uint32_t>(i);
        const std::uint32_t address = base_.value + (base_.segment ? offset & 0xFFFFU : offset);
        if (!flash_.contains(address)) {
            return fail(HexProblem::outside_flash,
                        "data at " + hex_address(address) + " is outside the target's flash");
        }
        if (result_.image.put(address, r.data[i]) == HexImage::Put::differs) {
            return fail(HexProblem::overlapping_data,
                        "overlapping data that differs at " + hex_address(address));
        }
    }
    return true;
}

} // namespace

HexResult parse_intel_hex(std::string_view text, const FlashLayout& flash,
                          std::optional<std::uint32_t> reset_vector) {
    return Parser(flash, reset_vector).run(text);
}

namespace {

HexError read_error(HexProblem p, std::string message) {
    return HexError{p, 0, std::move(message)};
}

// The whole file, or why it was not read.
HexError read_file(const std::string& path, std::string& text) {
    // Non-blocking, so that opening a FIFO without a writer returns at once.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return read_error(HexProblem::cannot_read,
                          "cannot open " + path + ": " + std::strerror(errno));
    }
    struct stat st {};
    HexError error;
    if (::fstat(fd, &st) != 0) {
        error = read_error(HexProblem::cannot_read,
                           "cannot read " + path + ": " + std::strerror(errno));
    } else if (!S_ISREG(st.st_mode)) {
        error = read_error(HexProblem::not_a_regular_file, path + " is not a regular file");
    } else if (static_cast<std::uintmax_t>(st.st_size) > k_max_hex_file) {
        error = read_error(HexProblem::too_large, path + " is larger than 16 MiB");
    }
    // A file that grows while it is read still stops one byte past the limit.
    char buffer[65536];
    while (error.problem == HexProblem::none) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = read_error(HexProblem::cannot_read,
                               "cannot read " + path + ": " + std::strerror(errno));
        } else if (n == 0) {
            break;
        } else if (text.size() + static_cast<std::size_t>(n) > k_max_hex_file) {
            error = read_error(HexProblem::too_large, path + " is larger than 16 MiB");
        } else {
            text.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return error;
}

} // namespace

HexResult read_intel_hex_file(const std::string& path, const FlashLayout& flash,
                              std::optional<std::uint32_t> reset_vector) {
    std::string text;
    if (HexError e = read_file(path, text); e.problem != HexProblem::none) {
        HexResult result;
        result.error = std::move(e);
        return result;
    }
    return parse_intel_hex(text, flash, reset_vector);
}

HexResult read_firmware_file(const std::string& path) {
    return read_intel_hex_file(path, trx81500_layout(), k_trx81500_reset_vector);
}

} // namespace trx::flash

#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

// The capture file: a magic line, then records. Every record is
//   kind (1 byte) | time in microseconds since the capture's start (8, little-endian)
//   | length of the data (4, little-endian) | data | CRC-32 of all before it (4)
// so a file cut short anywhere loses at most its last record, and a reader knows where.
namespace trx::capture {

inline constexpr std::string_view k_magic = "TRXCAP1\n";
inline constexpr std::size_t k_record_head = 1 + 8 + 4;
inline constexpr std::size_t k_record_tail = 4;
// No batch of the serial port comes near this; a larger length is a damaged record.
inline constexpr std::uint32_t k_max_data = 1U << 20;

enum class Kind : std::uint8_t {
    header = 'H',        // program version, '\n', port name; the first record, time 0
    received = 'R',      // bytes from the scanner
    sent = 'S',          // bytes the program wrote
    opened = 'O',        // the port opened; data: its name
    closed = 'C',        // the port closed
    lost = 'L',          // the device went away; data: the system's reason
    write_refused = 'X', // a write the port did not take; data: the bytes
    reply = 'P'          // the last parameter reply "W" seen on the connection, before the
                         // capture began; data: the whole frame, STX to ETX
};

[[nodiscard]] bool known_kind(std::uint8_t k);

struct Record {
    Kind kind = Kind::received;
    std::uint64_t time_us = 0;
    std::string data;
    friend bool operator==(const Record&, const Record&) = default;
};

struct Header {
    std::string program_version;
    std::string port_name;
};

[[nodiscard]] std::uint32_t crc32(std::span<const char> bytes, std::uint32_t crc = 0);

// Appends one record as it goes on disk; data longer than k_max_data is split into several
// records of the same kind and time.
void encode(Kind kind, std::uint64_t time_us, std::string_view data, std::string& out);
// The same record without its CRC, as the ring and the writer's queue keep it: cheap to
// append on the receive path.
void append_raw(Kind kind, std::uint64_t time_us, std::string_view data, std::string& out);
// Kind, time and length, little-endian: the head of a record in the file and in memory.
inline void write_record_head(char* p, Kind kind, std::uint64_t time_us, std::size_t size) {
    p[0] = static_cast<char>(kind);
    const auto n = static_cast<std::uint32_t>(size);
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p + 1, &time_us, sizeof time_us); // one store each: this runs per batch
        std::memcpy(p + 9, &n, sizeof n);
    } else {
        for (std::size_t i = 0; i < 8; ++i) {
            p[1 + i] = static_cast<char>((time_us >> (8 * i)) & 0xFFU);
        }
        for (std::size_t i = 0; i < 4; ++i) {
            p[9 + i] = static_cast<char>((n >> (8 * i)) & 0xFFU);
        }
    }
}

// Raw records back to back in a block of fixed size, the ring's chunks: an append is two
// copies and no allocation, as it runs for every batch of bytes.
class RawBlock {
public:
    explicit RawBlock(std::size_t capacity)
        : buf_(std::make_unique_for_overwrite<char[]>(capacity)), capacity_(capacity) {}

    [[nodiscard]] bool fits(std::size_t data_size) const {
        return capacity_ - size_ >= k_record_head + data_size; // size_ never passes capacity_
    }
    // Only what fits.
    void append(Kind kind, std::uint64_t time_us, std::string_view data) {
        char* p = buf_.get() + size_;
        // The block's memory is cold (a ring's chunk was last written minutes ago): ask for
        // the lines ahead before they are needed, so that a write does not wait for memory.
        if (size_ + 512 < capacity_) {
            __builtin_prefetch(p + 512, 1);
        }
        write_record_head(p, kind, time_us, data.size());
        if (!data.empty()) {
            std::memcpy(p + k_record_head, data.data(), data.size());
        }
        size_ += k_record_head + data.size();
    }
    [[nodiscard]] std::string_view view() const { return {buf_.get(), size_}; }
    [[nodiscard]] bool empty() const { return size_ == 0; }
    [[nodiscard]] std::size_t capacity() const { return capacity_; }

private:
    std::unique_ptr<char[]> buf_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// Reads one raw record at pos (moved past it); false at the end.
bool next_raw(std::string_view raw, std::size_t& pos, Kind& kind, std::uint64_t& time_us,
              std::string_view& data);
[[nodiscard]] std::string header_data(const Header& h);
// The magic and the header record.
[[nodiscard]] std::string file_start(const Header& h);

} // namespace trx::capture

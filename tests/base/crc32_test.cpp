// The table-driven CRC-32 against the polynomial worked bit by bit: every length and start
// offset around its eight-byte steps, sums in pieces, and the runs of 0xFF the flash check uses.
#include "base/crc32.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

std::uint32_t bitwise_crc32(std::span<const std::uint8_t> bytes) {
    std::uint32_t c = 0xFFFFFFFFU;
    for (const std::uint8_t b : bytes) {
        c ^= b;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1U) != 0 ? (c >> 1) ^ 0xEDB88320U : c >> 1;
        }
    }
    return ~c;
}

std::vector<std::uint8_t> random_bytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) {
        b = static_cast<std::uint8_t>(rng());
    }
    return v;
}

TEST(Crc32, MatchesTheBitwiseSumAtEveryLengthAndOffset) {
    const auto data = random_bytes(4096 + 8, 7);
    const std::span<const std::uint8_t> all(data);
    for (std::size_t offset = 0; offset < 8; ++offset) {
        for (std::size_t n = 0; n <= 70; ++n) {
            const auto piece = all.subspan(offset, n);
            ASSERT_EQ(trx::crc32_update(0, piece), bitwise_crc32(piece))
                << "offset " << offset << ", length " << n;
        }
    }
    EXPECT_EQ(trx::crc32_update(0, all.first(4096)), bitwise_crc32(all.first(4096)));
    const std::uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(trx::crc32_update(0, check), 0xCBF43926U);
}

TEST(Crc32, SumsInPiecesAndRunsOfFfAsInOneGo) {
    const auto data = random_bytes(1000, 11);
    const std::span<const std::uint8_t> all(data);
    for (const std::size_t cut : {0UL, 1UL, 7UL, 8UL, 9UL, 500UL, 999UL, 1000UL}) {
        EXPECT_EQ(trx::crc32_update(trx::crc32_update(0, all.first(cut)), all.subspan(cut)),
                  bitwise_crc32(all))
            << "cut at " << cut;
    }
    for (const std::size_t n : {0UL, 1UL, 255UL, 256UL, 257UL, 70000UL}) {
        const std::vector<std::uint8_t> ff(n, 0xFF);
        EXPECT_EQ(trx::crc32_update_ff(trx::crc32_update(0, all.first(5)), n),
                  trx::crc32_update(trx::crc32_update(0, all.first(5)), ff))
            << n << " bytes of 0xFF";
    }
}

} // namespace

// The parameter catalogue: one row per field, read by the decoder, the encoder and the
// value texts of files and scripts.
#include "link/para_catalogue.hpp"
#include "link/para_frame.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace trx::link {
namespace {

TEST(ParaCatalogue, RowsLieInTheFrameInAscendingOrderWithoutOverlap) {
    int end = 1;
    int last_pos = 0;
    std::set<std::string_view> names;
    for (const ParaFieldDef& f : k_para_catalogue) {
        EXPECT_TRUE(names.insert(f.name).second) << f.name;
        if (f.pos == last_pos) { // the two bits of the switches word
            EXPECT_EQ(f.display, ParaDisplay::bit) << f.name;
            continue;
        }
        EXPECT_GE(f.pos, end) << f.name;
        end = f.pos + f.width;
        last_pos = f.pos;
        EXPECT_EQ(f.extended, f.pos >= 25) << f.name;
    }
    EXPECT_EQ(end, 61); // the five reserved fields follow up to position 80
}

TEST(ParaCatalogue, ValuesReadBackInTheWindowsUnitsWithEitherSeparator) {
    const auto& speed = para_field(ParaField::speed);
    EXPECT_EQ(display_value(speed, 125), "12,5");
    EXPECT_EQ(parse_display_value(speed, "12,5"), 125U);
    EXPECT_EQ(parse_display_value(speed, "12.5"), 125U);
    EXPECT_EQ(parse_display_value(speed, "18.0"), 180U);
    EXPECT_EQ(parse_display_value(speed, "18.5"), std::nullopt);  // out of range
    EXPECT_EQ(parse_display_value(speed, "12.55"), std::nullopt); // finer than a tenth
    EXPECT_EQ(parse_display_value(speed, "12,5x"), std::nullopt);

    const auto& res = para_field(ParaField::resolution);
    EXPECT_EQ(display_value(res, 2), "24576");
    EXPECT_EQ(parse_display_value(res, "65536"), 5U);
    EXPECT_EQ(parse_display_value(res, "1000"), std::nullopt);

    const auto& can = para_field(ParaField::can_baudrate);
    EXPECT_EQ(display_value(can, 3), "250");
    EXPECT_EQ(display_value(can, 0), "none");
    EXPECT_EQ(parse_display_value(can, "250"), 3U);
    EXPECT_EQ(parse_display_value(can, "none"), 0U);

    const auto& id = para_field(ParaField::can_identifier);
    EXPECT_EQ(display_value(id, 0x1A), "0x01A");
    EXPECT_EQ(parse_display_value(id, "0x7FF"), 0x7FFU);
    EXPECT_EQ(parse_display_value(id, "0x800"), std::nullopt);
    EXPECT_EQ(parse_display_value(id, "7FF"), std::nullopt);

    const auto& heater = para_field(ParaField::enable_heater);
    EXPECT_EQ(parse_display_value(heater, "on"), 1U);
    EXPECT_EQ(parse_display_value(heater, "yes"), std::nullopt);

    const auto& gap = para_field(ParaField::gap_correction);
    EXPECT_EQ(parse_display_value(gap, "9"), std::nullopt);
    EXPECT_EQ(parse_display_value(gap, "200"), 200U);
}

TEST(ParaCatalogue, BitFieldsShareTheSwitchesWord) {
    ParaSet s;
    set_field_value(s, para_field(ParaField::motor_enable), 1);
    EXPECT_EQ(s.switches, 2U);
    set_field_value(s, para_field(ParaField::enable_heater), 1);
    set_field_value(s, para_field(ParaField::motor_enable), 0);
    EXPECT_EQ(s.switches, 1U);
    EXPECT_EQ(field_value(s, para_field(ParaField::enable_heater)), 1U);
    EXPECT_EQ(find_para_field("motor_enable"), &para_field(ParaField::motor_enable));
    EXPECT_EQ(find_para_field("type"), nullptr);
}

// What a display text says, the encoder sends and the decoder reads back.
TEST(ParaCatalogue, EveryFieldSurvivesTextWireAndBack) {
    ParaSet s;
    for (const ParaFieldDef& f : k_para_catalogue) {
        const std::uint32_t v = f.max; // the far end of every range
        set_field_value(s, f, *parse_display_value(f, display_value(f, v)));
    }
    std::string payload;
    for (const auto& field : para_fields(s, true)) {
        payload += field;
    }
    const ParaReply r = decode_para_reply("W" + payload + "00");
    for (const ParaFieldDef& f : k_para_catalogue) {
        EXPECT_EQ(field_value(r.set, f), f.max) << f.name;
    }
}

// The type's text as the window's label, a parameter file and the command line show it, and
// back: only the two real types read back, the label of an unknown one does not.
TEST(ParaCatalogue, ScannerTypeTextsReadBack) {
    EXPECT_EQ(type_text(ScannerType::za), "ZA");
    EXPECT_EQ(type_text(ScannerType::ya), "YA");
    EXPECT_EQ(type_text(ScannerType::unknown), "??");
    for (const ScannerType t : {ScannerType::za, ScannerType::ya}) {
        EXPECT_EQ(scanner_type(type_text(t)), t);
    }
    EXPECT_EQ(scanner_type("??"), std::nullopt);
    EXPECT_EQ(scanner_type("ya"), std::nullopt);
    EXPECT_EQ(scanner_type(""), std::nullopt);
}

} // namespace
} // namespace trx::link

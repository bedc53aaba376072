// The parameter file codec: what it writes, that it reads it back, and what it refuses
// beyond the bad files the parameter window's tests load.
#include "parafile/para_file.hpp"

#include <gtest/gtest.h>

#include <string>

namespace trx::parafile {
namespace {

using link::ScannerType;

ParaFile sample(ScannerType type) {
    ParaFile f;
    f.type = type;
    f.set = {.serial_number = 1223476,
             .version = 109,
             .speed = 125,
             .resolution = 2,
             .switches = 2,
             .gap_offset_abs = 5,
             .equal_tolerance_abs = 6,
             .min_modul_angle = 7,
             .max_modul_angle = 999,
             .can_baud_code = 0,
             .rs232_baud_code = 5,
             .equal_tolerance_rel = 8,
             .gap_offset_rel = 9,
             .gap_correction = 200,
             .can_identifier = 0x1A};
    f.index = 300;
    f.saved = "2025-03-01T09:30:00Z";
    return f;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(ParaFile, WritesValuesInTheWindowsUnitsWithTheWireValueBeside) {
    const std::string text = format_para_file(sample(ScannerType::ya));
    for (const char* line :
         {"format = trxp 1\n", "type = YA\n", "index = 300\n", "saved = 2025-03-01T09:30:00Z\n",
          "program = trx81500 1.09\n", "end\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    for (const char* line :
         {"serial_number = 1223476", "# 0012AB34", "version = 1,09", "speed = 12,5", "# 007D",
          "resolution = 24576", "enable_heater = off", "motor_enable = on", "# 0002, bit 1",
          "can_baudrate = none", "rs232_baudrate = 115200", "gap_correction = 200",
          "can_identifier = 0x01A", "# 001A"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    // The short set holds no extended field.
    const std::string za = format_para_file(sample(ScannerType::za));
    EXPECT_EQ(za.find("gap_correction"), std::string::npos);
    EXPECT_NE(za.find("motor_enable = on"), std::string::npos);
}

TEST(ParaFile, ReadsBackWhatItWrote) {
    for (ScannerType type : {ScannerType::za, ScannerType::ya}) {
        ParaFile f = sample(type);
        if (type == ScannerType::za) { // a short set carries no extended values
            const link::ParaSet s = f.set;
            f.set = {};
            f.set.serial_number = s.serial_number;
            f.set.version = s.version;
            f.set.speed = s.speed;
            f.set.resolution = s.resolution;
            f.set.switches = s.switches;
        }
        f.index.reset();
        const ParaFileRead r = parse_para_file(format_para_file(f), type);
        ASSERT_TRUE(r.file) << r.refusal.text();
        EXPECT_EQ(r.file->set, f.set);
        EXPECT_EQ(r.file->type, type);
        EXPECT_EQ(r.file->index, std::nullopt);
        EXPECT_EQ(r.file->saved, f.saved);
        EXPECT_EQ(r.file->program, "trx81500 1.09");
    }
}

// Hand edits: either decimal separator, CR LF line ends, a byte order mark, comments and
// blank lines, any order of the lines after "format", no line end after "end".
TEST(ParaFile, TakesTheFileAsAnEditorLeavesIt) {
    std::string text = format_para_file(sample(ScannerType::ya));
    text = replaced(text, "speed = 12,5", "speed = 12.5 # was 12,5");
    text = replaced(text, "resolution = 24576", "\n   # moved down\n");
    text.pop_back();
    text = replaced(text, "\nend", "\n\tresolution\t=\t24576\nend");
    std::string crlf = "\xEF\xBB\xBF";
    for (char c : text) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    const ParaFileRead r = parse_para_file(crlf, ScannerType::ya);
    ASSERT_TRUE(r.file) << r.refusal.text();
    EXPECT_EQ(r.file->set, sample(ScannerType::ya).set);
}

// What the window's tests cannot easily write: broken UTF-8, a format of another version,
// a list text no list holds, more decimals than the field has.
TEST(ParaFile, RefusesWithTheLineAndField) {
    const std::string good = format_para_file(sample(ScannerType::ya));
    struct Case {
        std::string text;
        int line;
        std::string field;
    };
    const Case cases[] = {
        {replaced(good, "type = YA", "type = Y\xC3\x28"), 4, ""},
        {replaced(good, "type = YA", "type = \xED\xA0\x80"), 4, ""}, // a surrogate
        {replaced(good, "format = trxp 1", "format = trxp 2"), 3, "format"},
        {replaced(good, "resolution = 24576", "resolution = 24577"), 12, "resolution"},
        {replaced(good, "speed = 12,5", "speed = 12,55"), 11, "speed"},
        {replaced(good, "index = 300", "index = 65536"), 7, "index"},
        {replaced(good, "saved = 2025-03-01T09:30:00Z", "saved = 2025-13-01T09:30:00Z"), 8,
         "saved"},
        {replaced(good, "end\n", "end\nspeed = 10,0\n"), 26, ""},
        {"# nothing but a comment\nend\n", 2, ""},
    };
    for (const Case& c : cases) {
        const ParaFileRead r = parse_para_file(c.text, ScannerType::ya);
        ASSERT_FALSE(r.file) << c.text;
        EXPECT_EQ(r.refusal.line, c.line) << r.refusal.text();
        EXPECT_EQ(r.refusal.field, c.field) << r.refusal.text();
    }
}

// The dates are pinned: every month's last day, leap days, and days no calendar has.
TEST(ParaFile, TheSavedTimeIsADayOfTheCalendar) {
    const std::string good = format_para_file(sample(ScannerType::ya));
    const auto with_saved = [&](const std::string& when) {
        return parse_para_file(replaced(good, "saved = 2025-03-01T09:30:00Z", "saved = " + when),
                               ScannerType::ya);
    };
    for (const char* day : {"2025-01-31", "2025-04-30", "2025-11-30", "2025-12-01", "2025-12-31",
                            "2028-02-29", "2000-02-29"}) {
        const ParaFileRead r = with_saved(std::string(day) + "T23:59:59Z");
        ASSERT_TRUE(r.file) << day << ": " << r.refusal.text();
        EXPECT_EQ(r.file->saved, std::string(day) + "T23:59:59Z");
    }
    for (const char* day : {"2026-02-31", "2025-02-29", "1900-02-29", "2025-04-31", "2025-00-10",
                            "2025-13-01", "2025-12-32", "2025-06-00"}) {
        const ParaFileRead r = with_saved(std::string(day) + "T09:30:00Z");
        ASSERT_FALSE(r.file) << day;
        EXPECT_EQ(r.refusal.field, "saved") << day;
    }
}

// A decimal more than the field has is refused even when it is a zero; a refused value of
// any length is quoted in a few words.
TEST(ParaFile, AValueWithTooManyDecimalsOrOfAnyLengthIsRefusedBriefly) {
    const std::string good = format_para_file(sample(ScannerType::ya));
    for (const char* speed : {"12,50", "12.50", "12,500"}) {
        const ParaFileRead r = parse_para_file(
            replaced(good, "speed = 12,5", std::string("speed = ") + speed), ScannerType::ya);
        ASSERT_FALSE(r.file) << speed;
        EXPECT_EQ(r.refusal.field, "speed") << speed;
    }
    const ParaFileRead version =
        parse_para_file(replaced(good, "version = 1,09", "version = 1,090"), ScannerType::ya);
    ASSERT_FALSE(version.file);
    EXPECT_EQ(version.refusal.field, "version");

    const std::string long_value(60'000, '9');
    const ParaFileRead r =
        parse_para_file(replaced(good, "speed = 12,5", "speed = " + long_value), ScannerType::ya);
    ASSERT_FALSE(r.file);
    EXPECT_LT(r.refusal.text().size(), 200U) << r.refusal.text().substr(0, 300);
    EXPECT_NE(r.refusal.text().find("\"" + std::string(40, '9') + "...\" (60000 characters)"),
              std::string::npos)
        << r.refusal.text();
}

TEST(ParaFile, DifferencesAreTheSettingsOfTheTypeThatDiffer) {
    link::ParaSet a = sample(ScannerType::ya).set;
    link::ParaSet b = a;
    b.serial_number = 1; // identity: not a setting
    b.switches = 1;      // both bits differ
    b.gap_correction = 10;
    const auto ya = differences(a, b, ScannerType::ya);
    EXPECT_EQ(difference_lines(ya, "window", "file"), "enable_heater: window off, file on\n"
                                                      "motor_enable: window on, file off\n"
                                                      "gap_correction: window 200, file 10");
    EXPECT_EQ(differences(a, b, ScannerType::za).size(), 2U);
    EXPECT_TRUE(differences(a, a, ScannerType::ya).empty());
}

} // namespace
} // namespace trx::parafile

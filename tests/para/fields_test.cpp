// The parameter window's fields as a technician uses them: typing, arrow clicks, leaving a
// field, the CAN identifier's padding and the service chord.
#include "para/para_window.hpp"
#include "testkit/driver.hpp"

#include <clocale>
#include <locale>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace trx::para {
namespace {

using testkit::Driver;
using testkit::Icon;
using testkit::Message;

// The process takes the locale of its environment, as the Qt program does, so running this
// binary with LC_ALL=de_DE.UTF-8 or LC_ALL=C tests both.
class AdoptEnvironmentLocale : public ::testing::Environment {
public:
    void SetUp() override {
        if (std::setlocale(LC_ALL, "") != nullptr) {
            std::locale::global(std::locale(""));
        }
    }
};
const auto* const k_locale_env = ::testing::AddGlobalTestEnvironment(new AdoptEnvironmentLocale);

constexpr const char* k_speed_message = "Possible values for speed: 6.0 - 18.0 turns/sec";

class ParaFields : public ::testing::Test {
protected:
    ParaFields() {
        d.start();
        // Until the main window's toolbar opens the parameter window, show it directly: input
        // reaches only the controls of a shown window.
        d.program().para_form().window.show();
    }

    NumericField& field(std::string_view box) { return d.program().para_window().numeric(box); }

    // The one message shown since the last call must be this field's "Parameter error".
    void expect_error(const std::string& text) {
        const std::vector<Message> m = d.messages();
        ASSERT_EQ(m.size(), 1U);
        EXPECT_EQ(m[0].text, text);
        EXPECT_EQ(m[0].title, "Parameter error");
        EXPECT_EQ(m[0].icon, Icon::critical);
    }

    Driver d;
};

// ---------------------------------------------------------------- the seven filter fields

TEST_F(ParaFields, BeforeAnyReplyTheBoxesAreEmptyAndRestoreToEmpty) {
    for (const char* box : {"para.can_identifier", "para.speed_anz", "para.gap_offset_abs_anz",
                            "para.gap_correction_anz", "para.max_modul_angle_anz"}) {
        EXPECT_EQ(d.text(box), "") << box;
    }
    EXPECT_EQ(d.value("para.speed"), 100);
    EXPECT_EQ(d.value("para.gap_correction"), 10);
    EXPECT_EQ(d.value("para.equal_tolerance_rel"), 1);
    EXPECT_EQ(field("speed_anz").restore(), "");
    EXPECT_EQ(field("min_modul_angle_anz").restore(), "");
    EXPECT_THROW((void)field("seriennummer"), std::out_of_range);
}

TEST_F(ParaFields, EachFilterFieldTakesItsDigitsAndNamesItselfWhenLeftEmpty) {
    struct Case {
        const char* box;
        std::size_t digits;
        const char* message;
    };
    const std::vector<Case> cases{
        {"gap_offset_abs_anz", 2,
         "Possible values for difference between stripe and gap (absolute) : 0 - 99"},
        {"gap_offset_rel_anz", 2,
         "Possible values for difference between stripe and gap (percentage) : 0 - 99"},
        {"equal_tolerance_abs_anz", 2,
         "Possible values for difference between 2 stripes (absolute): 0 - 99"},
        {"equal_tolerance_rel_anz", 2,
         "Possible values for difference between 2 stripes (percentage): 0 - 99"},
        {"gap_correction_anz", 3, "Possible values for gap correction: 10 - 200"},
        {"min_modul_angle_anz", 2, "Possible values for min. modul width: 0 - 99"},
        {"max_modul_angle_anz", 3, "Possible values for max. modul width: 0 - 999"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        const std::string box = std::string("para.") + c.box;
        d.type(box, "x9999");
        EXPECT_EQ(d.text(box), std::string(c.digits, '9'));
        d.type(box, "\b\b\b\b\b\b");
        ASSERT_EQ(d.text(box), "");
        d.leave(box);
        expect_error(c.message);
        EXPECT_EQ(d.text(box), ""); // no reply yet: the restore value is empty
    }
}

TEST_F(ParaFields, TypedValueInRangeMovesTheSpinnerAndComesBackWithoutLeadingZeros) {
    d.type("para.gap_offset_abs_anz", "0");
    EXPECT_EQ(d.value("para.gap_offset_abs"), 0);
    d.type("para.gap_offset_abs_anz", "7");
    EXPECT_EQ(d.text("para.gap_offset_abs_anz"), "7");
    EXPECT_EQ(d.value("para.gap_offset_abs"), 7);

    d.type("para.max_modul_angle_anz", "1000"); // a fourth digit does not fit
    EXPECT_EQ(d.text("para.max_modul_angle_anz"), "100");
    d.type("para.max_modul_angle_anz", "\b\b50");
    EXPECT_EQ(d.text("para.max_modul_angle_anz"), "150");
    EXPECT_EQ(d.value("para.max_modul_angle"), 150);
    d.leave("para.max_modul_angle_anz");
    EXPECT_TRUE(d.messages().empty());
}

TEST_F(ParaFields, BackspaceOverTheLastDigitGivesZeroThenEmpty) {
    d.type("para.gap_offset_rel_anz", "5");
    ASSERT_EQ(d.value("para.gap_offset_rel"), 5);
    d.type("para.gap_offset_rel_anz", "\b");
    EXPECT_EQ(d.text("para.gap_offset_rel_anz"), "0"); // empty reads 0: the spinner says so
    EXPECT_EQ(d.value("para.gap_offset_rel"), 0);
    d.type("para.gap_offset_rel_anz", "\b\b"); // the spinner already holds 0
    EXPECT_EQ(d.text("para.gap_offset_rel_anz"), "");
    EXPECT_TRUE(d.messages().empty());
}

TEST_F(ParaFields, OutOfRangeTypingNeverReachesTheSpinnerAndLeavingRestoresTheReply) {
    d.type("para.gap_correction_anz", "5");
    EXPECT_EQ(d.value("para.gap_correction"), 10);
    d.leave("para.gap_correction_anz");
    expect_error("Possible values for gap correction: 10 - 200");
    EXPECT_EQ(d.text("para.gap_correction_anz"), "");
    EXPECT_EQ(d.value("para.gap_correction"), 10);

    // As a reply leaves it: the text, its restore value and the spinner.
    NumericField& f = field("gap_correction_anz");
    f.show("150");
    f.set_restore("150");
    EXPECT_EQ(d.value("para.gap_correction"), 150);
    d.type("para.gap_correction_anz", "\b\b\b");
    d.type("para.gap_correction_anz", "201");
    EXPECT_EQ(d.value("para.gap_correction"), 20); // "20" was in range on the way
    d.leave("para.gap_correction_anz");
    expect_error("Possible values for gap correction: 10 - 200");
    EXPECT_EQ(d.text("para.gap_correction_anz"), "150");
    EXPECT_EQ(d.value("para.gap_correction"), 150);
}

TEST_F(ParaFields, ArrowClicksWriteTheSpinnerValueIntoTheBox) {
    d.spin("para.min_modul_angle", 2);
    EXPECT_EQ(d.text("para.min_modul_angle_anz"), "3");
    d.spin("para.min_modul_angle", -5);
    EXPECT_EQ(d.text("para.min_modul_angle_anz"), "0");
    d.spin("para.gap_correction", -1); // already at its minimum: nothing changes
    EXPECT_EQ(d.text("para.gap_correction_anz"), "");
}

TEST_F(ParaFields, AReplysTextFollowsTheSameChangeRule) {
    NumericField& f = field("min_modul_angle_anz");
    f.show("?"); // a field out of range: "?" reads 0
    EXPECT_EQ(d.value("para.min_modul_angle"), 0);
    EXPECT_EQ(d.text("para.min_modul_angle_anz"), "0");
    f.show("?"); // the spinner already holds 0, so "?" stays
    EXPECT_EQ(d.text("para.min_modul_angle_anz"), "?");
    EXPECT_TRUE(d.messages().empty());
}

TEST_F(ParaFields, PasteIsFilteredLikeTyping) {
    d.paste("para.gap_correction_anz", "1a2.34");
    EXPECT_EQ(d.text("para.gap_correction_anz"), "123");
    d.paste("para.speed_anz", "12.57");
    EXPECT_EQ(d.text("para.speed_anz"), "12,5");
    d.click("para.can_identifier");
    d.paste("para.can_identifier", "7FF");
    EXPECT_EQ(d.text("para.can_identifier"), "0x7");
}

// ---------------------------------------------------------------- speed

TEST_F(ParaFields, SpeedTakesTenthsWithACommaAndKeepsItsTypedText) {
    d.type("para.speed_anz", "12.5");
    EXPECT_EQ(d.text("para.speed_anz"), "12,5");
    EXPECT_EQ(d.value("para.speed"), 125);
    d.type("para.speed_anz", "9"); // four characters at most
    EXPECT_EQ(d.text("para.speed_anz"), "12,5");
    d.leave("para.speed_anz");
    EXPECT_TRUE(d.messages().empty());

    d.type("para.speed_anz", "\b\b\b\bx7");
    EXPECT_EQ(d.text("para.speed_anz"), "7"); // not rewritten as "7,0"
    EXPECT_EQ(d.value("para.speed"), 70);
    d.type("para.speed_anz", ",05");
    EXPECT_EQ(d.value("para.speed"), 70); // further decimals are cut off
    d.leave("para.speed_anz");
    EXPECT_TRUE(d.messages().empty());
}

TEST_F(ParaFields, SpeedOutsideSixToEighteenIsRejectedOnLeaving) {
    d.type("para.speed_anz", "18,5");
    EXPECT_EQ(d.value("para.speed"), 180); // "18" on the way was in range; "18,5" is not
    d.leave("para.speed_anz");
    expect_error(k_speed_message);
    EXPECT_EQ(d.text("para.speed_anz"), "");

    NumericField& f = field("speed_anz");
    f.show("10,0");
    f.set_restore("10,0");
    for (const char* bad : {"5,9", ",", "18,1", "0"}) {
        d.type("para.speed_anz", std::string("\b\b\b\b") + bad);
        d.leave("para.speed_anz");
        expect_error(k_speed_message);
        EXPECT_EQ(d.text("para.speed_anz"), "10,0") << bad;
        EXPECT_EQ(d.value("para.speed"), 100) << bad;
    }
    for (const char* good : {"6", "18,0", "18,"}) {
        d.type("para.speed_anz", std::string("\b\b\b\b") + good);
        d.leave("para.speed_anz");
        EXPECT_TRUE(d.messages().empty()) << good;
    }
    f.show("18,01");                       // just above the maximum although its tenths are 180
    EXPECT_EQ(d.value("para.speed"), 180); // unchanged from "18,"
    f.show("6,05");
    EXPECT_EQ(d.value("para.speed"), 60);
}

TEST_F(ParaFields, OnlySpeedArrowClicksRewriteTheText) {
    d.spin("para.speed", 1);
    EXPECT_EQ(d.text("para.speed_anz"), "10,1");
    d.spin("para.speed", -100);
    EXPECT_EQ(d.text("para.speed_anz"), "6,0");
    d.type("para.speed_anz", "\b\b\b12");
    d.spin("para.speed", -1); // the typed 12 counted as 120
    EXPECT_EQ(d.text("para.speed_anz"), "11,9");

    field("speed_anz").show("12,5");
    d.program().para_form().speed.set_value(130); // as a reply sets the spinner
    EXPECT_EQ(d.text("para.speed_anz"), "12,5");
    // A reply writing the text the box already shows still moves the spinner to it.
    field("speed_anz").show("12,5");
    EXPECT_EQ(d.value("para.speed"), 125);
}

// ---------------------------------------------------------------- CAN identifier

TEST_F(ParaFields, CanIdentifierIsPaddedByLengthWhenLeft) {
    const auto enter = [&](const std::string& digits) {
        d.click("para.can_identifier");
        d.type("para.can_identifier", "\b\b\b" + digits);
        d.leave("para.can_identifier");
        return d.text("para.can_identifier");
    };
    d.click("para.can_identifier");
    EXPECT_EQ(d.text("para.can_identifier"), "0x");
    EXPECT_EQ(enter("5"), "0x005");
    EXPECT_EQ(enter("12"), "0x012");
    EXPECT_EQ(enter("799"), "0x799");
    EXPECT_EQ(enter(""), "0x000");
    EXPECT_EQ(enter("800"), ""); // above 0x7FF: cleared, and no message
    EXPECT_TRUE(d.messages().empty());

    d.program().para_form().can_identifier.set_text("0x7FF"); // as a reply writes it
    d.leave("para.can_identifier");
    EXPECT_EQ(d.text("para.can_identifier"), "0x7FF");
}

TEST_F(ParaFields, CanIdentifierReachedByTabHasNoPrefix) {
    d.focus("para.can_identifier");
    EXPECT_EQ(d.text("para.can_identifier"), "");
    d.type("para.can_identifier", "123");
    d.leave("para.can_identifier");
    EXPECT_EQ(d.text("para.can_identifier"), "0x003");

    d.program().para_form().can_identifier.set_text("");
    d.focus("para.can_identifier");
    d.type("para.can_identifier", "12345");
    d.leave("para.can_identifier");
    EXPECT_EQ(d.text("para.can_identifier"), "0x345"); // shown as the number it sends
}

TEST_F(ParaFields, CanIdentifierPrefixStaysAndOnlyDigitsFit) {
    d.click("para.can_identifier");
    d.type("para.can_identifier", "\b");
    EXPECT_EQ(d.text("para.can_identifier"), "0x");
    d.type("para.can_identifier", "A1x2349");
    EXPECT_EQ(d.text("para.can_identifier"), "0x123");
    d.click("para.can_identifier"); // only an empty box gets the prefix
    EXPECT_EQ(d.text("para.can_identifier"), "0x123");
    d.type("para.can_identifier", "\b\b\b\b\b");
    EXPECT_EQ(d.text("para.can_identifier"), "0x");
}

// ---------------------------------------------------------------- service chord, window

TEST_F(ParaFields, CtrlAltJAloneUnlocksTheIdentityFields) {
    using testkit::alt;
    using testkit::ctrl;
    using testkit::shift;
    const auto service_mode = [&] {
        return !d.locked("para.seriennummer") && !d.locked("para.index") &&
               d.enabled("para.command_read_index") && d.visible("para.command_read_index") &&
               d.enabled("para.command_write_index") && d.visible("para.command_write_index");
    };
    EXPECT_TRUE(d.locked("para.seriennummer"));
    EXPECT_FALSE(d.visible("para.command_write_index"));
    d.key("para", ctrl | alt | shift, 'J');
    d.key("para", ctrl, 'J');
    d.key("para", alt, 'J');
    d.key("para", ctrl | alt, 'K');
    EXPECT_TRUE(d.locked("para.seriennummer"));
    EXPECT_TRUE(d.locked("para.index"));
    EXPECT_FALSE(d.enabled("para.command_read_index"));

    d.program().para_form().window.hide();
    d.key("para", ctrl | alt, 'J'); // no key reaches a hidden window
    EXPECT_TRUE(d.locked("para.index"));

    d.program().para_form().window.show();
    d.key("para", ctrl | alt, 'J');
    EXPECT_TRUE(service_mode());
}

TEST_F(ParaFields, HidingTheWindowKeepsTheFieldsAndTheExtendedGroupCanBeHidden) {
    d.type("para.speed_anz", "12.5");
    d.type("para.gap_offset_abs_anz", "42");
    d.program().para_form().window.hide();
    d.program().para_form().window.show();
    EXPECT_EQ(d.text("para.speed_anz"), "12,5");
    EXPECT_EQ(d.value("para.gap_offset_abs"), 42);

    ParaWindow& w = d.program().para_window();
    EXPECT_TRUE(d.visible("para.frame_filter_parameter"));
    w.show_extended(false);
    for (const char* c : {"para.frame_filter_parameter", "para.can_identifier",
                          "para.can_baudrate_einheit", "para.rs232_baudrate"}) {
        EXPECT_FALSE(d.visible(c)) << c;
    }
    EXPECT_TRUE(d.visible("para.speed_anz"));
    d.type("para.gap_offset_abs_anz", "\b"); // a hidden field takes no keys
    EXPECT_EQ(d.text("para.gap_offset_abs_anz"), "42");
    w.show_extended(true);
    EXPECT_TRUE(d.visible("para.can_identifier_text"));
}

// ---------------------------------------------------------------- locale

// Restores the C and C++ locales however the test ends.
class LocaleGuard {
public:
    LocaleGuard() : c_(std::setlocale(LC_ALL, nullptr)) {}
    ~LocaleGuard() {
        std::setlocale(LC_ALL, c_.c_str());
        std::locale::global(cpp_);
    }
    LocaleGuard(const LocaleGuard&) = delete;
    LocaleGuard& operator=(const LocaleGuard&) = delete;
    LocaleGuard(LocaleGuard&&) = delete;
    LocaleGuard& operator=(LocaleGuard&&) = delete;

private:
    std::string c_;
    std::locale cpp_;
};

TEST_F(ParaFields, AGermanProcessLocaleChangesNoTextAndNoValue) {
    const LocaleGuard guard;
    try {
        std::locale::global(std::locale("de_DE.UTF-8"));
    } catch (const std::runtime_error&) {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed (scripts/setup.sh generates it)";
    }
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);

    d.type("para.speed_anz", "12.5");
    EXPECT_EQ(d.value("para.speed"), 125);
    d.spin("para.speed", 1);
    EXPECT_EQ(d.text("para.speed_anz"), "12,6");
    d.type("para.speed_anz", "\b\b\b\b6,05");
    EXPECT_EQ(d.value("para.speed"), 60);
    d.type("para.speed_anz", "\b\b\b\b12.3");
    d.leave("para.speed_anz");
    EXPECT_TRUE(d.messages().empty());
    d.type("para.max_modul_angle_anz", "250");
    EXPECT_EQ(d.value("para.max_modul_angle"), 250);
}

} // namespace
} // namespace trx::para

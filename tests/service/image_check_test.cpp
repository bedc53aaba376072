// What the update may do with an image, judged before anything is sent: its identity against
// the scanner's last "W" reply, and what the command line lets through with --force; and the
// time left in a phase, from its pace.
#include "flashlib/image_identity.hpp"
#include "service/image_check.hpp"
#include "service/time_left.hpp"

#include <gtest/gtest.h>

namespace trx::service {
namespace {

using namespace std::chrono_literals;

flash::HexImage stamped_image(std::uint8_t types, std::uint16_t version) {
    flash::HexImage plain;
    for (std::uint32_t a = 0; a < 0x200; ++a) {
        (void)plain.put(a, static_cast<std::uint8_t>(a * 13 + 1));
    }
    flash::ImageIdentity id;
    id.types = types;
    id.version = version;
    id.date = {2026, 12, 1};
    std::string why;
    return *flash::stamp_identity(plain, id, std::nullopt, flash::trx81500_layout(), why);
}

const ScannerFacts k_za_109{link::ScannerType::za, 109, {}};

TEST(ImageCheck, EachVerdictAndWhatTheCommandLineLetsThrough) {
    struct Case {
        const char* what;
        std::uint8_t types;
        std::uint16_t version;
        ScannerFacts scanner;
        ImageVerdict verdict;
        bool passes_unforced;
        bool passes_forced;
    };
    const Case cases[] = {
        {"newer, same type", flash::k_for_za, 110, k_za_109, ImageVerdict::go, true, true},
        {"newer, either type", flash::k_for_any, 110, k_za_109, ImageVerdict::go, true, true},
        {"other type", flash::k_for_ya, 110, k_za_109, ImageVerdict::other_type, false, true},
        {"same version", flash::k_for_za, 109, k_za_109, ImageVerdict::confirm_older, false, true},
        {"older", flash::k_for_za, 100, k_za_109, ImageVerdict::confirm_older, false, true},
        {"nothing to compare with", flash::k_for_ya, 100, {}, ImageVerdict::go, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ImageCheck check = judge_image(stamped_image(c.types, c.version), c.scanner);
        EXPECT_EQ(check.verdict, c.verdict);
        EXPECT_EQ(check.reason.empty(), c.verdict == ImageVerdict::go);
        EXPECT_EQ(accept_unattended(check, false).ok(), c.passes_unforced);
        EXPECT_EQ(accept_unattended(check, true).ok(), c.passes_forced);
        EXPECT_TRUE(check.has_identity());
        EXPECT_EQ(check.image_crc, check.found.identity.crc);
    }
}

TEST(ImageCheck, ADamagedImageIsRefusedEvenWhenForcedAndNoIdentityGoesOn) {
    flash::HexImage image = stamped_image(flash::k_for_za, 110);
    flash::HexImage changed;
    for (const auto& [address, page] : image.pages()) {
        for (std::uint32_t i = 0; i < flash::HexImage::k_page; ++i) {
            if (page.present[i]) {
                (void)changed.put(address + i,
                                  address + i == 0x10 ? page.bytes[i] ^ 0x80 : page.bytes[i]);
            }
        }
    }
    const ImageCheck damaged = judge_image(changed, k_za_109);
    EXPECT_EQ(damaged.verdict, ImageVerdict::damaged);
    EXPECT_FALSE(accept_unattended(damaged, true).ok());
    EXPECT_EQ(accept_unattended(damaged, true).error().kind, ErrorKind::bad_input);
    EXPECT_NE(damaged.summary().find("(the image's is 0x"), std::string::npos);

    flash::HexImage plain;
    (void)plain.put(0, 0xFA);
    const ImageCheck none = judge_image(plain, k_za_109);
    EXPECT_EQ(none.verdict, ImageVerdict::go);
    EXPECT_EQ(none.log_line(), "Image: no identity");
}

TEST(ImageCheck, AFileThatDoesNotReadIsBadInputNamingIt) {
    const auto r = check_image_file("/nonexistent/fw.h86", {});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, ErrorKind::bad_input);
    EXPECT_NE(r.error().message.find("/nonexistent/fw.h86"), std::string::npos);
}

TEST(TimeLeft, KnownOnceAPaceIsSeenAndStartsOverWithEachPhase) {
    TimeLeft left;
    using P = FlashProgress::Phase;
    EXPECT_FALSE(left.update({P::program, 0, 1000}, 0s));
    EXPECT_FALSE(left.update({P::program, 30, 1000}, 3s)) << "below a twentieth";
    EXPECT_FALSE(left.update({P::program, 100, 1000}, 500ms)) << "within the first second";
    const auto at_quarter = left.update({P::program, 250, 1000}, 10s);
    ASSERT_TRUE(at_quarter);
    EXPECT_DOUBLE_EQ(*at_quarter, 30.0); // 25 per second, 750 to go
    EXPECT_FALSE(left.update({P::verify, 1, 7}, 11s)) << "a new phase has no pace yet";
    EXPECT_EQ(time_left_text(42.2), "0:43 left");
    EXPECT_EQ(time_left_text(725), "12:05 left");
}

} // namespace
} // namespace trx::service

// The history's record of a firmware run: every step that can fail is named, the image's
// size and CRC-32 come from the file, and a missing file leaves them unset.
#include "service/update_history.hpp"

#include "base/crc32.hpp"
#include "tests/temp_path.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace trx::service {
namespace {

struct Silent : UpdateObserver {
    void log_line(const UpdateLogLine& /*line*/) override {}
};

TEST(UpdateRecord, EveryStepThatCanFailIsNamedAndTheImageIsMeasured) {
    const std::filesystem::path file = test::temp_file("update-record.h86");
    const std::string text = ":00000001FF\n";
    std::ofstream(file) << text;
    const struct {
        UpdateStep step;
        history::Kind kind;
        const char* name;
    } cases[] = {{UpdateStep::reset, history::Kind::update, "reset"},
                 {UpdateStep::program_flash, history::Kind::update, "program_flash"},
                 {UpdateStep::verify_flash, history::Kind::verify, "verify_flash"},
                 {UpdateStep::read_flash, history::Kind::read_back, "read_flash"}};
    for (const auto& c : cases) {
        Silent observer;
        UpdateSequence sequence(observer);
        sequence.begin();
        const Error why = sequence.fail(c.step, ErrorKind::flash, "no answer", {});
        const auto r = update_record({c.kind, file.string(), "no identity", {}, 1.5, 42}, sequence,
                                     {}, Result<Done>(why));
        EXPECT_EQ(r.failed_step, c.name);
        ASSERT_TRUE(r.failed.has_value());
        EXPECT_EQ(r.failed->message, "no answer");
        EXPECT_EQ(r.serial, 42U);
        EXPECT_EQ(r.line_baud, 57600);
    }
    Silent observer;
    UpdateSequence sequence(observer);
    sequence.begin();
    const auto ok = update_record({history::Kind::update, file.string(), "no identity", 3, 2.0, {}},
                                  sequence, {}, Result<Done>(Done{}));
    EXPECT_TRUE(ok.failed_step.empty());
    EXPECT_FALSE(ok.failed.has_value());
    EXPECT_EQ(ok.sectors_skipped, 3);
    EXPECT_EQ(ok.identity, "no identity");
    EXPECT_EQ(ok.image_bytes, static_cast<std::int64_t>(text.size()));
    EXPECT_EQ(ok.image_crc, crc32_update(0, std::vector<std::uint8_t>(text.begin(), text.end())));

    const auto gone = update_record({history::Kind::update, "/nonexistent/x.h86", {}, {}, 0.0, {}},
                                    sequence, {}, Result<Done>(Done{}));
    EXPECT_FALSE(gone.image_crc.has_value());
    std::filesystem::remove(file);
}

} // namespace
} // namespace trx::service

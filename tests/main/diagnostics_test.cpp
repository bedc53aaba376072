// Panel 2 of the main status bar and the diagnostics menu behind it, as the technician meets
// them: the link's figures once a second, the recorder's entries, and the export of the scan
// shown as CSV and of the picture as PNG.
#include "file_text.hpp"
#include "link/frame.hpp"
#include "main/panel_note.hpp"
#include "testkit/driver.hpp"
#include "testkit/status_frames.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace trx::main {
namespace {

using namespace std::chrono_literals;
using testkit::Driver;
using testkit::file_text;
using testkit::StatusShape;

constexpr const char* k_bar = "main.StatusBar1";
constexpr const char* k_menu = "main.StatusBar1.diagnostics.";

std::string entry(const char* key) {
    return std::string(k_menu) + key;
}

// The worked example of a "ZA" status frame: R = 8192, stripes 256 + 32 and 512 + 16.
const std::string k_za_example = "\x02S1FFF9300010100002002000010"
                                 "89\x03";

struct Diagnostics : ::testing::Test {
    Driver d;

    void SetUp() override { d.start(); }
    void open_port() {
        d.click("main.Toolbar1.comport");
        ASSERT_TRUE(d.port_open());
    }
    void close_port() {
        d.click("main.Toolbar1.comport");
        ASSERT_FALSE(d.port_open());
    }
    // A valid parameter set: status frames are decoded from now on.
    void reply(bool ya) {
        d.receive(testkit::parameter_reply(ya));
        (void)d.messages();
    }
    std::string statistics() const { return d.panel(k_bar, 2); }
    std::filesystem::path export_csv(const std::string& name) {
        const auto path = d.data_folder() / name;
        d.answer_save_dialog(path.string());
        d.choose(entry("export_csv"));
        return path;
    }
};

// ---------------------------------------------------------------- link statistics

// Under the figures, what a click on the panel does.
constexpr const char* k_click_hint =
    "\n\nClick: the diagnostics menu (save the last 10 minutes, record the wire, export the scan "
    "and the picture)";

TEST(PanelNote, SizesReadAsATechnicianWouldSayThem) {
    EXPECT_EQ(main::PanelNote::rec_text(0), "REC 0 B");
    EXPECT_EQ(main::PanelNote::rec_text(999), "REC 999 B");
    EXPECT_EQ(main::PanelNote::rec_text(1000), "REC 1 kB");
    EXPECT_EQ(main::PanelNote::rec_text(999'999), "REC 999 kB");
    EXPECT_EQ(main::PanelNote::rec_text(1'450'000), "REC 1.4 MB");
    EXPECT_EQ(main::PanelNote::rec_text(25'000'000), "REC 25.0 MB");
}

TEST_F(Diagnostics, ThePanelSaysWhatAClickOpensAndShowsARecordingUntilItStops) {
    EXPECT_EQ(d.panel_tooltip(k_bar, 2), std::string(k_click_hint).substr(2));
    open_port();
    d.answer_save_dialog((d.data_folder() / "rec.trxcap").string());
    d.choose(entry("record_start"));
    ASSERT_TRUE(d.program().recording().recording());
    EXPECT_TRUE(statistics().starts_with("0 fr/s  0 bad  REC ")) << statistics();
    EXPECT_TRUE(statistics().ends_with(" B")) << statistics(); // little more than a header
    for (int i = 0; i < 40; ++i) {
        d.receive(k_za_example);
    }
    d.advance(1000ms);
    EXPECT_TRUE(statistics().starts_with("40 fr/s  0 bad  REC ")) << statistics();
    EXPECT_TRUE(statistics().ends_with(" kB")) << statistics();
    EXPECT_TRUE(d.panel_tooltip(k_bar, 2).ends_with(k_click_hint));
    d.choose(entry("record_stop"));
    EXPECT_EQ(statistics(), "40 fr/s  0 bad");
    d.advance(1000ms);
    EXPECT_EQ(statistics(), "0 fr/s  0 bad");
}

TEST_F(Diagnostics, StatisticsCountEveryKindOfBadFrameSinceTheOpening) {
    EXPECT_EQ(statistics(), "") << "empty until a port is opened";
    d.advance(1500ms);
    EXPECT_EQ(statistics(), "");
    open_port();
    EXPECT_EQ(statistics(), "0 fr/s  0 bad");
    reply(false);             // 1 good frame
    d.receive("\x02P51\x03"); // bad checksum
    d.receive("\x02P5");      // ... and a frame cut by the next STX: nothing
    d.receive("\x02W" + std::string(600, '7') + "\x03"); // overlong, and its checksum fails
    StatusShape no_resolution;
    no_resolution.resolution = 0; // R never shown: decoding stops at the first end angle
    no_resolution.stripes = {{256, 32}};
    d.receive(testkit::status_frame(no_resolution)); // 1 good frame, 1 fault
    d.receive(k_za_example);                         // 1 good frame
    d.advance(999ms);
    EXPECT_EQ(statistics(), "0 fr/s  0 bad") << "figures come once a second";
    d.advance(1ms);
    EXPECT_EQ(statistics(), "3 fr/s  3 bad");
    EXPECT_EQ(d.panel_tooltip(k_bar, 2), "Since the port was opened:\n"
                                         "3 good frames\n"
                                         "2 bad checksums\n"
                                         "1 overlong frame\n"
                                         "1 decoding fault\n"
                                         "Last fault: " +
                                             d.program().receiver().counters().last_fault +
                                             k_click_hint);
    EXPECT_FALSE(d.program().receiver().counters().last_fault.empty());
    // The next second without a frame: the rate drops, the totals stay.
    d.advance(1000ms);
    EXPECT_EQ(statistics(), "0 fr/s  3 bad");
}

TEST_F(Diagnostics, FramesPerSecondAreTheGoodFramesOfTheLastSecond) {
    open_port();
    // 12 frames in the first second, 25 in the second, one every 40 ms.
    for (int i = 0; i < 12; ++i) {
        d.receive_later(std::chrono::milliseconds(50 + 75 * i), k_za_example);
    }
    for (int i = 0; i < 25; ++i) {
        d.receive_later(std::chrono::milliseconds(1010 + 40 * i), k_za_example);
    }
    d.receive_later(1500ms, "\x02S00\x03"); // bad checksum: not a frame of the rate
    d.advance(1000ms);
    EXPECT_EQ(statistics(), "12 fr/s  0 bad");
    EXPECT_EQ(d.panel_tooltip(k_bar, 2).rfind("Since the port was opened:\n12 good frames\n", 0),
              0U);
    d.advance(1000ms);
    EXPECT_EQ(statistics(), "25 fr/s  1 bad");
    d.advance(1000ms);
    EXPECT_EQ(statistics(), "0 fr/s  1 bad");
}

TEST_F(Diagnostics, ReopeningThePortStartsTheCountsAfresh) {
    open_port();
    d.receive("\x02P51\x03");
    d.receive(k_za_example);
    d.advance(1000ms);
    ASSERT_EQ(statistics(), "1 fr/s  1 bad");
    close_port();
    d.advance(1000ms);
    EXPECT_EQ(statistics(), "0 fr/s  1 bad") << "closed: the totals stay to be read";
    d.advance(300ms);
    open_port();
    EXPECT_EQ(statistics(), "0 fr/s  0 bad");
    EXPECT_EQ(d.panel_tooltip(k_bar, 2), "Since the port was opened:\n"
                                         "0 good frames\n"
                                         "0 bad checksums\n"
                                         "0 overlong frames\n"
                                         "0 decoding faults\n"
                                         "Last fault: none" +
                                             std::string(k_click_hint));
    // A full second from the opening, not from the old rhythm.
    d.receive_later(900ms, k_za_example);
    d.advance(999ms);
    EXPECT_EQ(statistics(), "0 fr/s  0 bad");
    d.advance(1ms);
    EXPECT_EQ(statistics(), "1 fr/s  0 bad");
}

// ---------------------------------------------------------------- the menu

TEST_F(Diagnostics, MenuEntriesAndTheRecorderHooks) {
    EXPECT_EQ(d.text(entry("save_recent")), "Save last 10 minutes...");
    EXPECT_EQ(d.text(entry("record_start")), "Start recording...");
    EXPECT_EQ(d.text(entry("record_stop")), "Stop recording");
    EXPECT_EQ(d.text(entry("export_csv")), "Export scan as CSV...");
    EXPECT_EQ(d.text(entry("export_png")), "Save picture as PNG...");
    EXPECT_THROW((void)d.enabled(entry("no_such_entry")), std::out_of_range);

    // The program's recorder: the ring can be saved and a recording started, not stopped.
    d.click_panel(k_bar, 2);
    EXPECT_TRUE(d.enabled(entry("save_recent")));
    EXPECT_TRUE(d.enabled(entry("record_start")));
    EXPECT_FALSE(d.enabled(entry("record_stop")));
    EXPECT_TRUE(d.enabled(entry("export_csv")));
    EXPECT_TRUE(d.enabled(entry("export_png")));

    // Without recorder hooks its three entries are disabled; the exports stay.
    d.program().diagnostics().set_recording({});
    EXPECT_FALSE(d.enabled(entry("save_recent")));
    EXPECT_FALSE(d.enabled(entry("record_start")));
    EXPECT_FALSE(d.enabled(entry("record_stop")));
    EXPECT_TRUE(d.enabled(entry("export_csv")));

    int saved = 0;
    int started = 0;
    int stopped = 0;
    bool recording = false;
    d.program().diagnostics().set_recording({[&] { ++saved; },
                                             [&] {
                                                 ++started;
                                                 recording = true;
                                             },
                                             [&] {
                                                 ++stopped;
                                                 recording = false;
                                             },
                                             [&] { return recording; }});
    EXPECT_TRUE(d.enabled(entry("save_recent")));
    EXPECT_TRUE(d.enabled(entry("record_start")));
    EXPECT_FALSE(d.enabled(entry("record_stop")));
    d.choose(entry("record_stop"));
    EXPECT_EQ(stopped, 0) << "a disabled entry does nothing";

    d.choose(entry("record_start"));
    EXPECT_EQ(started, 1);
    EXPECT_FALSE(d.enabled(entry("record_start"))) << "while recording";
    EXPECT_TRUE(d.enabled(entry("record_stop")));
    d.choose(entry("record_start"));
    EXPECT_EQ(started, 1);
    d.choose(entry("save_recent"));
    EXPECT_EQ(saved, 1) << "the ring can be saved while recording too";

    // A recording that ends by itself (disk full) shows the next time the menu opens.
    recording = false;
    d.click_panel(k_bar, 2);
    EXPECT_TRUE(d.enabled(entry("record_start")));
    EXPECT_FALSE(d.enabled(entry("record_stop")));
    d.choose(entry("record_start"));
    d.choose(entry("record_stop"));
    EXPECT_EQ(started, 2);
    EXPECT_EQ(stopped, 1);
    EXPECT_TRUE(d.messages().empty());
}

// ---------------------------------------------------------------- scan as CSV

TEST_F(Diagnostics, CsvOfTheWorkedExampleFrame) {
    open_port();
    reply(false);
    d.receive(k_za_example);
    const auto path = export_csv("example.csv");
    EXPECT_TRUE(d.messages().empty());
    // Stripe 1: 256 + 32 ends at 288, no gap for "ZA"; stripe 2: 512 + 16 ends at 528, gap
    // 512 - 288 = 224. No codes, so no tag width or angle.
    EXPECT_EQ(file_text(path), "start,end,width,gap,code,tag_width,tag_angle\n"
                               "256,288,32,,,,\n"
                               "512,528,16,224,,,\n");
    ASSERT_EQ(d.save_dialog_starts().size(), 1U);
    EXPECT_EQ(d.save_dialog_starts()[0], (d.data_folder() / "scan-20250301T093000Z.csv").string());
}

TEST_F(Diagnostics, CsvOfACodedScanHasStripeOnesWrappedValues) {
    open_port();
    reply(true); // M = 100
    StatusShape s;
    s.ya = true;
    s.stripes = {{10, 20, 5}, {60, 10, 0}, {100, 20, 9}, {8150, 30, 0}};
    d.receive(testkit::status_frame(s));
    const auto path = export_csv("ya.csv");
    // R = 8192. Ends: 30, 70, 120, 8180. Gaps: 60-30 = 30, 100-70 = 30, 8150-120 = 8030 (not
    // below M: absent); stripe 1 against the last: 8192-8180+10 = 22. Stripe 3: tag width
    // 120-60 = 60, tag angle 120-30 = 90. Stripe 1: tag width 8192-8150+30 = 72, tag angle
    // 30-36 = -6, plus R: 8186.
    EXPECT_EQ(file_text(path), "start,end,width,gap,code,tag_width,tag_angle\n"
                               "10,30,20,22,5,72,8186\n"
                               "60,70,10,30,,,\n"
                               "100,120,20,30,9,60,90\n"
                               "8150,8180,30,,,,\n");
}

TEST_F(Diagnostics, CsvOfAScanCutShortByAFaultHasWhatTheTablesShow) {
    open_port();
    reply(false);
    StatusShape s;
    s.resolution = 0;
    s.stripes = {{256, 32}, {512, 16}};
    d.receive(testkit::status_frame(s));
    ASSERT_EQ(d.cell("main.data", 1, 1), "256");
    EXPECT_EQ(file_text(export_csv("partial.csv")),
              "start,end,width,gap,code,tag_width,tag_angle\n256,,,,,,\n");
    // A scan without stripes is a scan shown: the header alone.
    d.receive(testkit::status_frame(StatusShape{}));
    EXPECT_EQ(file_text(export_csv("empty.csv")), "start,end,width,gap,code,tag_width,tag_angle\n");
}

// The files of the data folder but the service history's, which the program keeps there.
int files_but_history(const std::filesystem::path& folder) {
    int n = 0;
    if (!std::filesystem::exists(folder)) {
        return 0;
    }
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        n += e.path().filename().string().starts_with("history") ? 0 : 1;
    }
    return n;
}

TEST_F(Diagnostics, CsvRefusedOrFailedLeavesNoFile) {
    // Nothing shown yet: a box, and no dialog.
    d.choose(entry("export_csv"));
    auto m = d.messages();
    ASSERT_EQ(m.size(), 1U);
    EXPECT_EQ(m[0].text, "No scan has been shown yet, so there is nothing to export.");
    EXPECT_EQ(m[0].title, "Diagnostics");
    EXPECT_TRUE(d.save_dialog_starts().empty());

    open_port();
    reply(false);
    d.receive(k_za_example);
    // Cancelled: nothing written, nothing said.
    d.answer_save_dialog("");
    d.choose(entry("export_csv"));
    EXPECT_TRUE(d.messages().empty());
    EXPECT_EQ(files_but_history(d.data_folder()), 0);

    d.disk_full();
    const auto path = export_csv("full.csv");
    m = d.messages();
    ASSERT_EQ(m.size(), 1U);
    EXPECT_EQ(m[0].text.rfind("The scan was not saved: ", 0), 0U) << m[0].text;
    EXPECT_EQ(m[0].detail, path.string());
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(files_but_history(d.data_folder()), 0) << "no temporary file left";
    // The link goes on.
    d.disk_full(false);
    d.receive(k_za_example);
    EXPECT_EQ(d.cell("main.data", 4, 1), "528");
}

// ---------------------------------------------------------------- picture as PNG

TEST_F(Diagnostics, PngIsDrawnFromThePictureAsShown) {
    open_port();
    reply(false);
    d.receive(k_za_example);
    const auto path = d.data_folder() / "map.png";
    d.answer_save_dialog(path.string());
    d.choose(entry("export_png"));
    EXPECT_TRUE(d.messages().empty());
    const auto pictures = d.rendered_pictures();
    ASSERT_EQ(pictures.size(), 1U);
    EXPECT_EQ(pictures[0].width, 5175);
    EXPECT_EQ(pictures[0].height, 5175);
    EXPECT_EQ(pictures[0].background, 0xE0E0E0U);
    EXPECT_TRUE(pictures[0].zero_line);
    EXPECT_TRUE(pictures[0].dot);
    const auto rays = d.rays("main.map");
    ASSERT_EQ(rays.size(), 2U);
    ASSERT_EQ(pictures[0].lines.size(), 2U);
    for (std::size_t i = 0; i < rays.size(); ++i) {
        EXPECT_EQ(pictures[0].lines[i].x2, rays[i].x2);
        EXPECT_EQ(pictures[0].lines[i].y2, rays[i].y2);
        EXPECT_EQ(pictures[0].lines[i].rgb, 0xFF0000U);
    }
    EXPECT_EQ(file_text(path), std::string("\x89PNG\r\n\x1a\n", 8) + "fake 5175x5175 2 lines\n");
    EXPECT_EQ(d.save_dialog_starts().back(),
              (d.data_folder() / "picture-20250301T093000Z.png").string());
}

TEST_F(Diagnostics, PngThatCannotBeMadeOrWrittenSaysSo) {
    const auto path = d.data_folder() / "map.png";
    d.picture_render_fails();
    d.answer_save_dialog(path.string());
    d.choose(entry("export_png"));
    auto m = d.messages();
    ASSERT_EQ(m.size(), 1U);
    EXPECT_EQ(m[0].text, "The picture was not saved: the image could not be made.");
    EXPECT_FALSE(std::filesystem::exists(path));

    d.picture_render_fails(false);
    d.data_folder_read_only();
    d.answer_save_dialog(path.string());
    d.choose(entry("export_png"));
    m = d.messages();
    ASSERT_EQ(m.size(), 1U);
    EXPECT_EQ(m[0].text.rfind("The picture was not saved: ", 0), 0U) << m[0].text;
    EXPECT_FALSE(std::filesystem::exists(path));
}

} // namespace
} // namespace trx::main

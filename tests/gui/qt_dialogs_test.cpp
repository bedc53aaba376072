// The file dialog as the update window asks for it: its filter entries read as the window
// gives them, and they match what they say, whatever the case of the extension.
#include "qt/qt_dialogs.hpp"
#include "sw_update/sw_update_window.hpp"

#include "tests/qt_wait.hpp"
#include <QComboBox>
#include <QFileDialog>
#include <QListView>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace trx::ui::qt {
namespace {

namespace fs = std::filesystem;

TEST(QtDialogs, TheHexFilterReadsAsGivenAndMatchesBothCasesAndEverything) {
    trx::test::ensure_application();
    const fs::path folder = fs::temp_directory_path() / ("trx-dialog-" + std::to_string(getpid()));
    fs::create_directories(folder);
    for (const char* name : {"a.h86", "B.H86", "notes.txt", "README"}) {
        std::ofstream(folder / name) << "x";
    }

    QFileDialog dlg;
    QtDialogs::prepare(dlg, {sw_update::k_file_dialog_title, sw_update::k_file_dialog_filter,
                             sw_update::k_file_dialog_ext, (folder / "a.h86").string()});
    EXPECT_EQ(dlg.windowTitle(), "Open Hexfile*");
    EXPECT_EQ(dlg.defaultSuffix(), "h86");
    auto* types = dlg.findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(types, nullptr);
    ASSERT_EQ(types->count(), 2);
    EXPECT_EQ(types->itemText(0), "Hexfiles (*.h86)");
    EXPECT_EQ(types->itemText(1), "all files (*.*)");

    auto* list = dlg.findChild<QListView*>("listView");
    ASSERT_NE(list, nullptr);
    auto shown = [&] {
        QStringList names;
        for (int r = 0; r < list->model()->rowCount(list->rootIndex()); ++r) {
            names << list->model()->index(r, 0, list->rootIndex()).data().toString();
        }
        names.sort();
        return names.join(",");
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == "B.H86,a.h86"; }, 5000))
        << shown().toStdString();
    types->setCurrentIndex(1);
    emit types->activated(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == "B.H86,README,a.h86,notes.txt"; }, 5000))
        << shown().toStdString();
    fs::remove_all(folder);
}

} // namespace
} // namespace trx::ui::qt

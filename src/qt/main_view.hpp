#pragma once

#include "forms/main_form.hpp"
#include "qt/grid_view.hpp"
#include "qt/picture_view.hpp"
#include "qt/status_bar_view.hpp"
#include "qt/toolbar_view.hpp"
#include "qt/window_view.hpp"

namespace trx::ui::qt {

// The main window on screen: toolbar, device status, the scan picture, the two tag tables
// on top of each other, the hidden filter and command boxes, the status bar. Every widget
// is named after its control.
class MainView : public WindowView {
public:
    explicit MainView(main::MainForm& form, QWidget* parent = nullptr);

    // Client area in twips.
    static constexpr double k_width = 9915;
    static constexpr double k_height = 8505;

    [[nodiscard]] ToolbarView* toolbar() const { return toolbar_; }
    [[nodiscard]] StatusBarView* status_bar() const { return status_bar_; }
    [[nodiscard]] PictureView* picture() const { return picture_; }
    [[nodiscard]] GridView* data() const { return data_; }
    [[nodiscard]] GridView* data2() const { return data2_; }
    // The scan picture's extras: its context menu, the wheel, and the rows clicked in the
    // tables.
    void set_plan_extras(PlanExtras& extras);

private:
    void place(QWidget* w, double left, double top, double width, double height);
    void build_status_frame(main::MainForm& form);
    void build_hidden_frames(main::MainForm& form);
    void build_logo(main::MainForm& form);
    void set_tab_order(main::MainForm& form);

    ToolbarView* toolbar_;
    StatusBarView* status_bar_;
    PictureView* picture_;
    GridView* data_;
    GridView* data2_;
};

} // namespace trx::ui::qt

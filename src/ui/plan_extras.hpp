#pragma once

#include "ui/controls.hpp"
#include "ui/signal.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The model of the scan picture's extras: the check items of its context menu and what they
// add to the picture, in the picture's own twips. Nothing here is drawn unless asked for.
namespace trx::ui {

struct PlanLabel {
    double x = 0; // the text's centre
    double y = 0;
    std::string text;
    std::uint32_t rgb = 0;
};

// What the extras add to the picture. Empty and at zoom 1 it leaves the picture as it is.
struct PlanDrawing {
    std::vector<Segment> behind; // drawn before the picture's own rays
    std::vector<Segment> ticks;
    std::vector<PlanLabel> labels;
    std::optional<Segment> selected; // drawn thick, over the rays
    double zoom = 1;                 // about the picture's centre

    [[nodiscard]] bool empty() const {
        return behind.empty() && ticks.empty() && labels.empty() && !selected && zoom == 1;
    }
};

class PlanExtras {
public:
    struct Item {
        std::string key;
        std::string caption;
        bool checked = false;
    };

    explicit PlanExtras(std::vector<Item> items) : items_(std::move(items)) {}

    [[nodiscard]] const std::vector<Item>& items() const { return items_; }
    [[nodiscard]] bool checked(std::string_view key) const;
    void set_checked(std::string_view key, bool on); // by the logic: tells the view only
    [[nodiscard]] const PlanDrawing& drawing() const { return drawing_; }
    void set_drawing(PlanDrawing d);

    // --- user input ---
    void user_toggle(std::string_view key);          // a check item of the context menu
    void user_wheel(int notches);                    // up: positive
    void user_pick(std::string_view table, int row); // a click on a table's row (1: first)

    Signal<> changed;
    Signal<const std::string&> toggled;
    Signal<int> wheeled;
    Signal<const std::string&, int> picked;

private:
    std::vector<Item> items_;
    PlanDrawing drawing_;
};

} // namespace trx::ui

#include "ui/plan_extras.hpp"

#include <algorithm>

namespace trx::ui {

bool PlanExtras::checked(std::string_view key) const {
    return std::any_of(items_.begin(), items_.end(),
                       [key](const Item& i) { return i.key == key && i.checked; });
}

void PlanExtras::set_checked(std::string_view key, bool on) {
    for (Item& i : items_) {
        if (i.key == key && i.checked != on) {
            i.checked = on;
            changed.raise();
        }
    }
}

void PlanExtras::set_drawing(PlanDrawing d) {
    drawing_ = std::move(d);
    changed.raise();
}

void PlanExtras::user_toggle(std::string_view key) {
    const std::string k(key);
    toggled.raise(k);
}

void PlanExtras::user_wheel(int notches) {
    if (notches != 0) {
        wheeled.raise(notches);
    }
}

void PlanExtras::user_pick(std::string_view table, int row) {
    const std::string t(table);
    picked.raise(t, row);
}

} // namespace trx::ui

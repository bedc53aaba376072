// The parameter window's controls are the catalogue's: every name it gives is a control of
// the form, with the catalogue's texts and ranges.
#include "forms/para_form.hpp"

#include <gtest/gtest.h>

namespace trx::para {
namespace {

TEST(ParaForm, EveryCatalogueFieldHasItsControlsWithTheCataloguesTexts) {
    const ParaForm form;
    for (const link::ParaFieldDef& f : link::k_para_catalogue) {
        SCOPED_TRACE(std::string(f.name));
        ui::Control& c = form.control(f);
        EXPECT_EQ(c.tooltip(), f.tooltip);
        if (!f.spinner.empty()) {
            const ui::Spinner& s = form.spinner(f);
            EXPECT_EQ(s.min(), static_cast<int>(f.min));
            EXPECT_EQ(s.max(), static_cast<int>(f.max));
            EXPECT_EQ(s.value(), f.spinner_start);
        }
        if (!f.label_control.empty()) {
            EXPECT_EQ(form.window.get<ui::Label>(f.label_control).caption(), f.label);
        }
        if (!f.unit_control.empty()) {
            EXPECT_EQ(form.window.get<ui::Label>(f.unit_control).caption(), f.unit);
        }
        if (f.display == link::ParaDisplay::bit) {
            EXPECT_EQ(form.window.get<ui::CheckBox>(f.control).caption(), f.label);
        }
        if (!f.items.empty()) {
            const auto& combo = form.window.get<ui::ComboBox>(f.control);
            ASSERT_EQ(combo.items().size(), f.items.size());
            EXPECT_EQ(combo.text(), f.initial_text);
            EXPECT_EQ(combo.selected(), -1);
        }
    }
}

TEST(ParaForm, FilterFieldsStandInTheFilterFrameTopToBottom) {
    const ParaForm form;
    const ui::Control* previous = nullptr;
    for (const link::ParaField id : k_filter_fields) {
        const ui::Control& box = form.control(link::para_field(id));
        EXPECT_EQ(box.parent(), &form.frame_filter_parameter);
        if (previous != nullptr) {
            // Declared, and so listed by the window, in the order it shows them.
            const auto& all = form.window.controls();
            EXPECT_LT(std::find(all.begin(), all.end(), previous),
                      std::find(all.begin(), all.end(), &box));
        }
        previous = &box;
    }
}

} // namespace
} // namespace trx::para

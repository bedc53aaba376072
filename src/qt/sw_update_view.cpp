#include "qt/sw_update_view.hpp"

#include "qt/bind.hpp"
#include "qt/follow.hpp"
#include "qt/path_label.hpp"

namespace trx::ui::qt {

namespace {

// Position and size in twips, relative to the parent widget.
void place(QWidget* w, double x, double y, double width, double height) {
    const QWidget* ref = w->parentWidget();
    w->setGeometry(twips_x(x, ref), twips_y(y, ref), twips_x(width, ref), twips_y(height, ref));
}

} // namespace

ProgressView::ProgressView(ProgressBar& m, QWidget* parent) : QProgressBar(parent), model_(m) {
    bind_common(this, m);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
    follow(this, m.changed, [this] { refresh(); });
    refresh();
}

void ProgressView::refresh() {
    setRange(0, model_.maximum());
    setValue(model_.value());
    update();
}

// The text comes whole from the logic, numbers included: no placeholders, no locale.
QString ProgressView::text() const {
    return QString::fromStdString(model_.label());
}

SwUpdateView::SwUpdateView(sw_update::SwUpdateForm& form, QWidget* parent)
    : WindowView(form.window, parent) {
    set_client_twips(k_client_width, k_client_height);

    QGroupBox* file_frame = make_frame(form.Frame1, this);
    place(file_frame, 120, 60, 5895, 1035);
    place(make_button(form.openbutton, file_frame), 120, 360, 1095, 495);
    auto* path = new PathLabel(form.hexfilename, file_frame);
    path->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    path->setLineWidth(1);
    path->setAutoFillBackground(true);
    path->setBackgroundRole(QPalette::Window);
    place(path, 1335, 420, 4440, 375);
    QLabel* identity = make_label(form.image_identity, file_frame);
    place(identity, 1335, 800, 4440, 220);

    QGroupBox* program_frame = make_frame(form.Frame5, this);
    place(program_frame, 120, 1215, 1455, 4095);
    place(make_button(form.program, program_frame), 240, 960, 975, 2175);
    place(make_button(form.cmd_verify, program_frame), 240, 3255, 975, 495);

    // The log holds the eleven lines of a whole run; under it the progress bar, or, after a
    // failure whose reason is known, that reason in full.
    QGroupBox* status_frame = make_frame(form.Frame3, this);
    place(status_frame, 1695, 1215, 4320, 4095);
    place(new LogBox(form.status, status_frame), 120, 300, 4080, 2790);
    QLabel* reason = make_label(form.failure_reason, status_frame);
    reason->setWordWrap(true);
    reason->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    reason->setTextInteractionFlags(Qt::TextSelectableByMouse);
    place(reason, 120, 3150, 4080, 795);
    auto* bar = new ProgressView(form.progress, status_frame);
    place(bar, 120, 3150, 4080, 315);
    // The one-line bar cannot hold a reason: it makes way while the label shows one.
    auto make_way = [bar, &form] {
        bar->setVisible(form.progress.visible() && form.failure_reason.caption().empty());
    };
    follow(bar, form.progress.changed, make_way);
    follow(bar, form.failure_reason.changed, make_way);
    make_way();

    place(make_check(form.keep_firmware, this), 120, 5520, 4500, 375);
    place(make_button(form.closebutton, this), 4800, 5460, 1215, 495);
}

} // namespace trx::ui::qt

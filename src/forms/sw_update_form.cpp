#include "forms/sw_update_form.hpp"

namespace trx::sw_update {

SwUpdateForm::SwUpdateForm() {
    program.set_enabled(false);
    cmd_verify.set_enabled(false);
    status.set_locked(true);
    status.set_text_color(k_log_green);
    progress.set_visible(false);
}

} // namespace trx::sw_update

#pragma once

#include "base/log.hpp"
#include "flashlib/flash_library.hpp"

namespace trx::service {

// The flash library's diagnostics into `log` under trx.flash: every frame on the line at
// debug level, the steps at info, retries, fallbacks and failures as warnings. Nothing is
// routed (and the library builds no text) while the log takes nothing of trx.flash. `log` must
// outlive the library's calls, or be cut off first with unroute_flash_log. The library calls
// back from the thread that runs its step, so `log` must take lines from that thread.
void route_flash_log(FlashLibrary& lib, Log& log);
void unroute_flash_log(FlashLibrary& lib);

} // namespace trx::service

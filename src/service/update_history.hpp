#pragma once

#include "base/result.hpp"
#include "history/recorder.hpp"
#include "service/firmware_update.hpp"

#include <optional>
#include <string>

namespace trx::service {

// "reset", "bootstrap", "open_com" ... "program_flash".
std::string_view step_name(UpdateStep step);

// The history's record of an update run: the image's path, size and CRC-32 (read from the
// file), the target the loader named, how long it took, and why it failed.
history::UpdateRecord update_record(history::Kind kind, const std::string& hex_path,
                                    const UpdateValues& values, std::optional<UpdateStep> failed,
                                    const Result<Done>& outcome, double duration_s,
                                    std::optional<std::uint32_t> serial);

} // namespace trx::service

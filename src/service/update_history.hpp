#pragma once

#include "base/result.hpp"
#include "history/recorder.hpp"
#include "service/firmware_update.hpp"

#include <optional>
#include <string>

namespace trx::service {

// "reset", "bootstrap", "open_com" ... "program_flash".
std::string_view step_name(UpdateStep step);

// What a front knows of a firmware run that the sequence does not.
struct RunSummary {
    history::Kind kind = history::Kind::update;
    std::string image;    // the hex file's path, or the range read back
    std::string identity; // the image's, as its check found it; empty for a read-back
    std::optional<std::int32_t> skipped; // sectors found holding the image already
    double duration_s = 0.0;
    std::optional<std::uint32_t> serial;
};

// The history's record of a firmware run, the same from both fronts: the image's path, size
// and CRC-32 (read from the file), its identity, the target the loader named, the line's rate,
// how long it took, and the step that failed and why.
history::UpdateRecord update_record(const RunSummary& run, const UpdateSequence& sequence,
                                    const UpdateValues& values, const Result<Done>& outcome);

} // namespace trx::service

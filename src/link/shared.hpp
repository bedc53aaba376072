#pragma once

#include <cstdint>
#include <string>

namespace trx {

// The process-wide values of the program, in one place. Windows receive it by reference.
struct Shared {
    // Running sum of the command frame being written; one for all senders.
    std::int32_t checksum_accumulator = 0;
    // Port last opened from the toolbar: "COM1" ... "COM10" or a device path; empty until
    // then, kept when the port closes.
    std::string port_name;
    // Set by every "W" reply, cleared by the read button after its wait.
    bool parameters_received = false;
    // Set at the start of every "W" reply and by the "P" acknowledgement; cleared by a
    // reply of unexpected length or with a field out of range.
    bool parameter_set_valid = false;
    // A "W" reply has arrived since the link last came up (or the port last opened). Until
    // then the parameter window may still show another scanner's set, and it is not stored.
    bool reply_since_link_up = false;
    // Status word of the last decoded status frame.
    std::int16_t status_word = 0;

    // Firmware update values kept from one run to the next.
    std::string flash_baud_text = "57600";
    std::string target_name;
    double cpu_frequency = 0.0;
    std::int32_t file_size = 0;
};

} // namespace trx

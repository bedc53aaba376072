#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace trx::sim {

// A file of the simulator's options read whole: its content, or why not.
struct FileRead {
    std::optional<std::string> content;
    bool missing = false; // the file does not exist (error says so too)
    std::string error;    // "FILE: the reason"
};

// The largest files the simulator reads: a scene holds at most 60 stripes, a state file 15
// short lines; both leave ample room for comments.
constexpr std::size_t k_max_scene_file_bytes = 64U << 10;
constexpr std::size_t k_max_state_file_bytes = 16U << 10;

// Reads a regular file of at most max_bytes. A folder, a device or a pipe is refused without
// reading or waiting (a pipe without a writer would block the open, /dev/zero never ends), and
// so is a file longer than its format allows.
FileRead read_bounded_file(const std::filesystem::path& file, std::size_t max_bytes);

} // namespace trx::sim

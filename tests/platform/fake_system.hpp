#pragma once

// A system of real files in a temporary folder: /dev, /proc, /etc, lock folders, /sys, as the
// platform services read them.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace trx::testing {

class FakeSystem {
public:
    FakeSystem() {
        static std::atomic<int> counter{0};
        root_ = std::filesystem::temp_directory_path() /
                ("trx81500-system-" + std::to_string(::getpid()) + "-" +
                 std::to_string(counter.fetch_add(1)));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    ~FakeSystem() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    FakeSystem(const FakeSystem&) = delete;
    FakeSystem& operator=(const FakeSystem&) = delete;
    FakeSystem(FakeSystem&&) = delete;
    FakeSystem& operator=(FakeSystem&&) = delete;

    [[nodiscard]] const std::filesystem::path& root() const { return root_; }
    // A system path ("/dev/ttyUSB0") in the fake system.
    [[nodiscard]] std::filesystem::path at(const std::string& path) const {
        return root_ / std::filesystem::path(path).relative_path();
    }

    // A file with this content and mode (a device node stands in as a plain file).
    void file(const std::string& path, const std::string& content, mode_t mode = 0644) const {
        const auto p = at(path);
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary | std::ios::trunc) << content;
        ::chmod(p.c_str(), mode);
    }
    // A symbolic link at `path` to `target` (a system path, or relative as it stands).
    void link(const std::string& path, const std::string& target) const {
        const auto p = at(path);
        std::filesystem::create_directories(p.parent_path());
        std::filesystem::create_symlink(
            target.front() == '/' ? at(target) : std::filesystem::path(target), p);
    }
    // A running process with this name; `open` is a system path it has open as fd 3.
    void process(int pid, const std::string& name, const std::string& open = {}) const {
        file("/proc/" + std::to_string(pid) + "/comm", name + "\n");
        std::filesystem::create_directories(at("/proc/" + std::to_string(pid) + "/fd"));
        if (!open.empty()) {
            link("/proc/" + std::to_string(pid) + "/fd/3", open);
        }
    }

    // Owner and group of a file as the file system made them.
    [[nodiscard]] uid_t owner(const std::string& path) const { return info(path).st_uid; }
    [[nodiscard]] gid_t group(const std::string& path) const { return info(path).st_gid; }

private:
    [[nodiscard]] struct stat info(const std::string& path) const {
        struct stat st {};
        ::stat(at(path).c_str(), &st);
        return st;
    }

    std::filesystem::path root_;
};

} // namespace trx::testing

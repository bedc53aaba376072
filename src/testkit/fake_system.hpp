#pragma once

#include "main/port_list.hpp"
#include "ui/std_files.hpp"

#include <string>
#include <vector>

namespace trx::testkit {

// The serial devices the system reports, as the test scripts them.
class ScriptedSerialDevices : public main::SerialDevices {
public:
    [[nodiscard]] std::vector<main::SerialDevice> list() const override { return devices_; }
    void set(std::vector<main::SerialDevice> d) { devices_ = std::move(d); }

private:
    std::vector<main::SerialDevice> devices_;
};

// The scanner simulator without a process: starting it hands out a pseudo-terminal name the
// fake port accepts; a scripted reason makes every start fail.
class FakeSimulator : public main::SimulatorHost {
public:
    static constexpr const char* k_device = "/dev/pts/81500";

    main::SimulatorStart start() override {
        if (!fail_reason_.empty()) {
            return {false, {}, fail_reason_};
        }
        running_ = true;
        ++starts_;
        return {true, k_device, {}};
    }
    void stop() override { running_ = false; }
    [[nodiscard]] bool running() const override { return running_; }

    void fail_with(std::string reason) { fail_reason_ = std::move(reason); }
    [[nodiscard]] int starts() const { return starts_; }

private:
    bool running_ = false;
    int starts_ = 0;
    std::string fail_reason_;
};

// Files on disk, except that an "installed" program folder takes no new files: running as
// root, folder permissions alone would not stop the writes.
class DriverFiles : public ui::StdFiles {
public:
    DriverFiles(std::filesystem::path program, std::filesystem::path config, bool writable)
        : StdFiles(std::move(program), std::move(config)), program_writable_(writable) {}

    [[nodiscard]] bool folder_writable(const std::filesystem::path& folder) const override {
        if (!program_writable_ && is_program_folder(folder)) {
            return false;
        }
        return StdFiles::folder_writable(folder);
    }
    bool replace_atomically(const std::filesystem::path& p, std::string_view content) override {
        if (!program_writable_ && is_program_folder(p.parent_path())) {
            return false;
        }
        return StdFiles::replace_atomically(p, content);
    }

private:
    [[nodiscard]] bool is_program_folder(const std::filesystem::path& folder) const {
        return folder.lexically_normal() == program_folder().lexically_normal();
    }
    bool program_writable_;
};

} // namespace trx::testkit

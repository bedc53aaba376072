#pragma once

// The Driver's own state: the program on the fakes, and the helpers both halves of the Driver
// use. Private to the test kit.
#include "testkit/driver.hpp"

#include "main/program.hpp"
#include "main/settings.hpp"
#include "testkit/driver_files.hpp"
#include "testkit/fake_picture_renderer.hpp"
#include "testkit/fake_port.hpp"
#include "testkit/fake_simulator.hpp"
#include "testkit/faulty_capture_file.hpp"
#include "testkit/faulty_text_files.hpp"
#include "testkit/recorded_address_prompt.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/recorded_log.hpp"
#include "testkit/scripted_search.hpp"
#include "testkit/scripted_serial_devices.hpp"
#include "testkit/virtual_clock.hpp"
#include "testkit/virtual_pump.hpp"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <unistd.h>

namespace trx::testkit {

namespace fs = std::filesystem;

namespace driver_detail {

inline fs::path fresh_folder() {
    static std::atomic<int> counter{0};
    const fs::path p = fs::temp_directory_path() / ("trx81500-test-" + std::to_string(::getpid()) +
                                                    "-" + std::to_string(counter.fetch_add(1)));
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

[[noreturn]] inline void unknown(std::string_view name, const char* what = "no such control") {
    throw std::out_of_range(std::string(what) + ": " + std::string(name));
}

inline Icon icon_of(ui::Icon i) {
    switch (i) {
    case ui::Icon::critical:
        return Icon::critical;
    case ui::Icon::warning:
        return Icon::warning;
    case ui::Icon::information:
        return Icon::information;
    case ui::Icon::question:
        return Icon::question;
    case ui::Icon::none:
        break;
    }
    return Icon::none;
}

// "window.control[.key[.entry]]" split into its parts.
struct Name {
    std::string_view window;
    std::string_view control;
    std::string_view key;
    std::string_view entry;
};

inline Name split(std::string_view name) {
    Name n;
    auto next = [](std::string_view& rest) {
        const auto dot = rest.find('.');
        std::string_view head = rest.substr(0, dot);
        rest = dot == std::string_view::npos ? std::string_view{} : rest.substr(dot + 1);
        return head;
    };
    std::string_view rest = name;
    n.window = next(rest);
    n.control = next(rest);
    n.key = next(rest);
    n.entry = rest;
    return n;
}

} // namespace driver_detail

struct Driver::Impl {
    explicit Impl(const DriverOptions& o)
        : folder(o.program_folder.empty() ? driver_detail::fresh_folder() : o.program_folder),
          owns_folder(o.program_folder.empty()), port(clock), pump(clock),
          files(folder, o.config_folder.empty() ? folder / "config" : o.config_folder,
                o.data_folder.empty() ? folder / "data" : o.data_folder, o.program_folder_writable),
          program(main::Services{
              port, clock, dialogs, pump, files, &devices, &simulator, &log, &text_files,
              o.port_diagnosis, &renderer,
              [this](const fs::path& p, std::error_code& ec) { return open_capture(p, ec); },
              &address_prompt, &listener, &choice_prompt}) {
        port.set_open_fails(!o.port_exists);
        if (o.portable) {
            std::error_code ec;
            fs::create_directories(folder, ec);
            std::ofstream(folder / main::k_portable_marker) << "portable copy\n";
        }
    }

    ~Impl() {
        if (owns_folder) {
            std::error_code ec;
            fs::remove_all(folder, ec);
        }
    }

    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    Impl(Impl&&) = delete;
    Impl& operator=(Impl&&) = delete;

    std::unique_ptr<capture::Sink> open_capture(const fs::path& p, std::error_code& ec) {
        const auto rel = p.parent_path().lexically_normal().lexically_relative(
            files.data_folder().lexically_normal());
        const bool in_read_only = data_read_only && !rel.empty() && *rel.begin() != "..";
        return FaultyCaptureFile::create(p, disk_full, in_read_only, ec);
    }

    ui::Window& window(std::string_view name) {
        ui::Window* w = program.window(driver_detail::split(name).window);
        if (w == nullptr) {
            driver_detail::unknown(name, "no such window");
        }
        return *w;
    }

    ui::Control& control(std::string_view name) {
        const driver_detail::Name n = driver_detail::split(name);
        ui::Control* c = window(name).find(n.control);
        if (c == nullptr || n.control.empty()) {
            driver_detail::unknown(name);
        }
        return *c;
    }

    template <class T> T& as(std::string_view name) {
        auto* t = dynamic_cast<T*>(&control(name));
        if (t == nullptr) {
            driver_detail::unknown(name, "control of another kind");
        }
        return *t;
    }

    // A status bar's menu entry ("main.StatusBar1.diagnostics.export_csv"), or null.
    ui::StatusBar* status_menu(std::string_view name) {
        const driver_detail::Name n = driver_detail::split(name);
        if (n.key.empty()) {
            return nullptr;
        }
        auto* sb = dynamic_cast<ui::StatusBar*>(&control(name));
        if (sb == nullptr) {
            return nullptr;
        }
        if (n.entry.empty()) {
            driver_detail::unknown(name, "not a menu entry");
        }
        (void)sb->menu_entry(n.key, n.entry);
        return sb;
    }

    // A toolbar button ("main.Toolbar1.comport") or entry ("...comport.com10"), or null.
    ui::Toolbar* toolbar(std::string_view name) {
        const driver_detail::Name n = driver_detail::split(name);
        if (n.key.empty() || status_menu(name) != nullptr) {
            return nullptr;
        }
        auto* tb = dynamic_cast<ui::Toolbar*>(&control(name));
        if (tb == nullptr) {
            driver_detail::unknown(name);
        }
        if (n.entry.empty()) {
            (void)tb->item(n.key);
        } else {
            (void)tb->entry(n.key, n.entry);
        }
        return tb;
    }

    fs::path folder;
    bool owns_folder;
    VirtualClock clock;
    FakeSerialPort port;
    RecordedDialogs dialogs;
    RecordedAddressPrompt address_prompt;
    ScriptedPortListener listener;
    RecordedChoicePrompt choice_prompt;
    VirtualPump pump;
    DriverFiles files;
    ScriptedSerialDevices devices;
    std::optional<ui::SerialDevice> pulled; // the adapter pull_device() took away
    FakeSimulator simulator;
    RecordedLog log;
    FaultyTextFiles text_files;
    FakePictureRenderer renderer;
    std::atomic<bool> disk_full{false};
    bool data_read_only = false;
    main::Program program;
};

} // namespace trx::testkit

#include "flashlib/dll_interface.hpp"

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <system_error>
#include <vector>

#ifndef TRX_PRIVATE_LIBRARY_FOLDER
#error "the build names the private library folder relative to the program's folder"
#endif

namespace trx::flash {

const char* const Dll_interface::k_private_folder = TRX_PRIVATE_LIBRARY_FOLDER;

namespace {

namespace fs = std::filesystem;

std::string default_name() {
    const char* named = std::getenv(Dll_interface::k_name_variable);
    return named != nullptr && *named != '\0' ? named : Dll_interface::k_default_name;
}

fs::path program_folder() {
    std::error_code ec;
    const auto exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

std::string folder_list(const std::vector<fs::path>& folders) {
    std::string out;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        out += (i == 0 ? "" : i + 1 == folders.size() ? " or " : ", ") + folders[i].string();
    }
    return out;
}

} // namespace

Dll_interface::Dll_interface() : name_(default_name()) {}

Dll_interface::Dll_interface(std::string name) : name_(std::move(name)) {}

Dll_interface::~Dll_interface() {
    if (handle_ != nullptr) {
        // The library must not call back into a destroyed object.
        if (auto fn = reinterpret_cast<abi::SetProgressCallbackFn>(symbol("SetProgressCallback"))) {
            fn(nullptr, nullptr);
        }
        if (auto fn = reinterpret_cast<abi::SetLogCallbackFn>(symbol("SetLogCallback"))) {
            fn(nullptr, nullptr);
        }
        dlclose(handle_);
    }
}

std::vector<fs::path> Dll_interface::search_folders(const fs::path& program_folder) {
    if (program_folder.empty()) {
        return {};
    }
    return {program_folder, (program_folder / k_private_folder).lexically_normal()};
}

// A bare name is looked for only where the program keeps its own files, never on the
// loader's path: a library of the same name elsewhere on the system is not ours.
bool Dll_interface::load() {
    if (handle_ != nullptr) {
        return true;
    }
    std::string path = name_;
    if (name_.find('/') == std::string::npos) {
        const auto folders = search_folders(program_folder());
        path.clear();
        for (const auto& folder : folders) {
            std::error_code ec;
            if (fs::exists(folder / name_, ec)) {
                path = (folder / name_).string();
                break;
            }
        }
        if (path.empty()) {
            error_ = "flash library " + name_ + " not found" +
                     (folders.empty() ? std::string(" (the program's folder is unknown)")
                                      : " in " + folder_list(folders));
            return false;
        }
    }
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = dlerror();
        error_ =
            "flash library " + path + " cannot be loaded: " + (why != nullptr ? why : "not found");
        return false;
    }
    register_progress();
    register_log();
    register_max_baud();
    return true;
}

void* Dll_interface::symbol(const char* function) {
    dlerror();
    return dlsym(handle_, function);
}

// What goes wrong on this side of the library (it is missing, or lacks a function) is told
// through the same callback as the library's own failures.
std::int32_t Dll_interface::fail_here() const {
    if (log_ != nullptr) {
        log_(log_context_, static_cast<int>(LogLevel::warning), ("failed: " + error_).c_str());
    }
    return 0;
}

template <class Fn, class... Args>
std::int32_t Dll_interface::call(const char* function, Args... args) {
    if (!load()) {
        return fail_here();
    }
    auto fn = reinterpret_cast<Fn>(symbol(function));
    if (fn == nullptr) {
        error_ = "flash library " + name_ + " has no function " + function;
        return fail_here();
    }
    const std::int32_t result = fn(args...);
    error_.clear();
    if (result != 1) {
        char text[512] = {};
        if (auto get = reinterpret_cast<abi::GetLastErrorTextFn>(symbol("GetLastErrorText"))) {
            get(text, static_cast<std::int32_t>(sizeof text));
        }
        error_ =
            std::string(function) + " failed" + (text[0] != '\0' ? ": " + std::string(text) : "");
    }
    return result;
}

std::int32_t Dll_interface::SetCom(const char* port_name, std::int32_t baud) {
    return call<abi::SetComFn>("SetCom", port_name, baud);
}
std::int32_t Dll_interface::InitMonitor(char* target_name) {
    return call<abi::InitMonitorFn>("InitMonitor", target_name);
}
std::int32_t Dll_interface::AdjustCpuFrequency(double* hz) {
    return call<abi::AdjustCpuFrequencyFn>("AdjustCpuFrequency", hz);
}
std::int32_t Dll_interface::LoadFile(const char* path, std::int32_t* size) {
    return call<abi::LoadFileFn>("LoadFile", path, size);
}
std::int32_t Dll_interface::AutoROMS1(std::int16_t* flag) {
    return call<abi::AutoROMS1Fn>("AutoROMS1", flag);
}
std::int32_t Dll_interface::GetHexFileBlock(std::int32_t* block) {
    return call<abi::GetHexFileBlockFn>("GetHexFileBlock", block);
}
std::int32_t Dll_interface::EraseFlash(std::int32_t block) {
    return call<abi::EraseFlashFn>("EraseFlash", block);
}
std::int32_t Dll_interface::ProgramFlash() {
    return call<abi::ProgramFlashFn>("ProgramFlash");
}
std::int32_t Dll_interface::CloseCom() {
    return call<abi::CloseComFn>("CloseCom");
}

std::int32_t Dll_interface::VerifyFlash(std::int32_t* differing) {
    return call<abi::VerifyFlashFn>("VerifyFlash", differing);
}
std::int32_t Dll_interface::ReadFlash(std::uint32_t address, std::uint32_t length,
                                      std::uint8_t* buffer) {
    return call<abi::ReadFlashFn>("ReadFlash", address, length, buffer);
}
std::int32_t Dll_interface::skipped_sectors() const {
    auto* self = const_cast<Dll_interface*>(this); // looking a symbol up changes nothing
    if (handle_ == nullptr) {
        return 0;
    }
    auto fn = reinterpret_cast<abi::GetSkippedSectorsFn>(self->symbol("GetSkippedSectors"));
    return fn != nullptr ? fn() : 0;
}
bool Dll_interface::can_verify() const {
    auto* self = const_cast<Dll_interface*>(this);
    return self->load() && self->symbol("VerifyFlash") != nullptr;
}
bool Dll_interface::can_read() const {
    auto* self = const_cast<Dll_interface*>(this);
    return self->load() && self->symbol("ReadFlash") != nullptr;
}

void Dll_interface::set_progress(ProgressFn fn, void* context) {
    progress_ = fn;
    progress_context_ = context;
    if (handle_ != nullptr) {
        register_progress();
    }
}

void Dll_interface::register_progress() {
    auto fn = reinterpret_cast<abi::SetProgressCallbackFn>(symbol("SetProgressCallback"));
    if (fn != nullptr) {
        fn(progress_ != nullptr ? &Dll_interface::forward_progress : nullptr, this);
    }
}

void Dll_interface::set_log(FlashLogFn fn, void* context) {
    log_ = fn;
    log_context_ = context;
    if (handle_ != nullptr) {
        register_log();
    }
}

// The callback goes to the library as it is: FlashLogFn is the C callback's type.
void Dll_interface::register_log() {
    if (auto fn = reinterpret_cast<abi::SetLogCallbackFn>(symbol("SetLogCallback"))) {
        fn(log_, log_ != nullptr ? log_context_ : nullptr);
    }
}

void Dll_interface::set_max_baud(std::int32_t baud) {
    max_baud_ = baud;
    if (handle_ != nullptr) {
        register_max_baud();
    }
}

void Dll_interface::register_max_baud() {
    auto fn = reinterpret_cast<abi::SetMaxBaudFn>(symbol("SetMaxBaud"));
    if (fn != nullptr && max_baud_) {
        fn(*max_baud_);
    }
}

void Dll_interface::forward_progress(void* self, std::int32_t phase, std::int64_t done,
                                     std::int64_t total) {
    auto* d = static_cast<Dll_interface*>(self);
    if (d->progress_ == nullptr || phase < 0 || phase > 4) {
        return;
    }
    d->progress_(d->progress_context_,
                 FlashProgress{static_cast<FlashProgress::Phase>(phase), done, total});
}

} // namespace trx::flash

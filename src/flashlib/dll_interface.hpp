#pragma once

#include "flashlib/flash_library.hpp"
#include "flashlib/trxflash_abi.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace trx::flash {

// The flash library loaded by name at its first call, its nine C functions resolved one by
// one. A missing library or function makes that call fail (result 0) with the reason in
// last_error(); nothing is loaded until a call needs it. The extras (progress, log, the reason
// of a failure) are used where the library has them.
class Dll_interface final : public FlashLibrary {
public:
    static constexpr const char* k_default_name = "libtrxflash.so";
    // Overrides the default name (a file name or a path).
    static constexpr const char* k_name_variable = "TRX_FLASH_LIBRARY";
    // The installed program's private library folder, relative to its own folder
    // ("../lib/x86_64-linux-gnu/trx81500"); set by the build from the install layout.
    static const char* const k_private_folder;

    // Where a library named without a folder is looked for, in this order: beside the
    // program (the build tree, or a replacement put there), then the private folder.
    static std::vector<std::filesystem::path>
    search_folders(const std::filesystem::path& program_folder);

    // Our built-in library, or the one the environment names.
    Dll_interface();
    // A library by path, or by file name: looked for in search_folders() of the running
    // program, never on the loader's path.
    explicit Dll_interface(std::string name);
    ~Dll_interface() override;
    Dll_interface(const Dll_interface&) = delete;
    Dll_interface& operator=(const Dll_interface&) = delete;
    Dll_interface(Dll_interface&&) = delete;
    Dll_interface& operator=(Dll_interface&&) = delete;

    std::int32_t SetCom(const char* port_name, std::int32_t baud) override;
    std::int32_t InitMonitor(char* target_name) override;
    std::int32_t AdjustCpuFrequency(double* hz) override;
    std::int32_t LoadFile(const char* path, std::int32_t* size) override;
    std::int32_t AutoROMS1(std::int16_t* flag) override;
    std::int32_t GetHexFileBlock(std::int32_t* block) override;
    std::int32_t EraseFlash(std::int32_t block) override;
    std::int32_t ProgramFlash() override;
    std::int32_t CloseCom() override;

    // Optional: a library without them answers 0 with a reason that names the function.
    std::int32_t VerifyFlash(std::int32_t* differing) override;
    std::int32_t ReadFlash(std::uint32_t address, std::uint32_t length,
                           std::uint8_t* buffer) override;
    [[nodiscard]] std::int32_t skipped_sectors() const override;
    [[nodiscard]] bool can_verify() const override;
    [[nodiscard]] bool can_read() const override;

    void set_progress(ProgressFn fn, void* context) override;
    // Handed to the library's SetLogCallback when it has one; a library without it still
    // loads and works, silently.
    void set_log(FlashLogFn fn, void* context) override;
    // Handed to the library's SetMaxBaud when it has one.
    void set_max_baud(std::int32_t baud) override;
    [[nodiscard]] std::string last_error() const override { return error_; }

    [[nodiscard]] const std::string& name() const { return name_; }

private:
    bool load();
    std::int32_t fail_here() const;
    void* symbol(const char* function);
    template <class Fn, class... Args> std::int32_t call(const char* function, Args... args);
    void register_progress();
    void register_log();
    void register_max_baud();
    static void forward_progress(void* self, std::int32_t phase, std::int64_t done,
                                 std::int64_t total);

    std::string name_;
    void* handle_ = nullptr;
    std::string error_;
    ProgressFn progress_ = nullptr;
    void* progress_context_ = nullptr;
    FlashLogFn log_ = nullptr;
    void* log_context_ = nullptr;
    std::optional<std::int32_t> max_baud_;
};

} // namespace trx::flash

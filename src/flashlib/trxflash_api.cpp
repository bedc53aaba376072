// The shared library `trxflash`: the nine flash functions with a C ABI, plus three extras.
// Only these names are exported (trxflash.map).
#include "flashlib/builtin_flash.hpp"
#include "flashlib/net_transport.hpp"
#include "flashlib/serial_transport.hpp"
#include "flashlib/trxflash_abi.hpp"
#include "netport/net_address.hpp"

#include <cstring>
#include <exception>
#include <type_traits>

namespace {

using namespace trx::flash;

// The C functions keep their state between calls, so the library holds one session. It is
// reached only through these functions, one call at a time.
struct Api {
    BuiltinFlash library{[](const std::string& device, std::int32_t baud,
                            std::string& error) -> std::unique_ptr<Transport> {
        if (trx::net::is_network_port(device)) {
            return NetTransport::open(device, baud, error);
        }
        return SerialTransport::open(device, baud, error);
    }};
    abi::ProgressCallback progress = nullptr;
    void* progress_context = nullptr;
    std::string failure; // of the call itself (an exception), before the library's own
};

Api& api() {
    static Api instance;
    return instance;
}

void forward_progress(void* context, const trx::FlashProgress& p) {
    auto* a = static_cast<Api*>(context);
    if (a->progress != nullptr) {
        a->progress(a->progress_context, static_cast<std::int32_t>(p.phase), p.done, p.total);
    }
}

// No exception may cross the C boundary: it becomes a failed call with its reason.
template <class F> std::int32_t guarded(F&& f) {
    Api& a = api();
    a.failure.clear();
    try {
        return f(a.library);
    } catch (const std::exception& e) {
        a.failure = std::string("internal error: ") + e.what();
        return 0;
    }
}

} // namespace

extern "C" {

std::int32_t SetCom(const char* port_name, std::int32_t baud) {
    return guarded([&](BuiltinFlash& l) { return l.SetCom(port_name, baud); });
}
std::int32_t InitMonitor(char* target_name) {
    return guarded([&](BuiltinFlash& l) { return l.InitMonitor(target_name); });
}
std::int32_t AdjustCpuFrequency(double* hz) {
    return guarded([&](BuiltinFlash& l) { return l.AdjustCpuFrequency(hz); });
}
std::int32_t LoadFile(const char* path, std::int32_t* size) {
    return guarded([&](BuiltinFlash& l) { return l.LoadFile(path, size); });
}
std::int32_t AutoROMS1(std::int16_t* flag) {
    return guarded([&](BuiltinFlash& l) { return l.AutoROMS1(flag); });
}
std::int32_t GetHexFileBlock(std::int32_t* block) {
    return guarded([&](BuiltinFlash& l) { return l.GetHexFileBlock(block); });
}
std::int32_t EraseFlash(std::int32_t block) {
    return guarded([&](BuiltinFlash& l) { return l.EraseFlash(block); });
}
std::int32_t ProgramFlash() {
    return guarded([](BuiltinFlash& l) { return l.ProgramFlash(); });
}
std::int32_t CloseCom() {
    return guarded([](BuiltinFlash& l) { return l.CloseCom(); });
}

std::int32_t VerifyFlash(std::int32_t* differing) {
    return guarded([&](BuiltinFlash& l) { return l.VerifyFlash(differing); });
}
std::int32_t ReadFlash(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer) {
    return guarded([&](BuiltinFlash& l) { return l.ReadFlash(address, length, buffer); });
}
std::int32_t GetSkippedSectors() {
    return api().library.skipped_sectors();
}

void SetProgressCallback(abi::ProgressCallback fn, void* context) {
    Api& a = api();
    a.progress = fn;
    a.progress_context = context;
    a.library.set_progress(fn != nullptr ? &forward_progress : nullptr, &a);
}

// Called from the thread that runs the library call, like the progress callback.
void SetLogCallback(abi::LogCallback fn, void* context) {
    api().library.set_log(fn, context);
}

void SetMaxBaud(std::int32_t baud) {
    api().library.set_max_baud(baud);
}

std::int32_t GetLastErrorText(char* buffer, std::int32_t size) {
    Api& a = api();
    const std::string text = a.failure.empty() ? a.library.last_error() : a.failure;
    if (buffer != nullptr && size > 0) {
        const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size) - 1);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<std::int32_t>(text.size());
}

} // extern "C"

static_assert(std::is_same_v<decltype(&SetCom), abi::SetComFn>);
static_assert(std::is_same_v<decltype(&InitMonitor), abi::InitMonitorFn>);
static_assert(std::is_same_v<decltype(&AdjustCpuFrequency), abi::AdjustCpuFrequencyFn>);
static_assert(std::is_same_v<decltype(&LoadFile), abi::LoadFileFn>);
static_assert(std::is_same_v<decltype(&AutoROMS1), abi::AutoROMS1Fn>);
static_assert(std::is_same_v<decltype(&GetHexFileBlock), abi::GetHexFileBlockFn>);
static_assert(std::is_same_v<decltype(&EraseFlash), abi::EraseFlashFn>);
static_assert(std::is_same_v<decltype(&ProgramFlash), abi::ProgramFlashFn>);
static_assert(std::is_same_v<decltype(&CloseCom), abi::CloseComFn>);
static_assert(std::is_same_v<decltype(&VerifyFlash), abi::VerifyFlashFn>);
static_assert(std::is_same_v<decltype(&ReadFlash), abi::ReadFlashFn>);
static_assert(std::is_same_v<decltype(&GetSkippedSectors), abi::GetSkippedSectorsFn>);
static_assert(std::is_same_v<decltype(&SetProgressCallback), abi::SetProgressCallbackFn>);
static_assert(std::is_same_v<decltype(&SetLogCallback), abi::SetLogCallbackFn>);
static_assert(std::is_same_v<decltype(&GetLastErrorText), abi::GetLastErrorTextFn>);
static_assert(std::is_same_v<decltype(&SetMaxBaud), abi::SetMaxBaudFn>);
static_assert(std::is_same_v<abi::LogCallback, trx::FlashLogFn>);

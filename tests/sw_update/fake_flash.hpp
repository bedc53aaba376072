#pragma once

#include "flashlib/flash_library.hpp"

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace trx::sw_update::testing {

// A flash library that records its calls and answers as the test says: every call succeeds
// unless `results` holds answers for it, which are used one per call, in order.
class FakeFlash : public FlashLibrary {
public:
    std::int32_t SetCom(const char* port_name, std::int32_t baud) override {
        com_port = port_name;
        com_baud = baud;
        return answer("SetCom");
    }
    std::int32_t InitMonitor(char* target_name) override {
        name_on_entry = std::string(target_name);
        std::memcpy(target_name, name.data(), name.size());
        target_name[name.size()] = '\0';
        return answer("InitMonitor");
    }
    std::int32_t AdjustCpuFrequency(double* hz) override {
        *hz = frequency;
        return answer("AdjustCpuFrequency");
    }
    std::int32_t LoadFile(const char* path, std::int32_t* size) override {
        loaded.emplace_back(path);
        *size = file_size;
        return answer("LoadFile");
    }
    std::int32_t AutoROMS1(std::int16_t* flag) override {
        flag_on_entry = *flag;
        *flag = roms1;
        return answer("AutoROMS1");
    }
    std::int32_t GetHexFileBlock(std::int32_t* block) override {
        block_on_entry = *block;
        *block = block_value;
        return answer("GetHexFileBlock");
    }
    std::int32_t EraseFlash(std::int32_t block) override {
        erased_block = block;
        record("EraseFlash");
        report(FlashProgress::Phase::erase);
        return result("EraseFlash");
    }
    std::int32_t ProgramFlash() override {
        record("ProgramFlash");
        report(FlashProgress::Phase::program);
        return result("ProgramFlash");
    }
    std::int32_t CloseCom() override { return answer("CloseCom"); }
    std::int32_t VerifyFlash(std::int32_t* differing) override {
        record("VerifyFlash");
        *differing = differing_sectors;
        return result("VerifyFlash");
    }
    [[nodiscard]] bool can_verify() const override { return true; }
    // The flash reads back as bytes counting up from its address.
    std::int32_t ReadFlash(std::uint32_t address, std::uint32_t length,
                           std::uint8_t* out) override {
        record("ReadFlash");
        for (std::uint32_t i = 0; i < length; ++i) {
            out[i] = static_cast<std::uint8_t>(address + i);
        }
        return result("ReadFlash");
    }
    [[nodiscard]] bool can_read() const override { return true; }

    void set_progress(ProgressFn fn, void* context) override {
        progress_fn = fn;
        progress_context = context;
    }
    [[nodiscard]] std::string last_error() const override { return error_text; }

    // --- what the library answers ---
    std::map<std::string, std::deque<std::int32_t>> results;
    std::string name = "TRXSIM81500-A";
    double frequency = 20e6;
    std::int32_t file_size = 131072;
    std::int16_t roms1 = 1;
    std::int32_t block_value = 37;
    std::int32_t differing_sectors = 0; // what VerifyFlash finds
    std::string error_text;
    // Progress reports made during erase and program: {done, total} each.
    std::vector<std::pair<std::int64_t, std::int64_t>> progress_steps;
    // Runs inside every call, after its arguments were recorded: the test looks at the
    // program while the library works.
    std::function<void(const std::string& call)> during;
    // Thrown by the named call instead of answering.
    std::string throws_in;

    // --- what the library saw ---
    std::vector<std::string> calls;
    std::vector<std::string> loaded;
    std::string com_port;
    std::int32_t com_baud = 0;
    std::string name_on_entry;
    std::int16_t flag_on_entry = -1;
    std::int32_t block_on_entry = -1;
    std::int32_t erased_block = -1;
    ProgressFn progress_fn = nullptr;
    void* progress_context = nullptr;

private:
    std::int32_t answer(const std::string& call) {
        record(call);
        return result(call);
    }

    void record(const std::string& call) {
        calls.push_back(call);
        if (during) {
            during(call);
        }
    }

    std::int32_t result(const std::string& call) {
        if (call == throws_in) {
            throw std::runtime_error("library fault in " + call);
        }
        auto it = results.find(call);
        if (it == results.end() || it->second.empty()) {
            return 1;
        }
        const std::int32_t r = it->second.front();
        it->second.pop_front();
        return r;
    }

    void report(FlashProgress::Phase phase) {
        if (progress_fn == nullptr) {
            return;
        }
        for (const auto& [done, total] : progress_steps) {
            progress_fn(progress_context, {phase, done, total});
        }
    }
};

} // namespace trx::sw_update::testing

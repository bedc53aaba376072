// The simulator front's flash target: one flash memory for the life of the process, kept in
// a file when the front is given one, and a fresh loader session on every bootstrap.
#include "sim/boot_hook.hpp"
#include "sim/flash/flash_memory.hpp"
#include "sim/flash/flash_target.hpp"

#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace trx::sim {

namespace {

void load_file(FlashMemory& memory, const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (bytes.size() == memory.content().size()) {
        memory.load(bytes);
    }
}

void save_file(const FlashMemory& memory, const std::filesystem::path& file) {
    const auto tmp = std::filesystem::path(file.string() + ".tmp");
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        const auto c = memory.content();
        out.write(reinterpret_cast<const char*>(c.data()), static_cast<std::streamsize>(c.size()));
        if (!out) {
            return;
        }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, file, ec);
}

// Forwards to the loader and writes the flash to its file when a session ends.
class PersistentTarget final : public BootTarget {
public:
    PersistentTarget(std::shared_ptr<FlashMemory> memory, std::filesystem::path file)
        : memory_(std::move(memory)), file_(std::move(file)), target_(*memory_) {}

    void enter(std::chrono::nanoseconds now) override { target_.enter(now); }
    void receive(std::string_view bytes, std::chrono::nanoseconds now, std::string& out) override {
        target_.receive(bytes, now, out);
        save_when_done();
    }
    void poll(std::chrono::nanoseconds now, std::string& out) override {
        target_.poll(now, out);
        save_when_done();
    }
    [[nodiscard]] bool finished() const override { return target_.finished(); }
    [[nodiscard]] std::optional<std::uint16_t> booted_version() const override {
        return target_.booted_version();
    }

private:
    void save_when_done() {
        if (!saved_ && target_.finished() && !file_.empty()) {
            save_file(*memory_, file_);
            saved_ = true;
        }
    }

    std::shared_ptr<FlashMemory> memory_;
    std::filesystem::path file_;
    FlashTarget target_;
    bool saved_ = false;
};

} // namespace

BootTargetFactory flash_target_factory(const BootTargetSettings& settings) {
    auto memory = std::make_shared<FlashMemory>(flash::trx81500_layout());
    if (!settings.flash_file.empty()) {
        load_file(*memory, settings.flash_file);
    }
    return [memory, file = settings.flash_file]() -> std::unique_ptr<BootTarget> {
        return std::make_unique<PersistentTarget>(memory, file);
    };
}

} // namespace trx::sim

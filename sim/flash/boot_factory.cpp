// The simulator front's flash target: one flash memory for the life of the process, kept in
// a file when the front is given one, and a fresh loader session on every bootstrap.
#include "base/numtext.hpp"
#include "sim/boot_hook.hpp"
#include "sim/flash/flash_memory.hpp"
#include "sim/flash/flash_target.hpp"
#include "sim/sim_files.hpp"

#include <fstream>
#include <memory>
#include <vector>

namespace trx::sim {

namespace {

// Whole or not at all: a simulator killed while it writes keeps the image before.
void save_file(const FlashMemory& memory, const std::filesystem::path& file) {
    const auto tmp = std::filesystem::path(file.string() + ".tmp");
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        const auto c = memory.content();
        out.write(reinterpret_cast<const char*>(c.data()), static_cast<std::streamsize>(c.size()));
        out.flush();
        if (!out) {
            return;
        }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, file, ec);
}

// The flash memory of the process and the change its file holds.
struct KeptFlash {
    FlashMemory memory{flash::trx81500_layout()};
    std::filesystem::path file;
    std::uint64_t saved_changes = 0;

    void save_if_changed() {
        if (!file.empty() && memory.changes() != saved_changes) {
            save_file(memory, file);
            saved_changes = memory.changes();
        }
    }
};

// Forwards to the loader and writes the flash to its file after every step that changed it:
// an update cut off midway leaves on disk what the real flash would hold.
class PersistentTarget final : public BootTarget {
public:
    explicit PersistentTarget(std::shared_ptr<KeptFlash> kept)
        : kept_(std::move(kept)), target_(kept_->memory) {}

    void enter(std::chrono::nanoseconds now) override { target_.enter(now); }
    void receive(std::string_view bytes, std::chrono::nanoseconds now, std::string& out) override {
        target_.receive(bytes, now, out);
        kept_->save_if_changed();
    }
    void poll(std::chrono::nanoseconds now, std::string& out) override {
        target_.poll(now, out);
        kept_->save_if_changed();
    }
    [[nodiscard]] bool finished() const override { return target_.finished(); }
    [[nodiscard]] std::uint32_t line_rate() const override { return target_.line_rate(); }
    [[nodiscard]] std::optional<std::uint16_t> booted_version() const override {
        return target_.booted_version();
    }

private:
    std::shared_ptr<KeptFlash> kept_;
    FlashTarget target_;
};

} // namespace

FlashFileRead read_flash_file(const std::filesystem::path& file) {
    const std::size_t size = FlashMemory(flash::trx81500_layout()).content().size();
    const FileRead read = read_bounded_file(file, size);
    if (read.missing) {
        return {};
    }
    if (!read.content) {
        return {std::nullopt, read.error};
    }
    if (read.content->size() != size) {
        return {std::nullopt, file.string() + ": it is " +
                                  num::dec(static_cast<std::int64_t>(read.content->size())) +
                                  " bytes long; a flash image is exactly " +
                                  num::dec(static_cast<std::int64_t>(size))};
    }
    return {std::vector<std::uint8_t>(read.content->begin(), read.content->end()), {}};
}

BootTargetFactory flash_target_factory(const BootTargetSettings& settings) {
    auto kept = std::make_shared<KeptFlash>();
    kept->file = settings.flash_file;
    if (settings.flash_content) {
        kept->memory.load(*settings.flash_content);
    }
    kept->saved_changes = kept->memory.changes();
    return [kept]() -> std::unique_ptr<BootTarget> {
        return std::make_unique<PersistentTarget>(kept);
    };
}

} // namespace trx::sim

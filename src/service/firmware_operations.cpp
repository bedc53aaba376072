// The operations beside the update that go the same way to the loader: the verify that
// writes nothing and the read-back of the flash.
#include "flashlib/flash_layout.hpp"
#include "flashlib/frame_text.hpp"
#include "flashlib/hex_writer.hpp"
#include "service/firmware_update.hpp"
#include "service/update_log.hpp"

#include <bit>

namespace trx::service {

namespace {

namespace text = update_log;

constexpr std::string_view k_verify_finished = "Verify finished";
constexpr std::string_view k_read_finished = "Read finished";

std::vector<std::string> sectors_named(std::uint32_t mask) {
    const flash::FlashLayout layout = flash::trx81500_layout();
    std::vector<std::string> names;
    for (std::size_t i = 0; i < layout.sectors.size(); ++i) {
        if ((mask >> i & 1U) != 0) {
            names.push_back(flash::describe_sector(layout, i));
        }
    }
    return names;
}

std::string verify_line(std::uint32_t differing) {
    if (differing == 0) {
        return "VerifyFlash:     identical";
    }
    std::string line = "VerifyFlash:     differs in ";
    const auto names = sectors_named(differing);
    for (std::size_t i = 0; i < names.size(); ++i) {
        line += (i == 0 ? "" : ", ") + names[i];
    }
    return line;
}

} // namespace

void UpdateSequence::image_checked(const ImageCheck& check) {
    observer_.image_checked(check);
    line(check.log_line());
}

Result<Done> UpdateSequence::extra_step(UpdateStep step, FlashLibrary& lib,
                                        const UpdateValues& values,
                                        const std::function<std::int32_t()>& fn,
                                        const std::string& done_line,
                                        const std::function<bool()>& interrupted) {
    if (interrupted && interrupted()) {
        return fail(step, ErrorKind::interrupted, "interrupted", values);
    }
    if (!call(fn)) {
        return fail(step, ErrorKind::flash, {}, values, &lib);
    }
    observer_.step(step, values);
    if (!done_line.empty()) {
        line(done_line);
    }
    return Done{};
}

Result<std::uint32_t> UpdateSequence::verify_steps(FlashLibrary& lib, UpdateValues& values,
                                                   const std::string& hex_path,
                                                   const std::function<bool()>& interrupted) {
    aborted_text_ = "Verify aborted";
    if (!lib.can_verify()) {
        return fail(UpdateStep::verify_flash, ErrorKind::flash,
                    "the flash library cannot verify without writing", values);
    }
    if (auto done = steps_until(UpdateStep::load_file, lib, values, hex_path, interrupted); !done) {
        return done.error();
    }
    std::int32_t differing = 0;
    if (!call([&] { return lib.VerifyFlash(&differing); })) {
        return fail(UpdateStep::verify_flash, ErrorKind::flash, {}, values, &lib);
    }
    const auto mask = static_cast<std::uint32_t>(differing);
    observer_.step(UpdateStep::verify_flash, values);
    line(verify_line(mask));
    line(std::string(k_verify_finished), false, true);
    return mask;
}

Result<Done> UpdateSequence::read_steps(FlashLibrary& lib, UpdateValues& values,
                                        std::uint32_t address, std::vector<std::uint8_t>& bytes,
                                        const std::function<bool()>& interrupted) {
    aborted_text_ = "Read aborted";
    if (!lib.can_read()) {
        return fail(UpdateStep::read_flash, ErrorKind::flash,
                    "the flash library cannot read the flash back", values);
    }
    if (auto done = steps_until(UpdateStep::adjust_cpu_frequency, lib, values, {}, interrupted);
        !done) {
        return done;
    }
    const auto length = static_cast<std::uint32_t>(bytes.size());
    auto done = extra_step(
        UpdateStep::read_flash, lib, values,
        [&] { return lib.ReadFlash(address, length, bytes.data()); },
        "ReadFlash: " + text::number(length) + " Byte", interrupted);
    if (done) {
        line(std::string(k_read_finished), false, true);
    }
    return done;
}

Result<Done> UpdateSequence::keep_steps(FlashLibrary& lib, UpdateValues& values,
                                        const std::function<bool()>& interrupted,
                                        const KeepFlash& keep) {
    if (!lib.can_read()) {
        return fail(UpdateStep::read_flash, ErrorKind::flash,
                    "the flash library cannot read the flash back, so the current firmware "
                    "cannot be kept; nothing was erased",
                    values);
    }
    if (auto done = steps_until(UpdateStep::adjust_cpu_frequency, lib, values, {}, interrupted);
        !done) {
        return done;
    }
    std::vector<std::uint8_t> bytes(k_flash_bytes, 0xFF);
    if (auto done = extra_step(
            UpdateStep::read_flash, lib, values,
            [&] { return lib.ReadFlash(0, k_flash_bytes, bytes.data()); },
            "ReadFlash: " + text::number(k_flash_bytes) + " Byte", interrupted);
        !done) {
        return done;
    }
    flash::HexImage image;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        (void)image.put(static_cast<std::uint32_t>(i), bytes[i]);
    }
    const auto kept = keep(flash::write_intel_hex(image));
    if (!kept) {
        return fail(UpdateStep::read_flash, kept.error().kind,
                    kept.error().message + "; nothing was erased", values);
    }
    line("Firmware kept in " + kept->string());
    return Done{};
}

// ---------------------------------------------------------------- on a session

Result<VerifyReport> FirmwareUpdate::verify(const std::string& hex_path) {
    const auto started = session_.now();
    start();
    auto checked = check_image_file(hex_path, {});
    if (!checked) {
        return checked.error();
    }
    image_ = *checked;
    sequence_.image_checked(image_);
    Result<Done> reached = reach_loader();
    if (!reset_sent_) {
        return reached.error();
    }
    Result<std::uint32_t> differing =
        reached ? sequence_.verify_steps(library_, values_, hex_path,
                                         [this] { return session_.interrupted(); })
                : Result<std::uint32_t>(reached.error());
    end_run();
    record(history::Kind::verify, hex_path,
           differing ? Result<Done>(Done{}) : Result<Done>(differing.error()), started);
    if (!differing) {
        return differing.error();
    }
    return VerifyReport{*differing, sectors_named(*differing)};
}

Result<std::vector<std::uint8_t>> FirmwareUpdate::read_back(std::uint32_t address,
                                                            std::uint32_t length) {
    const auto started = session_.now();
    start();
    const flash::FlashLayout layout = flash::trx81500_layout();
    const std::uint64_t end = std::uint64_t{address} + length;
    if (length == 0 || !layout.contains(address) ||
        !layout.contains(static_cast<std::uint32_t>(end - 1))) {
        return Error{ErrorKind::bad_input, "the range " + flash::hex6(address) + " ... " +
                                               flash::hex6(static_cast<std::uint32_t>(end - 1)) +
                                               " is not all in the flash (0x000000 ... 0x03FFFF)"};
    }
    Result<Done> reached = reach_loader();
    if (!reset_sent_) {
        return reached.error();
    }
    std::vector<std::uint8_t> bytes(length, 0xFF);
    if (reached) {
        reached = sequence_.read_steps(library_, values_, address, bytes,
                                       [this] { return session_.interrupted(); });
    }
    end_run();
    record(history::Kind::read_back, flash::hex6(address) + "+" + std::to_string(length), reached,
           started);
    if (!reached) {
        return reached.error();
    }
    return bytes;
}

} // namespace trx::service

#include "flashlib/builtin_flash.hpp"

#include "base/numtext.hpp"
#include "base/port_names.hpp"
#include "flashlib/hex_reader.hpp"

#include <algorithm>

namespace trx::flash {

namespace {
constexpr std::uint32_t k_roms1_area_end = 0x8000; // the low 32 KiB
} // namespace

std::int32_t BuiltinFlash::fail(std::string why) {
    error_ = std::move(why);
    log_(LogLevel::warning, [&] { return "failed: " + error_; });
    return 0;
}

std::int32_t BuiltinFlash::done(const Outcome& o) {
    if (host_) {
        stats_ = host_->stats();
    }
    if (!o.ok()) {
        return fail(o.error);
    }
    error_.clear();
    return 1;
}

const FlashLayout& BuiltinFlash::layout() const {
    static const FlashLayout k_default = trx81500_layout();
    return host_ && host_->connected() ? host_->target().layout : k_default;
}

std::uint32_t BuiltinFlash::reset_vector() const {
    return host_ && host_->connected() ? host_->target().reset_vector : k_trx81500_reset_vector;
}

bool BuiltinFlash::need_host() {
    if (!host_) {
        fail("no port open (SetCom first)");
        return false;
    }
    if (!host_->connected()) {
        fail("not connected to the target (InitMonitor first)");
        return false;
    }
    return true;
}

bool BuiltinFlash::need_image() {
    if (!loaded_) {
        fail("no hex file loaded (LoadFile first)");
        return false;
    }
    return true;
}

void BuiltinFlash::release() {
    if (host_) {
        stats_ = host_->stats();
    }
    host_.reset();
    transport_.reset();
    erased_ = 0;
    verified_ = false;
}

std::int32_t BuiltinFlash::SetCom(const char* port_name, std::int32_t baud) {
    release();
    skipped_ = 0;
    if (port_name == nullptr || *port_name == '\0') {
        return fail("no port name");
    }
    std::string why;
    const std::string device = device_for_port_name(port_name);
    transport_ = open_(device, baud, why);
    if (!transport_) {
        return fail(why.empty() ? "cannot open " + std::string(port_name) : why);
    }
    transport_->attach_log(log_);
    host_ = std::make_unique<FlashHost>(
        *transport_,
        [this](const FlashProgress& p) {
            if (progress_ != nullptr) {
                progress_(progress_context_, p);
            }
        },
        log_);
    host_->set_max_baud(static_cast<std::uint32_t>(std::max<std::int32_t>(max_baud_, 0)));
    log_(LogLevel::info, [&] {
        return std::string(port_name) + " (" + device + ") open at " + num::dec(baud) + " baud";
    });
    return done({});
}

std::int32_t BuiltinFlash::InitMonitor(char* target_name) {
    if (!host_) {
        return fail("no port open (SetCom first)");
    }
    if (target_name == nullptr) {
        return fail("no buffer for the target name");
    }
    Outcome o = host_->connect();
    if (o.ok()) {
        // Only the 32 characters the caller filled are ours to write.
        const std::string& name = host_->target().name;
        for (std::size_t i = 0; i < name.size() && i < proto::k_name_max; ++i) {
            const char c = name[i];
            target_name[i] = c >= ' ' && c <= '~' ? c : '?';
        }
    }
    return done(o);
}

std::int32_t BuiltinFlash::AdjustCpuFrequency(double* hz) {
    if (hz == nullptr) {
        return fail("no place for the frequency");
    }
    if (!need_host()) {
        return 0;
    }
    std::uint32_t clock = 0;
    Outcome o = host_->read_clock(clock);
    if (o.ok()) {
        *hz = static_cast<double>(clock);
    }
    return done(o);
}

std::int32_t BuiltinFlash::LoadFile(const char* path, std::int32_t* size) {
    loaded_.reset();
    verified_ = false;
    if (path == nullptr || size == nullptr) {
        return fail("no file name or no place for the size");
    }
    HexResult r = read_intel_hex_file(path, layout(), reset_vector());
    if (!r.ok()) {
        return fail(r.error.message);
    }
    *size = static_cast<std::int32_t>(r.image.size());
    loaded_ = Loaded{std::move(r.image), layout(), reset_vector()};
    return done({});
}

std::int32_t BuiltinFlash::AutoROMS1(std::int16_t* flag) {
    if (flag == nullptr) {
        return fail("no place for the flag");
    }
    if (!need_image()) {
        return 0;
    }
    *flag = loaded_->image.has_data(0, k_roms1_area_end) ? 1 : 0;
    return done({});
}

std::int32_t BuiltinFlash::GetHexFileBlock(std::int32_t* block) {
    if (block == nullptr) {
        return fail("no place for the block value");
    }
    if (!need_image()) {
        return 0;
    }
    *block = static_cast<std::int32_t>(loaded_->image.sector_mask(loaded_->layout));
    return done({});
}

std::int32_t BuiltinFlash::EraseFlash(std::int32_t block) {
    if (!need_host()) {
        return 0;
    }
    verified_ = false;
    std::uint32_t to_erase = 0;
    if (Outcome o = sectors_to_erase(static_cast<std::uint32_t>(block), to_erase); !o.ok()) {
        return done(o);
    }
    // Nothing to erase because everything is there already is done; a block value of 0 is not.
    return done(to_erase == 0 && skipped_ != 0 ? Outcome{} : host_->erase(to_erase, erased_));
}

std::int32_t BuiltinFlash::ProgramFlash() {
    if (!need_host() || !need_image()) {
        return 0;
    }
    if (!(loaded_->layout == host_->target().layout) ||
        loaded_->reset_vector != host_->target().reset_vector) {
        return fail("the hex file was checked against another flash layout: load it again");
    }
    verified_ = false;
    Outcome o = host_->program(loaded_->image, erased_, skipped_);
    verified_ = o.ok();
    return done(o);
}

std::int32_t BuiltinFlash::CloseCom() {
    // Start the firmware only when the flash holds something whole: nothing erased in this
    // session, or a verified image. Otherwise the target stays in its loader for a retry.
    if (host_ && host_->connected() && (!host_->flash_touched() || verified_)) {
        const Outcome o = host_->go();
        log_(o.ok() ? LogLevel::info : LogLevel::warning, [&] {
            return o.ok() ? std::string("the target starts its firmware") : "GO: " + o.error;
        });
    } else if (host_ && host_->flash_touched()) {
        log_(LogLevel::warning, [] {
            return std::string("no GO: the flash is not verified, the target stays in its loader");
        });
    }
    if (host_) {
        host_->end_session(); // the port back at 57600 before it is released
    }
    release();
    error_.clear();
    return 1;
}

void BuiltinFlash::set_progress(ProgressFn fn, void* context) {
    progress_ = fn;
    progress_context_ = context;
}

} // namespace trx::flash

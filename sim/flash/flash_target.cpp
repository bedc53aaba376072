#include "sim/flash/flash_target.hpp"

#include "flashlib/image_identity.hpp"

#include <algorithm>

namespace trx::sim {

using proto::Frame;
using proto::Status;
using proto::Type;
using std::chrono::nanoseconds;

namespace {

bool listed(const std::vector<std::uint64_t>& list, std::uint64_t n) {
    return std::find(list.begin(), list.end(), n) != list.end();
}

std::optional<std::size_t> sector_starting_at(const flash::FlashLayout& layout, std::uint32_t a) {
    for (std::size_t i = 0; i < layout.sectors.size(); ++i) {
        if (layout.sectors[i].start == a) {
            return i;
        }
    }
    return std::nullopt;
}

template <class Rep, class Period>
nanoseconds times(std::chrono::duration<Rep, Period> d, double factor) {
    return nanoseconds(
        static_cast<std::int64_t>(static_cast<double>(nanoseconds(d).count()) * factor));
}

} // namespace

FlashTarget::FlashTarget(FlashMemory& memory, TargetConfig config)
    : memory_(memory), config_(std::move(config)), rate_(config_.rates, config_.faults.rates),
      run_(std::min(config_.inflate_buffer, proto::k_max_inflate)) {}

void FlashTarget::clear_session_state() {
    session_ = false;
    rate_.reset();
    jobs_.clear();
    history_.clear();
    reader_.clear();
    damage_reported_ = false;
    run_length_ = 0;
    run_programmed_ = 0;
    stream_.reset();
}

void FlashTarget::enter(nanoseconds now) {
    in_loader_ = true;
    clear_session_state();
    last_frame_at_ = now;
    last_byte_at_ = now;
    received_ = 0;
    sent_ = 0;
    data_taken_ = 0;
    data_answers_ = 0;
}

void FlashTarget::reset(nanoseconds now) {
    ++counters_.resets;
    clear_session_state();
    last_frame_at_ = now;
    if (memory_.first_not_blank(reset_vector(), proto::k_reset_vector_size).has_value()) {
        in_loader_ = false;
    }
}

std::optional<std::uint16_t> FlashTarget::booted_version() const {
    if (in_loader_) {
        return std::nullopt;
    }
    const auto id = flash::identity_in(memory_.content(), memory_.base());
    return id ? std::optional<std::uint16_t>(id->version) : std::nullopt;
}

void FlashTarget::receive(std::string_view bytes, nanoseconds now, std::string& out) {
    run_due(now, out);
    if (!in_loader_) {
        return;
    }
    if (reader_.partial() && now - last_byte_at_ > proto::k_inter_byte_timeout) {
        reader_.clear();
    }
    for (char c : bytes) {
        auto b = static_cast<std::uint8_t>(c);
        if (listed(config_.faults.corrupt_received, received_)) {
            b = static_cast<std::uint8_t>(b ^ (1U << (received_ % 8)));
        }
        ++received_;
        last_byte_at_ = now;
        switch (reader_.feed(b)) {
        case flash::DelimitedReader::Event::piece:
            on_piece(reader_.piece(), now, out);
            break;
        case flash::DelimitedReader::Event::overlong:
            on_damaged(out);
            break;
        case flash::DelimitedReader::Event::none:
            break;
        }
        if (!in_loader_) {
            return;
        }
    }
    run_due(now, out);
}

void FlashTarget::poll(nanoseconds now, std::string& out) {
    run_due(now, out);
    if (!in_loader_) {
        return;
    }
    if (reader_.partial() && now - last_byte_at_ > proto::k_inter_byte_timeout) {
        reader_.clear();
    }
    if (jobs_.empty() && now - last_frame_at_ > proto::k_loader_silence) {
        reset(now);
    }
    rate_.poll(now, !jobs_.empty());
}

void FlashTarget::on_piece(std::span<const std::uint8_t> piece, nanoseconds now, std::string& out) {
    auto f = proto::decode(piece);
    if (!f) {
        on_damaged(out);
        return;
    }
    last_frame_at_ = now;
    damage_reported_ = false;
    rate_.on_good_frame(now);
    on_frame(*f, now, out);
}

// One CRC_ERROR per expected number until a well-formed frame arrives: a burst of noise
// costs the host one retransmission. Without a session nobody is waiting for it.
void FlashTarget::on_damaged(std::string& out) {
    ++counters_.damaged_frames;
    if (session_ && !damage_reported_) {
        damage_reported_ = true;
        send_ack(expected_, Status::crc_error, expected_, out);
    }
}

void FlashTarget::on_hello(const Frame& f, std::string& out) {
    if (!jobs_.empty() || hellos_++ < config_.faults.busy_hellos) {
        send_ack(f.seq, Status::busy, 0, out);
        return;
    }
    if (f.payload.size() != 1 || f.payload[0] != proto::k_version) {
        send_ack(f.seq, Status::bad_request, 0, out);
        return;
    }
    session_ = true;
    expected_ = static_cast<std::uint16_t>(f.seq + 1);
    history_.clear();
    proto::TargetInfo info;
    info.clock_hz = config_.clock_hz;
    info.name = config_.name;
    info.layout = memory_.layout();
    info.extended = !config_.legacy_hello;
    const bool inflates = run_.size() >= proto::k_block;
    info.capabilities = !inflates             ? 0
                        : config_.stream_runs ? proto::k_can_inflate | proto::k_can_stream
                                              : proto::k_can_inflate;
    info.inflate_buffer = static_cast<std::uint16_t>(run_.size());
    info.reset_vector = reset_vector();
    info.rates = info.extended ? config_.rates : std::vector<std::uint32_t>{};
    send(Frame{Type::hello_reply, f.seq, proto::hello_reply_payload(info)}, out);
}

// RATE and PROBE stand outside the sequence: answered at once, the expected number left as
// it is.
void FlashTarget::on_control(const Frame& f, nanoseconds now, std::string& out) {
    if (f.type == Type::probe) {
        send(Frame{Type::probe_reply, f.seq, f.payload}, out);
        return;
    }
    if (auto answer = rate_.on_request(f, !jobs_.empty(), now)) {
        // The answer leaves at the rate it was asked at: the line drains before it switches.
        emit(*answer, out);
    }
}

void FlashTarget::on_frame(const Frame& f, nanoseconds now, std::string& out) {
    if (f.type == Type::hello) {
        on_hello(f, out);
        return;
    }
    if (!session_) {
        send_ack(f.seq, Status::no_session, 0, out);
        return;
    }
    if (f.type == Type::rate || f.type == Type::probe) {
        on_control(f, now, out);
        return;
    }
    for (const Answered& a : history_) {
        if (a.seq == f.seq) {
            ++counters_.repeats_answered;
            send_answer(a.request, a.answer, out);
            return;
        }
    }
    const bool in_work =
        std::any_of(jobs_.begin(), jobs_.end(), [&](const Job& j) { return j.frame.seq == f.seq; });
    const int ahead = proto::seq_distance(expected_, f.seq);
    if (in_work || (ahead == 0 && jobs_.size() >= proto::k_window)) {
        send_ack(f.seq, Status::busy, 0, out);
    } else if (ahead == 0) {
        take(f, now);
    } else if (ahead < 0 || ahead > static_cast<int>(proto::k_window)) {
        send_ack(f.seq, Status::bad_request, expected_, out);
    }
    // One or two ahead: its predecessor was damaged; it comes again after that one.
}

void FlashTarget::take(const Frame& f, nanoseconds now) {
    const nanoseconds start = jobs_.empty() ? now : std::max(now, jobs_.back().done_at);
    nanoseconds done_at = start == nanoseconds::max() ? start : start + duration_of(f);
    if (!stalled_ && config_.faults.busy_forever == f.type) {
        stalled_ = true;
        done_at = nanoseconds::max();
    }
    jobs_.push_back(Job{f, done_at, std::min(start, now) + proto::k_busy_interval});
    expected_ = static_cast<std::uint16_t>(f.seq + 1);
}

nanoseconds FlashTarget::duration_of(const Frame& f) const {
    const TargetTiming& t = config_.timing;
    proto::Reader r(f.payload);
    const std::uint32_t address = r.u32();
    switch (f.type) {
    case Type::data: {
        const std::size_t bytes = f.payload.size() > 4 ? f.payload.size() - 4 : 0;
        return t.program_per_word * static_cast<std::int64_t>((bytes + 1) / 2);
    }
    case Type::zdata: {
        // Inflating is quick beside programming the blocks the piece completes.
        const auto z = proto::parse_zdata(f);
        const std::size_t blocks =
            z ? (std::size_t{z->offset} + z->count) / proto::k_block - z->offset / proto::k_block
              : 0;
        return t.program_per_word * static_cast<std::int64_t>(blocks * proto::k_block / 2);
    }
    case Type::zrun:
        return t.program_per_word * static_cast<std::int64_t>(zrun_blocks(f) * proto::k_block / 2);
    case Type::crc: {
        const std::uint32_t length = r.u32();
        return t.crc_per_kib * static_cast<std::int64_t>((std::uint64_t{length} + 1023) / 1024);
    }
    case Type::erase: {
        const auto index = sector_starting_at(memory_.layout(), address);
        if (!r.ok() || !index) {
            return {};
        }
        const auto kib = static_cast<std::int64_t>(memory_.layout().sectors[*index].size / 1024);
        return times(t.erase_base + t.erase_per_kib * kib, config_.faults.erase_slowdown);
    }
    default:
        return {};
    }
}

void FlashTarget::run_due(nanoseconds now, std::string& out) {
    while (in_loader_ && !jobs_.empty()) {
        Job& job = jobs_.front();
        if (now >= job.done_at) {
            const Job done = std::move(job);
            jobs_.pop_front();
            complete(done, now, out);
            continue;
        }
        if (now >= job.next_busy) {
            send_ack(job.frame.seq, Status::busy, 0, out);
            job.next_busy = now + proto::k_busy_interval;
        }
        return;
    }
}

void FlashTarget::complete(const Job& job, nanoseconds now, std::string& out) {
    auto answer = execute(job.frame, now);
    if (!answer) {
        return; // the controller reset while executing it
    }
    const auto ack = proto::parse_ack(*answer);
    const bool ok = !ack || ack->status == Status::ok;
    if (ok) {
        history_.push_back(Answered{job.frame.seq, job.frame.type, *answer});
        if (history_.size() > proto::k_window) {
            history_.pop_front();
        }
    } else {
        // Frames queued after a failed one are out of order now: it must come again first.
        jobs_.clear();
        expected_ = job.frame.seq;
    }
    send_answer(job.frame.type, *answer, out);
    if (ok && job.frame.type == Type::go) {
        reset(now);
    }
}

std::optional<Frame> FlashTarget::execute(const Frame& f, nanoseconds now) {
    switch (f.type) {
    case Type::clock:
        if (f.payload.empty()) {
            return Frame{Type::clock_reply, f.seq, proto::Writer().u32(config_.clock_hz).take()};
        }
        break;
    case Type::erase:
        return execute_erase(f);
    case Type::data:
        return execute_data(f, now);
    case Type::zdata:
        return execute_zdata(f, now);
    case Type::zrun:
        return execute_zrun(f, now);
    case Type::crc:
        return execute_crc(f);
    case Type::read:
        return execute_read(f);
    case Type::go:
        if (f.payload.empty()) {
            return proto::make_ack(f.seq, {Status::ok, 0});
        }
        break;
    default:
        break;
    }
    return proto::make_ack(f.seq, {Status::bad_request, f.seq});
}

Frame FlashTarget::execute_erase(const Frame& f) {
    proto::Reader r(f.payload);
    const std::uint32_t address = r.u32();
    if (!r.ok() || !r.at_end()) {
        return proto::make_ack(f.seq, {Status::bad_request, f.seq});
    }
    const auto index = sector_starting_at(memory_.layout(), address);
    if (!index) {
        return proto::make_ack(f.seq, {Status::bad_address, address});
    }
    memory_.erase_sector(*index);
    const flash::Sector& s = memory_.layout().sectors[*index];
    if (const auto bad = memory_.first_not_blank(s.start, s.size)) {
        return proto::make_ack(f.seq, {Status::verify_failed, *bad});
    }
    return proto::make_ack(f.seq, {Status::ok, 0});
}

std::optional<Frame> FlashTarget::nak_or_count(const Frame& f, std::uint64_t& k) {
    const FaultPlan& faults = config_.faults;
    k = data_taken_++;
    if (faults.nak_run_from && k >= *faults.nak_run_from &&
        k < *faults.nak_run_from + faults.nak_run_length) {
        return proto::make_ack(f.seq, {Status::crc_error, f.seq});
    }
    return std::nullopt;
}

std::optional<std::uint32_t> FlashTarget::program_block(std::uint32_t address,
                                                        std::span<const std::uint8_t> data) {
    memory_.program(address, data);
    ++counters_.blocks_programmed;
    counters_.last_data_address = address;
    for (std::size_t i = 0; i < data.size() && !config_.faults.skip_verify; ++i) {
        const auto a = address + static_cast<std::uint32_t>(i);
        if (memory_.read(a) != data[i]) {
            return a;
        }
    }
    return std::nullopt;
}

std::optional<Frame> FlashTarget::execute_data(const Frame& f, nanoseconds now) {
    proto::Reader r(f.payload);
    const std::uint32_t address = r.u32();
    const auto data = r.bytes(f.payload.size() >= 4 ? f.payload.size() - 4 : 0);
    if (!r.ok() || data.empty() || data.size() > proto::k_block) {
        return proto::make_ack(f.seq, {Status::bad_request, f.seq});
    }
    const std::uint64_t last = std::uint64_t{address} + data.size() - 1;
    if (!memory_.contains(address, data.size()) ||
        address / proto::k_block != last / proto::k_block) {
        return proto::make_ack(f.seq, {Status::bad_address, address});
    }
    std::uint64_t k = 0;
    if (auto nak = nak_or_count(f, k)) {
        return nak;
    }
    if (config_.faults.reset_at_data == k) {
        memory_.program(address, data.first(data.size() / 2));
        reset(now);
        return std::nullopt;
    }
    ++counters_.data_executed;
    if (const auto bad = program_block(address, data)) {
        return proto::make_ack(f.seq, {Status::verify_failed, *bad});
    }
    return proto::make_ack(f.seq, {Status::ok, 0});
}

Frame FlashTarget::execute_crc(const Frame& f) {
    proto::Reader r(f.payload);
    const std::uint32_t address = r.u32();
    const std::uint32_t length = r.u32();
    if (!r.ok() || !r.at_end()) {
        return proto::make_ack(f.seq, {Status::bad_request, f.seq});
    }
    if (length == 0 || !memory_.contains(address, length)) {
        return proto::make_ack(f.seq, {Status::bad_address, address});
    }
    const std::uint32_t crc = memory_.crc32(address, length);
    return Frame{Type::crc_reply, f.seq, proto::Writer().u32(address).u32(length).u32(crc).take()};
}

Frame FlashTarget::execute_read(const Frame& f) {
    proto::Reader r(f.payload);
    const std::uint32_t address = r.u32();
    const std::uint16_t length = r.u16();
    if (!r.ok() || !r.at_end() || length == 0 || length > proto::k_read_max) {
        return proto::make_ack(f.seq, {Status::bad_request, f.seq});
    }
    if (!memory_.contains(address, length)) {
        return proto::make_ack(f.seq, {Status::bad_address, address});
    }
    const bool short_answer = reads_++ < config_.faults.short_reads;
    proto::Writer w;
    w.u32(config_.faults.wrong_read_address ? address + proto::k_block : address).u16(length);
    const auto all = memory_.content();
    w.bytes(all.subspan(address - memory_.base(), short_answer ? length - 1U : length));
    return Frame{Type::read_reply, f.seq, w.take()};
}

void FlashTarget::send_answer(Type request, const Frame& answer, std::string& out) {
    const bool data = request == Type::data || request == Type::zdata || request == Type::zrun;
    if (data && listed(config_.faults.lose_data_answers, data_answers_++)) {
        return;
    }
    send(answer, out);
}

void FlashTarget::send(const Frame& f, std::string& out) {
    if (!rate_.muted()) {
        emit(f, out);
    }
}

void FlashTarget::emit(const Frame& f, std::string& out) {
    for (char c : proto::encode(f)) {
        if (listed(config_.faults.corrupt_sent, sent_)) {
            c = static_cast<char>(static_cast<std::uint8_t>(c) ^ (1U << (sent_ % 8)));
        }
        ++sent_;
        out.push_back(c);
    }
}

} // namespace trx::sim

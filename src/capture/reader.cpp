#include "capture/reader.hpp"

#include <array>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace trx::capture {

namespace {

class FileSource final : public Source {
public:
    explicit FileSource(std::FILE* f) : file_(f) {}
    ~FileSource() override { (void)std::fclose(file_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    FileSource(FileSource&&) = delete;
    FileSource& operator=(FileSource&&) = delete;
    std::size_t read(char* to, std::size_t size) override { return std::fread(to, 1, size, file_); }

private:
    std::FILE* file_;
};

class MemorySource final : public Source {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    std::size_t read(char* to, std::size_t size) override {
        const std::size_t n = std::min(size, bytes_.size());
        std::memcpy(to, bytes_.data(), n);
        bytes_.remove_prefix(n);
        return n;
    }

private:
    std::string_view bytes_;
};

std::uint64_t get_le(const char* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | static_cast<std::uint8_t>(p[i]);
    }
    return v;
}

std::string at(std::uint64_t offset) {
    return " at byte " + std::to_string(offset) + ".";
}

} // namespace

Reader Reader::open(const std::filesystem::path& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        Reader r(nullptr, 0);
        r.refusal_ = "The file cannot be read: " + ec.message() + ".";
        return r;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        Reader r(nullptr, 0);
        r.refusal_ = "The file cannot be opened: " + std::generic_category().message(errno) + ".";
        return r;
    }
    return {std::make_unique<FileSource>(f), size};
}

Reader Reader::of_bytes(std::string_view bytes) {
    return {std::make_unique<MemorySource>(bytes), bytes.size()};
}

Reader::Reader(std::unique_ptr<Source> source, std::uint64_t size) : source_(std::move(source)) {
    if (source_ == nullptr) {
        return;
    }
    if (size == 0) {
        refusal_ = "The file is empty.";
    } else if (size > k_max_file) {
        refusal_ = "The file is too large for a capture (" + std::to_string(size >> 20) +
                   " MiB; at most " + std::to_string(k_max_file >> 20) + " MiB).";
    } else {
        read_header();
    }
}

void Reader::read_header() {
    std::array<char, k_magic.size()> magic{};
    if (source_->read(magic.data(), magic.size()) != magic.size() ||
        std::string_view(magic.data(), magic.size()) != k_magic) {
        refusal_ = "The file is not a capture of this program.";
        return;
    }
    offset_ = magic.size();
    const auto first = read_record();
    if (!first || first->kind != Kind::header) {
        refusal_ = first ? "The capture has no header." : "The capture's header is damaged.";
        stop_.clear(); // a refusal, not a capture that stops part-way
        return;
    }
    if (first->time_us != 0) {
        // The header opens the time line: a time of its own would blame the next record.
        refusal_ = "The capture's header is damaged (its time is not zero).";
        return;
    }
    const auto nl = first->data.find('\n');
    header_.program_version = first->data.substr(0, nl);
    header_.port_name = nl == std::string::npos ? std::string{} : first->data.substr(nl + 1);
}

std::optional<Record> Reader::next() {
    if (refused() || ended_) {
        return std::nullopt;
    }
    const std::uint64_t start = offset_;
    auto r = read_record();
    if (r && r->kind == Kind::header) {
        return stop("A second header" + at(start));
    }
    return r;
}

std::optional<Record> Reader::read_record() {
    std::array<char, k_record_head> head{};
    const std::size_t got = source_->read(head.data(), head.size());
    if (got == 0) {
        ended_ = true;
        return std::nullopt;
    }
    if (got < head.size()) {
        return stop("The capture ends in the middle of a record" + at(offset_));
    }
    const auto kind = static_cast<std::uint8_t>(head[0]);
    const std::uint64_t time = get_le(&head[1], 8);
    const auto length = static_cast<std::uint32_t>(get_le(&head[9], 4));
    if (!known_kind(kind) || length > k_max_data) {
        return stop("A damaged record" + at(offset_));
    }
    std::string body(head.data(), head.size());
    body.resize(head.size() + length + k_record_tail);
    const std::size_t rest = length + k_record_tail;
    if (source_->read(body.data() + head.size(), rest) != rest) {
        return stop("The capture ends in the middle of a record" + at(offset_));
    }
    const std::size_t crc_at = head.size() + length;
    const auto crc = static_cast<std::uint32_t>(get_le(&body[crc_at], 4));
    if (crc != crc32(std::span<const char>(body.data(), crc_at))) {
        return stop("A damaged record" + at(offset_));
    }
    if (time < last_time_) {
        return stop("The time goes backwards" + at(offset_));
    }
    last_time_ = time;
    offset_ += body.size();
    return Record{static_cast<Kind>(kind), time, body.substr(head.size(), length)};
}

std::optional<Record> Reader::stop(std::string why) {
    ended_ = true;
    stop_ = std::move(why);
    return std::nullopt;
}

Capture read_all(Reader reader) {
    Capture c{reader.refusal(), reader.header(), {}, {}};
    while (auto r = reader.next()) {
        c.records.push_back(std::move(*r));
    }
    c.stop_reason = reader.stop_reason();
    return c;
}

} // namespace trx::capture

#pragma once

#include "capture/writer.hpp"

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <memory>

namespace trx::testkit {

// A capture file on disk that the test can fill up (every write fails as on a full disk, the
// writer thread sees it at once) or refuse in a read-only folder.
class FaultyCaptureFile final : public capture::FileSink {
public:
    static std::unique_ptr<capture::Sink> create(const std::filesystem::path& p,
                                                 const std::atomic<bool>& full, bool read_only,
                                                 std::error_code& ec) {
        if (read_only) {
            ec = std::make_error_code(std::errc::read_only_file_system);
            return nullptr;
        }
        Opened opened = create_file(p, ec);
        if (opened.fd < 0) {
            return nullptr;
        }
        return std::unique_ptr<capture::Sink>(new FaultyCaptureFile(std::move(opened), full));
    }

private:
    FaultyCaptureFile(Opened opened, const std::atomic<bool>& full)
        : FileSink(std::move(opened)), full_(full) {}
    long write_some(int fd, const char* data, std::size_t size) override {
        if (full_.load()) {
            errno = ENOSPC;
            return -1;
        }
        return FileSink::write_some(fd, data, size);
    }
    const std::atomic<bool>& full_;
};

} // namespace trx::testkit

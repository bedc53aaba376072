// Outside input of the parameter window: a parameter file, which may have been edited, cut
// short or be no parameter file at all. The reader must never crash; what it accepts must
// write out and read back as the same set, and what it refuses must say why.
#include "parafile/para_file.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto read = trx::parafile::parse_para_file(text);
    if (!read.file) {
        if (read.refusal.what.empty()) {
            std::abort();
        }
        return 0;
    }
    const auto again = trx::parafile::parse_para_file(trx::parafile::format_para_file(*read.file),
                                                      read.file->type);
    if (!again.file || again.file->set != read.file->set || again.file->index != read.file->index) {
        std::abort();
    }
    return 0;
}

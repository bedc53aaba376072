// The settings file reader on arbitrary file contents: the first line, at most 4096 bytes of
// it, without its line end, and the start-up's test of the file that line names.
#include "main/settings.hpp"
#include "platform/std_files.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The settings file, kept open and rewritten in place for every input: the reader, not the
// writing, is what is measured. It lives in the temporary folder (scripts/fuzz.sh points
// that into memory and removes it afterwards).
struct IniFile {
    IniFile() {
        fs::create_directories(folder);
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    }
    fs::path folder =
        fs::temp_directory_path() / ("trx81500-settings-fuzz-" + std::to_string(::getpid()));
    fs::path path = folder / trx::main::k_settings_file;
    int fd = -1;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const IniFile ini;
    static const trx::platform::StdFiles files(ini.folder, ini.folder / "config",
                                               ini.folder / "data");
    // Written over the last input, and cut only where this one is shorter.
    static std::size_t last_size = 0;
    if (ini.fd < 0 || ::pwrite(ini.fd, data, size, 0) != static_cast<ssize_t>(size) ||
        (size < last_size && ::ftruncate(ini.fd, static_cast<off_t>(size)) != 0)) {
        std::abort();
    }
    last_size = size;
    // What Settings::read does once it has chosen the file.
    const auto line = files.read_first_line(ini.path);
    if (!line || line->size() > trx::platform::StdFiles::k_first_line_limit ||
        line->find('\r') != std::string::npos || line->find('\n') != std::string::npos) {
        std::abort(); // a regular file always reads, and only its first line
    }
    (void)files.can_read(*line);
    return 0;
}

#pragma once

#include "cli/cli_services.hpp"
#include "cli/command_line.hpp"

#include <memory>
#include <string>
#include <vector>

namespace trx::cli {

// trx81500-cli: parses the command line, reaches the scanner as the command needs (a port, or
// the bundled simulator started for the run), runs the command and gives the exit status.
class Cli {
public:
    explicit Cli(CliServices services) : services_(std::move(services)) {}

    // args: the words after the program's name.
    int run(const std::vector<std::string>& args);

private:
    // The log --log or -v asked for, when the front left it to the tool.
    void open_log(const CommandLine& line);

    CliServices services_;
    std::unique_ptr<ui::Log> own_log_;
};

} // namespace trx::cli

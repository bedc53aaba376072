#pragma once

// What the command-line tests against a scripted scanner share: the outcome of one run, and a
// folder of the test's own for the files a command reads and writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace trx::cli::test {

struct Ran {
    int status = -1;
    std::string out;
    std::string err;
};

// A fresh folder per test, named after the test, gone afterwards.
class FolderTest : public ::testing::Test {
protected:
    explicit FolderTest(const char* prefix) : prefix_(prefix) {}

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              (prefix_ + std::to_string(::getpid()) + "_" + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    [[nodiscard]] std::string path(const char* name) const { return (dir / name).string(); }
    void write(const char* name, const std::string& bytes) const {
        std::ofstream(dir / name, std::ios::binary) << bytes;
    }

    std::filesystem::path dir;

private:
    std::string prefix_;
};

} // namespace trx::cli::test

#pragma once

// A fresh folder per test, removed again at its end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace trx::sim::test {

struct TempDir {
    std::filesystem::path path;

    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path = std::filesystem::temp_directory_path() /
               ("trx_sim_" + std::to_string(::getpid()) + "_" + info->test_suite_name() + "_" +
                info->name());
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    TempDir(TempDir&&) = delete;
    TempDir& operator=(TempDir&&) = delete;
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }

    std::filesystem::path write(const std::string& name, std::string_view text) const {
        std::ofstream(path / name, std::ios::binary) << text;
        return path / name;
    }
};

} // namespace trx::sim::test

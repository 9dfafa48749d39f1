#pragma once
// A test whose files live in a folder of its own, made for each test and removed after it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

class ScratchFolderTest : public ::testing::Test {
protected:
    explicit ScratchFolderTest(const std::string& prefix) {
        dir_ = ::testing::TempDir() + prefix + "-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(dir_);
    }
    ~ScratchFolderTest() override { std::filesystem::remove_all(dir_); }

    std::string dir_;
};

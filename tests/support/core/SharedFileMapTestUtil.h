#pragma once
// Gives each test its own object folder, so tests running side by side (and a player the
// developer has open) never share a block or a mutex.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>

class PrivateObjectFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tvq-objects-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        oldRuntimeDir_ = old ? old : "";
        hadRuntimeDir_ = old != nullptr;
        setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    }
    void TearDown() override {
        if (hadRuntimeDir_)
            setenv("XDG_RUNTIME_DIR", oldRuntimeDir_.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

    std::string folder_;

private:
    std::string oldRuntimeDir_;
    bool hadRuntimeDir_ = false;
};

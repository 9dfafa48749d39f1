#pragma once
// One of our programs run as a program: a test's files in a folder of its own, removed after
// it, and a shell command's exit status and output.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "FormatFields.h"
#include "TempFolder.h"
#include "codec/TvqFormat.h"

class ToolTest : public ::testing::Test {
protected:
    std::string File(const std::string& name) const { return folder_.File(name); }

    // Runs a shell command; returns the exit status and keeps its output in output_.
    int Shell(const std::string& command) {
        output_.clear();
        FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
        if (!pipe)
            return -1;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe)) output_ += buffer;
        const int status = ::pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::vector<uint8_t> ReadBytes(const std::string& path) {
        const std::string bytes = TempFolder::ReadAll(path);
        return {bytes.begin(), bytes.end()};
    }

    TempFolder folder_{"tvq-tool"};
    std::string output_;
};

#pragma once
// A fresh folder under the system's temp folder, removed with everything in it at the end;
// and a fixture that points XDG_RUNTIME_DIR (where named objects live) into one of its own, so
// tests side by side, and a player the developer has open, never share a block or a mutex.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "tvq-test") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()))
            m_path = pattern + "/";
    }
    ~TempFolder() {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder with a trailing '/'; empty when it could not be made.
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + name; }

    std::string Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(File(name), std::ios::binary | std::ios::trunc) << bytes;
        return File(name);
    }
    static std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string m_path;
};

class PrivateObjectFolder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(objects_.Path().empty());
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        hadRuntimeDir_ = old != nullptr;
        oldRuntimeDir_ = old ? old : "";
        setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    }
    void TearDown() override {
        if (hadRuntimeDir_)
            setenv("XDG_RUNTIME_DIR", oldRuntimeDir_.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
    }

    TempFolder objects_{"tvq-objects"};
    const std::string folder_ = objects_.Path().substr(0, objects_.Path().size() - 1);

private:
    std::string oldRuntimeDir_;
    bool hadRuntimeDir_ = false;
};

// The profile functions over an arbitrary settings.ini: reads never overrun or come back
// unterminated, the settings writer's four keys read back as written, keys it does not write
// keep their values, and writing the same values again leaves the file byte for byte as it was.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "FuzzSupport.h"
#include "platform/Profile.h"

namespace {

struct Key {
    const char* section;
    const char* key;
    bool written = false;  // one of the keys SaveSettings sets
};

// What the player reads, plus neighbours a careless writer could disturb.
constexpr Key kProbes[] = {{"PlayerSetup", "repeat", true},
                           {"PlayerSetup", "adjust", true},
                           {"PlayerSetup", "bmpdir", true},
                           {"PlayerSetup", "Skin", true},
                           {"PlayerSetup", "other"},
                           {"playersetup", "SKIN", true},
                           {"Other", "repeat"},
                           {"Option", "TitleInfoCount"},
                           {"", ""},
                           {"a", "b"}};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void CheckBoundedReads(const Key& probe, const std::string& path) {
    const std::string whole = win::GetProfileString(probe.section, probe.key, "", path);
    for (uint32_t size : {1u, 2u, 5u, 100u}) {
        char buffer[101];
        std::memset(buffer, 'x', sizeof buffer);
        const uint32_t n =
            win::GetPrivateProfileString(probe.section, probe.key, "", buffer, size, path);
        fuzz::Check(n < size && buffer[n] == '\0', "a value is cut to the buffer and terminated");
        fuzz::Check(size == sizeof buffer || buffer[size] == 'x', "nothing past the buffer");
        fuzz::Check(
            whole.compare(0, n, buffer, n) == 0 && n == std::min<size_t>(whole.size(), size - 1),
            "the cut value is the start of the whole one");
    }
    win::GetPrivateProfileInt(probe.section, probe.key, -7, path);
}

void SaveSettings(const std::string& path, const char* skin) {
    win::WritePrivateProfileString("PlayerSetup", "repeat", "FALSE", path);
    win::WritePrivateProfileString("PlayerSetup", "adjust", "TRUE", path);
    win::WritePrivateProfileString("PlayerSetup", "bmpdir", "4", path);
    win::WritePrivateProfileString("PlayerSetup", "Skin", skin, path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A fresh name per input: the reader keeps the last file it read, keyed by name, time and
    // size, and inputs of one size follow each other within one clock tick.
    static unsigned serial = 0;
    const std::string path = fuzz::Folder() + "/settings-" + std::to_string(++serial) + ".ini";
    fuzz::WriteFile(path, data, size);

    std::string before[std::size(kProbes)];
    for (size_t i = 0; i < std::size(kProbes); ++i) {
        CheckBoundedReads(kProbes[i], path);
        before[i] = win::GetProfileString(kProbes[i].section, kProbes[i].key, "", path);
    }

    SaveSettings(path, "2");
    fuzz::Check(win::GetProfileString("PlayerSetup", "repeat", "", path) == "FALSE" &&
                    win::GetProfileString("PlayerSetup", "adjust", "", path) == "TRUE" &&
                    win::GetProfileString("PlayerSetup", "bmpdir", "", path) == "4" &&
                    win::GetProfileString("PlayerSetup", "Skin", "", path) == "2" &&
                    win::GetPrivateProfileInt("PlayerSetup", "bmpdir", 0, path) == 4,
                "the written settings read back");
    for (size_t i = 0; i < std::size(kProbes); ++i) {
        if (std::strcmp(kProbes[i].section, "") == 0)
            continue;  // an empty section name may match a "[]" line the writer just made
        if (!kProbes[i].written)
            fuzz::Check(
                win::GetProfileString(kProbes[i].section, kProbes[i].key, "", path) == before[i],
                "a key the writer does not touch keeps its value");
    }

    const std::string once = Slurp(path);
    SaveSettings(path, "2");
    fuzz::Check(Slurp(path) == once, "writing the same settings again changes nothing");
    SaveSettings(path, "13");
    fuzz::Check(win::GetPrivateProfileInt("PlayerSetup", "Skin", 0, path) == 13,
                "a changed value replaces the old one");
    std::remove(path.c_str());
    return 0;
}

#include "app/SettingsFile.h"

#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/Paths.h"
#include "platform/Profile.h"

namespace {

// Bytes of the buffer a value is read into (values are cut to 99).
constexpr uint32_t kValueBytes = 100;

bool ReadFlag(const char* key, const std::string& path) {
    char value[kValueBytes] = {};
    win::GetPrivateProfileString(CSettingsFile::kSection, key, "TRUE", value, sizeof value, path);
    return strcasecmp(value, "TRUE") == 0;
}

// atoi without its undefined overflow: leading blanks, optional sign, digits.
int ReadNumber(const char* key, const std::string& path) {
    char value[kValueBytes] = {};
    win::GetPrivateProfileString(CSettingsFile::kSection, key, "0", value, sizeof value, path);
    errno = 0;
    const long n = std::strtol(value, nullptr, 10);
    if (errno == ERANGE || n > INT_MAX || n < INT_MIN)
        return n < 0 ? INT_MIN : INT_MAX;
    return static_cast<int>(n);
}

}  // namespace

CSettingsFile::CSettingsFile(const std::string& path)
    : path_(path.empty() ? win::WritableFolder(win::ProgramFolder()) + kFileName : path),
      // A copy shipped next to a read-only program still gives the first values; the user's
      // own copy, once written, wins.
      readFallbackPath_(path.empty() ? win::ProgramFolder() + kFileName : "") {}

bool CSettingsFile::Load(CPlayerSettings& settings) const {
    std::string path = path_;
    if (!win::FileExists(path))
        path = readFallbackPath_;
    if (path.empty() || !win::FileExists(path))
        return false;
    settings.SetRepeat(ReadFlag("repeat", path));
    settings.SetAdjust(ReadFlag("adjust", path));
    settings.SetDisplayMode(DisplayMode{ReadNumber("bmpdir", path)});
    settings.SetSkinIndex(ReadNumber("Skin", path));
    return true;
}

void CSettingsFile::Save(const CPlayerSettings& settings) const {
    const auto write = [this](const char* key, const std::string& value) {
        win::WritePrivateProfileString(kSection, key, value.c_str(), path_);
    };
    write("repeat", settings.Repeat() ? "TRUE" : "FALSE");
    write("adjust", settings.Adjust() ? "TRUE" : "FALSE");
    write("bmpdir", std::to_string(static_cast<int>(settings.GetDisplayMode())));
    write("Skin", std::to_string(settings.SkinIndex()));
}

#include "app/PlaybackPrefs.h"

#include <strings.h>

#include <algorithm>

#include "app/SettingsFile.h"
#include "platform/Profile.h"

namespace {

constexpr const char* kVolumeKey = "volume";
constexpr const char* kMuteKey = "mute";
constexpr const char* kResumeKey = "resume";

bool ReadFlag(const char* key, bool fallback, const std::string& path) {
    const std::string value =
        win::GetProfileString(CSettingsFile::kSection, key, fallback ? "TRUE" : "FALSE", path, 99);
    return strcasecmp(value.c_str(), "TRUE") == 0;
}

}  // namespace

CPlaybackPrefs::CPlaybackPrefs(std::string settingsPath) : m_path(std::move(settingsPath)) {}

void CPlaybackPrefs::Load() {
    m_volumePercent = std::clamp(
        win::GetPrivateProfileInt(CSettingsFile::kSection, kVolumeKey, kFullPercent, m_path), 0,
        kFullPercent);
    m_muted = ReadFlag(kMuteKey, false, m_path);
    m_resume = ReadFlag(kResumeKey, true, m_path);
}

void CPlaybackPrefs::SetVolume(int percent, bool muted) {
    m_volumePercent = std::clamp(percent, 0, kFullPercent);
    m_muted = muted;
    win::WritePrivateProfileString(CSettingsFile::kSection, kVolumeKey,
                                   std::to_string(m_volumePercent).c_str(), m_path);
    win::WritePrivateProfileString(CSettingsFile::kSection, kMuteKey, m_muted ? "TRUE" : "FALSE",
                                   m_path);
}

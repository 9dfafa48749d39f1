#pragma once
// The user's listening choices, kept in settings.ini beside the display options (section
// PlayerSetup): the volume level in percent of full amplitude, the mute, and whether files
// start where they were left. Each change is written at once; missing or unreadable values
// fall back to full level, not muted, resume on.
//
// Threads: user-interface thread only.
#include <string>

class CPlaybackPrefs {
public:
    static constexpr int kFullPercent = 100;

    explicit CPlaybackPrefs(std::string settingsPath);

    void Load();
    int VolumePercent() const { return m_volumePercent; }
    bool Muted() const { return m_muted; }
    bool Resume() const { return m_resume; }
    // Keeps the level (clamped to 0 .. 100) and the mute, and writes both.
    void SetVolume(int percent, bool muted);

private:
    std::string m_path;
    int m_volumePercent = kFullPercent;
    bool m_muted = false;
    bool m_resume = true;
};

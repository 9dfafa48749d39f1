#pragma once
// The user's options. Repeat, adjust, the display mode and the skin index are kept between runs
// in the settings file, which the application reads and writes (app/SettingsFile.h); the zoom
// and full screen last for the session. The application owns the one object. The playlist
// player (repeat) and the audio output (adjust) read it through the video target while they
// play; the video window reads and changes the rest.
//
// Threads: written on the user-interface thread (the zoom also by the playlist thread, which
// resets it for each new file); every value is read whole from any thread.
#include <atomic>

#include "engine/PlaybackState.h"

class CPlayerSettings {
public:
    static constexpr float kNaturalZoom = 1.0f;

    bool Repeat() const { return repeat_.load(); }
    void SetRepeat(bool on) { repeat_ = on; }
    // Automatic re-alignment of picture and sound.
    bool Adjust() const { return adjust_.load(); }
    void SetAdjust(bool on) { adjust_ = on; }
    DisplayMode GetDisplayMode() const { return displayMode_.load(); }
    void SetDisplayMode(DisplayMode mode) { displayMode_ = mode; }
    // The skin list's index as read from the file, or as it is to be written.
    int SkinIndex() const { return skinIndex_.load(); }
    void SetSkinIndex(int index) { skinIndex_ = index; }

    float Zoom() const { return zoom_.load(); }
    void SetZoom(float zoom) { zoom_ = zoom; }
    bool FullScreen() const { return fullScreen_.load(); }
    void SetFullScreen(bool on) { fullScreen_ = on; }

private:
    std::atomic<bool> repeat_{true};
    std::atomic<bool> adjust_{true};
    std::atomic<DisplayMode> displayMode_{DisplayMode::Normal};
    std::atomic<int> skinIndex_{0};
    std::atomic<float> zoom_{kNaturalZoom};
    std::atomic<bool> fullScreen_{false};
};

#pragma once
// The messages the playback side posts to the main dialog and to its own threads.
#include <cstdint>

#include "engine/PlaybackState.h"
#include "platform/WinTypes.h"

constexpr uint32_t WM_PLAYLIST_STOPPED = win::WM_USER + 1;
constexpr uint32_t WM_PLAY_POSITION = win::WM_USER + 2;
constexpr uint32_t WM_PLAY_STATE = win::WM_USER + 3;
constexpr uint32_t WM_SEEK_DONE = win::WM_USER + 4;
constexpr uint32_t WM_SPEED_FORWARD_1X = win::WM_USER + 5;
constexpr uint32_t WM_SPEED_FORWARD_2X = win::WM_USER + 6;
constexpr uint32_t WM_SPEED_FORWARD_4X = win::WM_USER + 7;
constexpr uint32_t WM_SPEED_FORWARD_8X = win::WM_USER + 8;
constexpr uint32_t WM_SPEED_BACKWARD_1X = win::WM_USER + 9;
constexpr uint32_t WM_SPEED_BACKWARD_2X = win::WM_USER + 10;
constexpr uint32_t WM_SPEED_BACKWARD_4X = win::WM_USER + 11;
constexpr uint32_t WM_SPEED_BACKWARD_8X = win::WM_USER + 12;
constexpr uint32_t WM_SHOW_PROPERTY = win::WM_USER + 13;
constexpr uint32_t WM_HANDOVER_FILES = win::WM_USER + 14;
constexpr uint32_t WM_SEEKBAR = win::WM_USER + 15;
constexpr uint32_t WM_PLAY_STARTING = win::WM_USER + 16;

// The messages' parameters as the playback side means them. Each is turned into its integers
// when posted and back when received, here and nowhere else.

// WM_SEEKBAR: what the value sets on the seek slider (wParam), and the value (lParam).
enum class SeekBarCommand : uintptr_t { Position = 0, Enable = 1, Range = 2 };

struct SeekBarMessage {
    SeekBarCommand command = SeekBarCommand::Position;
    int32_t value = 0;  // seconds; for Enable 1 or 0

    uintptr_t WParam() const { return static_cast<uintptr_t>(command); }
    intptr_t LParam() const { return value; }
    // False for a wParam that names no command (the message is then ignored).
    static bool From(uintptr_t wParam, intptr_t lParam, SeekBarMessage* out) {
        if (wParam > static_cast<uintptr_t>(SeekBarCommand::Range))
            return false;
        *out = {static_cast<SeekBarCommand>(wParam), static_cast<int32_t>(lParam)};
        return true;
    }
};

// WM_PLAY_STATE: whether the controls may be used (wParam 1; 0 while a file is being switched
// or a seek runs), and whether a new file has just started (lParam 1).
struct PlayStateMessage {
    bool ready = false;
    bool fileStarted = false;

    uintptr_t WParam() const { return ready ? 1 : 0; }
    intptr_t LParam() const { return fileStarted ? 1 : 0; }
    static PlayStateMessage From(uintptr_t wParam, intptr_t lParam) {
        return {wParam != 0, lParam == 1};
    }
};

// WM_SPEED_FORWARD_1X .. WM_SPEED_BACKWARD_8X: one message per factor and direction.
struct SpeedCommand {
    Speed speed = Speed::X1;
    SpeedDirection direction = SpeedDirection::Forward;

    uint32_t Message() const {
        const uint32_t first =
            direction == SpeedDirection::Forward ? WM_SPEED_FORWARD_1X : WM_SPEED_BACKWARD_1X;
        return first + static_cast<uint32_t>(speed);
    }
    // False for any other message.
    static bool From(uint32_t message, SpeedCommand* out) {
        if (message < WM_SPEED_FORWARD_1X || message > WM_SPEED_BACKWARD_8X)
            return false;
        const uint32_t offset = message - WM_SPEED_FORWARD_1X;
        constexpr uint32_t kPerDirection = 4;
        *out = {static_cast<Speed>(offset % kPerDirection),
                offset < kPerDirection ? SpeedDirection::Forward : SpeedDirection::Backward};
        return true;
    }
};

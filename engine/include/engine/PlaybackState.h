#pragma once
// The playback state as named values: how the engine plays (mode, direction, speed), how the
// picture is turned (display mode) and where the player stands (status). The window messages
// carry some of them as plain integers; engine/Messages.h converts at that boundary, and the
// settings file keeps the display mode as its number.
#include <cstdint>
#include <string>

// Normal play with sound, or the picture alone, faster forward or backward.
enum class SpeedMode : int { Normal = 0, Forward = 1, Backward = 2 };

// The way a speed command asks to go.
enum class SpeedDirection : int { Forward = 1, Backward = 2 };

// The speed factor, in the order of the speed commands: 1x, 2x, 4x, 8x.
enum class Speed : int { X1 = 0, X2 = 1, X4 = 2, X8 = 3 };

constexpr int SpeedFactor(Speed speed) {
    return 1 << static_cast<int>(speed);
}

// How the picture is turned, by its number in the settings file and the display menu. A number
// read from the file outside 0 .. 5 is kept as it is: the picture is then shown unturned.
enum class DisplayMode : int {
    Normal = 0,
    UpDown = 1,
    LeftRight = 2,
    UpDownLeftRight = 3,
    Rotate90 = 4,
    Rotate270 = 5,
};
constexpr int kDisplayModeCount = 6;

// The quarter turns swap the picture's width and height and need a buffer of their own.
constexpr bool IsQuarterTurn(DisplayMode mode) {
    return mode == DisplayMode::Rotate90 || mode == DisplayMode::Rotate270;
}

// Where the player stands as the user sees it. Switching: a file is being opened or a seek
// runs, and the controls wait for it.
enum class PlayStatus { Stopped, Switching, Playing, Paused };

// The pace in force: normal play, or a factor forward or backward (the picture alone).
struct PlaySpeed {
    SpeedMode mode = SpeedMode::Normal;
    Speed speed = Speed::X1;

    bool operator==(const PlaySpeed&) const = default;
};

// Where the player stands, as the dialog publishes it to the media-player interface: the
// file as the playback side last reported it (seconds; the file empty and the numbers 0 while
// stopped), the pace in force, the user's level and how many files the list holds.
struct PlaybackState {
    PlayStatus status = PlayStatus::Stopped;
    int32_t positionSeconds = 0;
    int32_t lengthSeconds = 0;
    std::string file;
    PlaySpeed speed;
    int volumePercent = 100;
    bool muted = false;
    int listEntries = 0;

    bool operator==(const PlaybackState&) const = default;
};

#pragma once
// The messages the playback side posts to the main dialog and to its own threads.
#include <cstdint>

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

#pragma once
// The video window's context menu: command IDs, texts (from the language table) and the
// state that decides the check marks. Built fresh each time it is shown.
#include <QMenu>
#include <memory>

#include "engine/PlaybackState.h"

namespace display_menu {

// Command IDs of the menu resource.
constexpr int kAmplify = 32781;
constexpr int kReduce = 32782;
constexpr int kEqual = 32783;
constexpr int kRepeat = 32786;
constexpr int kFullScreen = 32787;
constexpr int kAdjust = 32801;
constexpr int kProperty = 32800;
constexpr int kForward1X = 32793;
constexpr int kForward2X = 32794;
constexpr int kForward4X = 32790;
constexpr int kForward8X = 32795;
// The display modes' items, in mode order.
constexpr int kDisplayModeIds[kDisplayModeCount] = {32796, 32797, 32798, 32799, 32802, 32803};
constexpr int kMenuResourceId = 160;

// What the check marks show.
struct MenuState {
    bool repeat = true;
    bool fullScreen = false;
    bool adjust = true;
    Speed speed = Speed::X1;  // the engine's; 1x normal play without an engine
    SpeedMode speedMode = SpeedMode::Normal;
    DisplayMode displayMode = DisplayMode::Normal;
};

// The display mode of a command ID; false for any other command.
bool DisplayModeOfCommand(int id, DisplayMode* mode);
// The menu with its two popups; every command action carries its ID as data (an int).
std::unique_ptr<QMenu> Build(const MenuState& state, QWidget* parent);
// The language-table text of a command or popup title (English default when no language file
// was read).
QString Text(int uiIndex);

}  // namespace display_menu

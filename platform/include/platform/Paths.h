#pragma once
// The program folder, path spelling and the few file-system questions the player asks.
#include <string>

namespace win {

// The executable's folder with a trailing '/'.
std::string ProgramFolder();
// Turns the '\' separators of paths written for Windows (skin folders, ini values) into '/'.
std::string ToNativePath(std::string path);
// True when the path names an existing file or folder (FindFirstFile as an existence test).
bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
// The folder for files the program writes (settings, logs): the program folder when it is
// writable, else $XDG_CONFIG_HOME/tvqplayer/ (or ~/.config/tvqplayer/), created on demand.
// Always ends with '/'.
std::string WritableFolder(const std::string& programFolder);
// The final component of a path (after the last '/' or '\').
std::string FileNamePart(const std::string& path);

}  // namespace win

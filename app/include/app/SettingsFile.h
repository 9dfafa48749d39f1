#pragma once
// settings.ini: the options kept between runs, in the section PlayerSetup with the keys
// repeat and adjust ("TRUE" or "FALSE"), bmpdir (the display mode's number) and Skin (the skin
// list's index), read and written through the profile functions. A missing file or key gives
// the defaults: repeat and adjust on, display mode 0, skin 0. Values are taken as they are,
// not tested against a range.
//
// Threads: user-interface thread only.
#include <string>

#include "engine/PlayerSettings.h"

class CSettingsFile {
public:
    static constexpr const char* kSection = "PlayerSetup";
    static constexpr const char* kFileName = "settings.ini";

    // path empty: settings.ini in the program folder's writable folder, read from the program
    // folder's own copy while the user has none.
    explicit CSettingsFile(const std::string& path = {});

    // Reads all four keys into `settings`; false, with nothing changed, when there is no file.
    bool Load(CPlayerSettings& settings) const;
    // Writes all four keys (the file is made when missing).
    void Save(const CPlayerSettings& settings) const;
    const std::string& Path() const { return path_; }

private:
    std::string path_;              // read and written
    std::string readFallbackPath_;  // read while path_ does not exist
};

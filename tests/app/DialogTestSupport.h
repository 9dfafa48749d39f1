#pragma once
// The main dialog as the front-end tests build it: a private program folder, a recording
// player in place of the real one, and no listening for other copies of the program.
#include <filesystem>
#include <memory>
#include <utility>

#include "AppTestSupport.h"
#include "app/PlayerDlg.h"

inline CPlayerDlg::Options TestDialogOptions(const TempFolder& dir,
                                             std::unique_ptr<IPlayerControl> player) {
    CPlayerDlg::Options options;
    options.programFolder = dir.Folder() + "/";
    options.player = std::move(player);
    options.listenForCopies = false;
    return options;
}

#ifdef TVQ_SHIPPED_SKINS
// The shipped skins in the test's program folder, as an installed program has them.
inline void CopyShippedSkins(const TempFolder& dir) {
    std::filesystem::copy(TVQ_SHIPPED_SKINS, dir.Path("skin"),
                          std::filesystem::copy_options::recursive);
}
#endif

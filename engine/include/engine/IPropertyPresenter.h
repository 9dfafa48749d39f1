#pragma once
// The movie property box as the playlist player sees it. The front end implements it and
// installs it with CPlaylistPlayer::SetPropertyPresenter; the playback side stays free of Qt.
#include <functional>

class CPlaybackEngine;

class IPropertyPresenter {
public:
    // Calls `use` with the engine of the file being played while holding the playlist
    // player's engine lock, so the engine cannot be deleted meanwhile; 1 when it was called,
    // 0 when no file is open (the box then keeps its template texts).
    using EngineReader = std::function<int(const std::function<void(CPlaybackEngine&)>& use)>;

    virtual ~IPropertyPresenter() = default;

    // Runs the property box modally on the calling (user-interface) thread. The box reads the
    // engine only through `withEngine`, never keeping a pointer to it: the file may end while
    // the box is open.
    virtual void RunModal(const EngineReader& withEngine) = 0;
};

#pragma once
// The playlist player as the main dialog drives it. The program uses CPlaylistPlayerControl,
// which forwards to a CPlaylistPlayer it owns; the dialog tests install a recording fake, so
// that seeks can be accepted or refused and moves in the list counted without playing.
//
// Threads: user-interface thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/PlaybackState.h"
#include "engine/PlaylistPlayer.h"

class IPlayerControl {
public:
    virtual ~IPlayerControl() = default;

    virtual int Init(win::MessageTarget* window, IVideoTarget* videoWindow, int resetIndex) = 0;
    virtual void AddFile(const std::string& path) = 0;
    virtual void ClearList() = 0;
    // 1 when the file being played was among those removed.
    virtual int RemoveFiles(const std::vector<std::string>& paths) = 0;
    virtual int SelectFile(const std::string& path) = 0;
    virtual int Next() = 0;
    virtual int Previous() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    // 1 when accepted; 0 outside 0 .. length - 1 or without a file.
    virtual int SeekTo(int32_t second) = 0;
    // Runs the speed command of a WM_SPEED_* message.
    virtual void OnSpeedMessage(uint32_t message) = 0;
    virtual void ShowProperties() = 0;
    virtual void Shutdown() = 0;
    virtual std::string GetCurrentFile() const = 0;
    // The user's level in percent of full amplitude (0 .. 100) and mute, for this file and
    // the next ones.
    virtual void SetVolume(int percent, bool muted) = 0;
    // Where the playing file's picture is (ms) and its length (s); 0 without a file.
    virtual int64_t GetPositionMs() = 0;
    virtual int32_t GetLengthSeconds() = 0;
    // The pace the playing file's engine is in; normal play without one.
    virtual PlaySpeed GetSpeed() = 0;
    // The second each file of the list starts at, asked on the playlist thread (see
    // CPlaylistPlayer::SetStartQuery). Set before Init.
    virtual void SetStartQuery(std::function<int32_t(const std::string&)> startSecondOf) = 0;
};

class CPlaylistPlayerControl : public IPlayerControl {
public:
    // presenter: runs the property box; isSeekBarEnabled: the dialog's slider state.
    CPlaylistPlayerControl(IPropertyPresenter* presenter, std::function<bool()> isSeekBarEnabled);

    int Init(win::MessageTarget* window, IVideoTarget* videoWindow, int resetIndex) override {
        return m_player.Init(window, videoWindow, resetIndex);
    }
    void AddFile(const std::string& path) override { m_player.AddFile(path); }
    void ClearList() override { m_player.ClearList(); }
    int RemoveFiles(const std::vector<std::string>& paths) override {
        return m_player.RemoveFiles(paths);
    }
    int SelectFile(const std::string& path) override { return m_player.SelectFile(path); }
    int Next() override { return m_player.Next(); }
    int Previous() override { return m_player.Previous(); }
    void Pause() override { m_player.Pause(); }
    void Stop() override { m_player.Stop(); }
    int SeekTo(int32_t second) override { return m_player.SeekTo(second); }
    void OnSpeedMessage(uint32_t message) override { m_player.OnSpeedMessage(message); }
    void ShowProperties() override { m_player.ShowProperties(); }
    void Shutdown() override { m_player.Shutdown(); }
    std::string GetCurrentFile() const override { return m_player.GetCurrentFile(); }
    void SetVolume(int percent, bool muted) override;
    int64_t GetPositionMs() override;
    int32_t GetLengthSeconds() override;
    PlaySpeed GetSpeed() override;
    void SetStartQuery(std::function<int32_t(const std::string&)> startSecondOf) override {
        m_player.SetStartQuery(std::move(startSecondOf));
    }

    CPlaylistPlayer& Player() { return m_player; }

private:
    CPlaylistPlayer m_player;
};

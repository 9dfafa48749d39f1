#pragma once
// Plays a list of files one after another on a thread of its own. The main dialog holds one,
// copies its playlist into it and forwards the user's commands; the player posts its
// notifications (engine/Messages.h) to the dialog's message target and hands each file's
// engine to the video target and to the audio output it embeds.
//
// Locks, outermost first: the thread lock, then the engine lock (then the engine's own locks).
// The list lock is innermost: nothing else is locked, called out or posted while it is held.
// No lock is held while waiting for another thread to end.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/DirectSoundPlayer.h"
#include "engine/IPropertyPresenter.h"
#include "engine/IVideoTarget.h"
#include "engine/Messages.h"
#include "platform/MessageTarget.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

class CPlaybackEngine;

class CPlaylistPlayer {
public:
    // Pause between the end of one file and the start of the next.
    static constexpr uint32_t kPauseBetweenFilesMs = 1000;

    CPlaylistPlayer();
    // Stops playback and waits for every thread it started.
    ~CPlaylistPlayer();
    CPlaylistPlayer(const CPlaylistPlayer&) = delete;
    CPlaylistPlayer& operator=(const CPlaylistPlayer&) = delete;

    // Forgets the state of the last run (the current index too when resetIndex is set), keeps
    // the two targets (not owned) and starts the playlist thread. 1, or 0 when the thread could
    // not be started. Expects the player to be stopped.
    int Init(win::MessageTarget* window, IVideoTarget* videoWindow, int resetIndex);
    int StartThread();

    void AddFile(const std::string& path);
    void ClearList();
    // 1 when the file being played was among the removed entries.
    int RemoveFiles(const std::vector<std::string>& paths);
    // Makes the entry with that path (any case) the next to play and stops the current file.
    int SelectFile(const std::string& path);
    int Next();
    int Previous();
    void Pause();
    void Stop();
    // Seeks the current file to `second`; 1 when accepted, 0 outside 0 .. length - 1 or
    // without a file.
    int SeekTo(int32_t second);

    void SpeedForward1x();
    void SpeedForward2x();
    void SpeedForward4x();
    void SpeedForward8x();
    void SpeedBackward1x();
    void SpeedBackward2x();
    void SpeedBackward4x();
    void SpeedBackward8x();
    // Runs the speed command of a WM_SPEED_* message; 0 for any other message.
    int OnSpeedMessage(uint32_t message);

    // Runs the property box (installed with SetPropertyPresenter) when a file is open.
    void ShowProperties();
    void SetPropertyPresenter(IPropertyPresenter* presenter);
    // The backward 1x switch asks whether the dialog's seek slider is enabled. Without a query
    // the slider counts as enabled. Called on the thread that issues the speed commands.
    void SetSeekBar(std::function<bool()> isSeekBarEnabled);
    // Asked on the playlist thread, with its path, for the second each file of the list starts
    // at (not when a backward seek opens the same file again). Without one every file starts at
    // 0. Set before Init.
    void SetStartQuery(std::function<int32_t(const std::string&)> startSecondOf);

    // Ends the playlist thread and closes the engine; runs once until the next Init (later
    // calls only wait for a playlist thread that is still ending). Callable from any thread
    // at any time, including the playlist thread itself.
    void Shutdown();

    // Read access for the dialog (any thread).
    std::string GetCurrentFile() const;
    int GetCurrentIndex() const;
    std::vector<std::string> GetFileList() const;
    int GetFileCount() const;
    int IsPaused() const { return m_paused.load(); }
    int IsRunning() const { return m_running.load(); }
    int IsClosing() const { return m_closing.load(); }
    int GetStartSecond() const { return m_startSecond.load(); }
    // 1 while a file's engine exists.
    int HasEngine() const;
    // Calls `use` with the current engine under the engine lock; 1 when there was one.
    int WithEngine(const std::function<void(CPlaybackEngine&)>& use) const;
    CDirectSoundPlayer& AudioOutput() { return m_audioOutput; }

private:
    void ThreadBody();
    // 1 to keep the playlist thread going.
    int PlayNext();
    int OpenNextEntry();
    int PlayFile(const std::string& path);
    int StartOutput(const std::string& path);
    void CloseEngine();
    void StopCurrent();
    void ThreadEnd();
    void OnSeekDone();
    void SeekForward(int32_t second);
    void SeekBackward(int32_t second);
    // Moves the current index with `move` (index, count) and stops the current file, so that
    // the playlist thread plays that entry after its pause. With an empty list: Stop, 0.
    int MoveInList(const std::function<void(int& index, int count)>& move);
    // Enables or disables the seek slider, then runs the command (or keeps it for later).
    void RunSpeedCommand(bool seekBarEnabled, SpeedCommand command);
    // Waits for a playlist thread that has been told to end (never the calling thread).
    void ReapThread(std::unique_ptr<win::WorkerThread> thread);
    void Post(uint32_t message);
    void Post(PlayStateMessage state);
    void Post(SeekBarMessage seekBar);
    void SetSeekText(int32_t second);
    // Makes a skip of the file being opened give up (lock-free, so callable before waiting).
    void CancelSkips();

    // Pause and the speed commands that arrive while a file is being opened (the playlist
    // thread holds the thread lock through the opening, and its skip can be long with a
    // decoder that only goes forward) are kept and run once the file plays, so that the user
    // never waits for the skip.
    struct Deferred {
        int pauses = 0;  // Pause toggles; an odd count pauses
        bool hasSpeed = false;
        SpeedCommand speed;
    };
    // Unlocks a thread lock that LockOrDefer took.
    struct HeldThreadLock {
        explicit HeldThreadLock(win::RecursiveMutex& m) : mutex(m) {}
        ~HeldThreadLock() { mutex.Unlock(); }
        HeldThreadLock(const HeldThreadLock&) = delete;
        HeldThreadLock& operator=(const HeldThreadLock&) = delete;
        win::RecursiveMutex& mutex;
    };
    // Takes the thread lock (true; the caller unlocks it), or while a file is being opened
    // hands the command to `keep` and returns false at once.
    bool LockOrDefer(const std::function<void(Deferred&)>& keep);
    void SetOpening(bool opening);
    void RunDeferredCommands();
    void TogglePause();
    void ApplySpeed(SpeedCommand command);

    // Set by Init on the user-interface thread while no playlist thread runs; read-only after.
    win::MessageTarget* m_window = nullptr;
    IVideoTarget* m_videoWindow = nullptr;
    IPropertyPresenter* m_propertyPresenter = nullptr;        // user-interface thread only
    std::function<bool()> m_seekBarEnabled;                   // user-interface thread only
    std::function<int32_t(const std::string&)> m_startQuery;  // set before Init

    // The lock objects and the wake event live as long as the player: the audio output and the
    // video target keep pointers to them across files.
    mutable win::RecursiveMutex m_threadLock;
    mutable win::RecursiveMutex m_engineLock;
    mutable win::RecursiveMutex m_listLock;
    // Manual reset; set by the audio output when its notification thread ends.
    win::Event m_wakeEvent{true};
    // Manual reset; set by Shutdown so that the pause between files ends at once.
    win::Event m_quitEvent{true};

    // Under the thread lock.
    std::unique_ptr<win::WorkerThread> m_thread;

    // Under the list lock.
    std::vector<std::string> m_fileList;
    int m_currentIndex = 0;  // entry to play next; one past the file being played
    std::string m_currentFile;

    // Under the engine lock.
    std::unique_ptr<CPlaybackEngine> m_engine;

    // Embedded audio output; its own locking, driven under the thread lock.
    CDirectSoundPlayer m_audioOutput;

    std::atomic<int> m_running{0};   // playlist thread between its start and ThreadEnd
    std::atomic<int> m_closing{0};   // Shutdown began; cleared by Init
    std::atomic<int> m_seekDone{0};  // playlist thread only, after a forward seek
    std::atomic<int> m_paused{0};
    std::atomic<int32_t> m_startSecond{0};  // second the next opened file starts at
    std::atomic<bool> m_seekReopen{false};  // the next opening is a backward seek's
    // Bumped by every command that makes a running opening skip pointless; read by the engine.
    std::atomic<uint32_t> m_skipEpoch{0};

    // Innermost, like the list lock: nothing else is locked or called while it is held.
    std::mutex m_deferredLock;
    bool m_opening = false;  // under m_deferredLock: the playlist thread is opening a file
    Deferred m_deferred;     // under m_deferredLock
};

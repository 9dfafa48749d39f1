#include "engine/PlaylistPlayer.h"

#include <strings.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "engine/Messages.h"
#include "engine/PlaybackEngine.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "support/LanguageTable.h"

namespace {

// Language-table entries of the file-open failure box.
constexpr int kTitleError = 0;          // TitleInfo: "Error"
constexpr int kTextCannotOpenFile = 1;  // DebugInfo: "Can not open file %s!"

// What WM_PLAY_STATE says: the controls are to wait (a file is switched, a seek runs), they
// may be used again, or they may and a new file has started.
constexpr PlayStateMessage kBusy{false, false};
constexpr PlayStateMessage kReady{true, false};
constexpr PlayStateMessage kFileStarted{true, true};

SeekBarMessage SeekBar(SeekBarCommand command, int32_t value) {
    return {command, value};
}
// How long a user command waits before it tries the thread lock again while a short holder
// (another command, a file being stopped) has it, in milliseconds.
constexpr int kThreadLockRetryMs = 1;

bool SamePath(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

// Fills the first "%s" of a language text with the path. A translated text is data, so it is
// never handed to printf as a format.
std::string FillPath(const std::string& text, const std::string& path) {
    std::string out = text;
    const size_t at = out.find("%s");
    if (at != std::string::npos)
        out.replace(at, 2, path);
    return out;
}

bool CanOpenForReading(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::fclose(f);
    return true;
}

}  // namespace

CPlaylistPlayer::CPlaylistPlayer() = default;

CPlaylistPlayer::~CPlaylistPlayer() {
    Stop();
}

// ---- start and end ------------------------------------------------------------------------

int CPlaylistPlayer::Init(win::MessageTarget* window, IVideoTarget* videoWindow, int resetIndex) {
    // A run that is still going, or still ending by itself, is finished first, so that its end
    // cannot touch the state of the new run.
    bool hasThread;
    {
        win::ScopedLock t(m_threadLock);
        hasThread = m_thread != nullptr;
    }
    if (hasThread)
        Shutdown();

    m_running = 0;
    m_closing = 0;
    m_seekDone = 0;
    m_paused = 0;
    m_startSecond = 0;
    m_seekReopen = false;
    m_quitEvent.Reset();
    {
        win::ScopedLock l(m_listLock);
        if (resetIndex)
            m_currentIndex = 0;
        m_currentFile.clear();
    }
    m_window = window;
    m_videoWindow = videoWindow;
    return StartThread();
}

int CPlaylistPlayer::StartThread() {
    bool running;
    {
        win::ScopedLock t(m_threadLock);
        running = m_thread != nullptr && m_running.load();
    }
    if (running)
        Shutdown();
    {
        // A thread object left by a run that ended by itself: it has ended or is about to.
        std::unique_ptr<win::WorkerThread> old;
        {
            win::ScopedLock t(m_threadLock);
            old = std::move(m_thread);
        }
        ReapThread(std::move(old));
    }
    m_running = 0;
    m_wakeEvent.Reset();

    win::ScopedLock t(m_threadLock);
    m_thread = std::make_unique<win::WorkerThread>();
    if (!m_thread->Start([this] { ThreadBody(); }, win::ThreadPriority::AboveNormal)) {
        m_thread.reset();
        return 0;
    }
    return 1;
}

void CPlaylistPlayer::ReapThread(std::unique_ptr<win::WorkerThread> thread) {
    if (!thread)
        return;
    if (thread->IsCurrentThread()) {
        // Cannot wait for itself; the object must outlive the thread, so keep it for later.
        win::ScopedLock t(m_threadLock);
        if (!m_thread)
            m_thread = std::move(thread);
        return;
    }
    thread->PostMessage(win::WM_QUIT);
    thread->Join();
}

void CPlaylistPlayer::Shutdown() {
    CancelSkips();
    const bool first = m_closing.exchange(1) == 0;
    if (first) {
        m_quitEvent.Set();
        ClearList();
    }
    // The thread is told to end under the thread lock, but waited for outside it: the playlist
    // thread takes the thread lock on its way out.
    std::unique_ptr<win::WorkerThread> ending;
    {
        win::ScopedLock t(m_threadLock);
        if (m_thread && !m_thread->IsCurrentThread()) {
            m_thread->PostMessage(win::WM_QUIT);
            ending = std::move(m_thread);
        }
    }
    if (ending)
        ending->Join();
    if (!first)
        return;

    m_running = 0;
    CloseEngine();
    Post(WM_PLAYLIST_STOPPED);
}

void CPlaylistPlayer::Stop() {
    Shutdown();
    StopCurrent();
}

void CPlaylistPlayer::ThreadEnd() {
    m_running = 0;
    Stop();
    Post(kReady);
}

// ---- the playlist thread ------------------------------------------------------------------

void CPlaylistPlayer::ThreadBody() {
    m_running = 1;
    int r = PlayNext();
    while (r != 0) {
        win::Event* events[] = {&m_wakeEvent};
        const uint32_t woke = win::MsgWaitForMultipleObjects(events, win::INFINITE);
        m_wakeEvent.Reset();
        if (woke == win::WAIT_OBJECT_0) {
            // The pause between files; a shutdown cuts it short.
            if (m_quitEvent.Wait(kPauseBetweenFilesMs) == win::WAIT_OBJECT_0)
                break;
        } else {
            bool quit = false;
            win::Message msg;
            while (win::PeekMessage(msg, true)) {
                if (msg.message == win::WM_QUIT) {
                    quit = true;
                    break;
                }
                if (msg.message == WM_SEEK_DONE)
                    OnSeekDone();
            }
            if (quit)
                break;
        }
        r = PlayNext();
    }
    ThreadEnd();
}

int CPlaylistPlayer::PlayNext() {
    if (!m_videoWindow)
        return 0;
    // A wake-up caused by a finished seek never advances the list.
    if (m_seekDone.exchange(0))
        return 1;
    if (m_closing.load())
        return 0;

    win::ScopedLock t(m_threadLock);
    SetOpening(true);
    const int r = OpenNextEntry();
    RunDeferredCommands();
    return r;
}

// The next entry of the list, opened and playing. Runs under the thread lock.
int CPlaylistPlayer::OpenNextEntry() {
    // Cleared only under the thread lock: a SelectFile that ran just before this call set it
    // while stopping nothing, and that must not end the file this call is about to start.
    m_wakeEvent.Reset();
    std::string path;
    {
        win::ScopedLock l(m_listLock);
        const int count = static_cast<int>(m_fileList.size());
        if (count == 0)
            return 0;
        if (m_currentIndex >= count || m_currentIndex < 0) {
            if (!m_videoWindow->GetRepeat())
                return 0;
            m_currentIndex = 0;
        }
        path = m_fileList[m_currentIndex];
        // Points past the file at once, so that list commands issued while it opens see the
        // same index as while it plays.
        ++m_currentIndex;
    }
    return PlayFile(path);
}

int CPlaylistPlayer::PlayFile(const std::string& path) {
    if (!CanOpenForReading(path)) {
        const CLanguageTable& texts = LanguageTable();
        // The service shows the box without waiting for the user.
        win::MessageBox(FillPath(texts.DebugInfo(kTextCannotOpenFile), path),
                        texts.TitleInfo(kTitleError), win::MB_ICONERROR);
        return 0;
    }
    Post(kBusy);

    m_audioOutput.Close();
    m_videoWindow->FreeBuffers();
    CloseEngine();
    m_paused = 0;

    int32_t s = m_startSecond.load();
    if (!m_seekReopen.exchange(false) && s == 0 && m_startQuery)
        s = std::max(m_startQuery(path), 0);
    if (s > 0)
        SetSeekText(s);
    // Skips to s and queues the first second before it returns. Stop, a move in the list or a
    // new seek cut the skip short through the epoch, so none of them waits for it.
    auto engine = std::make_unique<CPlaybackEngine>(
        path, s, CPlaybackEngine::ThreadStart::Automatic, &m_skipEpoch);
    int32_t length;
    {
        win::ScopedLock e(m_engineLock);
        m_engine = std::move(engine);
        length = m_engine->GetLengthSeconds();
    }
    m_videoWindow->SetSeekText("");

    Post(SeekBar(SeekBarCommand::Enable, 1));
    Post(SeekBar(SeekBarCommand::Range, length));
    Post(SeekBar(SeekBarCommand::Position, s));
    m_startSecond = 0;
    return StartOutput(path);
}

int CPlaylistPlayer::StartOutput(const std::string& path) {
    CPlaybackEngine* engine;
    {
        win::ScopedLock e(m_engineLock);
        engine = m_engine.get();
    }
    // Only this thread replaces the engine, so the pointer stays valid here.
    if (!engine || !m_videoWindow)
        return 0;
    m_videoWindow->OpenStream(engine, &m_engineLock, &m_wakeEvent);
    Post(WM_PLAY_STARTING);
    m_audioOutput.Open(engine, &m_wakeEvent, m_window, 1, &m_engineLock, m_videoWindow);
    {
        win::ScopedLock l(m_listLock);
        m_currentFile = path;
    }
    Post(kFileStarted);
    return 1;
}

void CPlaylistPlayer::CloseEngine() {
    win::ScopedLock e(m_engineLock);
    m_audioOutput.SetEngine(nullptr);
    if (m_videoWindow) {
        // Opening without an engine is how the video target forgets its engine (and frees its
        // buffers); it must not keep a pointer to the engine deleted below.
        m_videoWindow->OpenStream(nullptr, &m_engineLock, &m_wakeEvent);
    }
    m_engine.reset();
}

void CPlaylistPlayer::StopCurrent() {
    win::ScopedLock t(m_threadLock);
    m_paused = 0;
    // Ends the notification thread, which sets the wake event. Set it here as well: an output
    // that never started has no thread to do it, and the list must still move on.
    m_audioOutput.Close();
    m_wakeEvent.Set();
    if (m_videoWindow)
        m_videoWindow->FreeBuffers();
    win::ScopedLock e(m_engineLock);
    if (m_engine)
        m_engine->Shutdown();
}

void CPlaylistPlayer::OnSeekDone() {
    m_seekDone = 1;
    // The engine's base is where the seek really landed (a decoder that had already passed
    // the target keeps its own position); the clock and the slider both follow it.
    int32_t landed = m_startSecond.load();
    {
        win::ScopedLock t(m_threadLock);
        win::ScopedLock e(m_engineLock);
        if (m_engine) {
            landed = m_engine->GetBaseSecond();
            // The frames now queued may lie behind the one shown last.
            if (m_videoWindow)
                m_videoWindow->RestartFrames();
            m_audioOutput.FillAt(landed);
        }
    }
    Post(SeekBar(SeekBarCommand::Enable, 1));
    Post(SeekBar(SeekBarCommand::Position, landed));
    m_startSecond = 0;
    if (m_videoWindow)
        m_videoWindow->SetSeekText("");
    Post(kReady);
}

// ---- the list -----------------------------------------------------------------------------

void CPlaylistPlayer::AddFile(const std::string& path) {
    win::ScopedLock l(m_listLock);
    m_fileList.push_back(path);
}

void CPlaylistPlayer::ClearList() {
    win::ScopedLock l(m_listLock);
    m_fileList.clear();
}

int CPlaylistPlayer::RemoveFiles(const std::vector<std::string>& paths) {
    win::ScopedLock l(m_listLock);
    std::vector<int> found;
    for (const std::string& p : paths) {
        for (size_t i = 0; i < m_fileList.size(); ++i) {
            if (SamePath(m_fileList[i], p)) {
                found.push_back(static_cast<int>(i));
                break;
            }
        }
    }
    std::sort(found.begin(), found.end());
    // A path given twice names the same entry once; removing it twice would take its
    // neighbour with it.
    found.erase(std::unique(found.begin(), found.end()), found.end());
    // The index points one past the file being played.
    const int playing = m_currentIndex - 1;
    int removedPlaying = 0;
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
        const int at = *it;
        m_fileList.erase(m_fileList.begin() + at);
        if (m_currentIndex > at)
            m_currentIndex = std::max(0, m_currentIndex - 1);
        if (at == playing)
            removedPlaying = 1;
    }
    return removedPlaying;
}

int CPlaylistPlayer::SelectFile(const std::string& path) {
    int found = -1;
    bool empty;
    {
        // Nothing is posted under the list lock: the dialog's side of a post takes locks of
        // its own.
        win::ScopedLock l(m_listLock);
        empty = m_fileList.empty();
        for (size_t i = 0; i < m_fileList.size() && found < 0; ++i) {
            if (SamePath(m_fileList[i], path))
                found = static_cast<int>(i);
        }
    }
    if (empty || path.empty()) {
        Post(kReady);
        return 0;
    }
    if (found < 0) {
        Post(kReady);
        return 1;
    }
    MoveInList([&](int& index, int count) { index = std::min(found, count - 1); });
    return 1;
}

int CPlaylistPlayer::Next() {
    // The index already points past the file being played.
    return MoveInList([](int& index, int count) {
        if (index >= count)
            index = 0;
    });
}

int CPlaylistPlayer::Previous() {
    return MoveInList([](int& index, int count) {
        index -= 2;
        if (index < 0)
            index = count - 1;
    });
}

int CPlaylistPlayer::MoveInList(const std::function<void(int& index, int count)>& move) {
    CancelSkips();
    {
        // Under the thread lock, so that a file being opened is fully open before it is
        // stopped, and the index is not moved under the opening.
        win::ScopedLock t(m_threadLock);
        bool moved = false;
        {
            win::ScopedLock l(m_listLock);
            if (!m_fileList.empty()) {
                move(m_currentIndex, static_cast<int>(m_fileList.size()));
                moved = true;
            }
        }
        if (moved) {
            // A forward seek still under way belonged to the file being left.
            m_startSecond = 0;
            StopCurrent();
            return 1;
        }
    }
    // Stop waits for the playlist thread, so no lock of ours may be held here.
    Stop();
    Post(kReady);
    return 0;
}

// ---- commands on the file being played -----------------------------------------------------

void CPlaylistPlayer::Pause() {
    if (!LockOrDefer([](Deferred& d) { ++d.pauses; }))
        return;
    HeldThreadLock held(m_threadLock);
    TogglePause();
}

void CPlaylistPlayer::TogglePause() {
    win::ScopedLock t(m_threadLock);
    // The decode thread is left alone; its queues stay full for the resume.
    if (m_paused.exchange(m_paused.load() ? 0 : 1) == 0) {
        m_audioOutput.Pause();
    } else {
        m_audioOutput.Resume();
    }
}

int CPlaylistPlayer::SeekTo(int32_t second) {
    // A file still skipping to an earlier seek's second gives that up; its position is then
    // where the skip stopped, and this seek goes on from there.
    CancelSkips();
    // The thread lock keeps the engine from being replaced between the check and the seek.
    win::ScopedLock t(m_threadLock);
    int32_t position;
    bool inPlace;
    {
        win::ScopedLock e(m_engineLock);
        if (!m_engine || second < 0 || second >= m_engine->GetLengthSeconds())
            return 0;
        position = m_engine->GetBaseSecond() + m_engine->GetDecodedSeconds();
        inPlace = m_engine->CanSeek() != 0;
    }
    // A decoder that can reposition goes there in place in either direction (the video
    // window is told to start over when the seek is done); one that only goes forward opens
    // the file again to get behind its position.
    if (inPlace || position <= second) {
        SeekForward(second);
    } else {
        SeekBackward(second);
    }
    return 1;
}

void CPlaylistPlayer::SeekForward(int32_t second) {
    Post(kBusy);
    win::ScopedLock t(m_threadLock);
    m_paused = 0;
    m_audioOutput.Stop();
    if (m_thread) {
        win::ScopedLock e(m_engineLock);
        // The decode thread skips ahead and tells the playlist thread with WM_SEEK_DONE.
        if (m_engine)
            m_engine->RequestSeek(second, 1, m_thread->Id());
    }
    m_startSecond = second;
    SetSeekText(second);
}

void CPlaylistPlayer::SeekBackward(int32_t second) {
    Post(kBusy);
    {
        // The decoder only goes forward: the same file is opened again and skips to `second`.
        win::ScopedLock l(m_listLock);
        m_currentIndex = std::max(0, m_currentIndex - 1);
    }
    m_startSecond = second;
    m_seekReopen = true;
    StopCurrent();
}

// ---- speed commands -----------------------------------------------------------------------

void CPlaylistPlayer::RunSpeedCommand(bool seekBarEnabled, SpeedCommand command) {
    Post(SeekBar(SeekBarCommand::Enable, seekBarEnabled ? 1 : 0));
    if (!LockOrDefer([&](Deferred& d) {
            d.hasSpeed = true;
            d.speed = command;
        }))
        return;
    HeldThreadLock held(m_threadLock);
    ApplySpeed(command);
}

void CPlaylistPlayer::ApplySpeed(SpeedCommand command) {
    win::ScopedLock t(m_threadLock);
    win::ScopedLock e(m_engineLock);
    if (m_engine)
        m_engine->SetSpeed(command.speed, &m_audioOutput, command.direction);
}

void CPlaylistPlayer::SpeedForward1x() {
    // Normal play again: the slider comes back.
    RunSpeedCommand(true, {Speed::X1, SpeedDirection::Forward});
}
void CPlaylistPlayer::SpeedForward2x() {
    RunSpeedCommand(false, {Speed::X2, SpeedDirection::Forward});
}
void CPlaylistPlayer::SpeedForward4x() {
    RunSpeedCommand(false, {Speed::X4, SpeedDirection::Forward});
}
void CPlaylistPlayer::SpeedForward8x() {
    RunSpeedCommand(false, {Speed::X8, SpeedDirection::Forward});
}

void CPlaylistPlayer::SpeedBackward1x() {
    // A switch: from backward play it returns to normal play, and the slider comes back.
    const bool enabled = !m_seekBarEnabled || m_seekBarEnabled();
    RunSpeedCommand(!enabled, {Speed::X1, SpeedDirection::Backward});
}

void CPlaylistPlayer::SpeedBackward2x() {
    RunSpeedCommand(false, {Speed::X2, SpeedDirection::Backward});
}
void CPlaylistPlayer::SpeedBackward4x() {
    RunSpeedCommand(false, {Speed::X4, SpeedDirection::Backward});
}
void CPlaylistPlayer::SpeedBackward8x() {
    RunSpeedCommand(false, {Speed::X8, SpeedDirection::Backward});
}

int CPlaylistPlayer::OnSpeedMessage(uint32_t message) {
    SpeedCommand command;
    if (!SpeedCommand::From(message, &command))
        return 0;
    if (command.direction == SpeedDirection::Backward && command.speed == Speed::X1)
        SpeedBackward1x();
    else
        RunSpeedCommand(command.direction == SpeedDirection::Forward && command.speed == Speed::X1,
                        command);
    return 1;
}

void CPlaylistPlayer::SetSeekBar(std::function<bool()> isSeekBarEnabled) {
    m_seekBarEnabled = std::move(isSeekBarEnabled);
}

void CPlaylistPlayer::SetStartQuery(std::function<int32_t(const std::string&)> startSecondOf) {
    m_startQuery = std::move(startSecondOf);
}

// ---- property box -------------------------------------------------------------------------

void CPlaylistPlayer::SetPropertyPresenter(IPropertyPresenter* presenter) {
    m_propertyPresenter = presenter;
}

void CPlaylistPlayer::ShowProperties() {
    if (!m_propertyPresenter || !HasEngine())
        return;
    m_propertyPresenter->RunModal(
        [this](const std::function<void(CPlaybackEngine&)>& use) { return WithEngine(use); });
}

// ---- read access --------------------------------------------------------------------------

std::string CPlaylistPlayer::GetCurrentFile() const {
    win::ScopedLock l(m_listLock);
    return m_currentFile;
}

int CPlaylistPlayer::GetCurrentIndex() const {
    win::ScopedLock l(m_listLock);
    return m_currentIndex;
}

std::vector<std::string> CPlaylistPlayer::GetFileList() const {
    win::ScopedLock l(m_listLock);
    return m_fileList;
}

int CPlaylistPlayer::GetFileCount() const {
    win::ScopedLock l(m_listLock);
    return static_cast<int>(m_fileList.size());
}

int CPlaylistPlayer::HasEngine() const {
    win::ScopedLock e(m_engineLock);
    return m_engine ? 1 : 0;
}

int CPlaylistPlayer::WithEngine(const std::function<void(CPlaybackEngine&)>& use) const {
    win::ScopedLock e(m_engineLock);
    if (!m_engine)
        return 0;
    use(*m_engine);
    return 1;
}

// ---- helpers ------------------------------------------------------------------------------

void CPlaylistPlayer::CancelSkips() {
    m_skipEpoch.fetch_add(1);
}

bool CPlaylistPlayer::LockOrDefer(const std::function<void(Deferred&)>& keep) {
    for (;;) {
        if (m_threadLock.TryLock())
            return true;
        {
            std::lock_guard p(m_deferredLock);
            if (m_opening) {
                keep(m_deferred);
                return false;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kThreadLockRetryMs));
    }
}

void CPlaylistPlayer::SetOpening(bool opening) {
    std::lock_guard p(m_deferredLock);
    m_opening = opening;
    if (opening)
        m_deferred = Deferred{};
}

// Runs, in their order of kind, the commands that came while the file was being opened: the
// speed change first (it restarts the output), then the pause, so that a paused file stays
// paused. Dropped when no file plays. Runs under the thread lock.
void CPlaylistPlayer::RunDeferredCommands() {
    Deferred d;
    {
        std::lock_guard p(m_deferredLock);
        m_opening = false;
        d = m_deferred;
        m_deferred = Deferred{};
    }
    if (!HasEngine())
        return;
    if (d.hasSpeed)
        ApplySpeed(d.speed);
    if (d.pauses % 2 == 1)
        TogglePause();
}

void CPlaylistPlayer::Post(uint32_t message) {
    if (m_window)
        m_window->PostMessage(message, 0, 0);
}

void CPlaylistPlayer::Post(PlayStateMessage state) {
    if (m_window)
        m_window->PostMessage(WM_PLAY_STATE, state.WParam(), state.LParam());
}

void CPlaylistPlayer::Post(SeekBarMessage seekBar) {
    if (m_window)
        m_window->PostMessage(WM_SEEKBAR, seekBar.WParam(), seekBar.LParam());
}

void CPlaylistPlayer::SetSeekText(int32_t second) {
    if (!m_videoWindow)
        return;
    m_videoWindow->SetSeekText("Seeking to " + win::ClockText(second));
}

#include "platform/sound/SdlSoundDevice.h"

#include <SDL.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <string_view>

namespace win {
namespace {

// SDL_InitSubSystem and SDL_QuitSubSystem count their callers but are not thread-safe.
std::mutex g_sdlInitMutex;

// Bytes one take from a ring may hold: a callback's worth at the highest rate ratio
// (384000 Hz into 44100 Hz, 512 frames, 4 bytes a frame) with room to spare.
constexpr size_t kTakeBytes = 32 * 1024;
// Takes per callback and voice; one is the rule, more only while a resampler fills up.
constexpr int kMaxTakesPerCallback = 8;
// Driver used when the default output cannot be opened.
constexpr const char* kFallbackDriver = "dummy";

SDL_AudioFormat SdlFormatOf(const WAVEFORMATEX& f) {
    return f.wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
}

}  // namespace

std::shared_ptr<SoundDevice> OpenSdlSoundDevice() {
    return SdlSoundDevice::Open(DefaultPrimaryFormat());
}

// SDL's audio subsystem is started for the first device and stopped with the last. When no
// other part of SDL is in use then, SDL_Quit follows: starting the subsystem also made SDL's
// own bookkeeping (hints, error slots), which only SDL_Quit gives back.
static bool StartSdlAudio(const char* forcedDriver) {
    if (forcedDriver)
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, forcedDriver, SDL_HINT_OVERRIDE);
    const bool ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (forcedDriver)
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);  // the next start tries the real output again
    return ok;
}

static void StopSdlAudio() {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0)
        SDL_Quit();
}

std::shared_ptr<SdlSoundDevice> SdlSoundDevice::Open(const WAVEFORMATEX& format) {
    std::shared_ptr<SdlSoundDevice> device(new SdlSoundDevice());
    {
        std::lock_guard lk(device->voicesMutex_);
        device->format_ = format;
        device->take_.resize(kTakeBytes);
    }
    std::lock_guard lk(g_sdlInitMutex);
    std::string reason;
    if (StartSdlAudio(nullptr)) {
        if (device->OpenDevice(format)) {
            device->started_ = true;
            device->idleThread_ = std::thread([raw = device.get()] { raw->IdleThread(); });
            return device;
        }
        reason = SDL_GetError();  // read before SDL_Quit clears it
        StopSdlAudio();
    } else {
        reason = SDL_GetError();
    }
    if (SDL_WasInit(SDL_INIT_AUDIO) != 0)
        return nullptr;  // another device of ours holds the output: never switch under it
    // No card, no sound server: the headless driver still runs the callbacks in real time,
    // so the player's clock runs and the picture plays.
    const char* wanted = SDL_GetHint(SDL_HINT_AUDIODRIVER);
    if (wanted && std::strcmp(wanted, kFallbackDriver) == 0)
        return nullptr;
    if (!StartSdlAudio(kFallbackDriver))
        return nullptr;
    if (!device->OpenDevice(format)) {
        StopSdlAudio();
        return nullptr;
    }
    device->started_ = true;
    device->idleThread_ = std::thread([raw = device.get()] { raw->IdleThread(); });
    device->fallbackReason_ = std::string("no sound device (") + (wanted ? wanted : "default") +
                              " driver: " + reason + "); playing on the " + kFallbackDriver +
                              " driver, without sound";
    return device;
}

SdlSoundDevice::~SdlSoundDevice() {
    StopIdleThread();
    std::lock_guard lk(g_sdlInitMutex);
    CloseDevice();
    for (Voice& v : voices_)
        if (v.stream)
            SDL_FreeAudioStream(v.stream);
    if (started_)
        StopSdlAudio();
}

std::string SdlSoundDevice::FallbackReason() const {
    return fallbackReason_;
}

bool SdlSoundDevice::Lost() const {
    // Under the device lock: an output closed for idleness is not a lost one, also while the
    // idle thread is closing it.
    std::lock_guard d(deviceMutex_);
    return reopenFailed_ || OutputGone();
}

bool SdlSoundDevice::OutputGone() const {
    // SDL stops calling back once the output went away (unplugged, server gone, write failed).
    const uint32_t id = deviceId_.load();
    return id != 0 && SDL_GetAudioDeviceStatus(id) == SDL_AUDIO_STOPPED;
}

bool SdlSoundDevice::IsOutputOpen() const {
    std::lock_guard d(deviceMutex_);
    return deviceId_.load() != 0;
}

bool SdlSoundDevice::OpenDevice(const WAVEFORMATEX& f) {
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(f.nSamplesPerSec);
    want.format = AUDIO_S16SYS;  // mixed in 16 bits whatever the primary's depth
    want.channels = static_cast<Uint8>(f.nChannels);
    want.samples = kCallbackFrames;
    want.callback = &SdlSoundDevice::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // Before the callbacks start (SDL's thread is made by the open): a new run of silence.
    silentSince_.reset();
    idleAsked_ = false;
    // No allowed changes: SDL converts to whatever the hardware takes behind the callback.
    const uint32_t id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    deviceId_ = id;
    if (id == 0)
        return false;
    // A sound server queues about one more buffer behind the callback (SDL asks PulseAudio
    // for a target length of one buffer): heard through it, each take comes that much later.
    const std::string_view driver = SDL_GetCurrentAudioDriver() ? SDL_GetCurrentAudioDriver() : "";
    const bool server = driver == "pulseaudio" || driver == "pipewire";
    deviceFrames_.store(have.samples * (server ? 2u : 1u), std::memory_order_relaxed);
    SDL_PauseAudioDevice(id, 0);
    return true;
}

void SdlSoundDevice::CloseDevice() {
    const uint32_t id = deviceId_.load();
    if (id == 0)
        return;
    SDL_CloseAudioDevice(id);  // returns after the last callback
    deviceId_ = 0;
}

HRESULT SdlSoundDevice::SetPrimaryFormat(const WAVEFORMATEX& format) {
    std::lock_guard d(deviceMutex_);
    {
        std::lock_guard lk(voicesMutex_);
        if (format.nSamplesPerSec == format_.nSamplesPerSec &&
            format.nChannels == format_.nChannels)
            return DS_OK;
    }
    std::lock_guard init(g_sdlInitMutex);
    CloseDevice();
    {
        std::lock_guard lk(voicesMutex_);
        format_ = format;
        for (Voice& v : voices_) {
            if (v.stream)
                SDL_FreeAudioStream(v.stream);
            v.stream = MakeStream(v.ring->Format());
        }
    }
    const bool ok = OpenDevice(format);
    idleClosed_ = false;
    reopenFailed_ = !ok;
    return ok ? DS_OK : DSERR_NODRIVER;
}

// ---- closing the output while nothing sounds -------------------------------------------------

void SdlSoundDevice::NotePlay() {
    std::lock_guard d(deviceMutex_);
    if (!idleClosed_)
        return;
    WAVEFORMATEX format;
    {
        std::lock_guard lk(voicesMutex_);
        format = format_;
    }
    std::lock_guard init(g_sdlInitMutex);
    const bool ok = OpenDevice(format);
    // Failed: the buffers count as lost, so the player sees the output gone; the next Play
    // tries again.
    idleClosed_ = !ok;
    reopenFailed_ = !ok;
}

void SdlSoundDevice::NoteSilence(bool silent) {
    if (!silent) {
        silentSince_.reset();
        idleAsked_ = false;
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!silentSince_)
        silentSince_ = now;
    if (idleAsked_ || now - *silentSince_ < kIdleGrace)
        return;
    // Never waits: when the idle thread holds its lock, the next callback asks again.
    std::unique_lock lk(idleMutex_, std::try_to_lock);
    if (!lk.owns_lock())
        return;
    idleWanted_ = true;
    idleAsked_ = true;
    idleWake_.notify_one();
}

void SdlSoundDevice::IdleThread() {
    pthread_setname_np(pthread_self(), "tvq-sound-idle");
    std::unique_lock lk(idleMutex_);
    for (;;) {
        idleWake_.wait(lk, [this] { return idleQuit_ || idleWanted_; });
        if (idleQuit_)
            return;
        idleWanted_ = false;
        lk.unlock();
        CloseIdleOutput();
        lk.lock();
    }
}

void SdlSoundDevice::CloseIdleOutput() {
    uint32_t id = 0;
    {
        std::lock_guard d(deviceMutex_);
        id = deviceId_.load();
        // A lost output stays as it is, for the player to notice.
        if (id == 0 || SDL_GetAudioDeviceStatus(id) != SDL_AUDIO_PLAYING)
            return;
        {
            // A buffer may have started since the callback asked; its Play waits for this
            // lock and then finds the output either still open or closed and to be opened.
            std::lock_guard lk(voicesMutex_);
            for (const Voice& v : voices_)
                if (v.ring->IsPlaying())
                    return;
        }
        // Returns once a callback under way has ended; no callback takes from a ring after.
        SDL_PauseAudioDevice(id, 1);
        deviceId_ = 0;
        idleClosed_ = true;
    }
    // Outside the locks: some drivers take long to close (PulseAudio: about 1.8 s here), and
    // a Play meanwhile opens a new device at once instead of waiting for this one.
    SDL_CloseAudioDevice(id);
}

void SdlSoundDevice::StopIdleThread() {
    if (!idleThread_.joinable())
        return;
    {
        std::lock_guard lk(idleMutex_);
        idleQuit_ = true;
    }
    idleWake_.notify_one();
    idleThread_.join();
}

WAVEFORMATEX SdlSoundDevice::PrimaryFormat() const {
    std::lock_guard lk(voicesMutex_);
    return format_;
}

_SDL_AudioStream* SdlSoundDevice::MakeStream(const WAVEFORMATEX& from) const {
    return SDL_NewAudioStream(SdlFormatOf(from), static_cast<Uint8>(from.nChannels),
                              static_cast<int>(from.nSamplesPerSec), AUDIO_S16SYS,
                              static_cast<Uint8>(format_.nChannels),
                              static_cast<int>(format_.nSamplesPerSec));
}

void SdlSoundDevice::Attach(const std::shared_ptr<SoundRing>& ring) {
    ring->SetStampedTakes(true);
    std::lock_guard lk(voicesMutex_);
    Voice v;
    v.ring = ring;
    v.stream = MakeStream(ring->Format());
    voices_.push_back(std::move(v));
}

void SdlSoundDevice::Detach(const SoundRing* ring) {
    std::lock_guard lk(voicesMutex_);
    for (auto it = voices_.begin(); it != voices_.end(); ++it) {
        if (it->ring.get() != ring)
            continue;
        if (it->stream)
            SDL_FreeAudioStream(it->stream);
        voices_.erase(it);
        return;
    }
}

void SdlSoundDevice::Callback(void* self, uint8_t* out, int len) {
    static_cast<SdlSoundDevice*>(self)->Mix(out, len);
}

void SdlSoundDevice::Mix(uint8_t* out, int len) {
    callbacks_.fetch_add(1, std::memory_order_relaxed);
    std::memset(out, 0, static_cast<size_t>(len));
    // SDL goes on calling back in real time after the output went away. Taking from the
    // rings then would play the movie on into nothing: a lost device moves no play cursor,
    // like a lost buffer, so the player notices the loss instead of a silent clock.
    if (OutputGone())
        return;
    std::unique_lock lk(voicesMutex_, std::try_to_lock);
    if (!lk.owns_lock()) {
        busy_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    auto* dst = reinterpret_cast<int16_t*>(out);
    bool sounded = false;
    for (Voice& v : voices_) {
        const int got = Render(v, len);
        sounded = sounded || got > 0;
        const float gain = SoundRing::GainOf(v.volume);
        if (gain <= 0.0f)
            continue;
        const int samples = got / 2;
        for (int i = 0; i < samples; ++i) {
            const float mixed = static_cast<float>(dst[i]) + static_cast<float>(mix_[i]) * gain;
            dst[i] = static_cast<int16_t>(std::clamp(mixed, -32768.0f, 32767.0f));
        }
    }
    NoteSilence(!sounded);
}

int SdlSoundDevice::Render(Voice& v, int len) {
    if (!v.stream)
        return 0;
    const WAVEFORMATEX& src = v.ring->Format();
    const int dstFrameBytes = 2 * format_.nChannels;
    const uint32_t maxTake =
        static_cast<uint32_t>(take_.size() / src.nBlockAlign * src.nBlockAlign);
    bool took = false;
    for (int i = 0; i < kMaxTakesPerCallback; ++i) {
        const int available = SDL_AudioStreamAvailable(v.stream);
        if (available >= len)
            break;
        const uint64_t missingFrames = static_cast<uint64_t>(len - available) / dstFrameBytes + 1;
        const uint64_t srcFrames =
            (missingFrames * src.nSamplesPerSec + format_.nSamplesPerSec - 1) /
            format_.nSamplesPerSec;
        const uint32_t want =
            static_cast<uint32_t>(std::min<uint64_t>(srcFrames * src.nBlockAlign, maxTake));
        const SoundRing::Taken t = v.ring->Consume(take_.data(), want, /*wait=*/false);
        if (t.busy)
            break;
        v.volume = t.volume;
        if (t.generation != v.generation) {
            // The cursor jumped: what the stream still holds belongs to the old position.
            SDL_AudioStreamClear(v.stream);
            v.generation = t.generation;
        }
        if (t.bytes == 0)
            break;
        consumed_.fetch_add(t.bytes, std::memory_order_relaxed);
        took = true;
        if (SDL_AudioStreamPut(v.stream, take_.data(), static_cast<int>(t.bytes)) != 0)
            break;
    }
    if (mix_.size() < static_cast<size_t>(len / 2))
        mix_.resize(static_cast<size_t>(len / 2));
    const int got = SDL_AudioStreamGet(v.stream, mix_.data(), len);
    // Taken from the ring but not yet heard: what the converter still holds, plus the device
    // buffer just handed to SDL (and the server's, if any). In the ring's own bytes, as the
    // player counts them.
    const uint64_t waitingFrames =
        static_cast<uint64_t>(std::max(SDL_AudioStreamAvailable(v.stream), 0)) / dstFrameBytes +
        deviceFrames_.load(std::memory_order_relaxed);
    const auto latency = static_cast<uint32_t>(waitingFrames * src.nSamplesPerSec /
                                               format_.nSamplesPerSec * src.nBlockAlign);
    // The stamp says from when the device plays out what it holds, so that the play cursor
    // runs on between callbacks instead of stepping by whole callbacks.
    if (took)
        v.ring->StampTake(v.generation, latency, std::chrono::steady_clock::now(), /*wait=*/false);
    else
        v.ring->SetDeviceLatency(latency);
    return std::max(got, 0);
}

}  // namespace win

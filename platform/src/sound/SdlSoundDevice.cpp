#include "platform/sound/SdlSoundDevice.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

namespace win {
namespace {

// SDL_InitSubSystem and SDL_QuitSubSystem count their callers but are not thread-safe.
std::mutex g_sdlInitMutex;

// Bytes one take from a ring may hold: a callback's worth at the highest rate ratio
// (384000 Hz into 44100 Hz, 512 frames, 4 bytes a frame) with room to spare.
constexpr size_t kTakeBytes = 32 * 1024;
// Takes per callback and voice; one is the rule, more only while a resampler fills up.
constexpr int kMaxTakesPerCallback = 8;

SDL_AudioFormat SdlFormatOf(const WAVEFORMATEX& f) {
    return f.wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
}

}  // namespace

std::shared_ptr<SoundDevice> OpenSdlSoundDevice() {
    return SdlSoundDevice::Open(DefaultPrimaryFormat());
}

std::shared_ptr<SdlSoundDevice> SdlSoundDevice::Open(const WAVEFORMATEX& format) {
    {
        std::lock_guard lk(g_sdlInitMutex);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            return nullptr;
    }
    std::shared_ptr<SdlSoundDevice> device(new SdlSoundDevice());
    {
        std::lock_guard lk(device->voicesMutex_);
        device->format_ = format;
        device->take_.resize(kTakeBytes);
    }
    if (!device->OpenDevice(format))
        return nullptr;  // the destructor quits the subsystem
    return device;
}

SdlSoundDevice::~SdlSoundDevice() {
    CloseDevice();
    for (Voice& v : voices_)
        if (v.stream)
            SDL_FreeAudioStream(v.stream);
    std::lock_guard lk(g_sdlInitMutex);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
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
    // No allowed changes: SDL converts to whatever the hardware takes behind the callback.
    deviceId_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (deviceId_ == 0)
        return false;
    SDL_PauseAudioDevice(deviceId_, 0);
    return true;
}

void SdlSoundDevice::CloseDevice() {
    if (deviceId_ == 0)
        return;
    SDL_CloseAudioDevice(deviceId_);  // returns after the last callback
    deviceId_ = 0;
}

HRESULT SdlSoundDevice::SetPrimaryFormat(const WAVEFORMATEX& format) {
    {
        std::lock_guard lk(voicesMutex_);
        if (format.nSamplesPerSec == format_.nSamplesPerSec &&
            format.nChannels == format_.nChannels)
            return DS_OK;
    }
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
    return OpenDevice(format) ? DS_OK : DSERR_NODRIVER;
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
    std::unique_lock lk(voicesMutex_, std::try_to_lock);
    if (!lk.owns_lock()) {
        busy_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    auto* dst = reinterpret_cast<int16_t*>(out);
    for (Voice& v : voices_) {
        const int got = Render(v, len);
        const float gain = SoundRing::GainOf(v.volume);
        if (gain <= 0.0f)
            continue;
        const int samples = got / 2;
        for (int i = 0; i < samples; ++i) {
            const float mixed = static_cast<float>(dst[i]) + static_cast<float>(mix_[i]) * gain;
            dst[i] = static_cast<int16_t>(std::clamp(mixed, -32768.0f, 32767.0f));
        }
    }
}

int SdlSoundDevice::Render(Voice& v, int len) {
    if (!v.stream)
        return 0;
    const WAVEFORMATEX& src = v.ring->Format();
    const int dstFrameBytes = 2 * format_.nChannels;
    const uint32_t maxTake =
        static_cast<uint32_t>(take_.size() / src.nBlockAlign * src.nBlockAlign);
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
        if (SDL_AudioStreamPut(v.stream, take_.data(), static_cast<int>(t.bytes)) != 0)
            break;
    }
    if (mix_.size() < static_cast<size_t>(len / 2))
        mix_.resize(static_cast<size_t>(len / 2));
    const int got = SDL_AudioStreamGet(v.stream, mix_.data(), len);
    return std::max(got, 0);
}

}  // namespace win

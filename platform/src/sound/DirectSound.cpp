#include "platform/sound/DirectSound.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/sound/SdlSoundDevice.h"

namespace win {
namespace {

std::mutex g_factoryMutex;
SoundDeviceFactory g_factory;  // under g_factoryMutex; empty = the SDL device

// DSBPOSITIONNOTIFY offset that asks for a signal when the buffer stops; not supported here.
constexpr uint32_t DSBPN_OFFSETSTOP = 0xFFFFFFFF;

}  // namespace

void SetSoundDeviceFactory(SoundDeviceFactory factory) {
    std::lock_guard lk(g_factoryMutex);
    g_factory = std::move(factory);
}

std::shared_ptr<SoundDevice> CreateSoundDevice() {
    SoundDeviceFactory factory;
    {
        std::lock_guard lk(g_factoryMutex);
        factory = g_factory;
    }
    return factory ? factory() : OpenSdlSoundDevice();
}

WAVEFORMATEX DefaultPrimaryFormat() {
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = 44100;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 4;
    f.nAvgBytesPerSec = 176400;
    return f;
}

HRESULT DirectSoundCreate(std::unique_ptr<DirectSound>* out) {
    if (!out)
        return DSERR_INVALIDPARAM;
    out->reset();
    std::shared_ptr<SoundDevice> device = CreateSoundDevice();
    if (!device)
        return DSERR_NODRIVER;
    *out = std::make_unique<DirectSound>(std::move(device));
    return DS_OK;
}

// --- DirectSound ---

DirectSound::DirectSound(std::shared_ptr<SoundDevice> device) : device_(std::move(device)) {}

HRESULT DirectSound::SetCooperativeLevel(const void* /*window*/, uint32_t level) {
    if (level != DSSCL_NORMAL && level != DSSCL_PRIORITY)
        return DSERR_INVALIDPARAM;
    level_ = level;
    return DS_OK;
}

HRESULT DirectSound::CreateSoundBuffer(const DSBUFFERDESC* desc,
                                       std::unique_ptr<DirectSoundBuffer>* out) {
    if (!desc || !out)
        return DSERR_INVALIDPARAM;
    out->reset();
    if (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) {
        if (desc->dwBufferBytes != 0 || desc->lpwfxFormat)
            return DSERR_INVALIDPARAM;
        if (device_->Fails(SoundOp::CreatePrimary))
            return DSERR_ALLOCATED;
        *out = std::make_unique<DirectSoundBuffer>(device_, nullptr, desc->dwFlags);
        return DS_OK;
    }
    if (!desc->lpwfxFormat || !IsPlayablePcm(*desc->lpwfxFormat))
        return DSERR_BADFORMAT;
    if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX)
        return DSERR_INVALIDPARAM;
    if (device_->Fails(SoundOp::CreateSecondary))
        return DSERR_OUTOFMEMORY;
    auto ring = std::make_shared<SoundRing>(*desc->lpwfxFormat, desc->dwBufferBytes);
    device_->Attach(ring);
    *out = std::make_unique<DirectSoundBuffer>(device_, std::move(ring), desc->dwFlags);
    return DS_OK;
}

// --- DirectSoundBuffer ---

DirectSoundBuffer::DirectSoundBuffer(std::shared_ptr<SoundDevice> device,
                                     std::shared_ptr<SoundRing> ring, uint32_t flags)
    : device_(std::move(device)), ring_(std::move(ring)), flags_(flags) {}

DirectSoundBuffer::~DirectSoundBuffer() {
    if (!ring_)
        return;
    // The owner frees the notification events after releasing the buffer: from here on no
    // device may set them, even one still holding the ring.
    ring_->SetNotifications({});
    ring_->Stop();
    device_->Detach(ring_.get());
}

HRESULT DirectSoundBuffer::GetStatus(uint32_t* status) {
    if (!status)
        return DSERR_INVALIDPARAM;
    if (device_->Fails(SoundOp::GetStatus))
        return DSERR_GENERIC;
    if (ring_ && device_->Lost())
        ring_->MarkLost();
    *status = ring_ ? ring_->Status() : DSBSTATUS_PLAYING;
    return DS_OK;
}

HRESULT DirectSoundBuffer::Lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1,
                                void** part2, uint32_t* bytes2, uint32_t /*flags*/) {
    if (!ring_)
        return DSERR_INVALIDCALL;
    if (!part1 || !bytes1)
        return DSERR_INVALIDPARAM;
    *part1 = nullptr;
    *bytes1 = 0;
    if (part2)
        *part2 = nullptr;
    if (bytes2)
        *bytes2 = 0;
    const uint32_t size = ring_->Size();
    if (offset >= size || bytes == 0 || bytes > size)
        return DSERR_INVALIDPARAM;
    if (locked_)
        return DSERR_INVALIDCALL;
    if (device_->Fails(SoundOp::Lock))
        return DSERR_INVALIDCALL;
    if (ring_->IsLost())
        return DSERR_BUFFERLOST;  // also orders these writes after past reads
    const uint32_t first = std::min(bytes, size - offset);
    if (first < bytes && (!part2 || !bytes2))
        return DSERR_INVALIDPARAM;
    *part1 = ring_->Data() + offset;
    *bytes1 = first;
    if (first < bytes) {
        *part2 = ring_->Data();
        *bytes2 = bytes - first;
    }
    locked_ = ring_->Data() + offset;
    lockedBytes_ = bytes;
    return DS_OK;
}

HRESULT DirectSoundBuffer::Unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2) {
    if (!ring_)
        return DSERR_INVALIDCALL;
    if (!locked_ || part1 != locked_ || bytes1 + bytes2 > lockedBytes_)
        return DSERR_INVALIDPARAM;
    if (part2 && part2 != ring_->Data())
        return DSERR_INVALIDPARAM;
    locked_ = nullptr;
    lockedBytes_ = 0;
    if (device_->Fails(SoundOp::Unlock))
        return DSERR_INVALIDCALL;
    ring_->Fence();  // the device sees these bytes from now on
    device_->NoteUnlock();
    return DS_OK;
}

HRESULT DirectSoundBuffer::Play(uint32_t /*reserved*/, uint32_t /*priority*/, uint32_t flags) {
    if (!ring_)
        return DS_OK;  // the primary buffer always plays while the device is open
    if (device_->Fails(SoundOp::Play))
        return DSERR_GENERIC;
    if (ring_->IsLost())
        return DSERR_BUFFERLOST;
    ring_->Play((flags & DSBPLAY_LOOPING) != 0);
    device_->NotePlay();  // after the ring plays: a device going idle sees it playing
    return DS_OK;
}

HRESULT DirectSoundBuffer::Stop() {
    if (!ring_)
        return DS_OK;
    if (device_->Fails(SoundOp::Stop))
        return DSERR_GENERIC;
    ring_->Stop();
    return DS_OK;
}

HRESULT DirectSoundBuffer::GetCurrentPosition(uint32_t* play, uint32_t* write) {
    if (!ring_)
        return DSERR_INVALIDCALL;
    if (device_->Fails(SoundOp::GetPosition))
        return DSERR_GENERIC;
    const SoundRing::Cursors cursors = ring_->CursorsAt(device_->Now());
    if (play)
        *play = cursors.play;
    if (write)
        *write = cursors.write;
    return DS_OK;
}

HRESULT DirectSoundBuffer::SetCurrentPosition(uint32_t offset) {
    if (!ring_)
        return DSERR_INVALIDCALL;
    if (offset >= ring_->Size())
        return DSERR_INVALIDPARAM;
    if (device_->Fails(SoundOp::SetPosition))
        return DSERR_GENERIC;
    ring_->SetPlayCursor(offset);
    return DS_OK;
}

HRESULT DirectSoundBuffer::Restore() {
    if (!ring_)
        return DS_OK;
    if (device_->Fails(SoundOp::Restore) || device_->Lost())
        return DSERR_BUFFERLOST;
    ring_->ClearLost();
    return DS_OK;
}

HRESULT DirectSoundBuffer::GetLatency(uint32_t* bytes) {
    if (!bytes)
        return DSERR_INVALIDPARAM;
    if (!ring_)
        return DSERR_INVALIDCALL;
    *bytes = ring_->CursorsAt(device_->Now()).unheard;
    return DS_OK;
}

HRESULT DirectSoundBuffer::SetVolume(int32_t hundredthsDb) {
    if (!ring_ || !(flags_ & DSBCAPS_CTRLVOLUME))
        return DSERR_INVALIDCALL;
    if (hundredthsDb < DSBVOLUME_MIN || hundredthsDb > DSBVOLUME_MAX)
        return DSERR_INVALIDPARAM;
    if (device_->Fails(SoundOp::SetVolume))
        return DSERR_GENERIC;
    ring_->SetVolume(hundredthsDb);
    return DS_OK;
}

HRESULT DirectSoundBuffer::GetVolume(int32_t* hundredthsDb) {
    if (!hundredthsDb)
        return DSERR_INVALIDPARAM;
    if (!ring_ || !(flags_ & DSBCAPS_CTRLVOLUME))
        return DSERR_INVALIDCALL;
    *hundredthsDb = ring_->Volume();
    return DS_OK;
}

HRESULT DirectSoundBuffer::SetFormat(const WAVEFORMATEX* format) {
    if (ring_)
        return DSERR_INVALIDCALL;
    if (!format || !IsPlayablePcm(*format))
        return DSERR_BADFORMAT;
    if (device_->Fails(SoundOp::SetFormat))
        return DSERR_BADFORMAT;
    return device_->SetPrimaryFormat(*format);
}

HRESULT DirectSoundBuffer::GetFormat(WAVEFORMATEX* format) {
    if (!format)
        return DSERR_INVALIDPARAM;
    *format = ring_ ? ring_->Format() : device_->PrimaryFormat();
    return DS_OK;
}

HRESULT DirectSoundBuffer::QueryInterface(std::unique_ptr<DirectSoundNotify>* notify) {
    if (!notify)
        return DSERR_INVALIDPARAM;
    notify->reset();
    if (!ring_ || !(flags_ & DSBCAPS_CTRLPOSITIONNOTIFY))
        return DSERR_NOINTERFACE;
    if (device_->Fails(SoundOp::QueryNotify))
        return DSERR_NOINTERFACE;
    *notify = std::make_unique<DirectSoundNotify>(device_, ring_);
    return DS_OK;
}

// --- DirectSoundNotify ---

DirectSoundNotify::DirectSoundNotify(std::shared_ptr<SoundDevice> device,
                                     std::shared_ptr<SoundRing> ring)
    : device_(std::move(device)), ring_(std::move(ring)) {}

HRESULT DirectSoundNotify::SetNotificationPositions(uint32_t count,
                                                    const DSBPOSITIONNOTIFY* positions) {
    if (count > 0 && !positions)
        return DSERR_INVALIDPARAM;
    if (ring_->IsPlaying())
        return DSERR_INVALIDCALL;
    if (device_->Fails(SoundOp::SetNotifications))
        return DSERR_INVALIDPARAM;
    std::vector<DSBPOSITIONNOTIFY> kept;
    kept.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const DSBPOSITIONNOTIFY& p = positions[i];
        if (p.dwOffset == DSBPN_OFFSETSTOP)
            continue;
        if (p.dwOffset >= ring_->Size() || !p.hEventNotify)
            return DSERR_INVALIDPARAM;
        kept.push_back(p);
    }
    ring_->SetNotifications(std::move(kept));
    return DS_OK;
}

}  // namespace win

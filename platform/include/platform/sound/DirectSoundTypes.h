#pragma once
// Result codes, flags and records of the sound layer. Values and field names follow the
// DirectSound headers so code written against that model reads the same.
#include <cstdint>

#include "platform/WinTypes.h"

namespace win {

class Event;

using HRESULT = int32_t;

constexpr HRESULT DS_OK = 0;
constexpr HRESULT DSERR_ALLOCATED = static_cast<HRESULT>(0x8878000A);
constexpr HRESULT DSERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057);
constexpr HRESULT DSERR_INVALIDCALL = static_cast<HRESULT>(0x88780032);
constexpr HRESULT DSERR_GENERIC = static_cast<HRESULT>(0x80004005);
constexpr HRESULT DSERR_BADFORMAT = static_cast<HRESULT>(0x88780064);
constexpr HRESULT DSERR_NODRIVER = static_cast<HRESULT>(0x88780078);
constexpr HRESULT DSERR_BUFFERLOST = static_cast<HRESULT>(0x88780096);
constexpr HRESULT DSERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT DSERR_NOINTERFACE = static_cast<HRESULT>(0x80004002);

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

// Cooperative levels. Accepted and kept; this layer always shares the device.
constexpr uint32_t DSSCL_NORMAL = 1;
constexpr uint32_t DSSCL_PRIORITY = 2;

// Buffer capabilities.
constexpr uint32_t DSBCAPS_PRIMARYBUFFER = 0x00000001;
constexpr uint32_t DSBCAPS_CTRLVOLUME = 0x00000080;
constexpr uint32_t DSBCAPS_CTRLPOSITIONNOTIFY = 0x00000100;
constexpr uint32_t DSBCAPS_GLOBALFOCUS = 0x00008000;
constexpr uint32_t DSBCAPS_GETCURRENTPOSITION2 = 0x00010000;

// GetStatus bits.
constexpr uint32_t DSBSTATUS_PLAYING = 0x00000001;
constexpr uint32_t DSBSTATUS_BUFFERLOST = 0x00000002;
constexpr uint32_t DSBSTATUS_LOOPING = 0x00000004;

constexpr uint32_t DSBPLAY_LOOPING = 0x00000001;

// Volume in hundredths of a decibel: 0 is full level, -10000 silence.
constexpr int32_t DSBVOLUME_MAX = 0;
constexpr int32_t DSBVOLUME_MIN = -10000;

// Smallest and largest secondary buffer, in bytes.
constexpr uint32_t DSBSIZE_MIN = 4;
constexpr uint32_t DSBSIZE_MAX = 0x0FFFFFFF;

struct DSBUFFERDESC {
    uint32_t dwSize = sizeof(DSBUFFERDESC);
    uint32_t dwFlags = 0;
    uint32_t dwBufferBytes = 0;                 // 0 for the primary buffer
    const WAVEFORMATEX* lpwfxFormat = nullptr;  // null for the primary buffer
};

// A notification position: hEventNotify is set each time the play cursor passes dwOffset.
struct DSBPOSITIONNOTIFY {
    uint32_t dwOffset = 0;
    Event* hEventNotify = nullptr;
};

// True for the PCM formats the layer plays: 8 or 16 bits, 1 or 2 channels, a block align that
// agrees with them and a byte rate above 0 (played by the sample rate, whatever it says).
bool IsPlayablePcm(const WAVEFORMATEX& f);

}  // namespace win

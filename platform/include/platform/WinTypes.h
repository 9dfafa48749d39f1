#pragma once
// Plain counterparts of the Windows records and constants the player shares between its parts.
// Field names and sizes follow the Windows headers so the layouts stay interchangeable.
#include <cstdint>

namespace win {

constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_USER = 1024;

// Results of the waits.
constexpr uint32_t WAIT_OBJECT_0 = 0;
constexpr uint32_t WAIT_TIMEOUT = 258;
constexpr uint32_t INFINITE = 0xFFFFFFFF;

// Message-box flags and results.
constexpr uint32_t MB_OK = 0x0;
constexpr uint32_t MB_ICONERROR = 0x10;
constexpr uint32_t MB_ICONQUESTION = 0x20;
constexpr uint32_t MB_ICONWARNING = 0x30;
constexpr uint32_t MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;

constexpr int MAX_PATH = 260;

constexpr uint32_t BI_RGB = 0;
constexpr uint16_t WAVE_FORMAT_PCM = 1;

#pragma pack(push, 2)
struct BITMAPINFOHEADER {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = BI_RGB;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

struct WAVEFORMATEX {
    uint16_t wFormatTag = WAVE_FORMAT_PCM;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(WAVEFORMATEX) == 18);

struct RECT {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Bytes per row of a bottom-up DIB: rows are padded to 4 bytes.
constexpr int32_t DibStride(int32_t width, int32_t bitsPerPixel) {
    return ((bitsPerPixel * width + 31) / 32) * 4;
}

}  // namespace win

#pragma once
// Machine-readable marks that synthetic movies carry, so tests anywhere in the program can tell
// which second and frame is on screen and which second is being heard.
//
// Frames are 24-bit BGR, bottom-up rows, each row `stride` bytes (normally padded to 4 bytes):
// the layout the decoder component delivers and the video window shows.
//
// The frame marker is a block of 8 x 4 black-or-white cells in the top-left corner of the
// picture as seen on screen (which is the LAST rows of a bottom-up buffer). It carries the
// second (16 bits), the frame index (8 bits) and an 8-bit check, so a frame without a marker is
// recognised as such. The cell size follows the picture size (4 to 16 pixels) and the block
// survives JPEG compression at quality 50 and above. Frames from 32 x 24 pixels up can carry it.
//
// Each second's audio is a pure tone whose pitch names the second (modulo kToneCycleSeconds).
#include <cstddef>
#include <cstdint>

namespace tvq {

// Seconds after which the tone sequence starts again: 600 tones, 6 Hz apart, 250-3844 Hz.
constexpr int kToneCycleSeconds = 600;

// Smallest picture that can carry a frame marker.
constexpr int kMarkerMinWidth = 32;
constexpr int kMarkerMinHeight = 24;

// Width and height in pixels of the marker block for a picture of this size (0 when too small).
int FrameMarkerWidth(int width, int height);
int FrameMarkerHeight(int width, int height);

// Draws the marker for (second, frame) into the frame. second 0..65535, frame 0..255 (both are
// reduced to that range). Does nothing when the picture is smaller than kMarkerMin*.
void WriteFrameMarker(uint8_t* bottomUpBgr, int width, int height, int stride, int second,
                      int frame);

// Reads the marker back; false when the picture carries none (or it is unreadable).
bool ReadFrameMarker(const uint8_t* bottomUpBgr, int width, int height, int stride, int& second,
                     int& frame);

// The same for a picture in another memory layout, e.g. a screenshot shown at 1:1: `topRow` is
// the first row as seen on screen, `rowStep` the signed distance in bytes from a row to the one
// below it, `bytesPerPixel` 3 or 4 (BGR, RGB, BGRX, XRGB... the cells are grey, so channel order
// does not matter as long as the first three bytes of a pixel are the colour).
bool ReadFrameMarkerAt(const uint8_t* topRow, int width, int height, ptrdiff_t rowStep,
                       int bytesPerPixel, int& second, int& frame);

// The tone of a second, in Hz (an integer, so that one second holds whole cycles).
int ToneHzForSecond(int second);

// The second (0..kToneCycleSeconds-1) whose tone dominates the PCM, or -1 for silence or when
// no single tone stands out. pcm: interleaved samples, 8-bit unsigned or 16-bit signed
// little-endian; channels are mixed. Works on windows from about 0.2 s; a window that spans two
// seconds reports the one that fills more of it. Uses at most the first second of `pcm`.
int DetectSecondFromPcm(const uint8_t* pcm, size_t bytes, int rate, int channels, int bits);

// Fills `pcm` with `sampleFrames` sample frames of the tone of `second`, starting
// `firstSampleFrame` sample frames into that second (so a second can be built in pieces with a
// continuous phase). Amplitude is half of full scale. Returns the bytes written.
size_t WriteToneForSecond(uint8_t* pcm, int second, long firstSampleFrame, long sampleFrames,
                          int rate, int channels, int bits);

}  // namespace tvq

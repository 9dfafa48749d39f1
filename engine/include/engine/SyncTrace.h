#pragma once
// With TVQ_TRACE_SYNC=FILE set, one line per newly shown frame goes to FILE:
//   <monotonic ms> <second> <frame index> <heard audio ms>
// preceded by "# fps N" whenever a movie opens. bench/sync.py reads it. Both calls come from
// the audio notification thread (the video window's pull runs on it), so the heard position
// recorded just before a frame is shown is the one that chose it.
#include <cstdint>

namespace sync_trace {

// Whether the variable was set when the program started.
bool Enabled();
// A movie with this frame rate starts; written as a header line.
void MovieOpened(int framesPerSecond);
// The audio position that is heard now, in ms of the movie's sound.
void Heard(uint64_t heardMs);
// A frame with this label has just become the shown one.
void FrameShown(int32_t second, int32_t frameIndex);

}  // namespace sync_trace

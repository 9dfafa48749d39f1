#pragma once
// With TVQ_TRACE_SYNC=FILE set, one line per newly shown frame goes to FILE:
//   <monotonic ms> <second> <frame index> <heard audio ms>
// preceded by "# fps N" whenever a movie opens. bench/sync.py reads it. The notification
// thread records the heard position; a frame's line is written when it reaches the screen (the
// window's paint), with the heard position moved on by the time since it was recorded.
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

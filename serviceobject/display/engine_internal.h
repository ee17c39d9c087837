// Helpers shared by the display engine's source files: its limits, the line buffers and wrapping
// arithmetic. Starting and stopping workers is the Workers controller's (workers.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "serviceobject/core/line_buffer.h"
#include "serviceobject/core/so_state.h"
#include "serviceobject/display/command_set.h"

namespace kirnow::display {

// Longest wait, in ms, for a pending hand-off to be taken before new text overwrites it.
inline constexpr uint32_t kTextAtTimeout = 500;
// Longest wait for line 1's worker to finish a cursor-move sequence when it is stopped.
inline constexpr uint32_t kCursorSequenceTimeout = 2000;
// Bound on every other wait for a worker (its end flag, its cursor-move flag). A worker that
// has not ended by then is let go with its own run and sends nothing more.
inline constexpr uint32_t kWorkerStopTimeout = 5000;
// Characters of a line's text that a marquee or blink worker shows.
inline constexpr int32_t kMarqueeTextLimit = 40;

// Signed 32-bit arithmetic that wraps instead of overflowing: the low 32 bits of `value`.
inline int32_t Wrap(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

// The text of line 1 or line 2 up to its terminating zero (empty for other lines).
std::string ReadLine(DisplayShared& d, int line);
// Replaces the text of line 1 or line 2 by `text`, cut at its first zero byte and at 255
// characters; the rest of the buffer is zero. Other lines have no buffer: nothing happens.
void StoreLine(DisplayShared& d, int line, std::string_view text);

// Line of a window at `viewportRow`: 1 (upper), 2 (lower), or 0 when it is on neither.
constexpr int LineOfViewportRow(int32_t viewportRow) {
  return viewportRow == 0 ? 1 : viewportRow == 1 ? 2 : 0;
}

}  // namespace kirnow::display

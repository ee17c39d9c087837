// Timing of repeated frames: a frame is a cursor move followed by the characters written after
// it. A marquee sends its frames to the same cell at a steady period; this keeps, per target
// cell, how many frames arrived and how regular the time between them was.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kirnow::displaymodel {

struct CellFrameStats {
  int32_t row = 0;  // counted from 1
  int32_t col = 0;
  int32_t count = 0;      // frames (cursor moves) to this cell
  int32_t intervals = 0;  // gaps measured between two successive frames
  double meanMs = 0;      // mean gap
  double jitterMs = 0;    // standard deviation of the gap
  double minMs = 0;
  double maxMs = 0;
  double charsPerFrame = 0;  // mean characters written after the move
};

class FrameStats {
 public:
  // A cursor move to (row, col) at time t (ms).
  void OnCursorMove(int32_t row, int32_t col, double t);
  // A character written at the cursor: counts toward the current frame.
  void OnCharacter();
  // Forgets the last frame times so that the next gap is not measured across an interruption
  // (a re-plug); the totals stay.
  void BreakChain();
  void Reset();

  // Cells with at least two frames, most frequent first.
  std::vector<CellFrameStats> Repeated() const;
  // A one-line-per-cell human report.
  std::string Report() const;

 private:
  struct Acc {
    int32_t count = 0;
    int32_t intervals = 0;
    double mean = 0, m2 = 0, min = 0, max = 0;
    double lastT = 0;
    bool haveLast = false;
    int64_t chars = 0;
  };
  std::map<std::pair<int32_t, int32_t>, Acc> cells_;
  Acc* current_ = nullptr;
};

}  // namespace kirnow::displaymodel

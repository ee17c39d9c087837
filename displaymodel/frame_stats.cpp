#include "displaymodel/frame_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kirnow::displaymodel {

void FrameStats::OnCursorMove(int32_t row, int32_t col, double t) {
  Acc& a = cells_[{row, col}];
  if (a.haveLast) {
    // Welford's running mean and variance of the gaps.
    double gap = t - a.lastT;
    ++a.intervals;
    double delta = gap - a.mean;
    a.mean += delta / a.intervals;
    a.m2 += delta * (gap - a.mean);
    if (a.intervals == 1) {
      a.min = a.max = gap;
    } else {
      a.min = std::min(a.min, gap);
      a.max = std::max(a.max, gap);
    }
  }
  ++a.count;
  a.lastT = t;
  a.haveLast = true;
  current_ = &a;
}

void FrameStats::OnCharacter() {
  if (current_) ++current_->chars;
}

void FrameStats::BreakChain() {
  for (auto& [cell, a] : cells_) a.haveLast = false;
  current_ = nullptr;
}

void FrameStats::Reset() {
  cells_.clear();
  current_ = nullptr;
}

std::vector<CellFrameStats> FrameStats::Repeated() const {
  std::vector<CellFrameStats> out;
  for (const auto& [cell, a] : cells_) {
    if (a.count < 2) continue;
    CellFrameStats s;
    s.row = cell.first;
    s.col = cell.second;
    s.count = a.count;
    s.intervals = a.intervals;
    s.meanMs = a.mean;
    s.jitterMs = a.intervals > 1 ? std::sqrt(a.m2 / (a.intervals - 1)) : 0.0;
    s.minMs = a.min;
    s.maxMs = a.max;
    s.charsPerFrame = static_cast<double>(a.chars) / a.count;
    out.push_back(s);
  }
  std::stable_sort(out.begin(), out.end(), [](const CellFrameStats& x, const CellFrameStats& y) {
    return x.count > y.count;
  });
  return out;
}

std::string FrameStats::Report() const {
  std::string out;
  auto cells = Repeated();
  if (cells.empty()) return "no repeated frames\n";
  char buf[256];
  for (const auto& s : cells) {
    std::snprintf(buf, sizeof buf,
                  "row %d col %d: %d frames, period %.1f ms, jitter %.1f ms (min %.1f, max %.1f), "
                  "%.1f chars/frame\n",
                  s.row, s.col, s.count, s.meanMs, s.jitterMs, s.minMs, s.maxMs, s.charsPerFrame);
    out += buf;
  }
  return out;
}

}  // namespace kirnow::displaymodel

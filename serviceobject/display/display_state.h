// The display engine's module-wide state: line buffers, scroll buffers and the worker flags by
// which the caller's thread and the marquee and blink workers coordinate. Flags are atomics (a
// plain int shared between threads is undefined behaviour); the protocol between the threads
// is the hand-off and stop protocol of the display engine.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/clock/thread.h"

namespace kirnow {

struct DisplayShared {
  // Line buffers of line 1 (upper) and line 2 (lower): zero-terminated, 255 characters at most.
  // Guarded by textLock, since a worker copies the other line's text in a hand-off.
  std::array<char, 256> text1{};
  std::array<char, 256> text2{};
  std::mutex textLock;

  // Scroll buffers (20 blanks, the text, 20 blanks) and positions, owned by the running worker.
  std::array<char, 80> scroll_buf1{};
  std::array<char, 80> scroll_buf2{};
  int32_t scroll_len1 = 0, scroll_len2 = 0;
  int32_t scroll_pos1 = 0, scroll_pos2 = 0;
  int32_t text1_len = 0, text2_len = 0;

  std::atomic<int32_t> Susp_Thread1_f{0}, Susp_Thread2_f{0}, Susp_Thread3_f{0};
  std::atomic<uint8_t> Thread1_end_f{1}, Thread2_end_f{1}, Thread3_end_f{1};
  std::atomic<int32_t> Scroll1_Enable{0}, Scroll2_Enable{0};
  std::atomic<int32_t> Thread1_f{0}, Thread2_f{0}, Thread3_f{0};
  std::atomic<int32_t> Threadhd1_restart{0}, Threadhd2_restart{0}, Threadhd3_restart{0};
  std::atomic<int32_t> void_1f24_f_1{0}, void_1f24_f_2{0}, void_1f24_f_3{0};
  std::atomic<uint8_t> blink_up{0}, blink_low{0};
  std::atomic<uint8_t> blink_up_show{1}, blink_low_show{1};
  std::atomic<int32_t> Scroll_textAT{0};

  int32_t ScrollLeftTotal = 0;
  int32_t ScrollRightTotal = 0;

  // The worker threads, joined when they are replaced and when the module goes away.
  platform::Thread worker1, worker2, worker3;
  // Held by the marquee and blink controls and by StopAllWorkers while they start, stop or
  // replace workers, so that two callers never race on the thread slots. Workers never take it.
  std::recursive_mutex controlLock;
};

}  // namespace kirnow

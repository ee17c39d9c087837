// Text output: DisplayText and DisplayTextAt. Text is converted to the ANSI code page, kept in
// the line buffer of its line, and either written to the port at once or handed to the worker
// that is driving the display, which writes it between two of its own frames.
#include <algorithm>
#include <string>

#include "serviceobject/core/posl_display.h"
#include "serviceobject/display/command_set.h"
#include "serviceobject/display/engine_internal.h"
#include "serviceobject/display/hex_pairs.h"
#include "serviceobject/display/workers.h"

namespace kirnow {

namespace {

// Signed 32-bit arithmetic that wraps instead of overflowing.
int32_t Wrap(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

// The text converted to the ANSI code page, cut to the 255 characters a buffer holds.
std::string Convert(ModuleState& m, std::u16string_view data) {
  std::string text = m.platform.ansi.ToAnsi(data);
  if (text.size() > display::kLineCapacity) text.resize(display::kLineCapacity);
  return text;
}

// The text up to its first zero byte, as the line buffers keep it.
std::string_view UpToZero(std::string_view text) { return text.substr(0, text.find('\0')); }

// Line of a window at `viewportRow`: 1 (upper), 2 (lower), or 0 when it has no line buffer.
int LineOfViewportRow(int32_t viewportRow) {
  return viewportRow == 0 ? 1 : viewportRow == 1 ? 2 : 0;
}

void ClearBlinkFlag(DisplayShared& d, int line) {
  if (line == 1 || line == 2) d.line(line).blink = 0;
}

// The engine's state under the names the trace has always printed.
std::string StateDump(ModuleState& m, const WindowRecord& w) {
  DisplayShared& d = m.display;
  const WorkerControl& w1 = d.worker(1);
  const WorkerControl& w2 = d.worker(2);
  const WorkerControl& w3 = d.worker(3);
  std::string dump = TraceFormat(
      "Scroll1_Enable=%d\nScroll2_Enable=%d\nScroll_textAT=%d\nThreadhd1_restart=%d\n"
      "Threadhd2_restart=%d\nThreadhd3_restart=%d\nThread1_f=%d\nThread2_f=%d\nThread3_f=%d\n"
      "void_1f24_f_1=%d\nvoid_1f24_f_2=%d\nvoid_1f24_f_3=%d\nSusp_Thread1_f=%d\n"
      "Susp_Thread2_f=%d\nSusp_Thread3_f=%d\nblink_up=%d\nblink_low=%d\n"
      "list[CurrentWindow].ViewportRow=%d",
      w1.scrolling.load(), w2.scrolling.load(), d.handOffPending.load(), w1.restart.load(),
      w2.restart.load(), w3.restart.load(), w1.started.load(), w2.started.load(), w3.started.load(),
      w1.inFrame.load(), w2.inFrame.load(), w3.inFrame.load(), w1.keepRunning.load(),
      w2.keepRunning.load(), w3.keepRunning.load(), static_cast<int>(d.line(1).blink.load()),
      static_cast<int>(d.line(2).blink.load()), w.ViewportRow.load());
  dump += "\ntext1=" + display::ReadLine(d, 1) + "\ntext2=" + display::ReadLine(d, 2) + "\n";
  return dump;
}

}  // namespace

int32_t POSLDisplay::DisplayText(std::u16string_view Data, int32_t Attribute) {
  ModuleState& m = module_;
  DisplayShared& d = m.display;
  m.trace.Record("\nDisplayText:", [&] {
    return TraceFormat("Attribute=%d,Data=", Attribute) + m.platform.ansi.ToAnsi(Data);
  });
  WindowRecord& w = CurrentRecord();
  const std::string text = Convert(m, Data);
  const int32_t len = static_cast<int32_t>(text.size());

  // The line buffer is chosen by the cursor row, which is the display line in a created window.
  const int32_t cursorRow = w.CursorRow;
  const int line = cursorRow == 1 ? 1 : cursorRow == 2 ? 2 : 0;
  display::StoreLine(d, line, text);
  w.ScrollSource = std::string(UpToZero(text));

  const int32_t end = Wrap(static_cast<int64_t>(w.WindowWidth) * cursorRow +
                           static_cast<int64_t>(w.CursorColumn) + len);

  display::Workers workers(m);
  if (workers.Driving()) {
    // A worker owns the port: hand the text over; the worker writes the other line's buffer
    // between two of its frames.
    workers.HandOff(line, text, WaitStartTick);
    return OPOS_SUCCESS;
  }

  std::string output;
  if (BinaryConversion == 0) {
    output = std::string(UpToZero(text));
  } else if (BinaryConversion == 1) {
    output = display::DecodeTextPairs(text);
  }
  // A negative wait is no wait (and never a 49-day one).
  const uint32_t charWait = InterCharacterWait > 0 ? static_cast<uint32_t>(InterCharacterWait) : 0;
  {
    auto frame = m.Port.LockFrame();
    if (Attribute == DISP_DT_REVERSE) {
      display::SendBlink(m.Port, 0);
      display::SendReverse(m.Port, 1);
    } else if (Attribute == DISP_DT_BLINK_REVERSE) {
      display::SendBlink(m.Port, static_cast<uint8_t>(BlinkRate));
      display::SendReverse(m.Port, 1);
    }
    for (const char c : output) {
      m.Port.SendByte(static_cast<uint8_t>(c));
      m.DelayMs(charWait);
    }
  }

  // Cursor after the text. A width of 0 or less has no position to compute.
  const int32_t width = w.WindowWidth;
  const int32_t height = w.WindowHeight;
  if (width > 0) {
    const int32_t quotient = end / width;
    const int32_t remainder = end % width;
    if (remainder != 0) {
      w.CursorColumn = remainder;
      w.CursorRow = quotient;
    } else {
      w.CursorColumn = width;
      if (end == Wrap(static_cast<int64_t>(height) * width)) w.CursorRow = Wrap(height - 1LL);
    }
  }
  return OPOS_SUCCESS;
}

int32_t POSLDisplay::DisplayTextAt(int32_t Row, int32_t Column, std::u16string_view Data,
                                   int32_t Attribute) {
  ModuleState& m = module_;
  DisplayShared& d = m.display;
  WindowRecord& w = CurrentRecord();
  if (m.trace.DebugMode()) {
    m.trace.RecordWithDump(
        "\nDisplayTextAt:",
        TraceFormat("Row=%d,Column=%d,Attribute=%d,Data=", Row, Column, Attribute) +
            m.platform.ansi.ToAnsi(Data),
        StateDump(m, w));
  }
  const std::string text = Convert(m, Data);
  const int32_t len = static_cast<int32_t>(text.size());
  m.trace.Record("\nunicode:\n");

  const int32_t viewportRow = w.ViewportRow;
  const int32_t viewportColumn = w.ViewportColumn;
  const int line = LineOfViewportRow(viewportRow);
  const int32_t cursorX = Wrap(static_cast<int64_t>(viewportColumn) + Column + 1);
  const int32_t cursorY = Wrap(static_cast<int64_t>(viewportRow) + Row + 1);

  if (Attribute == DISP_DT_BLINK) {
    // The worker shows the text from column 1 of the line, whatever Row and Column say.
    display::StoreLine(d, line, text);
    w.ScrollSource = std::string(UpToZero(text));
    display::BlinkControl(m, viewportRow, UpToZero(text));
  } else {
    ClearBlinkFlag(d, line);
    if (MarqueeType == DISP_MT_INIT) {
      // The text waits in the line buffer for the marquee to start.
      display::SendCursorMove(m.Port, cursorX, cursorY);
      display::StoreLine(d, line, text);
      w.ScrollSource = std::string(UpToZero(text));
    } else if (MarqueeType == DISP_MT_NONE) {
      ClearBlinkFlag(d, line);
      w.ScrollSource = std::string(UpToZero(text));
      display::Workers workers(m);
      if (workers.Driving()) {
        workers.HandOff(line, text, WaitStartTick);
      } else {
        display::StoreLine(d, line, text);
        // Cursor move and text go out as one unit.
        auto frame = m.Port.LockFrame();
        display::SendCursorMove(m.Port, cursorX, cursorY);
        DisplayText(Data, Attribute);
      }
    }
    // Any other marquee type: the text is neither stored nor sent.
  }

  // The cursor column just after the text, wrapping onto the other line as often as needed.
  int32_t column = Wrap(static_cast<int64_t>(CurrentCursorColumn) + len + Column);
  const int32_t width = w.WindowWidth;
  if (width > 0 && column > width) {
    // As many wraps as subtracting the width until the column is within it; each switches the
    // row to 2 if it was 1, else to 1.
    const int32_t wraps = static_cast<int32_t>((static_cast<int64_t>(column) - 1) / width);
    column = Wrap(static_cast<int64_t>(column) - static_cast<int64_t>(wraps) * width);
    int32_t row = w.CursorRow == 1 ? 2 : 1;
    if ((wraps - 1) % 2 != 0) row = row == 1 ? 2 : 1;
    w.CursorRow = row;
  }
  w.CursorColumn = column;
  return OPOS_SUCCESS;
}

}  // namespace kirnow

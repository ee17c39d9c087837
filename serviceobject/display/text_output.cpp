// Text output: DisplayText and DisplayTextAt. Each call converts its text to the ANSI code page
// once; the text is kept in the line buffer of its line and either written to the port at once
// or handed to the worker that is driving the display, which writes it between two of its own
// frames. DisplayTextAt without a marquee and without a worker moves the display's cursor and
// then writes at it as DisplayText does, trace record included, through the same step.
#include <optional>
#include <string>
#include <utility>

#include "serviceobject/core/posl_display.h"
#include "serviceobject/display/command_set.h"
#include "serviceobject/display/engine_internal.h"
#include "serviceobject/display/hex_pairs.h"
#include "serviceobject/display/workers.h"

namespace kirnow {

namespace {

using display::Wrap;

// One call's text in the ANSI code page: whole for the trace, and cut to the 255 characters a
// buffer holds for everything else.
struct AnsiText {
  std::string whole;
  std::string_view text() const {
    return std::string_view(whole).substr(0, display::kLineCapacity);
  }
};

AnsiText Convert(ModuleState& m, std::u16string_view data) {
  return AnsiText{m.platform.ansi.ToAnsi(data)};
}

// The text up to its first zero byte, as the line buffers keep it.
std::string_view UpToZero(std::string_view text) { return text.substr(0, text.find('\0')); }

// Line whose buffer text written at a window's cursor goes to: the cursor row, which is the
// display line in a created window; 0 (none) for any other row.
int LineOfCursorRow(int32_t cursorRow) { return cursorRow == 1 ? 1 : cursorRow == 2 ? 2 : 0; }

// Keeps the text in the buffer of `line` and as the window's text that ScrollText re-sends.
void Keep(DisplayShared& d, WindowRecord& w, int line, std::string_view text) {
  display::StoreLine(d, line, text);
  w.ScrollSource = std::string(UpToZero(text));
}

// The engine's state under the names the trace has always printed.
std::string StateDump(ModuleState& m, const WindowRecord& w) {
  const display::WorkersSnapshot shot = display::Workers(m).Snapshot();
  const auto& w1 = shot.of(display::Worker::Line1);
  const auto& w2 = shot.of(display::Worker::Line2);
  const auto& w3 = shot.of(display::Worker::Combined);
  std::string dump = TraceFormat(
      "Scroll1_Enable=%d\nScroll2_Enable=%d\nScroll_textAT=%d\nThreadhd1_restart=%d\n"
      "Threadhd2_restart=%d\nThreadhd3_restart=%d\nThread1_f=%d\nThread2_f=%d\nThread3_f=%d\n"
      "void_1f24_f_1=%d\nvoid_1f24_f_2=%d\nvoid_1f24_f_3=%d\nSusp_Thread1_f=%d\n"
      "Susp_Thread2_f=%d\nSusp_Thread3_f=%d\nblink_up=%d\nblink_low=%d\n"
      "list[CurrentWindow].ViewportRow=%d",
      w1.scrolling, w2.scrolling, shot.handOffPending, w1.restart, w2.restart, w3.restart,
      w1.started, w2.started, w3.started, w1.inFrame, w2.inFrame, w3.inFrame, w1.keepRunning,
      w2.keepRunning, w3.keepRunning, shot.blink[0], shot.blink[1], w.ViewportRow.load());
  dump += "\ntext1=" + display::ReadLine(m.display, 1) +
          "\ntext2=" + display::ReadLine(m.display, 2) + "\n";
  return dump;
}

struct Cursor {
  int32_t row;
  int32_t column;
};

// The window's cursor after `length` characters written at it: the end position, counted in
// cells from the window's start, divided by the width. None for a width of 0 or less.
std::optional<Cursor> CursorAfter(const WindowRecord& w, int32_t length) {
  const int32_t width = w.WindowWidth;
  const int32_t height = w.WindowHeight;
  const Cursor now{w.CursorRow, w.CursorColumn};
  if (width <= 0) return std::nullopt;
  const int32_t end = Wrap(static_cast<int64_t>(width) * now.row + now.column + length);
  if (end % width != 0) return Cursor{end / width, end % width};
  // At the end of a row the cursor stays in its last column; on the last row of a full window
  // it moves to that row.
  if (end == Wrap(static_cast<int64_t>(height) * width)) return Cursor{Wrap(height - 1LL), width};
  return Cursor{now.row, width};
}

// DisplayTextAt's cursor: `column` is the one just after the text; it wraps onto the other line
// as often as it exceeds the width, each time switching the row to 2 if it was 1, else to 1.
void SetColumnAfter(WindowRecord& w, int32_t column) {
  const int32_t width = w.WindowWidth;
  if (width > 0 && column > width) {
    const int32_t wraps = static_cast<int32_t>((static_cast<int64_t>(column) - 1) / width);
    column = Wrap(static_cast<int64_t>(column) - static_cast<int64_t>(wraps) * width);
    int32_t row = w.CursorRow == 1 ? 2 : 1;
    if ((wraps - 1) % 2 != 0) row = row == 1 ? 2 : 1;
    w.CursorRow = row;
  }
  w.CursorColumn = column;
}

// `lead` (DisplayTextAt's cursor move), the attribute's commands, then the text as
// BinaryConversion makes it, a byte at a time with the inter-character wait, all as one unit
// on the port.
void SendAtCursor(POSLDisplay& so, std::string_view text, int32_t attribute, port::Unit lead) {
  ModuleState& m = so.module();
  std::string output;
  if (so.BinaryConversion == 0) {
    output = std::string(UpToZero(text));
  } else if (so.BinaryConversion == 1) {
    output = display::DecodeTextPairs(text);
  }
  // A negative wait is no wait (and never a 49-day one).
  const uint32_t charWait =
      so.InterCharacterWait > 0 ? static_cast<uint32_t>(so.InterCharacterWait) : 0;
  port::Unit unit = std::move(lead);
  if (attribute == DISP_DT_REVERSE) {
    display::SendBlink(unit, 0);
    display::SendReverse(unit, 1);
  } else if (attribute == DISP_DT_BLINK_REVERSE) {
    display::SendBlink(unit, static_cast<uint8_t>(so.BlinkRate));
    display::SendReverse(unit, 1);
  }
  unit.GapFromHere(charWait);
  display::SendText(unit, output);
  m.Port.Send(std::move(unit));
}

// The trace's record of a text written at the cursor.
void RecordDisplayText(ModuleState& m, const AnsiText& t, int32_t attribute) {
  m.trace.Record("\nDisplayText:",
                 [&] { return TraceFormat("Attribute=%d,Data=", attribute) + t.whole; });
}

// What a text output did: handed the text to the worker that drives the display, or wrote it
// at the cursor, which then stands after it (none for a width of 0 or less).
struct Output {
  bool handedOff = false;
  std::optional<Cursor> after;
};

// The one text output of DisplayText and of DisplayTextAt without a marquee. While a worker
// drives the display, the text is handed to it for display line `line`: the worker keeps it in
// the line's buffer once the previous hand-off was taken and writes it between two of its
// frames; nothing is sent and the cursor stays. Else the text is kept in the buffer of `line`
// (and of the cursor's line, when that is another) and written at the cursor after `lead`, as
// one unit on the port.
Output OutputText(POSLDisplay& so, const AnsiText& t, int32_t attribute, int line,
                  port::Unit lead) {
  ModuleState& m = so.module();
  WindowRecord& w = so.CurrentRecord();
  const std::string_view text = t.text();
  display::Workers workers(m);
  if (workers.Driving()) {
    w.ScrollSource = std::string(UpToZero(text));
    workers.HandOff(line, text, so.WaitStartTick);
    return Output{true, std::nullopt};
  }
  Keep(m.display, w, line, text);
  const int cursorLine = LineOfCursorRow(w.CursorRow);
  if (cursorLine != line) display::StoreLine(m.display, cursorLine, text);
  SendAtCursor(so, text, attribute, std::move(lead));
  return Output{false, CursorAfter(w, static_cast<int32_t>(text.size()))};
}

// The one cursor update of the text output: the row (and, without `columnAfter`, the column)
// of the cursor after the written text; then DisplayTextAt's own column, which may wrap the
// row (SetColumnAfter).
void UpdateCursor(WindowRecord& w, const std::optional<Cursor>& after,
                  std::optional<int32_t> columnAfter) {
  if (after) {
    if (!columnAfter) w.CursorColumn = after->column;
    w.CursorRow = after->row;
  }
  if (columnAfter) SetColumnAfter(w, *columnAfter);
}

}  // namespace

int32_t POSLDisplay::DisplayText(std::u16string_view Data, int32_t Attribute) {
  const AnsiText converted = Convert(module_, Data);
  const int line = LineOfCursorRow(CurrentRecord().CursorRow);
  // The trace records the text whether it is written or handed over.
  RecordDisplayText(module_, converted, Attribute);
  const Output out = OutputText(*this, converted, Attribute, line, {});
  UpdateCursor(CurrentRecord(), out.after, std::nullopt);
  return OPOS_SUCCESS;
}

int32_t POSLDisplay::DisplayTextAt(int32_t Row, int32_t Column, std::u16string_view Data,
                                   int32_t Attribute) {
  ModuleState& m = module_;
  DisplayShared& d = m.display;
  WindowRecord& w = CurrentRecord();
  const AnsiText converted = Convert(m, Data);
  if (m.trace.DebugMode()) {
    m.trace.RecordWithDump(
        "\nDisplayTextAt:",
        TraceFormat("Row=%d,Column=%d,Attribute=%d,Data=", Row, Column, Attribute) +
            converted.whole,
        StateDump(m, w));
  }
  m.trace.Record("\nunicode:\n");
  const std::string_view text = converted.text();
  const int32_t len = static_cast<int32_t>(text.size());

  const int32_t viewportRow = w.ViewportRow;
  const int32_t viewportColumn = w.ViewportColumn;
  const int line = display::LineOfViewportRow(viewportRow);
  const int32_t cursorX = Wrap(static_cast<int64_t>(viewportColumn) + Column + 1);
  const int32_t cursorY = Wrap(static_cast<int64_t>(viewportRow) + Row + 1);

  std::optional<Cursor> after;
  if (Attribute == DISP_DT_BLINK) {
    // The worker shows the text from column 1 of the line, whatever Row and Column say.
    Keep(d, w, line, text);
    display::Workers(m).Blink(line);
  } else {
    display::Workers(m).EndBlink(line);
    if (MarqueeType == DISP_MT_INIT) {
      // The text waits in the line buffer for the marquee to start.
      display::SendCursorMove(m.Port, cursorX, cursorY);
      Keep(d, w, line, text);
    } else if (MarqueeType == DISP_MT_NONE) {
      // Cursor move and text go out as one unit (the move is not sent when the text is handed
      // over). The write leaves the cursor's row; the column is this method's own, below.
      port::Unit move;
      display::SendCursorMove(move, cursorX, cursorY);
      const Output out = OutputText(*this, converted, Attribute, line, std::move(move));
      // The trace records a text written here as DisplayText writes it.
      if (!out.handedOff) RecordDisplayText(m, converted, Attribute);
      after = out.after;
    }
    // Any other marquee type: the text is neither stored nor sent.
  }

  UpdateCursor(w, after, Wrap(static_cast<int64_t>(CurrentCursorColumn) + len + Column));
  return OPOS_SUCCESS;
}

}  // namespace kirnow

// State of the service object: the fields of one POSLDisplay object, the window table, and the
// module-wide set that every object and worker thread of one loaded library shares. The
// module-wide set lives in one ModuleState object (the library makes one; tests make their own
// with fakes plugged into the platform seams).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "opos/opos_constants.h"
#include "platform/platform.h"
#include "serviceobject/core/display_state.h"
#include "serviceobject/core/trace_log.h"
#include "serviceobject/port/serial_port.h"
#include "serviceobject/trace/field_trace.h"
#include "serviceobject/trace/traced_message_box.h"

namespace kirnow {

inline constexpr int kWindowCount = 10;

// One window of the display. Every field is atomic because the marquee workers read the table
// (MarqueeUnitWait of windows 1 and 2) while the caller's thread writes it; each field is still
// a plain 32-bit value written whole.
struct WindowRecord {
  std::atomic<int32_t> WindowHeight{0};
  std::atomic<int32_t> WindowWidth{0};
  std::atomic<int32_t> ViewportRow{0};
  std::atomic<int32_t> ViewportColumn{0};
  std::atomic<int32_t> CursorRow{0};
  std::atomic<int32_t> CursorColumn{0};
  std::atomic<int32_t> CursorUpdate{0};  // 16-bit boolean widened to 32 bits
  std::atomic<int32_t> CursorType{0};
  std::atomic<int32_t> MarqueeFormat{0};
  std::atomic<int32_t> MarqueeType{0};
  std::atomic<int32_t> MarqueeUnitWait{0};
  std::atomic<int32_t> MarqueeRepeatWait{0};
  std::atomic<int32_t> InterCharacterWait{0};
  std::atomic<int32_t> DeviceRows{0};
  std::atomic<int32_t> DeviceColumns{0};
  std::atomic<int32_t> BlinkRate{0};
  // The text last written to the window, which ScrollText re-sends (caller's thread only).
  std::string ScrollSource;
};

// Everything one loaded library shares: port, port number, identification replies, the window
// table, the display engine's flags and buffers, the trace switch and the field trace.
class ModuleState {
 public:
  ModuleState(platform::Platform platform, bool debugMode);
  // Stops every running worker, the port's owner and the field trace's writer before the state
  // goes away.
  ~ModuleState();
  ModuleState(const ModuleState&) = delete;
  ModuleState& operator=(const ModuleState&) = delete;

  // First of all, and gone last: the platform's message boxes and the port tell it.
  FieldTrace fieldTrace;

 private:
  TracedMessageBox tracedBox_;  // the message box of `platform` below

 public:
  platform::Platform platform;

  int32_t PortNumber = 0;
  int32_t BaudRate = 0;
  SerialPort Port;
  uint8_t InByte = 0;  // where OpenService reads the identification reply, a byte at a time
  std::array<uint8_t, 8> IdReply1{};
  std::array<uint8_t, 8> IdReply2{};
  std::array<WindowRecord, kWindowCount> list;

  DisplayShared display;  // line buffers, scroll buffers, worker flags and threads
  // Stops every worker: set by the workers' controller when it starts one, called by the
  // destructor before the port closes. Null while no worker was ever started.
  void (*stopWorkers)(ModuleState&) = nullptr;
  TraceLog trace;  // debug.log, and the module-wide trace switch: trace.DebugMode()

  // Taken by every COM method for its whole call: objects on different threads (apartments)
  // share this state, and their calls run on it one at a time. Recursive, because a method may
  // reach the state again through a callback on its own thread. The workers never take it;
  // they hand off through the display's flags and the port's step queue, so a method that waits
  // for a worker to stop cannot deadlock with it.
  platform::RecursiveMutex callLock KIRNOW_ACQUIRED_BEFORE(display.controlLock);

  // Holds the caller until the tick counter has advanced by at least `ms`, correct across the
  // wrap; sleeps in between.
  void DelayMs(uint32_t ms);
};

// The fields of one POSLDisplay object, in declaration order. Every field is zero at creation;
// OpenService gives them their values. The display's capabilities are not among them: they are
// answered from kCapabilities (capabilities.h).
struct POSLDisplayFields {
  int32_t BinaryConversion = 0;
  int32_t CapPowerReporting = 0;
  int32_t DataCount = 0;
  int32_t OutputID = 0;
  int32_t PowerNotify = 0;
  int32_t PowerState = 0;
  int32_t ResultCode = 0;
  int32_t ResultCodeExtended = 0;
  int32_t State = 0;
  int32_t ServiceObjectVersion = 0;
  int32_t DeviceWindows = 0;
  int32_t DeviceRows = 0;
  int32_t DeviceColumns = 0;
  int32_t DeviceDescriptors = 0;
  int32_t DeviceBrightness = 0;
  int32_t CharacterSet = 0;
  int32_t CurrentWindow = 0;
  int32_t CurrentRows = 0;
  int32_t CurrentColumns = 0;
  int32_t CurrentCursorRow = 0;
  int32_t CurrentCursorColumn = 0;
  int32_t CursorType = 0;
  int32_t MarqueeType = 0;
  int32_t MarqueeFormat = 0;
  int32_t MarqueeUnitWait = 0;
  int32_t MarqueeRepeatWait = 0;
  int32_t InterCharacterWait = 0;
  int32_t GlyphHeight = 0;
  int32_t GlyphWidth = 0;
  int32_t BlinkRate = 0;
  uint32_t WaitStartTick = 0;
  std::u16string CheckHealthText;
  std::u16string CustomGlyphList;
  int16_t AutoDisable = 0;
  int16_t Claimed = 0;
  int16_t DataEventEnabled = 0;
  int16_t DeviceEnabled = 0;
  int16_t FreezeEvents = 0;
  int16_t CursorUpdate = 0;
  void* ControlObject = nullptr;  // the control object's dispatch interface; stored, never used
};

}  // namespace kirnow

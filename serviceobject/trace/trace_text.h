// The field trace's lines: one per event, "<local time> tick=<ticks> thread=<id> <kind> <text>",
// and the text of each kind of record, made here and only here. A line never holds a line feed
// (control characters in texts are escaped) and never passes kMaxLineBytes: a longer one is
// cut and says how much was cut.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/host/host.h"
#include "platform/registry/com_number_listener.h"
#include "serviceobject/port/port_recorder.h"

namespace kirnow::trace {

inline constexpr size_t kMaxLineBytes = 2048;
// Of a text argument, at most this many characters are shown.
inline constexpr size_t kMaxTextChars = 256;

// When a record was made and by which thread.
struct Stamp {
  platform::LocalTime time;
  uint32_t ticks = 0;
  uint32_t thread = 0;
};

// The kinds of record, the line's fourth field.
namespace kind {
inline constexpr std::string_view kStart = "start";  // the header of an OpenService
inline constexpr std::string_view kCall = "call";    // a dispatch method
inline constexpr std::string_view kGet = "get";      // a property read
inline constexpr std::string_view kSet = "set";      // a property write
inline constexpr std::string_view kWire = "wire";    // bytes to or from the display
inline constexpr std::string_view kPort = "port";    // the port's life
inline constexpr std::string_view kUsb = "usb";      // OpenService's walk of the USB instances
inline constexpr std::string_view kCom = "com";      // a COM number given (Linux)
inline constexpr std::string_view kBox = "box";      // a message box
inline constexpr std::string_view kTrace = "trace";  // the trace's own notes
}  // namespace kind

// The whole line, with its line feed.
std::string Line(const Stamp& stamp, std::string_view kind, std::string_view text);
// "2025-01-09 13:32:05.123"
std::string TimeText(const platform::LocalTime& time);

// A text argument in quotes, backslash and quote escaped, control characters as \xNN, cut
// after kMaxTextChars characters ("...(+N characters)"); a null text is `null`.
std::string Quoted(std::u16string_view text, bool null = false);
std::string QuotedUtf8(std::string_view text);

// A method's record: "DisplayTextAt(Row=0, Column=0, Data="Hi", Attribute=0)", then
// `outcome`. `values` holds one text per name.
std::string CallText(std::string_view method, std::span<const std::string_view> names,
                     std::span<const std::string> values, std::string_view outcome);
// A property's: "MarqueeType (5014) = 3" and `outcome` ("(5999)" for an index without a
// name, "(5999) = no such property" without a value).
std::string PropertyText(int32_t index, const std::string* value, std::string_view outcome);
// What follows a method's arguments: " -> 65, pRC 0, ResultCode 0, 0.412 ms": what the method
// handed back, when it hands back something but pRC, pRC when it has one, an HRESULT other than
// S_OK, ResultCode after the call and the call's time.
std::string OutcomeText(std::string_view returned, const int32_t* rc, int32_t resultCode,
                        int32_t hresult, uint64_t micros);

// A unit: "COM3: sent 1F 24 01 01 | dropped by the stall rule 48 65", byte runs by fate.
std::string WireText(int32_t port, std::span<const uint8_t> bytes,
                     std::span<const port::Fate> fates);
// An identity answer: "COM3: read 50 49 44 3A 30 44 32 31".
std::string ReadText(int32_t port, std::span<const uint8_t> bytes);
// The port's life; `errorWords` are the system's words for the note's OS error.
std::string NoteText(const port::PortNote& note, std::string_view errorWords);

// The header of an OpenService.
struct Header {
  std::string version;  // Kirnow's
  int bits = 0;         // 32 or 64
  std::string process;
  uint32_t processId = 0;
  std::string vid, pid;  // the build's USB ids
  std::string system;
  std::string device;  // the OpenService's device name
  std::string folder;
  uint64_t maxBytes = 0;
};
std::string HeaderText(const Header& header);

// OpenService's walk of the USB instances: what it looks for ("Vid_2f1a&Pid_0d21=A1,B2"), an
// instance whose name cannot be read, and each instance's port with why it was passed by, or
// that it was chosen.
std::string UsbSearchText(std::string_view instancesSeen);
std::string UsbUnreadableText(uint32_t index);
std::string UsbStepText(std::string_view instance, int32_t port, bool opened, bool identified);

std::string BoxText(std::string_view text, std::string_view caption);
std::string ComNumberText(const platform::ComNumberGiven& given);
// "12 records dropped: the queue was full"
std::string DroppedText(uint64_t count);
// The trace was off from `since`: `folder` could not be written.
std::string OffText(const platform::LocalTime& since, std::string_view folder, int osError,
                    std::string_view errorWords);
// "error 13 (Permission denied)"
std::string ErrorText(int osError, std::string_view words);

}  // namespace kirnow::trace

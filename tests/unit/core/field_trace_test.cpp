// The field trace: each kind of record in its one form; the switch as the device entry gives
// it; a queue that drops rather than waits, and says how many went where they went; the two
// files within their cap; a folder that cannot be written turns the session's trace off, and
// the next session that writes says so.
#include "serviceobject/trace/field_trace.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serviceobject/trace/trace_file.h"
#include "serviceobject/trace/trace_queue.h"
#include "serviceobject/trace/trace_settings.h"
#include "serviceobject/trace/trace_text.h"
#include "tests/fakes/fake_platform.h"

namespace kirnow::trace {
namespace {

using port::Fate;
using Note = port::PortNote::Kind;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

TEST(FieldTraceText, EachKindOfRecordHasItsOneForm) {
  const Stamp stamp{{2025, 1, 9, 13, 32, 5, 7}, 4009008, 12};
  const int32_t rc = 0;
  const std::vector<uint8_t> frame = {0x1F, 0x24, 0x01, 0x01, 0x48, 0x65};
  const Header header{"3.3.8.6",
                      32,
                      "pos",
                      77,
                      "2f1a",
                      "0d21",
                      "Windows 10.0 build 19045",
                      "JQ POS POLE DISPLAY",
                      "C:\\ProgramData\\Kirnow\\Trace",
                      64 * 1024};
  const std::vector<std::string_view> rowColumnData = {"Row", "Column", "Data"};
  const std::vector<std::string> values = {"0", "1", Quoted(u"a\"b\\\n\u20AC")};
  const struct {
    std::string_view kind;
    std::string text, line;
  } rows[] = {
      {kind::kStart, HeaderText(header),
       "start Kirnow 3.3.8.6, 32-bit, in pos (process 77); display USB ids 2f1a:0d21; Windows 10.0 "
       "build 19045; OpenService of \"JQ POS POLE DISPLAY\"; trace in "
       "C:\\ProgramData\\Kirnow\\Trace, at most 64 KB"},
      {kind::kCall,
       CallText("DisplayTextAt", rowColumnData, values, OutcomeText("", &rc, 108, 0, 412)),
       "call DisplayTextAt(Row=0, Column=1, Data=\"a\\\"b\\\\\\x0A\u20AC\") -> pRC 0, ResultCode "
       "108, 0.412 ms"},
      {kind::kCall,
       CallText("ReadCharacterAtCursor", {}, {},
                OutcomeText("65", nullptr, 0, static_cast<int32_t>(0x8007000E), 1500)),
       "call ReadCharacterAtCursor() -> 65, HRESULT 0x8007000E, ResultCode 0, 1.500 ms"},
      {kind::kGet, PropertyText(5003, &values[1], OutcomeText("", nullptr, 0, 0, 2)),
       "get CurrentWindow (5003) = 1 -> ResultCode 0, 0.002 ms"},
      {kind::kGet, PropertyText(4242, nullptr, ""), "get (4242) = no such property"},
      {kind::kWire,
       WireText(3, frame,
                std::vector<Fate>{Fate::Sent, Fate::Sent, Fate::Sent, Fate::Sent, Fate::Dropped,
                                  Fate::Dropped}),
       "wire COM3: sent 1F 24 01 01 | dropped by the stall rule 48 65"},
      {kind::kWire, WireText(0, std::vector<uint8_t>{0x41}, std::vector<Fate>{Fate::Held}),
       "wire the port: not sent, not confirmed as the display 41"},
      {kind::kWire, ReadText(3, std::vector<uint8_t>{0x50, 0x49, 0x44, 0x3A}),
       "wire COM3: read 50 49 44 3A"},
      {kind::kPort, NoteText({Note::Gone, 3, 5, 0, {}}, "Input/output error"),
       "port COM3 gone: error 5 (Input/output error); the keeper tries it again every 500 ms"},
      {kind::kPort, NoteText({Note::Reopened, 3, 0, 0, "/dev/ttyACM0"}, ""),
       "port COM3 reopened (/dev/ttyACM0): the display answered"},
      {kind::kPort, NoteText({Note::RepaintCut, 3, 0, 12, {}}, ""),
       "port COM3 repaint cut short after 12 bytes; it goes again whole"},
      {kind::kUsb, UsbStepText("A1", 3, true, false),
       "usb A1 skipped: COM3 did not answer as the display"},
      {kind::kBox, BoxText("Open port error", "OpenService"),
       "box OpenService: \"Open port error\""},
      {kind::kCom, ComNumberText({"USB\\Vid_2f1a&Pid_0d21\\A1", "/dev/serial/by-id/x", 4}),
       "com COM4 given to USB\\Vid_2f1a&Pid_0d21\\A1 (/dev/serial/by-id/x)"},
      {kind::kTrace, DroppedText(12), "trace 12 records dropped: the queue was full"},
      {kind::kTrace, OffText({2025, 1, 8, 9, 0, 0, 0}, "/ro", 13, "Permission denied"),
       "trace the trace was off from 2025-01-08 09:00:00.000 to this session: /ro could not be "
       "written: error 13 (Permission denied)"},
      // A free text's control characters are escaped too: a record is one line.
      {kind::kUsb, "A1\tB\nC", "usb A1\\x09B\\x0AC"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Line(stamp, row.kind, row.text),
              "2025-01-09 13:32:05.007 tick=4009008 thread=12 " + row.line + "\n");
  }

  // A long text is cut after its first 256 characters, a long line before its limit and
  // between two characters; both say how much was cut.
  EXPECT_EQ(Quoted(std::u16string(300, u'x')),
            "\"" + std::string(256, 'x') + "\"...(+44 characters)");
  std::string euros;
  for (int i = 0; i < 900; ++i) euros += "\u20AC";
  const std::string line = Line(stamp, kind::kUsb, euros);
  EXPECT_LE(line.size(), kMaxLineBytes);
  const size_t kept = line.find("...(+") - (line.find(" usb ") + 5);
  EXPECT_EQ(kept % 3, 0u);
  EXPECT_EQ(line.substr(line.find("...(+")), "...(+" + std::to_string(2700 - kept) + " bytes)\n");
}

TEST(FieldTraceSettings, TheDeviceEntrySwitchesAndBoundsTheTrace) {
  const std::string entry = "HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\Pole";
  const struct {
    const char* trace;  // null: absent
    const char* maxKB;  // null: absent; "#n": the DWORD n
    bool on;
    uint64_t kb;
  } rows[] = {
      {"1", nullptr, true, 8192},   {"0", nullptr, false, 8192},      {"yes", nullptr, false, 8192},
      {"#1", nullptr, false, 8192}, {nullptr, nullptr, false, 8192},  {"1", "64", true, 64},
      {"1", "0", true, 8192},       {"1", "64k", true, 8192},         {"1", "1", true, 16},
      {"1", "#100", true, 100},     {"1", "99999999", true, 4194304},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.trace ? row.trace : "-") + " " + (row.maxKB ? row.maxKB : "-"));
    fakes::MemoryRegistry registry;
    registry.CreateKey(entry);
    auto set = [&](const char* name, const char* value) {
      if (value == nullptr) return;
      registry.SetValue(entry, value[0] == '#'
                                   ? platform::RegValue::FromDword(name, std::stoul(value + 1))
                                   : platform::RegValue::FromString(name, value));
    };
    set("trace", row.trace);  // names compare without case, as the registry's do
    set("TraceMaxKB", row.maxKB);
    set("TraceFolder", "/srv/trace");
    const Settings s = ReadSettings(registry, entry);
    EXPECT_EQ(s.on, row.on);
    if (row.on) {
      EXPECT_EQ(s.maxBytes, row.kb * 1024);
      EXPECT_EQ(s.folder, "/srv/trace");
    }
  }
}

TEST(FieldTraceQueue, ALineWithoutRoomIsDroppedAndCountedWhereItWent) {
  fakes::ScriptedClock clock;
  Queue queue(clock, 100);
  EXPECT_TRUE(queue.Push(std::string(40, 'a')));
  EXPECT_TRUE(queue.Push(std::string(40, 'b')));
  EXPECT_FALSE(queue.Push(std::string(40, 'c')));
  EXPECT_FALSE(queue.Push("d"));  // it would fit, but the gap's place must hold: dropped too
  queue.PushControl(Entry{Entry::Kind::End, {}, {}, 0});  // a session's end is never dropped
  EXPECT_FALSE(queue.Push(std::string(40, 'e')));
  std::vector<Entry> taken = queue.TakeAll();
  ASSERT_EQ(taken.size(), 5u);
  EXPECT_EQ(taken[1].line, std::string(40, 'b'));
  EXPECT_EQ(taken[2].kind, Entry::Kind::Dropped);
  EXPECT_EQ(taken[2].dropped, 2u);
  EXPECT_EQ(taken[3].kind, Entry::Kind::End);
  EXPECT_EQ(taken[4].dropped, 1u);
  EXPECT_TRUE(queue.Push(std::string(90, 'f')));  // room again
  EXPECT_EQ(queue.TakeAll().size(), 1u);
}

TEST(FieldTraceFile, TheTwoFilesStayWithinTheCap) {
  fakes::MemoryFiles files;
  TraceFile file(files);
  int error = 0;
  const std::string header = "header\n";
  ASSERT_TRUE(file.Open("/t", "kirnow-pos-1.log", 16 * 1024, header, error));
  ASSERT_TRUE(file.Write(header, error));
  for (int i = 0; i < 400; ++i) {
    std::string line = std::to_string(i) + " " + std::string(100, 'x') + "\n";
    ASSERT_TRUE(file.Write(line, error));
  }
  const std::string current = files.Read("/t/kirnow-pos-1.log"),
                    older = files.Read("/t/kirnow-pos-1.log.1");
  EXPECT_LE(current.size(), 8u * 1024);
  EXPECT_LE(older.size(), 8u * 1024);
  EXPECT_GT(older.size(), 7u * 1024);
  // Each file starts with the header; the older one holds the lines just before the current.
  EXPECT_EQ(current.substr(0, header.size()), header);
  EXPECT_EQ(older.substr(0, header.size()), header);
  const std::vector<std::string> now = Lines(current), before = Lines(older);
  EXPECT_EQ(now.back().substr(0, 4), "399 ");
  EXPECT_EQ(std::stoi(before.back()) + 1, std::stoi(now[1]));

  // A lower cap at the next session: the older file, too large now alone, goes; the current one
  // moves aside at once.
  file.Close();
  ASSERT_TRUE(file.Open("/t", "kirnow-pos-1.log", 8 * 1024, header, error));
  EXPECT_LE(files.SizeOf("/t/kirnow-pos-1.log") + files.SizeOf("/t/kirnow-pos-1.log.1"), 8 * 1024);
}

class FieldTraceSessions : public ::testing::Test {
 protected:
  void Begin(const std::string& folder) { trace.Begin({true, folder, 64 * 1024}, "Pole"); }
  std::vector<std::string> FileLines(const std::string& folder) {
    return Lines(fp.files.Read(folder + "/kirnow-polecheck-4242.log"));
  }

  fakes::FakePlatform fp;
  FieldTrace trace{fp.clock, fp.files, fp.host, 1000};
};

// A folder that cannot be made or a disk that fills up: the session records nothing more,
// nothing fails, and the next session that writes says since when its trace was off and why.
TEST_F(FieldTraceSessions, AFolderThatCannotBeWrittenTurnsTheSessionOffAndIsToldLater) {
  const struct {
    const char* what;
    int error;
  } rows[] = {{"a folder this account may not write", EACCES}, {"a full disk", ENOSPC}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.error == EACCES) fp.files.Refuse("/ro", EACCES);
    if (row.error == ENOSPC) fp.files.SetFreeSpace(300);
    const std::string folder = row.error == EACCES ? "/ro" : "/full";
    Begin(folder);
    for (int i = 0; i < 20; ++i) trace.Post(kind::kUsb, std::string(100, 'x'));
    trace.Stop();
    EXPECT_FALSE(trace.On());
    EXPECT_LE(fp.files.Read(folder + "/kirnow-polecheck-4242.log").size(), 300u);

    fp.files.SetFreeSpace(UINT64_MAX);
    Begin("/rw");
    trace.Stop();
    const std::vector<std::string> lines = FileLines("/rw");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(
        lines.back().find(" trace the trace was off from 2025-01-09 13:32:05.123 to this "
                          "session: " +
                          folder + " could not be written: error " + std::to_string(row.error)),
        std::string::npos)
        << lines.back();
  }
}

// Records made while the disk does not answer fill the queue and are dropped; none waits for
// the disk, and once it answers the file says how many went, so that every record is either
// there or counted.
TEST_F(FieldTraceSessions, RecordsBeyondTheQueueAreDroppedAndCounted) {
  fp.files.HoldWrites(true);
  Begin("/t");
  while (fp.files.WaitingWrites() == 0) fp.clock.Advance(1);  // the header's write waits
  constexpr int kPosted = 60;
  for (int i = 0; i < kPosted; ++i) trace.Post(kind::kUsb, "record " + std::to_string(i));
  fp.files.HoldWrites(false);
  trace.Stop();
  int written = 0;
  uint64_t dropped = 0;
  for (const std::string& line : FileLines("/t")) {
    if (line.find(" usb record ") != std::string::npos) ++written;
    const size_t at = line.find(" records dropped");
    if (at != std::string::npos) dropped += std::stoull(line.substr(line.rfind(' ', at - 1)));
  }
  EXPECT_GT(dropped, 0u);
  EXPECT_GT(written, 0);
  EXPECT_EQ(written + static_cast<int>(dropped), kPosted);
}

}  // namespace
}  // namespace kirnow::trace
